#include <gtest/gtest.h>

#include <tuple>

#include "net/ReplyDecoder.h"
#include "tests/ByteTestSupport.h"
#include "tests/DocTestSupport.h"

namespace {

constexpr uint32_t kAddr = 0x0A000001; // 10.0.0.1

class DocumentTest : public ::testing::Test, public DocFixture {
protected:
    void Deliver(const Payload& d, uint32_t address = kAddr, uint16_t port = 27015) {
        doc->ParseReply(d.Type(), d.Body(), address, port);
    }
    static Payload Details(char type, const std::string& name, uint8_t players, uint8_t max) {
        Payload d = Payload::Reply(static_cast<uint8_t>(type));
        d.Str("10.0.0.1:27015").Str(name).Str("de_dust2").Str("cstrike").Str("Counter-Strike");
        d.U8(players).U8(max);
        if (type == 'm')
            d.U8(47).U8('d').U8('w').U8(2);
        return d;
    }
    static Payload Players(std::vector<std::tuple<uint8_t, std::string, int32_t, float>> list) {
        Payload d = Payload::Reply('D');
        d.U8(static_cast<uint8_t>(list.size()));
        for (const auto& [index, name, frags, time] : list)
            d.U8(index).Str(name).I32(frags).F32(time);
        return d;
    }
};

} // namespace

// What the lab tests cannot see: a full details reply re-tests the filter
// and marks the document changed, a short one does not, and a players
// reply is no edit and keeps frags only for slots seen before.
TEST_F(DocumentTest, RepliesRetestTheFilterAndKeepPreviousFragsBySlot) {
    ServerInfo* s = AddServer(kAddr, 27015, GROUP_WON | GROUP_FILTERED);
    doc->m_filter.m_dwFlags = FILTER_GAME;
    doc->m_filter.m_strGame = "valve";
    doc->SetModifiedFlag(false);
    Deliver(Details('C', "short", 3, 10));
    EXPECT_TRUE(s->m_dwFlags & GROUP_FILTERED) << "'C' does not re-test the filter";
    Deliver(Details('m', "Caf\xE9 [EU]", 12, 16));
    EXPECT_EQ(s->m_nMaxPlayers, 16);
    EXPECT_FALSE(s->m_dwFlags & GROUP_FILTERED);
    EXPECT_TRUE(doc->IsModified());
    // Cut inside the map: the name is complete, the map is not.
    Deliver(Payload::Reply('m').Str("10.0.0.1:27015").Str("new name").Text("de_"));
    EXPECT_EQ(s->m_strName, "new name");
    EXPECT_EQ(s->m_strMap, "de_dust2");
    doc->SetModifiedFlag(false);
    Deliver(Players({{1, "alpha", 10, 1.0f}}));
    Deliver(Players({{3, "gamma", 1, 1.0f}, {1, "alpha", 13, 130.0f}}));
    ASSERT_EQ(s->m_pPlayers->GetSize(), 2);
    EXPECT_EQ(s->m_pPlayers->GetAt(0)->m_nPrevFrags, 10) << "sorted by slot";
    EXPECT_EQ(s->m_pPlayers->GetAt(1)->m_nPrevFrags, 1) << "a new slot has no previous frags";
    EXPECT_FALSE(doc->IsModified()) << "player lists are not saved";
    // Replies for servers not in the list change nothing.
    view.entries.clear();
    Deliver(Details('m', "other", 1, 2), kAddr, 27016);
    Deliver(Players({{1, "x", 1, 1.0f}}), kAddr + 1, 27015);
    EXPECT_EQ(s->m_strName, "new name");
    EXPECT_TRUE(view.entries.empty());
}

// Steam's list goes the way of WON's; favourites (of either), manual and
// deleted records stay.
TEST_F(DocumentTest, ClearServerListKeepsWhatTheUserMade) {
    for (const uint32_t groups : {GROUP_WON | GROUP_FAVOURITES, GROUP_WON | GROUP_MANUAL, 0u,
                                  GROUP_WON | GROUP_FILTERED | GROUP_FOUND, uint32_t(GROUP_WON),
                                  GROUP_STEAM | GROUP_FILTERED, GROUP_STEAM | GROUP_FAVOURITES})
        AddServer(doc->GetServerList().GetSize() + 1, 1, groups)->m_bDeleted = groups == 0;
    SearchQuery* q = doc->AddQuery(std::make_unique<SearchQuery>("q", "x", 0));
    q->m_servers = {doc->FindServer(5, 1), doc->FindServer(6, 1)};
    view.entries.clear();
    doc->ClearServerList();
    std::vector<uint32_t> left;
    for (const auto& s : doc->GetServerList())
        left.push_back(s->m_dwAddress);
    EXPECT_EQ(left, (std::vector<uint32_t>{1, 2, 3, 7}));
    EXPECT_TRUE(q->m_servers.empty());
    EXPECT_EQ(view.Hints(), (std::vector<int>{HINT_SERVERS_RELOADED, HINT_QUERY_UPDATED}));
}

TEST_F(DocumentTest, AddServerReadsTheClipboardOrAHostName) {
    uint32_t shownAddress = 1;
    int shownPort = 1;
    std::string host;
    ui.onAddServer = [&](uint32_t& address, int& port, std::string& name) {
        shownAddress = address;
        shownPort = port;
        name = host;
        return true;
    };
    // An empty clipboard shows 0.0.0.0, which adds nothing; port 0 becomes
    // 27015; a host name is resolved, and one that is not adds nothing.
    const std::tuple<const char*, const char*, uint32_t, int, int> cases[] = {
        {"", "", 0, 27015, 0},
        {"10.1.2.3", "", 0x0A010203, 27015, 1},
        {"10.1.2.4:0", "", 0x0A010204, 27015, 2},
        {"10.1.2.5:27020", "", 0x0A010205, 27020, 3},
        {"", "127.0.0.1", 0x0A010205, 27020, 4}, // the last address shown again
        {"", "no-such-host.invalid", 0x7F000001, 27020, 4}};
    for (const auto& [text, name, address, port, count] : cases) {
        ui.clipboard = text;
        host = name;
        doc->AddServer();
        EXPECT_EQ(shownAddress, address) << text;
        EXPECT_EQ(shownPort, port) << text;
        EXPECT_EQ(doc->GetServerList().GetSize(), count) << text << name;
    }
    EXPECT_EQ(doc->FindServer(0x0A010203u, 27015)->m_dwFlags, GROUP_MANUAL);
    ServerInfo* byName = doc->FindServer(0x7F000001u, 27020);
    ASSERT_TRUE(byName);
    EXPECT_EQ(byName->m_bConnectByHostName, 1);
    EXPECT_EQ(byName->m_strHostName, "127.0.0.1");
}

TEST_F(DocumentTest, FindServersMatchesNamesThenHostNames) {
    ServerInfo* byName = AddServer(1, 1);
    byName->m_strName = "Dust Party";
    ServerInfo* byHost = AddServer(2, 1);
    byHost->m_strName = "Office";
    byHost->m_strHostName = "dust.example.org";
    ServerInfo* neither = AddServer(3, 1, GROUP_WON | GROUP_FOUND);
    neither->m_strName = "Italy";
    ui.onEditQuery = [&](Query& q) {
        q.m_strExpression = "DUST";
        q.m_dwFlags = 0;
        return true;
    };
    doc->FindServers();
    EXPECT_TRUE(byName->m_dwFlags & GROUP_FOUND);
    EXPECT_TRUE(byHost->m_dwFlags & GROUP_FOUND);
    EXPECT_FALSE(neither->m_dwFlags & GROUP_FOUND);
}

// A bad expression shows the dialog again, after the views were told of the
// emptied results; Cancel then restores the old expression and runs it.
TEST_F(DocumentTest, EditQueryAddsRerunsAndRestores) {
    ServerInfo* s = AddServer(1, 1);
    auto players = std::make_unique<PlayerList>(1);
    players->Insert(std::make_unique<PlayerInfo>(PlayerInfo{.m_strName = "[TAG] Hunter"}));
    s->SetPlayers(std::move(players));
    ui.onEditQuery = [](Query& q) {
        q.m_strExpression = "hunter";
        q.m_dwFlags = 0;
        return true;
    };
    doc->EditQuery(nullptr);
    ASSERT_EQ(doc->GetQueries().size(), 1u);
    SearchQuery* q = doc->GetQueries()[0].get();
    EXPECT_EQ(q->m_players.size(), 1u);
    EXPECT_EQ(doc->m_defaultQuery.m_dwFlags, 0u) << "a new query's flags become the default";

    int shown = 0;
    ui.onEditQuery = [&](Query& edited) {
        if (++shown > 1)
            return false;
        edited.m_strExpression = "(";
        edited.m_dwFlags = QF_REGEX;
        return true;
    };
    size_t resultsWhenBoxShown = 99;
    std::vector<int> hintsWhenBoxShown;
    view.entries.clear();
    ui.onMessage = [&](const std::string&) {
        resultsWhenBoxShown = q->m_players.size();
        hintsWhenBoxShown = view.Hints();
    };
    doc->EditQuery(q);
    EXPECT_EQ(shown, 2);
    EXPECT_EQ(resultsWhenBoxShown, 0u);
    EXPECT_EQ(hintsWhenBoxShown, std::vector<int>{HINT_QUERY_UPDATED});
    EXPECT_EQ(q->m_strExpression, "hunter");
    EXPECT_EQ(q->m_players.size(), 1u);

    doc->AddPlayerQuery("");
    doc->AddPlayerQuery("(weird");
    ASSERT_EQ(doc->GetQueries().size(), 2u) << "no query for an empty name";
    EXPECT_EQ(doc->GetQueries()[1]->m_dwFlags, 0u) << "a name is plain text";
}

TEST_F(DocumentTest, EditedFilterDecidesTheFilteredGroup) {
    ServerInfo* fast = AddServer(1, 1, GROUP_WON | GROUP_FILTERED);
    ServerInfo* slow = AddServer(2, 1, GROUP_WON | GROUP_FILTERED);
    ServerInfo* never = AddServer(3, 1, GROUP_WON | GROUP_FILTERED);
    fast->m_nPing = 40;
    slow->m_nPing = 900;
    ui.onServerFilter = [](ServerFilter& f) {
        f.m_dwFlags = FILTER_PING;
        f.m_nMaxPing = 100;
        return true;
    };
    doc->SetModifiedFlag(false);
    doc->EditFilter();
    EXPECT_TRUE(fast->m_dwFlags & GROUP_FILTERED);
    EXPECT_FALSE(slow->m_dwFlags & GROUP_FILTERED);
    EXPECT_FALSE(never->m_dwFlags & GROUP_FILTERED) << "a server that never answered fails";
    EXPECT_TRUE(doc->IsModified());
    EXPECT_EQ(view.Hints(), (std::vector<int>{HINT_GROUPS_CHANGED, HINT_FILTER_CHANGED}));
}
