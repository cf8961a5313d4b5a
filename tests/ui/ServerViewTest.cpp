#include <gtest/gtest.h>

#include "core/CSettings.h"
#include "core/ServerInfo.h"
#include "net/Address.h"
#include "search/SearchQuery.h"
#include "tests/ui/UiTestSupport.h"

namespace {

constexpr int kServers = 30;

} // namespace

// A window whose document has fetched its server list from a lab of game
// servers, some of which never answer.
class ServerViewTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_lab = new LabProcess;
        // Some latency: a loopback reply within a millisecond would read as ping
        // 0, "not answering".
        if (!s_lab->Start(
                {"--servers", QString::number(kServers), "--silent", "0.2", "--latency", "2-8"}))
            s_labError = s_lab->Error().toStdString();
    }
    static void TearDownTestSuite() {
        delete s_lab;
        s_lab = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(s_labError.empty()) << s_labError;
        ASSERT_TRUE(h.StartAgainst(*s_lab, [](CSettings& s) {
            s.m_nSocketTimeout = 300;
            s.m_dwFlags |= OPT_REFRESH_NEW_SERVERS;
        }));
        h.Tree().AddListener(&listener);
        UpdateFromLab();
    }
    void TearDown() override {
        if (h.app && h.app->GetMainFrame())
            h.Tree().RemoveListener(&listener);
    }
    void UpdateFromLab() {
        h.Frame().RouteCommand(ID_UPDATE_SERVER_LIST);
        ASSERT_TRUE(WaitUntil([this] {
            const CScoutwireDoc& doc = h.Doc();
            return doc.GetServerList().GetSize() == kServers && !doc.IsUpdatingServerList() &&
                   !doc.IsRefreshing() && doc.GetServerSocketCount() == 0;
        }));
    }
    ServerInfo* Server(int index) const {
        return h.Doc().FindServer(s_lab->AddressAt(index), s_lab->ServerPort());
    }
    bool IsSilent(int index) const {
        return s_lab->ServerAt(index).value("behaviour").toString() == "silent";
    }
    int FirstIndex(bool silent) const {
        for (int i = 0; i < kServers; ++i)
            if (IsSilent(i) == silent)
                return i;
        return -1;
    }
    CServerTreeItem* Group(uint32_t bit) const { return h.Tree().GroupItem(bit); }
    CServerTreeItem* Expanded(uint32_t bit) const {
        Group(bit)->setExpanded(true);
        return Group(bit);
    }
    std::vector<const ServerInfo*> Listed(uint32_t bit) const {
        std::vector<const ServerInfo*> out;
        for (CServerTreeItem* item : Children(Expanded(bit)))
            out.push_back(item->Data().Server());
        return out;
    }
    void Press(QTreeWidgetItem* item, int key) {
        h.Tree().setCurrentItem(item);
        PressKey(&h.Tree(), key);
    }
    static LabProcess* s_lab;
    static std::string s_labError;
    AppHarness h;
    RecordingListener listener;
};

LabProcess* ServerViewTest::s_lab = nullptr;
std::string ServerViewTest::s_labError;

TEST_F(ServerViewTest, GroupsAreLoadedOnlyWhenExpandedFilteredAndFound) {
    EXPECT_EQ(Group(GROUP_WON)->childCount(), 0) << "nothing is loaded before expansion";
    const std::vector<CServerTreeItem*> items = Children(Expanded(GROUP_WON));
    ASSERT_EQ(static_cast<int>(items.size()), kServers);
    for (int i = 0; i < kServers; ++i) {
        const ServerInfo* server = items[static_cast<size_t>(i)]->Data().Server();
        ASSERT_EQ(server, Server(i)) << "in address order";
        EXPECT_EQ(CServerTreeItem::ServerImage(*server), IsSilent(i) ? 1 : 0);
        if (!IsSilent(i)) {
            EXPECT_EQ(items[static_cast<size_t>(i)]->text(0),
                      QString::fromStdString(FormatAddress(server->m_dwAddress, server->m_wPort)) +
                          "  [ " + DisplayText(server->m_strName) + " ]  ");
        }
    }

    // "Filtered" applies the current filter when it is expanded.
    h.Doc().m_filter.m_dwFlags = FILTER_GAME;
    h.Doc().m_filter.m_strGame = "dod";
    std::vector<const ServerInfo*> expected;
    for (const auto& server : h.Doc().GetServerList())
        if (h.Doc().m_filter.Matches(*server))
            expected.push_back(server.get());
    ASSERT_FALSE(expected.empty());
    ASSERT_LT(expected.size(), static_cast<size_t>(kServers));
    EXPECT_EQ(Listed(GROUP_FILTERED), expected);
    h.ui.onEditQuery = [](Query& query) {
        query.m_strName.clear();
        query.m_strExpression = "Noobs";
        query.m_dwFlags = 0;
        return true;
    };
    h.Frame().RouteCommand(ID_FIND_SERVERS);
    EXPECT_EQ(Group(GROUP_FOUND)->text(0), "Found: Noobs");
    EXPECT_EQ(h.Tree().SelectedItem(), Group(GROUP_FOUND));
}

TEST_F(ServerViewTest, DeleteAndInsertActByTheGroupOfTheItem) {
    ServerInfo* favourite = Server(FirstIndex(false));
    ServerInfo* manual = Server(5);
    ServerInfo* plain = Server(6);
    ServerInfo* steam = Server(kServers - 1);
    ServerInfo* both = Server(kServers - 2);
    Press(ChildFor(Expanded(GROUP_WON), favourite), Qt::Key_Insert);
    EXPECT_TRUE(favourite->m_dwFlags & GROUP_FAVOURITES);
    // Selecting asked the server again; its answer brings the ping back.
    EXPECT_TRUE(WaitUntil([&] { return CServerTreeItem::ServerImage(*favourite) == 2; }));
    manual->m_dwFlags = GROUP_MANUAL;
    manual->m_nProtocol = PROTOCOL_LEGACY;
    steam->m_dwFlags = GROUP_STEAM;
    both->m_dwFlags = GROUP_WON | GROUP_STEAM;
    h.Doc().UpdateAllViews(nullptr, HINT_SERVERS_RELOADED);
    EXPECT_EQ(Listed(GROUP_STEAM), (std::vector<const ServerInfo*>{both, steam}));
    // Favourites: only the favourite bit goes.
    Press(ChildFor(Expanded(GROUP_FAVOURITES), favourite), Qt::Key_Delete);
    EXPECT_EQ(Group(GROUP_FAVOURITES)->childCount(), 0);
    EXPECT_EQ(favourite->m_dwFlags & (GROUP_FAVOURITES | GROUP_WON), GROUP_WON);
    // A server in no group any more is deleted.
    Press(ChildFor(Expanded(GROUP_MANUAL), manual), Qt::Key_Delete);
    EXPECT_EQ(manual->m_dwFlags, GROUP_WON) << "an old-protocol server goes back to WON";
    EXPECT_EQ(ChildFor(Group(GROUP_MANUAL), manual), nullptr);
    EXPECT_FALSE(manual->m_bDeleted);
    plain->m_dwFlags = GROUP_WON;
    Press(ChildFor(Expanded(GROUP_WON), plain), Qt::Key_Delete);
    EXPECT_TRUE(plain->m_bDeleted);
    EXPECT_EQ(ChildFor(Group(GROUP_WON), plain), nullptr);
    Press(ChildFor(Group(GROUP_STEAM), both), Qt::Key_Delete);
    EXPECT_EQ(both->m_dwFlags, GROUP_WON);
    Press(ChildFor(Group(GROUP_STEAM), steam), Qt::Key_Delete);
    EXPECT_TRUE(steam->m_bDeleted);
    Group(GROUP_WON)->setExpanded(false);
    EXPECT_EQ(ChildFor(Expanded(GROUP_WON), plain), nullptr) << "deleted servers stay out";

    // An A2S server deleted from "Manual" goes to Steam, and shown from
    // elsewhere it opens that group.
    manual->m_dwFlags = GROUP_MANUAL;
    manual->m_nProtocol = PROTOCOL_A2S;
    Group(GROUP_MANUAL)->setExpanded(false);
    Press(ChildFor(Expanded(GROUP_MANUAL), manual), Qt::Key_Delete);
    EXPECT_EQ(manual->m_dwFlags, GROUP_STEAM);
    for (uint32_t bit : CServerView::kGroupBits)
        Group(bit)->setExpanded(false);
    const CUpdateHint hint(manual);
    h.Doc().UpdateAllViews(nullptr, HINT_SELECT_SERVER, &hint);
    EXPECT_TRUE(Group(GROUP_STEAM)->isExpanded());
    EXPECT_EQ(h.Tree().SelectedItem()->Data().Server(), manual);

    // Groups and "Filtered" members: nothing.
    Press(Group(GROUP_WON), Qt::Key_Delete);
    EXPECT_EQ(h.Tree().SelectedItem(), Group(GROUP_WON));
    h.Doc().m_filter.m_dwFlags = FILTER_GAME;
    h.Doc().m_filter.m_strGame = "cstrike";
    CServerTreeItem* filtered = Children(Expanded(GROUP_FILTERED)).at(0);
    const uint32_t flags = filtered->Data().Server()->m_dwFlags;
    Press(filtered, Qt::Key_Delete);
    EXPECT_EQ(filtered->Data().Server()->m_dwFlags, flags);
    EXPECT_EQ(h.Tree().SelectedItem(), filtered);
}

TEST_F(ServerViewTest, QueriesKeepTheirResultsSortedLabelsAndGoOnDelete) {
    CScoutwireDoc& doc = h.Doc();
    SearchQuery* none = doc.AddQuery(std::make_unique<SearchQuery>("zeta", "no such player!", 0));
    SearchQuery* some = doc.AddQuery(std::make_unique<SearchQuery>("", "o", 0));
    doc.RunAllQueries();
    CServerTreeItem* noneItem = h.Tree().FindQueryItem(none);
    CServerTreeItem* someItem = h.Tree().FindQueryItem(some);
    EXPECT_EQ(noneItem->text(0), "zeta");
    ASSERT_FALSE(some->m_players.empty());
    EXPECT_EQ(someItem->text(0),
              QStringLiteral("o  (%1/%2)").arg(some->m_servers.size()).arg(some->m_players.size()));
    ASSERT_EQ(static_cast<size_t>(someItem->childCount()), some->m_servers.size());
    EXPECT_EQ(h.Tree().QueriesItem()->child(0), someItem) << "by label, without regard to case";

    // Deleting a result takes it off its list, not off the query.
    const size_t results = some->m_servers.size();
    CServerTreeItem* first = Children(someItem).front();
    ServerInfo* server = first->Data().Server();
    server->m_dwFlags = GROUP_WON;
    Press(first, Qt::Key_Delete);
    EXPECT_EQ(ChildFor(someItem, server), nullptr);
    EXPECT_EQ(some->m_servers.size(), results);
    Press(someItem, Qt::Key_Delete);
    Press(noneItem, Qt::Key_Delete);
    EXPECT_TRUE(doc.GetQueries().empty());
    EXPECT_EQ(h.Tree().QueriesItem()->childCount(), 0);
}

TEST_F(ServerViewTest, SelectingAServerAsksForItsRulesAndAddServerShowsIt) {
    ServerInfo* server = Server(FirstIndex(false));
    ASSERT_FALSE(server->m_pRules && server->m_pRules->GetSize() > 0);
    listener.seen.clear();
    h.Tree().setCurrentItem(ChildFor(Expanded(GROUP_WON), server));
    ASSERT_EQ(listener.seen.size(), 1u);
    EXPECT_EQ(listener.seen[0].m_pObject, server);
    EXPECT_EQ(h.Frame().GetDialogBar()->Text(), "Retrieving...");
    EXPECT_TRUE(WaitUntil([&] { return server->m_pRules && server->m_pRules->GetSize() > 0; }));
    // Enter asks for the Properties of the server.
    h.Frame().ActivateView(&h.Tree());
    ServerInfo* edited = nullptr;
    h.ui.onServerProperties = [&](ServerInfo& s) {
        edited = &s;
        return false;
    };
    PressKey(&h.Tree(), Qt::Key_Return);
    EXPECT_TRUE(WaitUntil([&] { return edited == server; }, 3000));

    // Add Server of a server the list has: it becomes manual and is selected
    // there, "Manual" being expanded for it.
    ServerInfo* added = Server(3);
    h.ui.onAddServer = [&](uint32_t& address, int& port, std::string&) {
        address = added->m_dwAddress;
        port = added->m_wPort;
        return true;
    };
    Group(GROUP_WON)->setExpanded(false);
    h.Frame().RouteCommand(ID_ADD_SERVER);
    EXPECT_TRUE(Group(GROUP_MANUAL)->isExpanded());
    EXPECT_EQ(h.Tree().SelectedItem()->parent(), Group(GROUP_MANUAL));
    EXPECT_EQ(h.Tree().SelectedItem()->Data().Server(), added);
}

TEST_F(ServerViewTest, ItemsOfRemovedRecordsGoBeforeAnythingPaints) {
    SearchQuery* query = h.Doc().AddQuery(std::make_unique<SearchQuery>("any", "e", 0));
    h.Doc().RunQuery(*query, true);
    ASSERT_GT(h.Tree().FindQueryItem(query)->childCount(), 0);
    h.Tree().setCurrentItem(Children(Expanded(GROUP_WON))[4]);
    h.Frame().RouteCommand(ID_CLEAR_SERVER_LIST);
    EXPECT_EQ(Group(GROUP_WON)->childCount(), 0);
    EXPECT_EQ(h.Tree().FindQueryItem(query)->childCount(), 0);
    EXPECT_EQ(h.Tree().SelectedItem(), Group(GROUP_WON)) << "the selection moved up first";
    h.Tree().repaint();
    UpdateFromLab();
    h.Tree().setCurrentItem(Children(Expanded(GROUP_WON))[1]);
    h.ui.answers = {IUserInterface::Answer::No};
    ASSERT_TRUE(h.Frame().NewDocument());
    EXPECT_EQ(Group(GROUP_WON)->childCount(), 0);
    EXPECT_EQ(h.Tree().QueriesItem()->childCount(), 0);
    h.Tree().repaint();
}
