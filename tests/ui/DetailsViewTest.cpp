#include <QAbstractItemModelTester>
#include <QElapsedTimer>
#include <QListView>
#include <QMenu>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStackedLayout>

#include "core/DisplayText.h"
#include "tests/WaitSupport.h"
#include "tests/ui/DetailsViewFixture.h"
#include "ui/CommandIds.h"
#include "ui/IListSelectionListener.h"

namespace {

// Collects what QAbstractItemModelTester reports while it lives.
class ModelTestFailures {
public:
    ModelTestFailures() {
        s_failures.clear();
        m_previous = qInstallMessageHandler(&Handler);
    }
    ~ModelTestFailures() { qInstallMessageHandler(m_previous); }
    const QStringList& Failures() const { return s_failures; }

private:
    static void Handler(QtMsgType, const QMessageLogContext& context, const QString& text) {
        if (context.category && QByteArray(context.category) == "qt.modeltest")
            s_failures << text;
    }
    static inline QStringList s_failures;
    QtMessageHandler m_previous = nullptr;
};

std::vector<std::string> MenuTexts(const QMenu* menu) {
    std::vector<std::string> out;
    if (menu)
        for (const QAction* action : menu->actions())
            out.push_back(action->text().toStdString());
    return out;
}

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
    EXPECT_EQ(top->GetMode(), LIST_SERVERS);
    EXPECT_EQ(Column(top, 0), QStringList({"alpha", "bravo"}));
    EXPECT_EQ(bottom->GetMode(), LIST_NONE) << "the lower pane takes no server groups";
    EXPECT_EQ(Model(bottom)->columnCount(), 0);
    EXPECT_EQ(frame.LastMessage(), "2 servers in list");

    SelectRows(top, {0});
    EXPECT_EQ(bottom->GetMode(), LIST_PLAYERS);
    EXPECT_EQ(Column(bottom, 0), QStringList({"Barney", "Gordon"})) << "by name";
    EXPECT_EQ(frame.LastMessage(), "2 player(s) on server");
    EXPECT_EQ(frame.LastStatusLine(), "Retrieving...") << "the selected server is asked again";

    SelectRows(top, {0, 1});
    EXPECT_EQ(bottom->GetMode(), LIST_PLAYERS) << "two selected rows leave the lower pane";

    SelectTree(0, alpha);
    EXPECT_EQ(top->GetMode(), LIST_PLAYERS);
    EXPECT_EQ(bottom->GetMode(), LIST_RULES);
    EXPECT_EQ(Cell(bottom, 0, 0), "mp_timelimit");

    auto query = std::make_unique<SearchQuery>("gordons", "gordon", 0);
    SearchQuery* q = f.doc->AddQuery(std::move(query));
    ASSERT_TRUE(f.doc->RunQuery(*q, true));
    SelectTree(ITEM_GROUP | ITEM_QUERY);
    EXPECT_EQ(top->GetMode(), LIST_QUERIES);
    EXPECT_EQ(bottom->GetMode(), LIST_NONE);
    EXPECT_EQ(frame.LastMessage(), "1 query");
    EXPECT_EQ(Column(top, 4), QStringList({"--"}));

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
    AddServer(1, "b", 30)->m_nPlayers = 4;
    AddServer(2, "a", 0);
    AddServer(3, "b", 10);
    AddServer(4, "c", 0);
    AddServer(5, "a", 20);
    ShowGroup(GROUP_WON);
    EXPECT_EQ(Column(top, 0), QStringList({"a", "a", "b", "b", "c"})) << "by name at first";
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
    ClickHeader(top, 3);
    EXPECT_EQ(Cell(top, 0, 3), "4") << "players: the fullest first";
    // A double click reaches the header as a click, then a double click
    // (QTest sends only the second part): two turns.
    ClickHeader(top, 5);
    EXPECT_EQ(Column(top, 5), QStringList({"10", "20", "30", "-", "-"}));
    QHeaderView* header = Report(top)->header();
    const QPoint name(header->sectionViewportPosition(0) + 20, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, name);
    QTest::mouseDClick(header->viewport(), Qt::LeftButton, {}, name);
    EXPECT_EQ(Column(top, 0), QStringList({"c", "b", "b", "a", "a"}));
}

TEST_F(DetailsViewTest, TheSteamGroupListsItsServersWithTheirProtocol) {
    AddServer(1, "won", 10)->m_nProtocol = PROTOCOL_LEGACY;
    AddServer(2, "steam", 20, GROUP_STEAM)->m_nProtocol = PROTOCOL_A2S;
    AddServer(3, "both", 30, GROUP_WON | GROUP_STEAM)->m_nProtocol = PROTOCOL_A2S;
    AddServer(4, "manual", 0, GROUP_MANUAL);
    ShowGroup(GROUP_STEAM);
    EXPECT_EQ(top->GetMode(), LIST_SERVERS);
    EXPECT_EQ(Column(top, 0), QStringList({"both", "steam"}));
    EXPECT_EQ(Model(top)->headerData(9, Qt::Horizontal).toString(), "Protocol");
    EXPECT_EQ(Column(top, 9), QStringList({"A2S", "A2S"}));

    // "Servers": every list, by protocol (unknown, old, A2S).
    ShowGroup(GROUP_WON | GROUP_STEAM | GROUP_MANUAL | GROUP_FAVOURITES);
    window.resize(1400, 700);
    QCoreApplication::processEvents();
    ClickHeader(top, 9);
    EXPECT_EQ(Column(top, 9), QStringList({"?", "Old", "A2S", "A2S"}));
    EXPECT_EQ(frame.LastMessage(), "4 servers in list");
}

TEST_F(DetailsViewTest, ResortKeepsSelectionOnRowPositions) {
    for (int i = 0; i < 6; ++i)
        AddServer(i, std::string(1, static_cast<char>('a' + i)), static_cast<uint32_t>(60 - i));
    ShowGroup(GROUP_WON);
    SelectRows(top, {1, 4});
    ClickHeader(top, 5);
    EXPECT_EQ(Cell(top, 0, 0), "f");
    QModelIndexList rows = Selection(top)->selectedRows();
    std::sort(rows.begin(), rows.end());
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0].row(), 1);
    EXPECT_EQ(rows[1].row(), 4);
    EXPECT_EQ(Selection(top)->currentIndex().row(), 0) << "focus on row 0 after every fill";
}

TEST_F(DetailsViewTest, QueriesFlagsHeaderDoesNothing) {
    f.doc->AddQuery(std::make_unique<SearchQuery>("b", "x", QF_REGEX));
    f.doc->AddQuery(std::make_unique<SearchQuery>("a", "y", 0));
    SelectTree(ITEM_GROUP | ITEM_QUERY);
    EXPECT_EQ(Column(top, 0), QStringList({"a", "b"}));
    EXPECT_EQ(Column(top, 4), QStringList({"--", "R-"}));
    ClickHeader(top, 4);
    EXPECT_EQ(Column(top, 0), QStringList({"a", "b"}));
    ClickHeader(top, 0);
    EXPECT_EQ(Column(top, 0), QStringList({"b", "a"}));
    EXPECT_EQ(frame.LastMessage(), "2 queries");
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

    const QString first = QString::fromUtf8(
        "\xC3\x85land\tcstrike\tcaf\xC3\xA9\t3\t16\t25\t127.200.0.1:27015\t-dl\t\xE2\x82\xAC note\tA2S");
    SelectRows(top, {0});
    top->OnCommand(ID_EDIT_COPY);
    EXPECT_EQ(DisplayText(frame.clipboard), first);
    SelectRows(top, {0, 1});
    top->OnCommand(ID_EDIT_COPY);
    EXPECT_EQ(DisplayText(frame.clipboard),
              first +
                  QString::fromUtf8("\r\n\xC3\xB8st\t\t\t--\t0\t-\t127.200.0.2:27015\t-..\t\t?\r\n"));
    EXPECT_EQ(f.ui.waitCursorDepth, 0);

    const int copies = frame.copies;
    Selection(top)->clearSelection();
    top->OnCommand(ID_EDIT_COPY);
    EXPECT_EQ(frame.copies, copies) << "nothing selected leaves the clipboard alone";

    Focus(top, 1);
    top->OnCommand(ID_COPY_SERVER_ADDRESS);
    EXPECT_EQ(frame.clipboard, "127.200.0.2:27015");
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

TEST_F(DetailsViewTest, FavouritesCommandsCountAndNotifyOnce) {
    AddServer(1, "a", 10);
    AddServer(2, "b", 10, GROUP_WON | GROUP_FAVOURITES);
    AddServer(3, "c", 10);
    AddServer(4, "d", 10);
    ShowGroup(GROUP_WON);
    f.view.entries.clear();

    SelectRows(top, {0, 1, 2});
    QTest::keyClick(Report(top), Qt::Key_Insert);
    EXPECT_EQ(frame.LastMessage(), "Added 2 server(s) to favourites");
    ASSERT_EQ(f.view.Count(HINT_FAVOURITES_CHANGED), 1);
    EXPECT_TRUE(f.view.entries.back().hasObject);
    EXPECT_EQ(f.view.entries.back().data, 0u);
    EXPECT_EQ(f.view.entries.back().server, nullptr);

    const size_t messages = frame.messages.size();
    QTest::keyClick(Report(top), Qt::Key_Delete);
    EXPECT_EQ(frame.messages.size(), messages) << "Delete outside the favourites list";
    EXPECT_EQ(f.view.Count(HINT_FAVOURITES_CHANGED), 1);
    EXPECT_TRUE(f.doc->FindServer(0x7FC80001u, 27015)->m_dwFlags & GROUP_FAVOURITES);

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
    EXPECT_EQ(Selection(top)->currentIndex().row(), 0);
}

TEST_F(DetailsViewTest, ContextMenuFollowsModeAndFavourites) {
    EXPECT_FALSE(top->CreateContextMenu()) << "nothing shown";
    AddServer(1, "fav", 10, GROUP_WON | GROUP_FAVOURITES);
    AddServer(2, "plain", 10);
    ShowGroup(GROUP_WON);
    Focus(top, 0);
    auto menu = top->CreateContextMenu();
    EXPECT_EQ(MenuTexts(menu.get()),
              (std::vector<std::string>{"Show in tree\tEnter", "Copy\tCtrl+C",
                                        "Copy server address\tCtrl+Shift+C", "Join server\tCtrl+J",
                                        "Properties\tAlt+Enter"}));
    ASSERT_TRUE(menu->defaultAction());
    EXPECT_EQ(menu->defaultAction()->data().toInt(), ID_SHOW_IN_TREE);
    EXPECT_TRUE(menu->defaultAction()->font().bold());
    Focus(top, 1);
    EXPECT_EQ(MenuTexts(top->CreateContextMenu().get())[3], "Add to favourites\tInsert");

    ShowGroup(GROUP_FAVOURITES);
    Focus(top, 0);
    EXPECT_EQ(MenuTexts(top->CreateContextMenu().get())[3], "Remove from favourites\tDelete");
    Selection(top)->clearCurrentIndex();
    EXPECT_EQ(MenuTexts(top->CreateContextMenu().get()),
              std::vector<std::string>{"Properties\tAlt+Enter"});

    SelectTree(0, f.doc->FindServer(0x7FC80002u, 27015));
    EXPECT_EQ(MenuTexts(top->CreateContextMenu().get()),
              std::vector<std::string>{"Add query\tCtrl+Shift+F"});
    EXPECT_FALSE(bottom->CreateContextMenu()) << "rules, none selected";
}

TEST_F(DetailsViewTest, ServerRepliesRepaintOnlyTheirVisibleRowsInOneBatch) {
    std::vector<ServerInfo*> servers;
    for (int i = 0; i < 300; ++i) {
        char name[48];
        std::snprintf(name, sizeof name, "a fairly long server name %03d", i);
        servers.push_back(AddServer(i, name, 10));
    }
    ShowGroup(GROUP_WON);
    QTreeView* report = Report(top);
    report->verticalScrollBar()->setValue(100);
    QCoreApplication::processEvents();
    const int firstShown = report->indexAt(QPoint(0, 0)).row();
    ASSERT_GT(firstShown, 0);

    QSignalSpy changed(Model(top), &QAbstractItemModel::dataChanged);
    QSignalSpy reset(Model(top), &QAbstractItemModel::modelReset);
    // Replies are painted together: one change over the rows they touched.
    for (const int offset : {4, 2, 4, 3}) {
        const CUpdateHint visible(servers[static_cast<size_t>(firstShown + offset)]);
        f.doc->UpdateAllViews(nullptr, HINT_SERVER_DETAILS, &visible);
    }
    EXPECT_EQ(changed.count(), 0) << "nothing per reply";
    ASSERT_TRUE(QTest::qWaitFor([&] { return changed.count() > 0; }));
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed[0][0].toModelIndex().row(), firstShown + 2);
    EXPECT_EQ(changed[0][1].toModelIndex().row(), firstShown + 4);
    EXPECT_EQ(changed[0][1].toModelIndex().column(), ColumnCount(LIST_SERVERS) - 1)
        << "the whole row";

    const CUpdateHint above(servers[0]);
    const CUpdateHint below(servers[299]);
    f.doc->UpdateAllViews(nullptr, HINT_SERVER_PLAYERS, &above);
    f.doc->UpdateAllViews(nullptr, HINT_SERVER_RULES, &below);
    const CUpdateHint several(0u);
    f.doc->UpdateAllViews(nullptr, HINT_FAVOURITES_CHANGED, &several);
    ASSERT_TRUE(QTest::qWaitFor([&] { return changed.count() > 1; }));
    ASSERT_EQ(changed.count(), 2) << "rows out of sight are not touched";
    EXPECT_EQ(changed[1][0].toModelIndex().row(), firstShown);
    const int lastShown = changed[1][1].toModelIndex().row();
    EXPECT_GT(lastShown, firstShown + 5);
    EXPECT_LT(lastShown, firstShown + 60) << "one page, not the whole list";
    EXPECT_EQ(reset.count(), 0);

    // The icon looks repaint as sparingly.
    top->SetStyle(CDetailsView::Style::List);
    QCoreApplication::processEvents();
    auto* list = qobject_cast<QListView*>(top->FocusWidget());
    ASSERT_TRUE(list);
    list->scrollTo(Model(top)->index(0, 0));
    QCoreApplication::processEvents();
    const CUpdateHint first(servers[0]);
    const CUpdateHint last(servers[299]);
    f.doc->UpdateAllViews(nullptr, HINT_SERVER_DETAILS, &first);
    f.doc->UpdateAllViews(nullptr, HINT_SERVER_DETAILS, &last);
    ASSERT_TRUE(QTest::qWaitFor([&] { return changed.count() > 2; }));
    ASSERT_EQ(changed.count(), 3);
    EXPECT_EQ(changed[2][0].toModelIndex().row(), 0);
}

TEST_F(DetailsViewTest, ModelStaysConsistentThroughEveryChange) {
    ModelTestFailures failures;
    QAbstractItemModelTester tester(Model(top),
                                    QAbstractItemModelTester::FailureReportingMode::Warning);
    for (int i = 0; i < 40; ++i) {
        // Not "n" + ...: GCC 12 at -O3 warns falsely (-Wrestrict) about a +
        // that starts with a literal.
        std::string name = "n";
        name += std::to_string(i % 7);
        AddServer(i, name, static_cast<uint32_t>(i % 5) * 10);
    }
    ShowGroup(GROUP_WON);
    SelectRows(top, {3, 4});
    ClickHeader(top, 5);
    ClickHeader(top, 0, Qt::ControlModifier);
    f.doc->FindServer(0x7FC80003u, 27015)->m_dwFlags = GROUP_MANUAL;
    ClickHeader(top, 5); // the re-sort now has one row less
    EXPECT_EQ(Rows(top), 39);
    top->SetStyle(CDetailsView::Style::LargeIcons);
    SelectTree(ITEM_GROUP | ITEM_QUERY);
    f.doc->AddQuery(std::make_unique<SearchQuery>("q", "n1", 0));
    ShowGroup(GROUP_WON | GROUP_MANUAL);
    f.doc->UpdateAllViews(nullptr, HINT_DOC_CLEARED);
    EXPECT_EQ(Rows(top), 0);
    top->OnInitialUpdate();
    EXPECT_TRUE(failures.Failures().isEmpty()) << failures.Failures().join("\n").toStdString();
}

// Typing runs on while the keys come quicker than the key interval; a new
// word starts here without waiting the interval out.
static void TypeNewWord(QWidget* list, const QString& word) {
    QElapsedTimer since;
    since.start();
    WaitUntil([&] { return since.elapsed() > 0; });
    const int interval = QApplication::keyboardInputInterval();
    QApplication::setKeyboardInputInterval(0);
    QTest::keyClicks(list, word.left(1));
    QApplication::setKeyboardInputInterval(interval);
    QTest::keyClicks(list, word.mid(1));
}

TEST_F(DetailsViewTest, TypingFindsTheRowByThePrimaryKey) {
    for (const char* name : {"Alpha", "bravo", "Charlie", "delta", "dingo", "echo"})
        AddServer(static_cast<int>(name[1]), name, static_cast<uint32_t>(name[0]));
    ShowGroup(GROUP_WON);
    QApplication::setKeyboardInputInterval(60000);
    TypeNewWord(Report(top), "ch");
    EXPECT_EQ(Selection(top)->currentIndex().row(), 2);
    EXPECT_TRUE(Selection(top)->isRowSelected(2));
    TypeNewWord(Report(top), "d");
    EXPECT_EQ(Selection(top)->currentIndex().row(), 3) << "the place where it would go";
    QTest::keyClicks(Report(top), "d");
    EXPECT_EQ(Selection(top)->currentIndex().row(), 4) << "the letter again: the next row";
    TypeNewWord(Report(top), "z");
    EXPECT_EQ(Selection(top)->currentIndex().row(), 4) << "past the end finds nothing";

    ClickHeader(top, 6); // IP: the typed text is read as an address
    TypeNewWord(Report(top), "127.200.0.101");
    EXPECT_EQ(Cell(top, Selection(top)->currentIndex().row(), 0), "delta");
    QApplication::setKeyboardInputInterval(-1);
}

TEST_F(DetailsViewTest, KeysAndDoubleClick) {
    ServerInfo* s = AddServer(1, "a", 10);
    ShowGroup(GROUP_WON);
    f.view.entries.clear();
    SelectRows(top, {0});
    QTest::keyClick(Report(top), Qt::Key_Return);
    ASSERT_EQ(f.view.Count(HINT_SELECT_SERVER), 1);
    EXPECT_EQ(f.view.entries.back().server, s);
    const QRect row = Report(top)->visualRect(Model(top)->index(0, 0));
    QTest::mouseDClick(Report(top)->viewport(), Qt::LeftButton, {}, row.center());
    EXPECT_EQ(f.view.Count(HINT_SELECT_SERVER), 2);

    QTest::keyClick(Report(top), Qt::Key_Tab);
    QTest::keyClick(Report(top), Qt::Key_Backtab);
    ASSERT_EQ(frame.paneMoves.size(), 2u);
    EXPECT_EQ(frame.paneMoves[0], std::make_pair(static_cast<QWidget*>(top), false));
    EXPECT_EQ(frame.paneMoves[1], std::make_pair(static_cast<QWidget*>(top), true));
}

TEST_F(DetailsViewTest, ColumnWidthsShowWholeTitlesAndAreSharedPerMode) {
    ServerInfo* s = AddServer(1, "a", 10);
    QHeaderView* header = Report(top)->header();
    const auto titlesFit = [&](const char* list) {
        for (int c = 0; c < header->count(); ++c) {
            const QString title = Model(top)->headerData(c, Qt::Horizontal).toString();
            EXPECT_GT(header->sectionSize(c), header->fontMetrics().horizontalAdvance(title))
                << list << ": " << title.toStdString();
        }
    };
    ShowGroup(GROUP_WON);
    titlesFit("servers");
    EXPECT_GT(header->sectionSize(0), header->sectionSize(1)) << "the described proportions";
    header->resizeSection(0, 123);
    SelectTree(0, s);
    titlesFit("players");
    EXPECT_NE(header->sectionSize(0), 123) << "players keep their own widths";
    SelectTree(ITEM_GROUP | ITEM_QUERY);
    titlesFit("queries");
    ShowGroup(GROUP_WON);
    EXPECT_EQ(header->sectionSize(0), 123);
    CDetailsView other(*f.doc, frame);
    other.m_dwTreeModes = 0x1E;
    other.OnInitialUpdate();
    other.OnTreeSelection(TreeItemData{ITEM_GROUP | GROUP_WON, nullptr, 0});
    EXPECT_EQ(Report(&other)->header()->sectionSize(0), 123) << "any view, same table";
}

TEST_F(DetailsViewTest, DocumentResetLeavesNothingPointingAtFreedRecords) {
    ServerInfo* s = AddServer(1, "a", 10);
    AddPlayers(*s, {"Gordon", "Barney"});
    SearchQuery* q = f.doc->AddQuery(std::make_unique<SearchQuery>("q", "o", 0));
    ASSERT_TRUE(f.doc->RunQuery(*q, true));
    ShowGroup(GROUP_WON);
    SelectRows(top, {0});
    ASSERT_EQ(Rows(bottom), 2);

    f.doc->DeleteContents();
    EXPECT_EQ(Rows(top), 0);
    EXPECT_EQ(Rows(bottom), 0);
    top->grab();
    bottom->grab();
    bottom->OnCommand(ID_REFRESH);
    bottom->OnCommand(ID_JOIN_SERVER);
    EXPECT_EQ(bottom->GetCurrentServer(), nullptr);

    // The queries go too; a failed open shows a box while the lists wait
    // for their refill.
    s = AddServer(1, "a", 10);
    AddPlayers(*s, {"Gordon"});
    q = f.doc->AddQuery(std::make_unique<SearchQuery>("q", "o", 0));
    ASSERT_TRUE(f.doc->RunQuery(*q, true));
    SelectTree(ITEM_GROUP | ITEM_QUERY);
    SelectRows(top, {0});
    ASSERT_EQ(Rows(bottom), 1);
    const QString bad = f.dir.filePath("bad.scw");
    QFile file(bad);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a document");
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

TEST_F(DetailsViewTest, NewPlayersAreListedEvenForAServerWithoutGroups) {
    ServerInfo* s = AddServer(1, "a", 10);
    AddPlayers(*s, {"Gordon"});
    SelectTree(0, s);
    ASSERT_EQ(Column(top, 0), QStringList({"Gordon"}));
    s->m_dwFlags = 0;
    AddPlayers(*s, {"Alyx", "Eli"}); // the old players are freed here
    const CUpdateHint hint(s);
    f.doc->UpdateAllViews(nullptr, HINT_SERVER_PLAYERS, &hint);
    EXPECT_EQ(Column(top, 0), QStringList({"Alyx", "Eli"}));
    top->grab();
}

TEST_F(DetailsViewTest, ClearServerListWhileTheServersAreListed) {
    ServerInfo* won = AddServer(1, "won", 10);
    AddServer(2, "kept", 10, GROUP_WON | GROUP_MANUAL);
    AddPlayers(*won, {"Gordon", "Barney"});
    won->ResetRules();
    won->m_pRules->Insert(std::make_unique<RuleInfo>(RuleInfo{"sv_gravity", "800"}));
    ShowGroup(GROUP_WON);
    SelectRows(top, {1}); // "won": its players below
    ASSERT_EQ(Rows(bottom), 2);
    ModelTestFailures failures;
    QAbstractItemModelTester topTester(Model(top),
                                       QAbstractItemModelTester::FailureReportingMode::Warning);
    QAbstractItemModelTester bottomTester(Model(bottom),
                                          QAbstractItemModelTester::FailureReportingMode::Warning);
    f.doc->ClearServerList(); // frees "won" before it tells the views
    EXPECT_EQ(Column(top, 0), QStringList({"kept"}));
    EXPECT_EQ(Rows(bottom), 0);
    EXPECT_EQ(bottom->GetCurrentServer(), nullptr);
    window.grab();
    EXPECT_TRUE(failures.Failures().isEmpty()) << failures.Failures().join("\n").toStdString();
}
