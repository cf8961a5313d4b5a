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
    return QSettings(ini, QSettings::IniFormat).value("Settings/LastDoc").toString();
}

// A saved document with one favourite, for the opening tests.
std::string MakeDocument(AppHarness& h, const QString& name) {
    h.Doc().AddFavourite(0x0A000001, 27015, false);
    const std::string path = h.Path(name).toStdString();
    EXPECT_TRUE(h.Doc().OnSaveDocument(path));
    return path;
}

} // namespace

TEST(MainFrame, FirstStartWritesEverySettingAndPaneSizesSurviveARestart) {
    AppHarness h;
    ASSERT_TRUE(h.Start());
    CMainFrame& frame = h.Frame();
    EXPECT_TRUE(frame.CleanTimer().isActive());
    EXPECT_FALSE(frame.RefreshTimer().isActive());
    EXPECT_EQ(frame.windowTitle(), "Untitled - Scoutwire");
    ASSERT_TRUE(WaitUntil([&] { return frame.SocketsText() == "Active sockets: 0"; }, 3000));
    // Arrows, Delete and Insert reach the tree without a click.
    EXPECT_TRUE(WaitUntil([&] { return QApplication::focusWidget() == frame.GetServerView(); }));
    QSplitter* outer = frame.OuterSplitter();
    QSplitter* inner = frame.InnerSplitter();
    outer->setSizes({420, outer->width() - outer->handleWidth() - 420});
    inner->setSizes({300, inner->height() - inner->handleWidth() - 300});
    ASSERT_EQ(frame.GetServerView()->width(), 420);
    h.Exit();
    // The first exit writes every setting, the pane sizes among them.
    QSettings stored(h.Ini(), QSettings::IniFormat);
    for (const char* key : {"SplitWidthServers", "CleanInterval", "Flags", "LastDoc"})
        EXPECT_TRUE(stored.contains(QString("Settings/") + key)) << key;
    ASSERT_TRUE(h.Start());
    EXPECT_EQ(h.Frame().GetServerView()->width(), 420);
    EXPECT_EQ(h.Frame().GetTopDetailsView()->height(), 300);
}

TEST(MainFrame, TabF6AndCommandsFollowTheActivePane) {
    AppHarness h;
    ASSERT_TRUE(h.Start());
    CMainFrame& frame = h.Frame();
    QWidget* tree = frame.GetServerView();
    QWidget* top = frame.GetTopDetailsView();
    QWidget* bottom = frame.GetBottomDetailsView();
    frame.ActivateView(tree);
    for (QWidget* next : {top, bottom, tree}) {
        QWidget* pane = frame.ActivePane();
        PressKey(pane == tree ? pane : static_cast<CDetailsView*>(pane)->FocusWidget(),
                 Qt::Key_Tab);
        EXPECT_EQ(frame.ActivePane(), next);
    }
    frame.RouteCommand(ID_PREV_PANE);
    EXPECT_EQ(frame.ActivePane(), bottom);
    frame.RouteCommand(ID_NEXT_PANE);
    EXPECT_EQ(frame.ActivePane(), tree);

    // Ctrl+C in the status line copies the whole line.
    h.Frame().SetStatusLine("Retrieving server list (id 0) from master server...");
    QLineEdit* edit = h.Frame().GetDialogBar()->Edit();
    edit->setSelection(0, 10);
    QKeyEvent overrideKey(QEvent::ShortcutOverride, Qt::Key_C, Qt::ControlModifier);
    overrideKey.ignore();
    QCoreApplication::sendEvent(edit, &overrideKey);
    EXPECT_TRUE(overrideKey.isAccepted()) << "the Edit menu's Copy does not get the key";
    PressKey(edit, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(h.ui.clipboard, "Retrieving server list (id 0) from master server...");

    // Commands go to the active pane and their states follow it.
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

    // The view styles act on the top pane only, whichever is active.
    const CDetailsView::Style lower = frame.GetBottomDetailsView()->GetStyle();
    frame.ActivateView(frame.GetBottomDetailsView());
    frame.RouteCommand(ID_VIEW_LIST);
    EXPECT_EQ(frame.GetTopDetailsView()->GetStyle(), CDetailsView::Style::List);
    EXPECT_EQ(frame.GetBottomDetailsView()->GetStyle(), lower);
    EXPECT_TRUE(frame.Action(ID_VIEW_LIST)->isChecked());
    EXPECT_FALSE(frame.Action(ID_VIEW_DETAILS)->isChecked());
}

TEST(MainFrame, ClosingAModifiedDocumentAsksToSave) {
    AppHarness h;
    ASSERT_TRUE(h.Start());
    CMainFrame& frame = h.Frame();
    h.Doc().AddFavourite(0x0A000001, 27015, true);
    ASSERT_TRUE(h.Doc().IsModified());
    h.ui.answers = {IUserInterface::Answer::Cancel};
    EXPECT_FALSE(frame.close());
    EXPECT_EQ(h.ui.messages, std::vector<std::string>{"Save changes to Untitled?"});
    // Yes on an untitled document asks for a name; giving none cancels.
    h.ui.answers = {IUserInterface::Answer::Yes};
    frame.m_chooseFile = [](bool, const std::string&) { return std::string(); };
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
    EXPECT_EQ(h.ui.messages.back(), "Save changes to " + path + "?");
    h.ui.answers = {IUserInterface::Answer::No};
    EXPECT_TRUE(frame.NewDocument());
    EXPECT_EQ(h.Doc().GetServerList().GetSize(), 0);
    frame.m_chooseFile = [&](bool save, const std::string&) {
        EXPECT_FALSE(save);
        return path;
    };
    frame.RouteCommand(ID_FILE_OPEN);
    EXPECT_EQ(h.Doc().GetPathName(), path);
    EXPECT_EQ(h.Doc().GetServerList().GetSize(), 1) << "the file as it was saved";
    EXPECT_EQ(frame.windowTitle(), "one.scw - Scoutwire");

    // A file that cannot be read leaves the recent-file list.
    h.app->RecentFiles().Add(h.Path("gone.scw").toStdString());
    h.ui.messages.clear();
    frame.RouteCommand(ID_FILE_MRU_FILE1);
    EXPECT_EQ(h.ui.messages.size(), 1u);
    EXPECT_EQ(h.app->RecentFiles().GetAt(0), path);

    // A dropped document is opened.
    ASSERT_TRUE(frame.NewDocument());
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&h.Frame(), &enter);
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

    // A document on the command line wins and leaves the last one alone.
    const std::string last = MakeDocument(h, "last.scw");
    const std::string other = h.Path("other.scw").toStdString();
    ASSERT_TRUE(h.Doc().OnSaveDocument(other));
    ASSERT_TRUE(h.Frame().OpenDocumentFile(last));
    h.Exit();
    ASSERT_TRUE(h.Start({QString::fromStdString(other)}));
    EXPECT_EQ(h.Doc().GetPathName(), other);
    EXPECT_EQ(StoredLastDoc(h.Ini()).toStdString(), last);
}

TEST(MainFrame, ActiveSocketsCountTheMasterAndAutoRefreshSkipsTicksWhileARefreshRuns) {
    LabProcess lab;
    ASSERT_TRUE(lab.Start({"--servers", "8", "--drop-first-master-request"}))
        << lab.Error().toStdString();
    AppHarness h;
    ASSERT_TRUE(h.StartAgainst(lab, [](CSettings& s) {
        s.m_nCleanInterval = 50;
        s.m_nWONTimeout = 1000;
        s.m_nRefreshInterval = 1000;
    }));
    CMainFrame& frame = h.Frame();
    ASSERT_TRUE(WaitUntil([&] { return frame.SocketsText() == "Active sockets: 0"; }));
    frame.RouteCommand(ID_UPDATE_SERVER_LIST);
    EXPECT_TRUE(frame.GetDialogBar()->Text().startsWith(
        "Retrieving server list (filter: <no filter active>) (id 0) from master server... ["));
    // The lab ignores the first request, so the master exchange lasts past
    // several cleaning passes.
    EXPECT_TRUE(WaitUntil([&] { return frame.SocketsText() == "Active sockets: 1"; }));
    ASSERT_TRUE(WaitUntil([&] { return h.Doc().GetServerList().GetSize() == 8; }));
    ASSERT_TRUE(WaitUntil([&] { return !h.Doc().IsRefreshing(); }));
    EXPECT_TRUE(WaitUntil([&] { return frame.SocketsText() == "Active sockets: 0"; }));

    // Each refresh of "WON" outlasts a tick: 8 servers, one every 200 ms.
    // The second refresh is cancelled at once.
    h.Settings().m_nSendInterval = 200;
    const int before = h.ui.progressDialogs;
    h.ui.cancelAt = [&](int) { return h.ui.progressDialogs >= before + 2; };
    CServerView& tree = h.Tree();
    tree.setCurrentItem(tree.GroupItem(GROUP_WON));
    frame.ActivateView(&tree);
    frame.RouteCommand(ID_AUTO_REFRESH);
    ASSERT_TRUE(WaitUntil([&] { return h.ui.progressDialogs >= before + 2; }, 30000));
    frame.RouteCommand(ID_AUTO_REFRESH);
    ASSERT_TRUE(WaitUntil([&] { return !h.Doc().IsRefreshing(); }));
    EXPECT_EQ(h.ui.deepestProgress, 1) << "a refresh started inside another";
}
