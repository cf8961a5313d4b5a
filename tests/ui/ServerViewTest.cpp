#include <QContextMenuEvent>
#include <QMenu>
#include <QTreeView>
#include <gtest/gtest.h>

#include "core/CSettings.h"
#include "core/ServerInfo.h"
#include "net/Address.h"
#include "search/SearchQuery.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/CDetailsView.h"
#include "ui/IListSelectionListener.h"

namespace {

constexpr int kServers = 30;

struct HintRecorder : IDocView {
    void OnUpdate(IDocView*, int hint, const CUpdateHint*) override { hints.push_back(hint); }
    std::vector<int> hints;
};

QString ExpectedLabel(const ServerInfo& server, const QString& name) {
    return QString::fromStdString(FormatAddress(server.m_dwAddress, server.m_wPort)) + "  [ " +
           name + " ]  ";
}

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
    void Select(QTreeWidgetItem* item) { h.Tree().setCurrentItem(item); }
    // The tree as the user's keys reach it.
    void Press(int key) { PressKey(&h.Tree(), key); }

    static LabProcess* s_lab;
    static std::string s_labError;
    AppHarness h;
    RecordingListener listener;
};

LabProcess* ServerViewTest::s_lab = nullptr;
std::string ServerViewTest::s_labError;

TEST_F(ServerViewTest, GroupsAreLoadedOnlyWhenExpanded) {
    for (CServerTreeItem* group : Children(h.Tree().ServersItem()))
        EXPECT_EQ(group->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicatorWhenChildless);
    UpdateFromLab();
    EXPECT_EQ(Group(GROUP_WON)->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
    EXPECT_EQ(Group(GROUP_MANUAL)->childIndicatorPolicy(),
              QTreeWidgetItem::DontShowIndicatorWhenChildless);
    EXPECT_EQ(Group(GROUP_WON)->childCount(), 0) << "nothing is loaded before expansion";

    const std::vector<CServerTreeItem*> items = Children(Expanded(GROUP_WON));
    ASSERT_EQ(static_cast<int>(items.size()), kServers);
    for (int i = 0; i < kServers; ++i) {
        const ServerInfo* server = items[static_cast<size_t>(i)]->Data().Server();
        ASSERT_EQ(server, Server(i)) << "in address order";
        EXPECT_EQ(items[static_cast<size_t>(i)]->Kind(), GROUP_WON);
        EXPECT_EQ(CServerTreeItem::ServerImage(*server), IsSilent(i) ? 1 : 0);
        if (!IsSilent(i)) {
            EXPECT_EQ(items[static_cast<size_t>(i)]->text(0),
                      ExpectedLabel(*server, DisplayText(server->m_strName)));
        }
    }

    Group(GROUP_WON)->setExpanded(false);
    EXPECT_EQ(Group(GROUP_WON)->childCount(), 0) << "collapsing drops the members";
    EXPECT_EQ(Group(GROUP_WON)->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
}

TEST_F(ServerViewTest, ExpandingFilteredAppliesTheCurrentFilterFirst) {
    UpdateFromLab();
    h.Doc().m_filter.m_dwFlags = FILTER_GAME;
    h.Doc().m_filter.m_strGame = "dod";
    std::vector<const ServerInfo*> expected;
    for (const auto& server : h.Doc().GetServerList())
        if (h.Doc().m_filter.Matches(*server))
            expected.push_back(server.get());
    ASSERT_FALSE(expected.empty());
    ASSERT_LT(expected.size(), static_cast<size_t>(kServers));

    std::vector<const ServerInfo*> listed;
    for (CServerTreeItem* item : Children(Expanded(GROUP_FILTERED)))
        listed.push_back(item->Data().Server());
    EXPECT_EQ(listed, expected);
}

TEST_F(ServerViewTest, DeleteActsByTheGroupOfTheItem) {
    UpdateFromLab();
    ServerInfo* favourite = Server(FirstIndex(false));
    ServerInfo* manual = Server(5);
    ServerInfo* plain = Server(6);
    h.Doc().AddFavourite(favourite->m_dwAddress, favourite->m_wPort, true);
    manual->m_dwFlags = GROUP_MANUAL;
    const CUpdateHint groups(GROUP_MANUAL);
    h.Doc().UpdateAllViews(nullptr, HINT_GROUPS_CHANGED, &groups);

    // Favourites: only the favourite bit goes.
    Select(ChildFor(Expanded(GROUP_FAVOURITES), favourite));
    Press(Qt::Key_Delete);
    EXPECT_EQ(Group(GROUP_FAVOURITES)->childCount(), 0);
    EXPECT_EQ(favourite->m_dwFlags & (GROUP_FAVOURITES | GROUP_WON), GROUP_WON);
    EXPECT_EQ(h.Frame().MessageText(),
              "Removed '" + DisplayText(favourite->m_strName) + "' from favourites");

    // Manual and WON change the bits and the tree only.
    HintRecorder hints;
    h.Doc().AddView(&hints);
    h.Doc().SetModifiedFlag(false);
    Select(ChildFor(Expanded(GROUP_MANUAL), manual));
    Press(Qt::Key_Delete);
    EXPECT_EQ(manual->m_dwFlags, GROUP_WON);
    EXPECT_EQ(ChildFor(Group(GROUP_MANUAL), manual), nullptr);
    EXPECT_FALSE(manual->m_bDeleted);

    plain->m_dwFlags = GROUP_WON;
    Select(ChildFor(Expanded(GROUP_WON), plain));
    Press(Qt::Key_Delete);
    EXPECT_EQ(plain->m_dwFlags & GROUP_ALL, 0u);
    EXPECT_TRUE(plain->m_bDeleted);
    EXPECT_EQ(ChildFor(Group(GROUP_WON), plain), nullptr);
    EXPECT_TRUE(hints.hints.empty());
    EXPECT_FALSE(h.Doc().IsModified());
    h.Doc().RemoveView(&hints);

    // A server still in another group is not deleted.
    h.Doc().AddFavourite(manual->m_dwAddress, manual->m_wPort, true);
    Select(ChildFor(Group(GROUP_WON), manual));
    Press(Qt::Key_Delete);
    EXPECT_EQ(manual->m_dwFlags & GROUP_ALL, GROUP_FAVOURITES);
    EXPECT_FALSE(manual->m_bDeleted);

    Group(GROUP_WON)->setExpanded(false);
    EXPECT_EQ(ChildFor(Expanded(GROUP_WON), plain), nullptr) << "deleted servers stay out";

    // Groups, "Filtered" and "Found" members: nothing.
    Select(Group(GROUP_WON));
    Press(Qt::Key_Delete);
    EXPECT_EQ(h.Tree().SelectedItem(), Group(GROUP_WON));
    h.Doc().m_filter.m_dwFlags = FILTER_GAME;
    h.Doc().m_filter.m_strGame = "cstrike";
    const std::vector<CServerTreeItem*> inFiltered = Children(Expanded(GROUP_FILTERED));
    ASSERT_FALSE(inFiltered.empty());
    CServerTreeItem* filtered = inFiltered.front();
    const uint32_t flags = filtered->Data().Server()->m_dwFlags;
    Select(filtered);
    Press(Qt::Key_Delete);
    EXPECT_EQ(filtered->Data().Server()->m_dwFlags, flags);
    EXPECT_EQ(h.Tree().SelectedItem(), filtered);
}

TEST_F(ServerViewTest, DeleteUnderAQueryLeavesItsResults) {
    UpdateFromLab();
    SearchQuery* query = h.Doc().AddQuery(std::make_unique<SearchQuery>("all", "e", 0));
    ASSERT_TRUE(h.Doc().RunQuery(*query, true));
    CServerTreeItem* item = h.Tree().FindQueryItem(query);
    ASSERT_NE(item, nullptr);
    ASSERT_GT(item->childCount(), 0);
    const size_t results = query->m_servers.size();
    CServerTreeItem* first = Children(item).front();
    ServerInfo* server = first->Data().Server();
    server->m_dwFlags = GROUP_WON;
    Select(first);
    Press(Qt::Key_Delete);
    EXPECT_EQ(ChildFor(item, server), nullptr);
    EXPECT_EQ(server->m_dwFlags & GROUP_WON, 0u);
    EXPECT_TRUE(server->m_bDeleted);
    EXPECT_EQ(query->m_servers.size(), results);

    // A query item: the query goes, and so does its item.
    Select(item);
    Press(Qt::Key_Delete);
    EXPECT_TRUE(h.Doc().GetQueries().empty());
    EXPECT_EQ(h.Tree().QueriesItem()->childCount(), 0);
    h.Tree().repaint();
}

TEST_F(ServerViewTest, TheSteamGroupActsLikeTheWONGroup) {
    UpdateFromLab();
    ServerInfo* steam = Server(1);
    ServerInfo* both = Server(2);
    ServerInfo* manual = Server(3);
    const auto setLists = [&] {
        steam->m_dwFlags = GROUP_STEAM;
        both->m_dwFlags = GROUP_WON | GROUP_STEAM;
        manual->m_dwFlags = GROUP_MANUAL;
    };
    setLists();
    manual->m_nProtocol = PROTOCOL_A2S;
    h.Doc().UpdateAllViews(nullptr, HINT_SERVERS_RELOADED);
    EXPECT_EQ(Group(GROUP_STEAM)->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
    std::vector<const ServerInfo*> listed;
    for (CServerTreeItem* item : Children(Expanded(GROUP_STEAM))) {
        EXPECT_EQ(item->Kind(), GROUP_STEAM);
        listed.push_back(item->Data().Server());
    }
    EXPECT_EQ(listed, (std::vector<const ServerInfo*>{steam, both}));
    EXPECT_EQ(ChildFor(Expanded(GROUP_WON), steam), nullptr);
    EXPECT_NE(ChildFor(Group(GROUP_WON), both), nullptr);

    // Delete takes a server off the Steam list only; in no group any more,
    // it is deleted. An A2S server deleted from "Manual" goes to Steam.
    setLists();
    Select(ChildFor(Group(GROUP_STEAM), both));
    Press(Qt::Key_Delete);
    EXPECT_EQ(both->m_dwFlags, GROUP_WON);
    Select(ChildFor(Group(GROUP_STEAM), steam));
    Press(Qt::Key_Delete);
    EXPECT_EQ(steam->m_dwFlags, 0u);
    EXPECT_TRUE(steam->m_bDeleted);
    EXPECT_EQ(Group(GROUP_STEAM)->childCount(), 0);
    Select(ChildFor(Expanded(GROUP_MANUAL), manual));
    Press(Qt::Key_Delete);
    EXPECT_EQ(manual->m_dwFlags, GROUP_STEAM);

    // Shown from elsewhere, a Steam server opens its group.
    for (uint32_t bit : CServerView::kGroupBits)
        Group(bit)->setExpanded(false);
    const CUpdateHint hint(manual);
    h.Doc().UpdateAllViews(nullptr, HINT_SELECT_SERVER, &hint);
    EXPECT_TRUE(Group(GROUP_STEAM)->isExpanded());
    ASSERT_NE(h.Tree().SelectedItem(), nullptr);
    EXPECT_EQ(h.Tree().SelectedItem()->Data().Server(), manual);
}

TEST_F(ServerViewTest, InsertAddsTheSelectedServerToTheFavourites) {
    UpdateFromLab();
    ServerInfo* server = Server(FirstIndex(false));
    CServerTreeItem* item = ChildFor(Expanded(GROUP_WON), server);
    Select(item);
    Press(Qt::Key_Insert);
    EXPECT_TRUE(server->m_dwFlags & GROUP_FAVOURITES);
    // Checked at once: the details pane writes the player count there when
    // the server's answer arrives.
    EXPECT_EQ(h.Frame().MessageText(),
              "Added '" + DisplayText(server->m_strName) + "' to favourites");
    // Selecting asked the server again; its answer brings the ping back.
    EXPECT_TRUE(WaitUntil([&] { return CServerTreeItem::ServerImage(*server) == 2; }));
    EXPECT_EQ(Group(GROUP_FAVOURITES)->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
    EXPECT_NE(ChildFor(Expanded(GROUP_FAVOURITES), server), nullptr);
    EXPECT_EQ(CServerTreeItem::ServerImage(*Server(FirstIndex(true))), 1);
}

TEST_F(ServerViewTest, ContextMenusFollowTheKindOfItem) {
    UpdateFromLab();
    CServerView& tree = h.Tree();
    ServerInfo* server = Server(0);
    h.Doc().AddFavourite(server->m_dwAddress, server->m_wPort, true);
    SearchQuery* query = h.Doc().AddQuery(std::make_unique<SearchQuery>("q", "x", 0));

    const auto entries = [&](const CServerTreeItem* item) {
        QStringList out;
        std::unique_ptr<QMenu> menu = tree.BuildContextMenu(item);
        if (!menu)
            return QStringList{"(none)"};
        for (QAction* action : menu->actions())
            out << action->text() + (menu->defaultAction() == action && action->font().bold() ? "*" : "");
        return out;
    };
    EXPECT_EQ(entries(ChildFor(Expanded(GROUP_FAVOURITES), server)),
              QStringList({"Copy\tCtrl+C", "Remove from favourites\tDelete", "Join server\tCtrl+J",
                           "Join when a place frees", "Watch for free places...",
                           "Watch for players...", "Properties\tAlt+Enter*"}));
    EXPECT_EQ(entries(ChildFor(Expanded(GROUP_WON), server)),
              QStringList({"Copy\tCtrl+C", "Add to favourites\tInsert", "Join server\tCtrl+J",
                           "Join when a place frees", "Watch for free places...",
                           "Watch for players...", "Properties\tAlt+Enter*"}));
    EXPECT_EQ(entries(tree.FindQueryItem(query)),
              QStringList({"Copy\tCtrl+C", "Watch", "Properties\tAlt+Enter"}));
    for (const CServerTreeItem* props : {Group(GROUP_FILTERED), Group(GROUP_FOUND)})
        EXPECT_EQ(entries(props), QStringList({"Properties\tAlt+Enter"}));
    for (const CServerTreeItem* none : {tree.ServersItem(), tree.QueriesItem(), Group(GROUP_WON),
                                        Group(GROUP_MANUAL), Group(GROUP_FAVOURITES)})
        EXPECT_EQ(entries(none), QStringList({"(none)"})) << none->text(0).toStdString();

    // Right-clicking "WON" selects it and opens no menu (a popup would be
    // closed by the guard and noted).
    bool menuShown = false;
    QTimer guard;
    QObject::connect(&guard, &QTimer::timeout, [&] {
        if (QWidget* popup = QApplication::activePopupWidget()) {
            menuShown = true;
            popup->close();
        }
    });
    guard.start(20);
    Select(tree.ServersItem());
    const QRect rect = tree.visualItemRect(Group(GROUP_WON));
    QContextMenuEvent click(QContextMenuEvent::Mouse, rect.center(),
                            tree.viewport()->mapToGlobal(rect.center()));
    QCoreApplication::sendEvent(tree.viewport(), &click);
    EXPECT_EQ(tree.SelectedItem(), Group(GROUP_WON));
    EXPECT_FALSE(menuShown);
}

TEST_F(ServerViewTest, SelectServerShowsTheServerInItsGroup) {
    UpdateFromLab();
    ServerInfo* server = Server(3);
    // Add Server of a server the list has: it becomes manual and is selected
    // there, "Manual" being expanded for it.
    h.ui.onAddServer = [&](uint32_t& address, int& port, std::string&) {
        address = server->m_dwAddress;
        port = server->m_wPort;
        return true;
    };
    h.Frame().RouteCommand(ID_ADD_SERVER);
    EXPECT_TRUE(Group(GROUP_MANUAL)->isExpanded());
    ASSERT_NE(h.Tree().SelectedItem(), nullptr);
    EXPECT_EQ(h.Tree().SelectedItem()->parent(), Group(GROUP_MANUAL));
    EXPECT_EQ(h.Tree().SelectedItem()->Data().Server(), server);
    EXPECT_EQ(h.Frame().ActivePane(), &h.Tree());

    // With only "WON" open and the server not in it, nothing happens.
    ServerInfo* other = Server(4);
    other->m_dwFlags = GROUP_MANUAL;
    Group(GROUP_MANUAL)->setExpanded(false);
    Expanded(GROUP_WON);
    Group(GROUP_WON)->setExpanded(false);
    Expanded(GROUP_WON);
    ASSERT_EQ(ChildFor(Group(GROUP_WON), other), nullptr);
    Select(Group(GROUP_WON));
    const CUpdateHint hint(other);
    h.Doc().UpdateAllViews(nullptr, HINT_SELECT_SERVER, &hint);
    EXPECT_EQ(h.Tree().SelectedItem(), Group(GROUP_WON));
    EXPECT_FALSE(Group(GROUP_MANUAL)->isExpanded());
}

TEST_F(ServerViewTest, QueryLabelsCountResultsAndStaySorted) {
    UpdateFromLab();
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
    EXPECT_EQ(static_cast<size_t>(someItem->childCount()), some->m_servers.size());
    EXPECT_EQ(h.Tree().QueriesItem()->child(0), someItem);

    h.ui.onEditQuery = [](Query& query) {
        query.m_strName = "Pi";
        return true;
    };
    doc.EditQuery(none);
    EXPECT_EQ(noneItem->text(0), "Pi");
    EXPECT_EQ(h.Tree().QueriesItem()->child(0), someItem) << "sorted without regard to case";
    EXPECT_EQ(h.Tree().QueriesItem()->child(1), noneItem);
    h.ui.onEditQuery = [](Query& query) {
        query.m_strName = "a query";
        return true;
    };
    doc.EditQuery(none);
    EXPECT_EQ(h.Tree().QueriesItem()->child(0), noneItem);
}

TEST_F(ServerViewTest, ADiscardedNewQueryLeavesNoItemBehind) {
    int asked = 0;
    h.ui.onEditQuery = [&](Query& query) {
        query.m_strExpression = "(";
        query.m_dwFlags = QF_REGEX;
        return ++asked == 1;
    };
    h.Frame().RouteCommand(ID_ADD_QUERY);
    EXPECT_EQ(asked, 2);
    ASSERT_FALSE(h.ui.messages.empty());
    EXPECT_EQ(h.ui.messages.front().rfind("Bad expression", 0), 0u);
    EXPECT_EQ(h.Tree().QueriesItem()->childCount(), 0);
    h.Tree().repaint();
}

TEST_F(ServerViewTest, F5OnServersRefreshesBehindTheProgressDialog) {
    UpdateFromLab();
    ServerInfo* manual = Server(2);
    manual->m_dwFlags = GROUP_MANUAL;
    const int dialogs = h.ui.progressDialogs;
    h.ui.progressTexts.clear();
    Select(h.Tree().ServersItem());
    listener.seen.clear();
    h.Frame().ActivateView(&h.Tree());
    h.Frame().RouteCommand(ID_REFRESH);
    EXPECT_EQ(h.ui.progressDialogs, dialogs + 1);
    ASSERT_FALSE(h.ui.progressTexts.empty());
    EXPECT_EQ(h.ui.progressTexts.front(), "Refreshing " + std::to_string(kServers) + " servers...")
        << "WON, Steam, Manual and Favourites";
    ASSERT_EQ(listener.seen.size(), 1u);
    EXPECT_EQ(listener.seen.back().m_dwKind,
              ITEM_GROUP | GROUP_WON | GROUP_STEAM | GROUP_MANUAL | GROUP_FAVOURITES);
    EXPECT_EQ(h.ui.waitCursorDepth, 0);
}

TEST_F(ServerViewTest, SelectingAServerTellsTheListenersAndAsksForItsRules) {
    UpdateFromLab();
    ServerInfo* server = Server(FirstIndex(false));
    ASSERT_FALSE(server->m_pRules && server->m_pRules->GetSize() > 0);
    listener.seen.clear();
    Select(ChildFor(Expanded(GROUP_WON), server));
    ASSERT_EQ(listener.seen.size(), 1u);
    EXPECT_EQ(listener.seen[0].m_pObject, server);
    EXPECT_EQ(h.Frame().GetDialogBar()->Text(), "Retrieving...");
    EXPECT_EQ(h.Doc().GetServerSocketCount(), 1);
    EXPECT_TRUE(WaitUntil([&] { return server->m_pRules && server->m_pRules->GetSize() > 0; }));

    // Enter asks for the Properties of the server.
    h.Frame().ActivateView(&h.Tree());
    ServerInfo* edited = nullptr;
    h.ui.onServerProperties = [&](ServerInfo& s) {
        edited = &s;
        return false;
    };
    Press(Qt::Key_Return);
    EXPECT_TRUE(WaitUntil([&] { return edited == server; }, 3000));
}

TEST_F(ServerViewTest, ItemsOfRemovedRecordsGoBeforeAnythingPaints) {
    UpdateFromLab();
    SearchQuery* query = h.Doc().AddQuery(std::make_unique<SearchQuery>("any", "e", 0));
    h.Doc().RunQuery(*query, true);
    ASSERT_GT(h.Tree().FindQueryItem(query)->childCount(), 0);
    Select(Children(Expanded(GROUP_WON))[4]);
    listener.seen.clear();

    h.Frame().RouteCommand(ID_CLEAR_SERVER_LIST);
    EXPECT_EQ(h.Doc().GetServerList().GetSize(), 0);
    EXPECT_EQ(Group(GROUP_WON)->childCount(), 0);
    EXPECT_EQ(h.Tree().FindQueryItem(query)->childCount(), 0);
    EXPECT_EQ(h.Tree().SelectedItem(), Group(GROUP_WON)) << "the selection moved up first";
    h.Tree().repaint();

    UpdateFromLab();
    Select(Children(Expanded(GROUP_WON))[1]);
    h.ui.answers = {IUserInterface::Answer::No};
    ASSERT_TRUE(h.Frame().NewDocument());
    EXPECT_EQ(Group(GROUP_WON)->childCount(), 0);
    EXPECT_FALSE(Group(GROUP_WON)->isExpanded());
    EXPECT_EQ(h.Tree().QueriesItem()->childCount(), 0);
    h.Tree().repaint();
}

TEST_F(ServerViewTest, MasterProgressAndTimeOutShowInTheStatusLine) {
    UpdateFromLab();
    h.Frame().SetMessageText("Connected to 127.0.0.1:27010...");
    const CUpdateHint batch(7u);
    h.Doc().UpdateAllViews(nullptr, HINT_MASTER_PROGRESS, &batch);
    EXPECT_EQ(h.Frame().GetDialogBar()->Text(),
              QStringLiteral("Retrieving server list (filter: <no filter active>) (id 7) from "
                             "master server... [%1 servers in list]")
                  .arg(kServers));
    h.Doc().UpdateAllViews(nullptr, HINT_MASTER_PROGRESS, nullptr);
    EXPECT_EQ(h.Frame().GetDialogBar()->Text(),
              "Timed out waiting for response from master server");
    EXPECT_EQ(h.Frame().MessageText(), "Ready");

    // A list that failed for a reason of its own says that reason, not a
    // time-out.
    CSettings& settings = h.Doc().GetSettings();
    settings.m_nListSource = LIST_SOURCE_STEAM_WEB;
    settings.m_strSteamApiKey = "key";
    settings.m_strSteamApiUrl = "http://127.0.0.1:1";
    h.Doc().ConnectToMaster();
    ASSERT_TRUE(WaitUntil([&] { return !h.Doc().IsUpdatingServerList(); }));
    ASSERT_FALSE(h.ui.messages.empty());
    const std::string& box = h.ui.messages.back();
    EXPECT_EQ(h.Frame().GetDialogBar()->Text(),
              QString::fromStdString(box.substr(0, box.find('\n'))));
}

TEST_F(ServerViewTest, FindServersNamesTheFoundGroupAndSelectsIt) {
    UpdateFromLab();
    EXPECT_EQ(Group(GROUP_FOUND)->text(0), "Found");
    h.ui.onEditQuery = [](Query& query) {
        query.m_strName.clear();
        query.m_strExpression = "Noobs";
        query.m_dwFlags = 0;
        return true;
    };
    h.Frame().RouteCommand(ID_FIND_SERVERS);
    EXPECT_EQ(Group(GROUP_FOUND)->text(0), "Found: Noobs");
    EXPECT_EQ(h.Tree().SelectedItem(), Group(GROUP_FOUND));
    EXPECT_EQ(Group(GROUP_FOUND)->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
}
