#include <QAction>
#include <QDropEvent>
#include <QFile>
#include <QLineEdit>
#include <QMimeData>
#include <QSettings>
#include <QUrl>
#include <gtest/gtest.h>

#include "tests/ui/UiTestSupport.h"
#include "ui/CDetailsView.h"
#include "ui/CScoutwireDialogBar.h"

namespace {

QString StoredLastDoc(const QString& ini) {
    return QSettings(ini, QSettings::IniFormat)
        .value(QStringLiteral("Settings/LastDoc"))
        .toString();
}

// A saved document with one favourite, for the opening tests.
std::string MakeDocument(AppHarness& h, const QString& name) {
    h.Doc().AddFavourite(0x0A000001, 27015, false);
    const std::string path = h.Path(name).toStdString();
    EXPECT_TRUE(h.Doc().OnSaveDocument(path));
    return path;
}

} // namespace

TEST(MainFrame, FirstStartWithAnEmptySettingsFile) {
    AppHarness h;
    ASSERT_TRUE(h.Start());
    CMainFrame& frame = h.Frame();
    EXPECT_EQ(frame.GetServerView()->width(), 350);
    EXPECT_EQ(frame.GetTopDetailsView()->height(), 450);
    EXPECT_FALSE(frame.IsAutoRefresh());
    EXPECT_TRUE(frame.CleanTimer().isActive());
    EXPECT_EQ(frame.CleanTimer().interval(), 500);
    EXPECT_FALSE(frame.RefreshTimer().isActive());
    EXPECT_EQ(frame.windowTitle(), "Untitled - Scoutwire");
    EXPECT_EQ(frame.MessageText(), "Ready");
    ASSERT_TRUE(WaitUntil([&] { return frame.SocketsText() == "Active sockets: 0"; }, 3000));
    EXPECT_FALSE(frame.Action(ID_AUTO_REFRESH)->isChecked());
    // The menu names the key as the user knows it; the main Enter key works.
    QAction* properties = frame.Action(ID_PROPERTIES);
    EXPECT_EQ(properties->shortcut().toString(QKeySequence::NativeText), "Alt+Enter");
    EXPECT_TRUE(properties->shortcuts().contains(QKeySequence(Qt::ALT | Qt::Key_Return)));
    // Arrows, Delete and Insert reach the tree without a click.
    EXPECT_TRUE(WaitUntil([&] { return QApplication::focusWidget() == frame.GetServerView(); }))
        << "focus on "
        << (QApplication::focusWidget() ? QApplication::focusWidget()->metaObject()->className()
                                        : "nothing");

    h.Exit();
    // The first exit writes every setting, the pane sizes among them.
    QSettings stored(h.Ini(), QSettings::IniFormat);
    EXPECT_EQ(stored.value("Settings/SplitWidthServers").toInt(), 350);
    EXPECT_EQ(stored.value("Settings/SplitHeightDetails").toInt(), 450);
    EXPECT_EQ(stored.value("Settings/CleanInterval").toInt(), 500);
    EXPECT_EQ(stored.value("Settings/Flags").toInt(), 0x38);
    EXPECT_TRUE(stored.contains("Settings/LastDoc"));
}

TEST(MainFrame, PaneSizesSurviveARestartAndTheRestGoesToTheOtherPanes) {
    AppHarness h;
    ASSERT_TRUE(h.Start());
    QSplitter* outer = h.Frame().OuterSplitter();
    QSplitter* inner = h.Frame().InnerSplitter();
    outer->setSizes({420, outer->width() - outer->handleWidth() - 420});
    inner->setSizes({300, inner->height() - inner->handleWidth() - 300});
    ASSERT_EQ(h.Frame().GetServerView()->width(), 420);
    h.Exit();

    ASSERT_TRUE(h.Start());
    EXPECT_EQ(h.Frame().GetServerView()->width(), 420);
    EXPECT_EQ(h.Frame().GetTopDetailsView()->height(), 300);
    // A larger window keeps the tree and the top pane as they are.
    const int bottom = h.Frame().GetBottomDetailsView()->height();
    h.Frame().resize(h.Frame().width() + 100, h.Frame().height() + 100);
    ASSERT_TRUE(WaitUntil([&] { return h.Frame().GetBottomDetailsView()->height() > bottom; }));
    EXPECT_EQ(h.Frame().GetServerView()->width(), 420);
    EXPECT_EQ(h.Frame().GetTopDetailsView()->height(), 300);
}

TEST(MainFrame, ActiveSocketsCountTheMasterConnectionDuringAnUpdate) {
    LabProcess lab;
    ASSERT_TRUE(lab.Start({"--servers", "20", "--drop-first-master-request"}))
        << lab.Error().toStdString();
    AppHarness h;
    EditSettingsFile(h.Ini(), [](CSettings& s) {
        s.m_strWONMaster = "127.0.0.1";
        s.m_nCleanInterval = 50;
        s.m_nWONTimeout = 1000;
        s.m_nSendInterval = 1;
        s.m_dwFlags = OPT_CLEAR_BEFORE_UPDATE;
    });
    ASSERT_TRUE(h.Start());
    // The master's port is not a setting; the lab's master has its own.
    h.Settings().m_wWONPort = lab.MasterPort();
    CMainFrame& frame = h.Frame();
    ASSERT_TRUE(WaitUntil([&] { return frame.SocketsText() == "Active sockets: 0"; }));

    frame.RouteCommand(ID_UPDATE_SERVER_LIST);
    EXPECT_TRUE(frame.GetDialogBar()->Text().startsWith(
        "Retrieving server list (filter: <no filter active>) (id 0) from master server... ["));
    // The lab ignores the first request, so the master exchange lasts past
    // several cleaning passes.
    EXPECT_TRUE(WaitUntil([&] { return frame.SocketsText() == "Active sockets: 1"; }));
    ASSERT_TRUE(WaitUntil([&] { return h.Doc().GetServerList().GetSize() == 20; }));
    EXPECT_TRUE(WaitUntil([&] { return frame.SocketsText() == "Active sockets: 0"; }));
}

TEST(MainFrame, TabAndF6CycleThePanesBothWays) {
    AppHarness h;
    ASSERT_TRUE(h.Start());
    CMainFrame& frame = h.Frame();
    QWidget* tree = frame.GetServerView();
    QWidget* top = frame.GetTopDetailsView();
    QWidget* bottom = frame.GetBottomDetailsView();
    frame.ActivateView(tree);
    ASSERT_EQ(frame.ActivePane(), tree);

    const auto tab = [&](bool back) {
        QWidget* pane = frame.ActivePane();
        QWidget* focus = pane == tree ? pane : static_cast<CDetailsView*>(pane)->FocusWidget();
        PressKey(focus, back ? Qt::Key_Backtab : Qt::Key_Tab,
                 back ? Qt::ShiftModifier : Qt::NoModifier);
        return frame.ActivePane();
    };
    EXPECT_EQ(tab(false), top);
    EXPECT_EQ(tab(false), bottom);
    EXPECT_EQ(tab(false), tree);
    EXPECT_EQ(tab(true), bottom);
    EXPECT_EQ(tab(true), top);
    EXPECT_EQ(tab(true), tree);
    if (QApplication::focusWidget()) {
        EXPECT_EQ(QApplication::focusWidget(), tree) << "the focus follows the active pane";
    }

    frame.RouteCommand(ID_PREV_PANE);
    EXPECT_EQ(frame.ActivePane(), bottom);
    frame.RouteCommand(ID_NEXT_PANE);
    EXPECT_EQ(frame.ActivePane(), tree);
}

TEST(MainFrame, ClosingAModifiedDocumentAsksToSave) {
    AppHarness h;
    ASSERT_TRUE(h.Start());
    CMainFrame& frame = h.Frame();
    h.Doc().AddFavourite(0x0A000001, 27015, true);
    ASSERT_TRUE(h.Doc().IsModified());

    h.ui.answers = {IUserInterface::Answer::Cancel};
    EXPECT_FALSE(frame.close());
    ASSERT_EQ(h.ui.messages.size(), 1u);
    EXPECT_EQ(h.ui.messages.back(), "Save changes to Untitled?");

    // Yes on an untitled document asks for a name; giving none cancels.
    h.ui.answers = {IUserInterface::Answer::Yes};
    frame.m_chooseFile = [](bool save, const std::string&) {
        EXPECT_TRUE(save);
        return std::string();
    };
    EXPECT_FALSE(frame.close());

    const std::string saved = h.Path("saved").toStdString();
    h.ui.answers = {IUserInterface::Answer::Yes};
    frame.m_chooseFile = [&](bool, const std::string& initial) {
        EXPECT_EQ(initial, "Untitled.scw");
        return saved;
    };
    EXPECT_TRUE(frame.close());
    EXPECT_TRUE(QFile::exists(QString::fromStdString(saved + ".scw")))
        << "the extension is added to a name without one";
    EXPECT_FALSE(h.Doc().IsModified());
    h.Exit();
    EXPECT_EQ(StoredLastDoc(h.Ini()).toStdString(), saved + ".scw");
}

TEST(MainFrame, NewAndOpenAskFirstAndNoDiscards) {
    AppHarness h;
    ASSERT_TRUE(h.Start());
    CMainFrame& frame = h.Frame();
    const std::string path = MakeDocument(h, "one.scw");
    h.Doc().AddFavourite(0x0A000002, 27015, true);
    ASSERT_TRUE(h.Doc().IsModified());

    h.ui.answers = {IUserInterface::Answer::Cancel};
    EXPECT_FALSE(frame.NewDocument());
    EXPECT_EQ(h.Doc().GetServerList().GetSize(), 2);
    EXPECT_EQ(h.ui.messages.back(), "Save changes to " + path + "?");

    h.ui.answers = {IUserInterface::Answer::No};
    EXPECT_TRUE(frame.NewDocument());
    EXPECT_EQ(h.Doc().GetServerList().GetSize(), 0);
    EXPECT_EQ(frame.windowTitle(), "Untitled - Scoutwire");

    frame.m_chooseFile = [&](bool save, const std::string&) {
        EXPECT_FALSE(save);
        return path;
    };
    frame.RouteCommand(ID_FILE_OPEN);
    EXPECT_EQ(h.Doc().GetPathName(), path);
    EXPECT_EQ(h.Doc().GetServerList().GetSize(), 1) << "the file as it was saved";
    EXPECT_EQ(frame.windowTitle(), "one.scw - Scoutwire");
    ASSERT_GE(h.app->RecentFiles().GetSize(), 1);
    EXPECT_EQ(h.app->RecentFiles().GetAt(0), path);

    // A file that cannot be read leaves the recent-file list.
    h.app->RecentFiles().Add(h.Path("gone.scw").toStdString());
    h.ui.messages.clear();
    frame.RouteCommand(ID_FILE_MRU_FILE1);
    EXPECT_EQ(h.ui.messages.size(), 1u);
    EXPECT_EQ(h.app->RecentFiles().GetAt(0), path);
}

TEST(MainFrame, ADroppedDocumentIsOpened) {
    AppHarness h;
    ASSERT_TRUE(h.Start());
    const std::string path = MakeDocument(h, "dropped.scw");
    ASSERT_TRUE(h.Frame().NewDocument());
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&h.Frame(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&h.Frame(), &drop);
    ASSERT_TRUE(WaitUntil([&] { return h.Doc().GetPathName() == path; }, 3000));
    EXPECT_EQ(h.Doc().GetServerList().GetSize(), 1);
}

TEST(MainFrame, LoadLastUsedDocumentForgetsItBeforeOpening) {
    AppHarness h;
    ASSERT_TRUE(h.Start());
    const std::string path = MakeDocument(h, "last.scw");
    h.Settings().m_dwFlags |= OPT_LOAD_LAST_DOC;
    h.Exit();
    ASSERT_EQ(StoredLastDoc(h.Ini()).toStdString(), path);

    ASSERT_TRUE(h.Start());
    EXPECT_EQ(h.Doc().GetPathName(), path);
    EXPECT_EQ(h.Doc().GetServerList().GetSize(), 1);
    EXPECT_TRUE(StoredLastDoc(h.Ini()).isEmpty()) << "emptied and written before opening";
    h.Exit();
    EXPECT_EQ(StoredLastDoc(h.Ini()).toStdString(), path) << "written again at exit";

    // The last document cannot be read: the start fails, and the next one
    // starts with a new document.
    QFile::remove(QString::fromStdString(path));
    h.ui.messages.clear();
    EXPECT_FALSE(h.Start());
    EXPECT_EQ(h.ui.messages.size(), 1u);
    h.app.reset();
    EXPECT_TRUE(StoredLastDoc(h.Ini()).isEmpty());
    ASSERT_TRUE(h.Start());
    EXPECT_TRUE(h.Doc().GetPathName().empty());
}

TEST(MainFrame, ADocumentOnTheCommandLineWinsAndLeavesLastDocAlone) {
    AppHarness h;
    ASSERT_TRUE(h.Start());
    const std::string last = MakeDocument(h, "last.scw");
    h.Settings().m_dwFlags |= OPT_LOAD_LAST_DOC;
    h.Exit();
    ASSERT_TRUE(h.Start());
    const std::string other = MakeDocument(h, "other.scw");
    ASSERT_TRUE(h.Frame().OpenDocumentFile(last));
    h.Exit();

    ASSERT_TRUE(h.Start({QString::fromStdString(other)}));
    EXPECT_EQ(h.Doc().GetPathName(), other);
    EXPECT_EQ(StoredLastDoc(h.Ini()).toStdString(), last);
}

TEST(MainFrame, CtrlCInTheStatusLineCopiesTheWholeLine) {
    AppHarness h;
    ASSERT_TRUE(h.Start());
    h.Frame().SetStatusLine("Retrieving server list (id 0) from master server...");
    QLineEdit* edit = h.Frame().GetDialogBar()->Edit();
    edit->setSelection(0, 10);

    QKeyEvent overrideKey(QEvent::ShortcutOverride, Qt::Key_C, Qt::ControlModifier);
    overrideKey.ignore();
    QCoreApplication::sendEvent(edit, &overrideKey);
    EXPECT_TRUE(overrideKey.isAccepted()) << "the Edit menu's Copy does not get the key";
    PressKey(edit, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(h.ui.clipboard, "Retrieving server list (id 0) from master server...");
}

TEST(MainFrame, ViewStylesActOnTheTopPaneOnly) {
    AppHarness h;
    ASSERT_TRUE(h.Start());
    CMainFrame& frame = h.Frame();
    const CDetailsView::Style bottom = frame.GetBottomDetailsView()->GetStyle();
    frame.ActivateView(frame.GetBottomDetailsView());
    frame.RouteCommand(ID_VIEW_LIST);
    EXPECT_EQ(frame.GetTopDetailsView()->GetStyle(), CDetailsView::Style::List);
    EXPECT_EQ(frame.GetBottomDetailsView()->GetStyle(), bottom);
    EXPECT_TRUE(frame.Action(ID_VIEW_LIST)->isChecked());
    EXPECT_FALSE(frame.Action(ID_VIEW_DETAILS)->isChecked());
    frame.RouteCommand(ID_VIEW_LARGEICON);
    EXPECT_TRUE(frame.Action(ID_VIEW_LARGEICON)->isChecked());
    EXPECT_FALSE(frame.Action(ID_VIEW_LIST)->isChecked());
}

TEST(MainFrame, CommandsGoToTheActivePaneAndTheirStatesFollowIt) {
    AppHarness h;
    ASSERT_TRUE(h.Start());
    CMainFrame& frame = h.Frame();
    ServerInfo* server = h.Doc().AddFavourite(0x7F000001, 27015, true);
    frame.ActivateView(frame.GetServerView());
    frame.UpdateCommandStates();
    EXPECT_FALSE(frame.Action(ID_JOIN_SERVER)->isEnabled()) << "nothing selected";
    EXPECT_TRUE(frame.Action(ID_UPDATE_SERVER_LIST)->isEnabled());

    CServerTreeItem* favourites = h.Tree().GroupItem(GROUP_FAVOURITES);
    favourites->setExpanded(true);
    h.Tree().setCurrentItem(ChildFor(favourites, server));
    frame.UpdateCommandStates();
    EXPECT_TRUE(frame.Action(ID_JOIN_SERVER)->isEnabled());
    frame.RouteCommand(ID_EDIT_COPY);
    EXPECT_EQ(h.ui.clipboard, "127.0.0.1:27015");

    // Auto refresh: checked while on, and its timer runs exactly then.
    frame.RouteCommand(ID_AUTO_REFRESH);
    EXPECT_TRUE(frame.IsAutoRefresh());
    EXPECT_TRUE(frame.Action(ID_AUTO_REFRESH)->isChecked());
    EXPECT_TRUE(frame.RefreshTimer().isActive());
    EXPECT_EQ(frame.RefreshTimer().interval(), 10000);
    EXPECT_TRUE(frame.StartTimers()) << "restarting keeps auto refresh on";
    EXPECT_TRUE(frame.RefreshTimer().isActive());
    frame.RouteCommand(ID_AUTO_REFRESH);
    EXPECT_FALSE(frame.RefreshTimer().isActive());
    EXPECT_FALSE(frame.Action(ID_AUTO_REFRESH)->isChecked());
}

// The user of the next test, who notes whether a refresh started while
// another one was still running.
class NestingUI : public ScriptedUI {
public:
    std::unique_ptr<IProgress> CreateProgress() override {
        if (doc && doc->IsRefreshing())
            ++nested;
        return ScriptedUI::CreateProgress();
    }
    CScoutwireDoc* doc = nullptr;
    int nested = 0;
};

TEST(MainFrame, AutoRefreshSkipsTicksWhileARefreshRuns) {
    LabProcess lab;
    ASSERT_TRUE(lab.Start({"--servers", "40"})) << lab.Error().toStdString();
    QTemporaryDir dir;
    const QString ini = dir.filePath("settings.ini");
    EditSettingsFile(ini, [](CSettings& s) {
        s.m_strWONMaster = "127.0.0.1";
        s.m_nCleanInterval = 20;
        s.m_nSendInterval = 1;
        s.m_nRefreshInterval = 1000;
        s.m_dwFlags = OPT_CLEAR_BEFORE_UPDATE;
    });
    NestingUI ui;
    CScoutwireApp app(&ui);
    ASSERT_TRUE(app.InitInstance({"scoutwire", "--settings", ini}));
    ui.doc = app.GetDocument();
    app.GetSettings()->m_wWONPort = lab.MasterPort();
    CMainFrame& frame = *app.GetMainFrame();
    frame.RouteCommand(ID_UPDATE_SERVER_LIST);
    ASSERT_TRUE(WaitUntil([&] { return app.GetDocument()->GetServerList().GetSize() == 40; }));

    // Each refresh of "WON" outlasts several ticks: 40 servers, one every
    // 100 ms.
    app.GetSettings()->m_nSendInterval = 100;
    CServerView& tree = *frame.GetServerView();
    tree.setCurrentItem(tree.GroupItem(GROUP_WON));
    frame.ActivateView(&tree);
    frame.RouteCommand(ID_AUTO_REFRESH);
    ASSERT_TRUE(WaitUntil([&] { return ui.progressDialogs >= 2; }, 30000));
    EXPECT_EQ(ui.nested, 0);
    frame.RouteCommand(ID_AUTO_REFRESH);
    WaitUntil([&] { return !app.GetDocument()->IsRefreshing(); }, 30000);
    app.ExitInstance();
}
