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

TEST_F(DocumentTest, DetailsReplyFillsTheRecordAndRetestsTheFilter) {
    ServerInfo* s = AddServer(kAddr, 27015);
    doc->m_filter.m_dwFlags = FILTER_GAME;
    doc->m_filter.m_strGame = "CSTRIKE";
    doc->SetModifiedFlag(false);
    Deliver(Details('m', "Caf\xE9 [EU]", 12, 16));
    EXPECT_EQ(s->m_strName, "Caf\xE9 [EU]");
    EXPECT_EQ(s->m_strMap, "de_dust2");
    EXPECT_EQ(s->m_strGame, "cstrike");
    EXPECT_EQ(s->m_nPlayers, 12);
    EXPECT_EQ(s->m_nMaxPlayers, 16);
    EXPECT_EQ(s->m_cServerType, 'd');
    EXPECT_EQ(s->m_cOS, 'w');
    EXPECT_EQ(s->m_bPassword, 1) << "any non-zero password byte";
    EXPECT_TRUE(s->m_dwFlags & GROUP_FILTERED);
    EXPECT_TRUE(doc->IsModified());
    ASSERT_EQ(view.Count(HINT_SERVER_DETAILS), 1);
    EXPECT_EQ(view.entries.back().server, s);
}

TEST_F(DocumentTest, ShortDetailsLeaveTypeOsPasswordAndFilterAlone) {
    ServerInfo* s = AddServer(kAddr, 27015, GROUP_WON | GROUP_FILTERED);
    s->m_cServerType = 'l';
    s->m_cOS = 'l';
    s->m_bPassword = 1;
    Deliver(Details('C', "short", 3, 10));
    EXPECT_EQ(s->m_strName, "short");
    EXPECT_EQ(s->m_nPlayers, 3);
    EXPECT_EQ(s->m_cServerType, 'l');
    EXPECT_EQ(s->m_cOS, 'l');
    EXPECT_EQ(s->m_bPassword, 1);
    EXPECT_TRUE(s->m_dwFlags & GROUP_FILTERED) << "'C' does not re-test the filter";
}

TEST_F(DocumentTest, TruncatedDetailsApplyOnlyTheCompleteFields) {
    ServerInfo* s = AddServer(kAddr, 27015);
    s->m_strMap = "old_map";
    s->m_nPlayers = 7;
    // Cut inside the map: the name is complete, the map is not.
    Deliver(Payload::Reply('m').Str("10.0.0.1:27015").Str("new name").Text("de_"));
    EXPECT_EQ(s->m_strName, "new name");
    EXPECT_EQ(s->m_strMap, "old_map");
    EXPECT_EQ(s->m_nPlayers, 7);
}

TEST_F(DocumentTest, PlayersReplyKeepsPreviousFragsBySlot) {
    ServerInfo* s = AddServer(kAddr, 27015);
    doc->SetModifiedFlag(false);
    Deliver(Players({{1, "alpha", 10, 125.9f}, {2, "beta", 4, 3725.0f}}));
    ASSERT_TRUE(s->m_pPlayers);
    ASSERT_EQ(s->m_pPlayers->GetSize(), 2);
    EXPECT_EQ(s->m_pPlayers->GetAt(0)->m_nPrevFrags, 10) << "no earlier answer";
    EXPECT_EQ(s->m_pPlayers->GetAt(0)->m_nMinutes, 2);
    EXPECT_EQ(s->m_pPlayers->GetAt(0)->m_nSeconds, 5);
    EXPECT_EQ(s->m_pPlayers->GetAt(1)->m_nMinutes, 62);
    Deliver(Players({{3, "gamma", 1, 1.0f}, {1, "alpha", 13, 130.0f}}));
    ASSERT_EQ(s->m_pPlayers->GetSize(), 2);
    const PlayerInfo* alpha = s->m_pPlayers->GetAt(0);
    EXPECT_EQ(alpha->m_nIndex, 1) << "sorted by slot";
    EXPECT_EQ(alpha->m_nFrags, 13);
    EXPECT_EQ(alpha->m_nPrevFrags, 10);
    EXPECT_EQ(s->m_pPlayers->GetAt(1)->m_nPrevFrags, 1) << "a new slot has no previous frags";
    EXPECT_FALSE(doc->IsModified()) << "player lists are not saved";
    Deliver(Players({}));
    ASSERT_TRUE(s->m_pPlayers);
    EXPECT_TRUE(s->m_pPlayers->IsEmpty());
    EXPECT_EQ(view.Count(HINT_SERVER_PLAYERS), 3);
}

TEST_F(DocumentTest, RulesAndTextMessages) {
    ServerInfo* s = AddServer(kAddr, 27015);
    Payload rules = Payload::Reply('E');
    rules.U16(2).Str("sv_gravity").Str("800").Str("reserve_slots").Str("2");
    Deliver(rules);
    ASSERT_TRUE(s->m_pRules);
    EXPECT_EQ(s->m_pRules->GetSize(), 2);
    EXPECT_EQ(s->GetReservedSlots(), 2);
    Deliver(Players({{1, "alpha", 10, 1.0f}}));
    view.entries.clear();
    doc->SetModifiedFlag(false);
    Payload text = Payload::Reply('l');
    text.Str("You have been banned");
    Deliver(text);
    EXPECT_EQ(s->m_strError, "You have been banned");
    ASSERT_TRUE(s->m_pPlayers);
    EXPECT_TRUE(s->m_pPlayers->IsEmpty());
    EXPECT_TRUE(doc->IsModified());
    EXPECT_EQ(view.Hints(), (std::vector<int>{HINT_SERVER_DETAILS, HINT_SERVER_PLAYERS}));
}

TEST_F(DocumentTest, RepliesForUnknownServersChangeNothing) {
    ServerInfo* s = AddServer(kAddr, 27015);
    Deliver(Details('m', "other", 1, 2), kAddr, 27016);
    Deliver(Players({{1, "x", 1, 1.0f}}), kAddr + 1, 27015);
    EXPECT_TRUE(s->m_strName.empty());
    EXPECT_FALSE(s->m_pPlayers);
    EXPECT_TRUE(view.entries.empty());
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(DocumentTest, FavouritesAreAddedOnceAndRemovedOnce) {
    ServerInfo* s = doc->AddFavourite(kAddr, 27015, true);
    ASSERT_TRUE(s);
    EXPECT_TRUE(s->m_dwFlags & GROUP_FAVOURITES);
    EXPECT_EQ(view.Count(HINT_FAVOURITES_CHANGED), 1);
    EXPECT_EQ(doc->AddFavourite(kAddr, 27015, true), nullptr);
    EXPECT_EQ(view.Count(HINT_FAVOURITES_CHANGED), 1);
    EXPECT_TRUE(doc->RemoveFavourite(s, true));
    EXPECT_FALSE(doc->RemoveFavourite(s, true));
    EXPECT_EQ(doc->FindServer(kAddr, 27015), s) << "the record stays in the list";

    // A record that left its last group, found by a query and made a
    // favourite from its results, shows again.
    s->m_dwFlags = 0;
    s->m_bDeleted = 1;
    EXPECT_EQ(doc->AddFavourite(kAddr, 27015, true), s);
    EXPECT_EQ(s->m_bDeleted, 0);
}

TEST_F(DocumentTest, GamesAndMapsAreDistinctWithoutCase) {
    AddServer(1, 1)->m_strGame = "cstrike";
    AddServer(2, 1)->m_strGame = "CStrike";
    AddServer(3, 1)->m_strGame = "valve";
    AddServer(4, 1);
    std::vector<std::string> games;
    doc->GetGames(games);
    ASSERT_EQ(games.size(), 3u);
    EXPECT_EQ(games[0], "");
    EXPECT_EQ(games[1].size(), 7u);
    EXPECT_EQ(games[2], "valve");
}

TEST_F(DocumentTest, ClearServerListKeepsWhatTheUserMade) {
    AddServer(1, 1, GROUP_WON | GROUP_FAVOURITES);
    AddServer(2, 1, GROUP_WON | GROUP_MANUAL);
    AddServer(3, 1, 0)->m_bDeleted = 1;
    AddServer(4, 1, GROUP_WON | GROUP_FILTERED | GROUP_FOUND);
    AddServer(5, 1, GROUP_WON);
    // Steam's list goes the same way, and a Steam favourite stays.
    AddServer(6, 1, GROUP_STEAM | GROUP_FILTERED);
    AddServer(7, 1, GROUP_STEAM | GROUP_FAVOURITES);
    auto query = std::make_unique<SearchQuery>("q", "x", 0);
    SearchQuery* q = doc->AddQuery(std::move(query));
    q->m_servers.push_back(doc->FindServer(5, 1));
    q->m_servers.push_back(doc->FindServer(6, 1));
    view.entries.clear();
    doc->ClearServerList();
    EXPECT_EQ(doc->GetServerList().GetSize(), 4);
    EXPECT_EQ(doc->FindServer(4, 1), nullptr);
    EXPECT_EQ(doc->FindServer(5, 1), nullptr);
    EXPECT_EQ(doc->FindServer(6, 1), nullptr);
    EXPECT_NE(doc->FindServer(7, 1), nullptr);
    EXPECT_TRUE(q->m_servers.empty());
    EXPECT_EQ(view.Hints(), (std::vector<int>{HINT_SERVERS_RELOADED, HINT_QUERY_UPDATED}));
}

TEST_F(DocumentTest, AddServerReadsTheClipboardAndRemembersTheAddress) {
    uint32_t shownAddress = 1;
    int shownPort = 1;
    ui.onAddServer = [&](uint32_t& address, int& port, std::string&) {
        shownAddress = address;
        shownPort = port;
        return true;
    };
    // An empty clipboard shows 0.0.0.0, which adds nothing; port 0 becomes 27015.
    const std::tuple<const char*, uint32_t, int> clipboards[] = {{"", 0, 27015},
                                                                 {"10.1.2.3", 0x0A010203, 27015},
                                                                 {"10.1.2.4:0", 0x0A010204, 27015},
                                                                 {"10.1.2.5:27020", 0x0A010205, 27020}};
    for (const auto& [text, address, port] : clipboards) {
        ui.clipboard = text;
        doc->AddServer();
        EXPECT_EQ(shownAddress, address) << text;
        EXPECT_EQ(shownPort, port) << text;
    }
    EXPECT_EQ(doc->GetServerList().GetSize(), 3);
    EXPECT_EQ(doc->FindServer(0x0A010203u, 27015)->m_dwFlags, GROUP_MANUAL);
    ASSERT_EQ(view.Hints().size(), 6u);
    EXPECT_EQ(view.entries[0].hint, HINT_GROUPS_CHANGED);
    EXPECT_EQ(view.entries[0].data, GROUP_MANUAL);
    EXPECT_EQ(view.entries[1].hint, HINT_SELECT_SERVER);

    ui.clipboard.clear();
    ui.onAddServer = [&](uint32_t&, int&, std::string& host) {
        host = "127.0.0.1";
        return true;
    };
    doc->AddServer();
    ServerInfo* byName = doc->FindServer(0x7F000001u, 27020);
    ASSERT_TRUE(byName);
    EXPECT_EQ(byName->m_bConnectByHostName, 1);
    EXPECT_EQ(byName->m_strHostName, "127.0.0.1");

    const int before = doc->GetServerList().GetSize();
    ui.onAddServer = [&](uint32_t&, int&, std::string& host) {
        host = "no-such-host.invalid";
        return true;
    };
    doc->AddServer();
    EXPECT_EQ(doc->GetServerList().GetSize(), before);
}

TEST_F(DocumentTest, FindServersMatchesNamesThenHostNames) {
    ServerInfo* byName = AddServer(1, 1);
    byName->m_strName = "Dust Party";
    ServerInfo* byHost = AddServer(2, 1);
    byHost->m_strName = "Office";
    byHost->m_strHostName = "dust.example.org";
    ServerInfo* neither = AddServer(3, 1, GROUP_WON | GROUP_FOUND);
    neither->m_strName = "Italy";
    ui.onEditQuery = [](Query& q) {
        q.m_strExpression = "DUST";
        q.m_dwFlags = 0;
        return true;
    };
    doc->FindServers();
    EXPECT_TRUE(byName->m_dwFlags & GROUP_FOUND);
    EXPECT_TRUE(byHost->m_dwFlags & GROUP_FOUND);
    EXPECT_FALSE(neither->m_dwFlags & GROUP_FOUND);
    EXPECT_EQ(view.Hints(), (std::vector<int>{HINT_GROUPS_CHANGED, HINT_FOUND_READY}));

    view.entries.clear();
    doc->SetModifiedFlag(false);
    ui.onEditQuery = [](Query& q) {
        // Not = "(": GCC 12 at -O3 warns falsely (-Wstringop-overflow) about
        // that copy once inlined here.
        q.m_strExpression.assign(1, '(');
        q.m_dwFlags = QF_REGEX;
        return true;
    };
    doc->FindServers();
    EXPECT_TRUE(byName->m_dwFlags & GROUP_FOUND) << "a bad expression changes no group";
    EXPECT_TRUE(doc->IsModified());
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].rfind("Bad expression:\n\n", 0), 0u);
    EXPECT_TRUE(view.entries.empty());
}

TEST_F(DocumentTest, ResetDeletesQueriesAndServersButKeepsFilters) {
    AddServer(1, 1);
    doc->AddQuery(std::make_unique<SearchQuery>("q", "x", 0));
    doc->m_filter.m_dwFlags = FILTER_PING;
    doc->m_findQuery = Query("n", "e", 3);
    view.entries.clear();
    doc->DeleteContents();
    EXPECT_EQ(doc->GetServerList().GetSize(), 0);
    EXPECT_TRUE(doc->GetQueries().empty());
    EXPECT_EQ(doc->m_filter.m_dwFlags, FILTER_PING);
    EXPECT_TRUE(doc->m_findQuery.m_strName.empty());
    EXPECT_EQ(doc->m_findQuery.m_dwFlags, 1u);
    EXPECT_EQ(view.entries.front().hint, HINT_DOC_CLEARED);
}

TEST_F(DocumentTest, EditQueryAddsRerunsAndRestores) {
    ServerInfo* s = AddServer(1, 1);
    auto players = std::make_unique<PlayerList>(1);
    auto p = std::make_unique<PlayerInfo>();
    p->m_strName = "[TAG] Hunter";
    players->Insert(std::move(p));
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
    EXPECT_EQ(view.Count(HINT_QUERY_ADDED), 1);

    // A bad expression shows the dialog again; Cancel then restores the old
    // expression and runs it.
    int shown = 0;
    ui.onEditQuery = [&](Query& edited) {
        if (++shown > 1)
            return false;
        edited.m_strExpression = "(";
        edited.m_dwFlags = QF_REGEX;
        return true;
    };
    size_t resultsWhenBoxShown = 99;
    ui.onMessage = [&](const std::string&) { resultsWhenBoxShown = q->m_players.size(); };
    doc->EditQuery(q);
    EXPECT_EQ(shown, 2);
    EXPECT_EQ(resultsWhenBoxShown, 0u);
    EXPECT_EQ(q->m_strExpression, "hunter");
    EXPECT_EQ(q->m_dwFlags, 0u);
    EXPECT_EQ(q->m_players.size(), 1u);
}

TEST_F(DocumentTest, BadExpressionTellsTheViewsBeforeTheMessageBox) {
    auto query = std::make_unique<SearchQuery>("q", "(", QF_REGEX);
    SearchQuery* q = query.get();
    doc->AddQuery(std::move(query));
    view.entries.clear();
    size_t hintsWhenBoxShown = 0;
    ui.onMessage = [&](const std::string&) { hintsWhenBoxShown = view.entries.size(); };
    EXPECT_FALSE(doc->RunQuery(*q, false));
    ASSERT_EQ(hintsWhenBoxShown, 1u);
    EXPECT_EQ(view.entries[0].hint, HINT_QUERY_UPDATED);
    EXPECT_EQ(view.entries[0].query, q);
}

TEST_F(DocumentTest, AddPlayerQueryIgnoresEmptyNames) {
    doc->AddPlayerQuery("");
    EXPECT_TRUE(doc->GetQueries().empty());
    doc->AddPlayerQuery("(weird");
    ASSERT_EQ(doc->GetQueries().size(), 1u);
    EXPECT_EQ(doc->GetQueries()[0]->m_dwFlags, 0u);
    EXPECT_EQ(doc->GetQueries()[0]->m_strName, "(weird");
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
    EXPECT_EQ(view.entries[0].data, GROUP_FILTERED);

    // Cancel changes nothing; an inactive filter empties the group.
    view.entries.clear();
    ui.onServerFilter = [](ServerFilter&) { return false; };
    doc->EditFilter();
    EXPECT_EQ(doc->m_filter.m_dwFlags, FILTER_PING);
    EXPECT_TRUE(view.entries.empty());
    doc->m_filter.m_dwFlags = 0;
    doc->ApplyFilter(false);
    EXPECT_FALSE(fast->m_dwFlags & GROUP_FILTERED);
}
