#include <QAbstractItemModelTester>
#include <QElapsedTimer>
#include <QScrollBar>

#include "core/DisplayText.h"
#include "tests/WaitSupport.h"
#include "tests/ui/DetailsViewFixture.h"
#include "ui/CommandIds.h"
#include "ui/IListSelectionListener.h"

namespace {

void AddPlayers(ServerInfo& server, std::initializer_list<const char*> names) {
    auto players = std::make_unique<PlayerList>(1);
    uint8_t index = 0;
    for (const char* name : names) {
        auto player = std::make_unique<PlayerInfo>();
        player->m_strName = name;
        player->m_nIndex = ++index;
        player->m_nFrags = index * 3;
        player->m_nPrevFrags = player->m_nFrags;
        players->Insert(std::move(player));
    }
    server.SetPlayers(std::move(players));
    server.m_nPlayers = static_cast<uint8_t>(names.size());
}

} // namespace

TEST_F(DetailsViewTest, PanesFollowTreeAndUpperSelectionByTheirMasks) {
    ServerInfo* alpha = AddServer(1, "alpha", 20);
    AddServer(2, "bravo", 30, GROUP_WON | GROUP_FAVOURITES);
    AddPlayers(*alpha, {"Gordon", "Barney"});
    alpha->ResetRules();
    alpha->m_pRules->Insert(std::make_unique<RuleInfo>(RuleInfo{"mp_timelimit", "30"}));
    ShowGroup(GROUP_WON);
    EXPECT_EQ(Column(top, 0), QStringList({"alpha", "bravo"}));
    EXPECT_EQ(bottom->GetMode(), LIST_NONE) << "the lower pane takes no server groups";
    EXPECT_EQ(frame.LastMessage(), "2 servers in list");
    SelectRows(top, {0});
    EXPECT_EQ(bottom->GetMode(), LIST_PLAYERS);
    EXPECT_EQ(Column(bottom, 0), QStringList({"Barney", "Gordon"})) << "by name";
    EXPECT_EQ(frame.LastMessage(), "2 player(s) on server");
    EXPECT_EQ(frame.LastStatusLine(), "Retrieving...") << "the selected server is asked again";
    SelectTree(0, alpha);
    EXPECT_EQ(top->GetMode(), LIST_PLAYERS);
    EXPECT_EQ(bottom->GetMode(), LIST_RULES);
    EXPECT_EQ(Cell(bottom, 0, 0), "mp_timelimit");
    SearchQuery* q = f.doc->AddQuery(std::make_unique<SearchQuery>("gordons", "gordon", 0));
    ASSERT_TRUE(f.doc->RunQuery(*q, true));
    SelectTree(ITEM_GROUP | ITEM_QUERY);
    EXPECT_EQ(top->GetMode(), LIST_QUERIES);
    EXPECT_EQ(bottom->GetMode(), LIST_NONE);
    EXPECT_EQ(frame.LastMessage(), "1 query");
    SelectRows(top, {0});
    EXPECT_EQ(bottom->GetMode(), LIST_RESULTS) << "a selected query shows its results below";
    EXPECT_EQ(Column(bottom, 0), QStringList({"Gordon"}));
    EXPECT_EQ(frame.LastMessage(), "1 player(s) found on 1 server(s)");
    SelectTree(ITEM_QUERY, q);
    EXPECT_EQ(top->GetMode(), LIST_RESULTS);
    EXPECT_EQ(bottom->GetMode(), LIST_NONE);
    EXPECT_EQ(frame.LastStatusLine().toStdString(), q->GetLabel());
    SelectRows(top, {0});
    EXPECT_EQ(bottom->GetMode(), LIST_PLAYERS) << "a found player shows its server's players";
    EXPECT_EQ(Rows(bottom), 2);
}

// Header clicks, one after the other, and the column they leave in order.
TEST_F(DetailsViewTest, HeaderClicksApplyTheKeyRule) {
    AddServer(1, "b", 30);
    AddServer(2, "a", 0);
    AddServer(3, "b", 10);
    AddServer(4, "c", 0);
    AddServer(5, "a", 20);
    ShowGroup(GROUP_WON);
    struct Click {
        const char* what;
        int column;
        Qt::KeyboardModifiers modifiers;
        QStringList expected;
    };
    const Click clicks[] = {
        {"ping: silent servers last", 5, {}, {"10", "20", "30", "-", "-"}},
        {"ping again: reversed, silent first", 5, {}, {"-", "-", "30", "20", "10"}},
        {"name: the only key", 0, {}, {"a", "a", "b", "b", "c"}},
        {"name again: descending", 0, {}, {"c", "b", "b", "a", "a"}},
        {"ctrl+ping: ping breaks the name's ties", 5, Qt::ControlModifier,
         {"-", "10", "30", "20", "-"}},
        {"ctrl+ping again: only ping reversed", 5, Qt::ControlModifier,
         {"-", "30", "10", "-", "20"}},
    };
    for (const Click& c : clicks) {
        ClickHeader(top, c.column, c.modifiers);
        EXPECT_EQ(Column(top, c.column), c.expected) << c.what;
    }
}

TEST_F(DetailsViewTest, CopyGivesEachCellAsShown) {
    // One name in the old code page beside UTF-8 cells: each reads as it does
    // on the screen.
    ServerInfo* s = AddServer(1, "\xC5land", 25);
    s->m_strGame = "cstrike";
    s->m_strMap = "caf\xC3\xA9";
    s->m_nPlayers = 3;
    s->m_nMaxPlayers = 16;
    s->m_cServerType = 'd';
    s->m_cOS = 'l';
    s->m_strAnnotation = "\xE2\x82\xAC note\r\nmore";
    s->m_nProtocol = PROTOCOL_A2S;
    AddServer(2, "\xF8st", 0);
    // Without a listener a selected row is not asked for its details again.
    top->RemoveSelectionListener(bottom);
    ShowGroup(GROUP_WON);
    SelectRows(top, {0, 1});
    top->OnCommand(ID_EDIT_COPY);
    EXPECT_EQ(DisplayText(frame.clipboard),
              QString::fromUtf8("\xC3\x85land\tcstrike\tcaf\xC3\xA9\t3\t16\t25\t127.200.0.1:27015\t-dl\t"
                                "\xE2\x82\xAC note\tA2S\r\n"
                                "\xC3\xB8st\t\t\t--\t0\t-\t127.200.0.2:27015\t-..\t\t?\r\n"));
}

TEST_F(DetailsViewTest, ARefillKeepsTheScrollPositionAndTheSelectedRecords) {
    for (int i = 0; i < 80; ++i)
        AddServer(i + 1, QStringLiteral("s%1").arg(i, 2, 10, QLatin1Char('0')).toStdString(), 10);
    ShowGroup(GROUP_WON);
    QTreeView* list = Report(top);
    SelectRows(top, {50, 51, 53});
    Focus(top, 53);
    list->scrollTo(Model(top)->index(60, 0), QAbstractItemView::PositionAtTop);
    const int scrolled = list->verticalScrollBar()->value();
    ASSERT_GT(scrolled, 0);

    // One server sorts before every row, a selected one leaves the list.
    AddServer(100, "a first", 10);
    f.doc->FindServer(0x7FC80000u + 52, 27015)->m_dwFlags = GROUP_MANUAL; // s51
    const CUpdateHint hint(GROUP_WON);
    f.doc->UpdateAllViews(nullptr, HINT_GROUPS_CHANGED, &hint);
    ASSERT_EQ(Rows(top), 80);
    EXPECT_EQ(Cell(top, 0, 0), "a first");
    std::vector<QString> selected;
    for (const QModelIndex& index : Selection(top)->selectedRows())
        selected.push_back(Cell(top, index.row(), 0));
    std::sort(selected.begin(), selected.end());
    EXPECT_EQ(selected, (std::vector<QString>{"s50", "s53"}));
    EXPECT_EQ(Cell(top, Selection(top)->currentIndex().row(), 0), "s53");
    EXPECT_EQ(list->verticalScrollBar()->value(), scrolled);
    ShowGroup(GROUP_MANUAL);
    EXPECT_FALSE(Selection(top)->hasSelection()) << "another list starts afresh";
}

TEST_F(DetailsViewTest, FavouritesCommandsAndMenusCountAndNotifyOnce) {
    AddServer(1, "a", 10);
    AddServer(2, "b", 10, GROUP_WON | GROUP_FAVOURITES);
    AddServer(3, "c", 10);
    AddServer(4, "d", 10);
    ShowGroup(GROUP_WON);
    f.view.entries.clear();
    SelectRows(top, {0, 1, 2});
    QTest::keyClick(Report(top), Qt::Key_Insert);
    EXPECT_EQ(frame.LastMessage(), "Added 2 server(s) to favourites");
    EXPECT_EQ(f.view.Count(HINT_FAVOURITES_CHANGED), 1);
    ShowGroup(GROUP_FAVOURITES);
    EXPECT_EQ(Column(top, 0), QStringList({"a", "b", "c"}));
    SelectRows(top, {0, 1});
    frame.messages.clear();
    QTest::keyClick(Report(top), Qt::Key_Delete);
    // The rebuilt list and then the lower pane, showing the next server,
    // write their own messages around it.
    EXPECT_NE(std::find(frame.messages.begin(), frame.messages.end(),
                        "Removed 2 server(s) from favourites"),
              frame.messages.end());
    EXPECT_EQ(Column(top, 0), QStringList({"c"})) << "the favourites list is rebuilt";
    EXPECT_EQ(Selection(top)->selectedRows().size(), 1) << "the next server is selected";
}

// Typing finds the row by the sort key: a new word searches on from the
// focused row, and its first letter again moves to the next match.
TEST_F(DetailsViewTest, TypingFindsTheRowAndEnterAndADoubleClickShowTheServer) {
    for (const char* name : {"Alpha", "Charlie", "delta", "dingo", "echo"})
        AddServer(static_cast<int>(name[1]), name, static_cast<uint32_t>(name[0]));
    ShowGroup(GROUP_WON);
    const int interval = QApplication::keyboardInputInterval();
    QApplication::setKeyboardInputInterval(0);
    const auto newWord = [&](const char* key) { // once the clock has moved on
        QElapsedTimer since;
        since.start();
        WaitUntil([&] { return since.elapsed() > 1; });
        QTest::keyClicks(Report(top), key);
    };
    newWord("c");
    EXPECT_EQ(Selection(top)->currentIndex().row(), 1);
    newWord("d");
    newWord("d");
    EXPECT_EQ(Selection(top)->currentIndex().row(), 3) << "the letter again: the next row";
    QApplication::setKeyboardInputInterval(interval);
    Focus(top, 4);
    // Enter and a double click show the server in the tree; Tab leaves for another pane.
    f.view.entries.clear();
    QTest::keyClick(Report(top), Qt::Key_Return);
    ASSERT_EQ(f.view.Count(HINT_SELECT_SERVER), 1);
    EXPECT_EQ(f.view.entries.back().server, f.doc->FindServer(0x7FC80000u + 'c', 27015));
    const QRect row = Report(top)->visualRect(Model(top)->index(4, 0));
    QTest::mouseDClick(Report(top)->viewport(), Qt::LeftButton, {}, row.center());
    EXPECT_EQ(f.view.Count(HINT_SELECT_SERVER), 2);
    QTest::keyClick(Report(top), Qt::Key_Backtab); // the frame moves to the pane before
    EXPECT_EQ(frame.paneMoves, (std::vector<std::pair<QWidget*, bool>>{{top, true}}));
}

TEST_F(DetailsViewTest, NewPlayersAndAFailedOpenLeaveNothingPointingAtFreedRecords) {
    ServerInfo* s = AddServer(1, "a", 10);
    AddPlayers(*s, {"Gordon"});
    SelectTree(0, s);
    s->m_dwFlags = 0;
    AddPlayers(*s, {"Alyx", "Eli"}); // the old players are freed here
    const CUpdateHint hint(s);
    f.doc->UpdateAllViews(nullptr, HINT_SERVER_PLAYERS, &hint);
    EXPECT_EQ(Column(top, 0), QStringList({"Alyx", "Eli"})) << "even for a server in no group";
    top->grab();

    // A failed open empties the document and shows a box while the lists
    // wait for their refill.
    s->m_dwFlags = GROUP_WON;
    SearchQuery* q = f.doc->AddQuery(std::make_unique<SearchQuery>("q", "li", 0));
    ASSERT_TRUE(f.doc->RunQuery(*q, true));
    SelectTree(ITEM_GROUP | ITEM_QUERY);
    SelectRows(top, {0});
    ASSERT_EQ(Rows(bottom), 1);
    const QString bad = f.dir.filePath("bad.scw");
    QFile file(bad);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("not a document") > 0);
    file.close();
    int paints = 0;
    f.ui.onMessage = [&](const std::string&) {
        top->grab();
        bottom->grab();
        top->OnCommand(ID_REFRESH);
        bottom->OnCommand(ID_PROPERTIES);
        ++paints;
    };
    EXPECT_FALSE(f.doc->OnOpenDocument(bad.toStdString()));
    EXPECT_EQ(paints, 1);
    EXPECT_EQ(Rows(top), 0);
}

TEST_F(DetailsViewTest, ClearServerListWhileTheServersAreListed) {
    ServerInfo* won = AddServer(1, "won", 10);
    AddServer(2, "kept", 10, GROUP_WON | GROUP_MANUAL);
    AddPlayers(*won, {"Gordon", "Barney"});
    won->ResetRules();
    won->m_pRules->Insert(std::make_unique<RuleInfo>(RuleInfo{"sv_gravity", "800"}));
    // A model that breaks its contract ends the test program with the reason.
    QAbstractItemModelTester topTester(Model(top), QAbstractItemModelTester::FailureReportingMode::Fatal);
    QAbstractItemModelTester bottomTester(Model(bottom),
                                          QAbstractItemModelTester::FailureReportingMode::Fatal);
    for (int i = 3; i < 20; ++i)
        AddServer(i, std::string(1, static_cast<char>('n' + i % 4)), static_cast<uint32_t>(i % 5) * 10);
    ShowGroup(GROUP_WON);
    SelectRows(top, {3, 4});
    ClickHeader(top, 5);
    ClickHeader(top, 0, Qt::ControlModifier);
    f.doc->FindServer(0x7FC80003u, 27015)->m_dwFlags = GROUP_MANUAL;
    ClickHeader(top, 5); // the re-sort now has one row less
    top->SetStyle(CDetailsView::Style::LargeIcons);
    SelectTree(ITEM_GROUP | ITEM_QUERY);
    top->SetStyle(CDetailsView::Style::Details);
    ShowGroup(GROUP_WON);
    ClickHeader(top, 0);
    SelectRows(top, {static_cast<int>(Column(top, 0).indexOf("won"))}); // its players below
    ASSERT_EQ(Rows(bottom), 2);
    f.doc->ClearServerList(); // frees "won" before it tells the views
    EXPECT_EQ(Column(top, 0), QStringList({"kept"}));
    EXPECT_EQ(Rows(bottom), 0);
    EXPECT_EQ(bottom->GetCurrentServer(), nullptr);
    window.grab();
}
