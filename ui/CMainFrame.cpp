#include "ui/CMainFrame.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <type_traits>
#include <utility>

#include "core/CScoutwireDoc.h"
#include "core/CSettings.h"
#include "core/DisplayText.h"
#include "core/IUserInterface.h"
#include "core/WatchAlert.h"
#include "net/Address.h"
#include "search/SearchQuery.h"
#include "ui/CAlertPopup.h"
#include "ui/CDesktopNotifier.h"
#include "ui/CDetailsView.h"
#include "ui/CRecentFileList.h"
#include "ui/CScoutwireDialogBar.h"
#include "ui/CServerView.h"
#include "ui/CTrayIcon.h"
#include "ui/CommandIds.h"

#include "core/HomePage.h"
#include "ui/CAboutDlg.h"
#include "ui/COptionsDlg.h"
#include "ui/ShellOpen.h"

namespace {

constexpr const char* kSettingsSection = "Settings";
constexpr int kRecentFiles = 4;
// How often the toolbar's enabled and checked states are brought up to date
// while nothing else prompts it.
constexpr int kStateRefreshMs = 300;

QString FromPath(const std::string& path) {
    return QString::fromLocal8Bit(path.c_str());
}
std::string ToPath(const QString& path) {
    return path.toLocal8Bit().toStdString();
}

QIcon ToolbarIcon(const char* name) {
    return QIcon(QStringLiteral(":/images/tb-%1.svg").arg(QLatin1String(name)));
}

// The document commands the frame carries out for the document when the
// active pane does not take them.
bool IsDocumentCommand(int id) {
    switch (id) {
    case ID_UPDATE_SERVER_LIST:
    case ID_CLEAR_SERVER_LIST:
    case ID_ADD_SERVER:
    case ID_FILTER_SERVER_LIST:
    case ID_FIND_SERVERS:
    case ID_ADD_QUERY:
        return true;
    default:
        return false;
    }
}

// Commands that belong to the window and the application; the panes never
// see them (the view styles, for one, act on the top pane whichever pane
// is active).
bool IsFrameCommand(int id) {
    if (id >= ID_FILE_MRU_FILE1 && id < ID_FILE_MRU_FILE1 + kRecentFiles)
        return true;
    switch (id) {
    case ID_FILE_NEW:
    case ID_FILE_OPEN:
    case ID_FILE_SAVE:
    case ID_FILE_SAVE_AS:
    case ID_APP_EXIT:
    case ID_APP_ABOUT:
    case ID_OPTIONS:
    case ID_HOMEPAGE:
    case ID_AUTO_REFRESH:
    case ID_VIEW_LARGEICON:
    case ID_VIEW_SMALLICON:
    case ID_VIEW_LIST:
    case ID_VIEW_DETAILS:
    case ID_VIEW_TOOLBAR:
    case ID_VIEW_STATUS_BAR:
    case ID_NEXT_PANE:
    case ID_PREV_PANE:
        return true;
    default:
        return false;
    }
}

bool StyleOf(int id, CDetailsView::Style& style) {
    switch (id) {
    case ID_VIEW_LARGEICON:
        style = CDetailsView::Style::LargeIcons;
        return true;
    case ID_VIEW_SMALLICON:
        style = CDetailsView::Style::SmallIcons;
        return true;
    case ID_VIEW_LIST:
        style = CDetailsView::Style::List;
        return true;
    case ID_VIEW_DETAILS:
        style = CDetailsView::Style::Details;
        return true;
    default:
        return false;
    }
}

} // namespace

CMainFrame::CMainFrame(CScoutwireDoc& doc, CSettings& settings, IUserInterface& ui,
                       CRecentFileList& recentFiles, QWidget* parent)
    : QMainWindow(parent), m_doc(doc), m_settings(settings), m_ui(ui), m_recentFiles(recentFiles) {
    setObjectName(QStringLiteral("mainFrame"));
    setWindowIcon(QIcon(QStringLiteral(":/images/scoutwire.svg")));
    resize(1024, 740);
}

CMainFrame::~CMainFrame() {
    m_cleanTimer.stop();
    m_refreshTimer.stop();
    m_stateTimer.stop();
    qApp->removeEventFilter(this);
    disconnect(qApp, nullptr, this, nullptr);
    m_settings.m_strLastDoc = m_doc.GetPathName();
    if (m_pTree) {
        m_pTree->RemoveListener(m_pTop);
        m_pTree->RemoveListener(m_pBottom);
        m_pTop->RemoveSelectionListener(m_pBottom);
        m_doc.RemoveView(m_pTree);
        m_doc.RemoveView(m_pTop);
        m_doc.RemoveView(m_pBottom);
        SavePaneSizes();
    }
    // The panes and the status line know this window: they go while it is
    // still whole.
    delete m_pOuter;
    delete m_pDialogBarHost;
    m_pTree = nullptr;
    m_pTop = m_pBottom = nullptr;
    m_pDialogBar = nullptr;
}

bool CMainFrame::Create() {
    CreateActions();
    CreateMenus();
    CreateToolBars();
    CreateStatusBar();
    CreateWatchSurfaces();
    if (!CreateClient())
        return false;
    if (!StartTimers()) {
        m_ui.MessageBox("Failed to create timer", IUserInterface::Buttons::Ok,
                        IUserInterface::Icon::Error);
        return false;
    }
    connect(&m_cleanTimer, &QTimer::timeout, this, &CMainFrame::OnCleanTimer);
    connect(&m_refreshTimer, &QTimer::timeout, this, &CMainFrame::OnRefreshTimer);
    connect(&m_stateTimer, &QTimer::timeout, this, &CMainFrame::UpdateCommandStates);
    m_stateTimer.start(kStateRefreshMs);
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (QWidget* pane = PaneOf(now))
            m_pActivePane = pane;
        UpdateCommandStates();
    });
    qApp->installEventFilter(this);
    setAcceptDrops(true);
    RebuildRecentFileMenu();
    UpdateTitle();
    UpdateCommandStates();
    return true;
}

// ---------------------------------------------------------------------------
// Menus, bars and panes

QAction* CMainFrame::AddAction(int id, const QString& text, const QString& statusTip,
                               const QList<QKeySequence>& shortcuts) {
    auto* action = new QAction(text, this);
    action->setStatusTip(statusTip);
    action->setData(id);
    if (!shortcuts.isEmpty())
        action->setShortcuts(shortcuts);
    // Shortcuts work while the menu bar or toolbar is hidden, too.
    addAction(action);
    connect(action, &QAction::triggered, this, [this, id] { RouteCommand(id); });
    m_actions[id] = action;
    return action;
}

void CMainFrame::CreateActions() {
    using K = QKeySequence;
    const auto tr = [](const char* text) { return QString::fromLatin1(text); };

    AddAction(ID_FILE_NEW, tr("&New"), tr("Create a new document"), {K(Qt::CTRL | Qt::Key_N)})
        ->setToolTip(tr("New"));
    AddAction(ID_FILE_OPEN, tr("&Open..."), tr("Open an existing document"),
              {K(Qt::CTRL | Qt::Key_O)})
        ->setToolTip(tr("Open"));
    AddAction(ID_FILE_SAVE, tr("&Save"), tr("Save the active document"), {K(Qt::CTRL | Qt::Key_S)})
        ->setToolTip(tr("Save"));
    AddAction(ID_FILE_SAVE_AS, tr("Save &As..."), tr("Save the active document with a new name"));
    for (int i = 0; i < kRecentFiles; ++i)
        AddAction(ID_FILE_MRU_FILE1 + i, tr("Recent File"), tr("Open this document"));
    AddAction(ID_APP_EXIT, tr("E&xit"), tr("Quit the application; prompts to save documents"));

    AddAction(ID_UPDATE_SERVER_LIST, tr("&Update Server List"),
              tr("Connect to WON server and retrieve server list"), {K(Qt::SHIFT | Qt::Key_F5)})
        ->setToolTip(tr("Update WON Server List"));
    AddAction(ID_CLEAR_SERVER_LIST, tr("C&lear Server List"),
              tr("Remove the servers of the master server list"));
    AddAction(ID_ADD_SERVER, tr("&Add Server..."), tr("Add a server by its address"),
              {K(Qt::CTRL | Qt::Key_A)});
    AddAction(ID_FILTER_SERVER_LIST, tr("Filter Server List..."), tr("Edit the server list filter"),
              {K(Qt::CTRL | Qt::Key_L)})
        ->setToolTip(tr("Filter"));
    AddAction(ID_FIND_SERVERS, tr("&Find Servers..."), tr("Find servers by name"),
              {K(Qt::CTRL | Qt::Key_E)});
    AddAction(ID_JOIN_SERVER, tr("&Join Server"),
              tr("Run Half-Life and connect to selected server"), {K(Qt::CTRL | Qt::Key_J)})
        ->setToolTip(tr("Join Server"));
    AddAction(ID_ADD_QUERY, tr("Add &Query..."), tr("Find players on all servers"),
              {K(Qt::CTRL | Qt::Key_F)})
        ->setToolTip(tr("Find Players"));
    AddAction(ID_EDIT_COPY, tr("&Copy"), tr("Copy the selection and put it on the Clipboard"),
              {K(Qt::CTRL | Qt::Key_C), K(Qt::CTRL | Qt::Key_Insert)});
    AddAction(ID_COPY_SERVER_ADDRESS, tr("Copy Server A&ddress"),
              tr("Copy the address of the selected server"), {K(Qt::CTRL | Qt::SHIFT | Qt::Key_C)});
    AddAction(ID_REFRESH, tr("&Refresh"), tr("Refresh selected item"), {K(Qt::Key_F5)})
        ->setToolTip(tr("Refresh"));
    QAction* autoRefresh =
        AddAction(ID_AUTO_REFRESH, tr("Auto Refresh"),
                  tr("Refresh automatically each specified interval"), {K(Qt::CTRL | Qt::Key_F5)});
    autoRefresh->setToolTip(tr("Auto Refresh"));
    autoRefresh->setCheckable(true);
    AddAction(ID_PROPERTIES, tr("&Properties"), tr("Show the properties of the selected item"),
              // The first one names the key in the menu: Qt calls the main
              // Enter key "Return".
              {K(Qt::ALT | Qt::Key_Enter), K(Qt::ALT | Qt::Key_Return)});

    AddAction(ID_VIEW_TOOLBAR, tr("&Toolbar"), tr("Show or hide the toolbar"));
    AddAction(ID_VIEW_STATUS_BAR, tr("&Status Bar"), tr("Show or hide the status bar"));
    AddAction(ID_OPTIONS, tr("&Options"), tr("Change the program's options"),
              {K(Qt::CTRL | Qt::Key_T)});
    AddAction(ID_HOMEPAGE, tr("&Scoutwire Homepage"),
              tr("Launches the default browser with the Scoutwire homepage"));
    AddAction(ID_APP_ABOUT, tr("&About Scoutwire..."),
              tr("Display program information, version number and copyright"))
        ->setToolTip(tr("About"));
    for (int id : {ID_VIEW_TOOLBAR, ID_VIEW_STATUS_BAR})
        m_actions[id]->setCheckable(true);

    const struct {
        int id;
        const char* tip;
        const char* name;
        const char* image;
    } styles[] = {
        {ID_VIEW_LARGEICON, "Display items by using large icons", "Large Icons", "largeicons"},
        {ID_VIEW_SMALLICON, "Display items by using small icons", "Small Icons", "smallicons"},
        {ID_VIEW_LIST, "Displays items in a list", "List", "list"},
        {ID_VIEW_DETAILS, "Displays detailed information about each item in the window", "Details",
         "details"},
    };
    for (const auto& style : styles) {
        QAction* action = AddAction(style.id, tr(style.name), tr(style.tip));
        action->setToolTip(tr(style.name));
        action->setIcon(ToolbarIcon(style.image));
        action->setCheckable(true);
    }

    // Accelerators without a menu item.
    AddAction(ID_ADD_PLAYER_QUERY, tr("Add Player Query"), tr("Find this player on all servers"),
              {K(Qt::CTRL | Qt::SHIFT | Qt::Key_F)});
    AddAction(ID_NEXT_PANE, tr("Next Pane"), tr("Switch to the next window pane"), {K(Qt::Key_F6)});
    AddAction(ID_PREV_PANE, tr("Previous Pane"), tr("Switch back to the previous window pane"),
              {K(Qt::SHIFT | Qt::Key_F6)});

    Action(ID_FILE_NEW)->setIcon(QIcon::fromTheme("document-new", ToolbarIcon("new")));
    Action(ID_FILE_OPEN)->setIcon(QIcon::fromTheme("document-open", ToolbarIcon("open")));
    Action(ID_FILE_SAVE)->setIcon(QIcon::fromTheme("document-save", ToolbarIcon("save")));
    Action(ID_UPDATE_SERVER_LIST)->setIcon(ToolbarIcon("update"));
    Action(ID_REFRESH)->setIcon(ToolbarIcon("refresh"));
    Action(ID_AUTO_REFRESH)->setIcon(ToolbarIcon("autorefresh"));
    Action(ID_ADD_QUERY)->setIcon(ToolbarIcon("findplayers"));
    Action(ID_FILTER_SERVER_LIST)->setIcon(ToolbarIcon("filter"));
    Action(ID_JOIN_SERVER)->setIcon(ToolbarIcon("join"));
    Action(ID_APP_ABOUT)->setIcon(ToolbarIcon("about"));
}

QAction* CMainFrame::Action(int id) const {
    const auto it = m_actions.find(id);
    return it == m_actions.end() ? nullptr : it->second;
}

void CMainFrame::CreateMenus() {
    QMenuBar* bar = menuBar();
    m_pFileMenu = bar->addMenu(QStringLiteral("&File"));
    for (int id : {ID_FILE_NEW, ID_FILE_OPEN, ID_FILE_SAVE, ID_FILE_SAVE_AS})
        m_pFileMenu->addAction(Action(id));
    m_pFileMenu->addSeparator();
    for (int i = 0; i < kRecentFiles; ++i)
        m_pFileMenu->addAction(Action(ID_FILE_MRU_FILE1 + i));
    m_pRecentSeparator = m_pFileMenu->addSeparator();
    m_pFileMenu->addAction(Action(ID_APP_EXIT));

    QMenu* edit = bar->addMenu(QStringLiteral("&Edit"));
    edit->addAction(Action(ID_UPDATE_SERVER_LIST));
    edit->addAction(Action(ID_CLEAR_SERVER_LIST));
    edit->addAction(Action(ID_ADD_SERVER));
    edit->addSeparator();
    edit->addAction(Action(ID_FILTER_SERVER_LIST));
    edit->addAction(Action(ID_FIND_SERVERS));
    edit->addSeparator();
    edit->addAction(Action(ID_JOIN_SERVER));
    edit->addSeparator();
    edit->addAction(Action(ID_ADD_QUERY));
    edit->addSeparator();
    edit->addAction(Action(ID_EDIT_COPY));
    edit->addAction(Action(ID_COPY_SERVER_ADDRESS));
    edit->addSeparator();
    edit->addAction(Action(ID_REFRESH));
    edit->addAction(Action(ID_AUTO_REFRESH));
    edit->addAction(Action(ID_PROPERTIES));

    QMenu* view = bar->addMenu(QStringLiteral("&View"));
    view->addAction(Action(ID_VIEW_TOOLBAR));
    view->addAction(Action(ID_VIEW_STATUS_BAR));
    view->addSeparator();
    view->addAction(Action(ID_OPTIONS));

    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    help->addAction(Action(ID_HOMEPAGE));
    help->addAction(Action(ID_APP_ABOUT));

    for (QMenu* menu : {m_pFileMenu, edit, view, help})
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandStates);
    connect(m_pFileMenu, &QMenu::aboutToShow, this, &CMainFrame::RebuildRecentFileMenu);
}

void CMainFrame::CreateToolBars() {
    m_pToolBar = addToolBar(QStringLiteral("Toolbar"));
    m_pToolBar->setObjectName(QStringLiteral("toolbar"));
    m_pToolBar->setIconSize(QSize(16, 16));
    const int buttons[] = {ID_FILE_NEW,
                           ID_FILE_OPEN,
                           ID_FILE_SAVE,
                           0,
                           ID_VIEW_LARGEICON,
                           ID_VIEW_SMALLICON,
                           ID_VIEW_LIST,
                           ID_VIEW_DETAILS,
                           0,
                           ID_UPDATE_SERVER_LIST,
                           ID_REFRESH,
                           ID_AUTO_REFRESH,
                           ID_ADD_QUERY,
                           ID_FILTER_SERVER_LIST,
                           ID_JOIN_SERVER,
                           0,
                           ID_APP_ABOUT};
    for (int id : buttons) {
        if (id == 0)
            m_pToolBar->addSeparator();
        else
            m_pToolBar->addAction(Action(id));
    }

    addToolBarBreak();
    m_pDialogBarHost = addToolBar(QStringLiteral("Status Line"));
    m_pDialogBarHost->setObjectName(QStringLiteral("dialogBar"));
    m_pDialogBar = new CScoutwireDialogBar(*this, m_pDialogBarHost);
    m_pDialogBar->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_pDialogBarHost->addWidget(m_pDialogBar);
}

void CMainFrame::CreateStatusBar() {
    QStatusBar* bar = statusBar();
    m_pReadyLabel = new QLabel(QStringLiteral("Ready"), bar);
    bar->addWidget(m_pReadyLabel, 1);
    m_pSocketsLabel = new QLabel(QStringLiteral("Active sockets: 0"), bar);
    m_pSocketsLabel->setObjectName(QStringLiteral("activeSockets"));
    m_pSocketsLabel->setMinimumWidth(
        m_pSocketsLabel->fontMetrics().horizontalAdvance(QStringLiteral("active sockets: 000")) +
        8);
    // The background join, while one runs, with its way out.
    m_pJoinLabel = new QLabel(bar);
    m_pJoinLabel->setObjectName(QStringLiteral("backgroundJoin"));
    m_pJoinCancel = new QToolButton(bar);
    m_pJoinCancel->setObjectName(QStringLiteral("cancelBackgroundJoin"));
    m_pJoinCancel->setText(QStringLiteral("Cancel"));
    m_pJoinCancel->setToolTip(QStringLiteral("Cancel the background join"));
    connect(m_pJoinCancel, &QToolButton::clicked, this, [this] { m_doc.CancelBackgroundJoin(); });
    bar->addPermanentWidget(m_pJoinLabel);
    bar->addPermanentWidget(m_pJoinCancel);
    m_pJoinLabel->hide();
    m_pJoinCancel->hide();
    bar->addPermanentWidget(m_pSocketsLabel);
    // The keyboard's lock states (CAP, NUM, SCRL) cannot be read through
    // Qt, so those indicators are not shown.
}

bool CMainFrame::CreateClient() {
    m_nTreeWidth = m_settings.ReadInt(kSettingsSection, "SplitWidthServers", m_nTreeWidth);
    m_nTopHeight = m_settings.ReadInt(kSettingsSection, "SplitHeightDetails", m_nTopHeight);

    m_pOuter = new QSplitter(Qt::Horizontal, this);
    m_pTree = new CServerView(m_doc, *this, m_pOuter);
    m_pTree->setObjectName(QStringLiteral("serverTree"));
    m_pOuter->addWidget(m_pTree);
    m_pInner = new QSplitter(Qt::Vertical, m_pOuter);
    m_pOuter->addWidget(m_pInner);
    m_pTop = new CDetailsView(m_doc, *this, m_pInner);
    m_pTop->setObjectName(QStringLiteral("topDetails"));
    m_pBottom = new CDetailsView(m_doc, *this, m_pInner);
    m_pBottom->setObjectName(QStringLiteral("bottomDetails"));
    m_pInner->addWidget(m_pTop);
    m_pInner->addWidget(m_pBottom);
    // The tree and the top pane keep their sizes; the other panes take what
    // the window gains or loses.
    m_pOuter->setStretchFactor(0, 0);
    m_pOuter->setStretchFactor(1, 1);
    m_pInner->setStretchFactor(0, 0);
    m_pInner->setStretchFactor(1, 1);
    setCentralWidget(m_pOuter);

    m_pTree->AddListener(m_pTop);
    m_pTree->AddListener(m_pBottom);
    m_pTop->m_dwTreeModes = 0x1E;
    m_pTop->m_dwListModes = 0;
    m_pBottom->m_dwTreeModes = 0x20;
    m_pTop->AddSelectionListener(m_pBottom);
    m_pBottom->m_dwListModes = 0x34;

    m_doc.AddView(m_pTree);
    m_doc.AddView(m_pTop);
    m_doc.AddView(m_pBottom);
    m_pActivePane = m_pTree;
    return true;
}

void CMainFrame::ApplyPaneSizes() {
    const int outer = std::max(0, m_pOuter->width() - m_pOuter->handleWidth());
    m_pOuter->setSizes({m_nTreeWidth, std::max(0, outer - m_nTreeWidth)});
    const int inner = std::max(0, m_pInner->height() - m_pInner->handleWidth());
    m_pInner->setSizes({m_nTopHeight, std::max(0, inner - m_nTopHeight)});
}

void CMainFrame::SavePaneSizes() {
    // Sizes are only real once the window has been laid out.
    if (m_bSizesApplied) {
        m_nTreeWidth = m_pTree->width();
        m_nTopHeight = m_pTop->height();
    }
    m_settings.WriteInt(kSettingsSection, "SplitWidthServers", m_nTreeWidth);
    m_settings.WriteInt(kSettingsSection, "SplitHeightDetails", m_nTopHeight);
}

void CMainFrame::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    QGuiApplication::setQuitOnLastWindowClosed(true);
    m_bInTray = false;
    if (!m_bSizesApplied && m_pOuter) {
        ApplyPaneSizes();
        m_bSizesApplied = true;
        // Commands go to the tree from the start; so do the keys.
        ActivateView(m_pTree);
    }
}

void CMainFrame::RebuildRecentFileMenu() {
    const int count = m_recentFiles.GetSize();
    for (int i = 0; i < kRecentFiles; ++i) {
        QAction* action = Action(ID_FILE_MRU_FILE1 + i);
        if (i < count) {
            QString path = QDir::toNativeSeparators(FromPath(m_recentFiles.GetAt(i)));
            path.replace(QLatin1Char('&'), QStringLiteral("&&"));
            action->setText(QStringLiteral("&%1 %2").arg(i + 1).arg(path));
            action->setVisible(true);
            action->setEnabled(true);
        } else {
            // An empty list shows one greyed "Recent File" entry.
            action->setText(QStringLiteral("Recent File"));
            action->setVisible(i == 0 && count == 0);
            action->setEnabled(false);
        }
    }
}

void CMainFrame::UpdateTitle() {
    const std::string& path = m_doc.GetPathName();
    const QString name =
        path.empty() ? QStringLiteral("Untitled") : QFileInfo(FromPath(path)).fileName();
    setWindowTitle(name + QStringLiteral(" - Scoutwire"));
}

// ---------------------------------------------------------------------------
// Panes

QWidget* CMainFrame::PaneOf(QWidget* widget) const {
    if (!widget)
        return nullptr;
    for (QWidget* pane : {static_cast<QWidget*>(m_pTree), static_cast<QWidget*>(m_pTop),
                          static_cast<QWidget*>(m_pBottom)})
        if (pane && (pane == widget || pane->isAncestorOf(widget)))
            return pane;
    return nullptr;
}

ICommandTarget* CMainFrame::PaneTarget(QWidget* pane) const {
    if (!pane)
        return nullptr;
    if (pane == m_pTree)
        return m_pTree;
    if (pane == m_pTop)
        return m_pTop;
    if (pane == m_pBottom)
        return m_pBottom;
    return nullptr;
}

QWidget* CMainFrame::PaneFocusWidget(QWidget* pane) const {
    if (pane == m_pTop || pane == m_pBottom)
        return static_cast<CDetailsView*>(pane)->FocusWidget();
    return pane;
}

void CMainFrame::ActivateNextPane(QWidget* from, bool previous) {
    QWidget* panes[] = {m_pTree, m_pTop, m_pBottom};
    QWidget* current = PaneOf(from);
    if (!current)
        current = m_pActivePane ? m_pActivePane.data() : m_pTree;
    int index = 0;
    for (int i = 0; i < 3; ++i)
        if (panes[i] == current)
            index = i;
    ActivateView(panes[(index + (previous ? 2 : 1)) % 3]);
}

void CMainFrame::ActivateView(QWidget* view) {
    QWidget* pane = PaneOf(view);
    if (!pane)
        return;
    m_pActivePane = pane;
    if (QWidget* focus = PaneFocusWidget(pane))
        focus->setFocus(Qt::OtherFocusReason);
    UpdateCommandStates();
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::ShortcutOverride)
        return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != this)
        return false;
    if (type == QEvent::ShortcutOverride) {
        // An accelerator is about to be matched: its action must show the
        // state of this moment (a disabled action swallows its key).
        UpdateCommandStates();
        return false;
    }
    const auto& key = static_cast<const QKeyEvent&>(*event);
    const bool tab = key.key() == Qt::Key_Tab || key.key() == Qt::Key_Backtab;
    if (!tab || (key.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)))
        return false;
    if (!PaneOf(widget))
        return false;
    ActivateNextPane(widget, key.key() == Qt::Key_Backtab || (key.modifiers() & Qt::ShiftModifier));
    return true;
}

// ---------------------------------------------------------------------------
// Commands

void CMainFrame::PostCommand(int id) {
    QMetaObject::invokeMethod(
        this, [this, id] { RouteCommand(id); }, Qt::QueuedConnection);
}

void CMainFrame::RouteCommand(int id) {
    ICommandTarget* pane = IsFrameCommand(id) ? nullptr : PaneTarget(m_pActivePane);
    if (!pane || !pane->OnCommand(id))
        OnCommand(id);
    UpdateCommandStates();
    // A command may have set or cleared a watch.
    UpdateTray();
}

void CMainFrame::OnCommand(int id) {
    CDetailsView::Style style{};
    if (StyleOf(id, style)) {
        if (m_pTop)
            m_pTop->SetStyle(style);
        return;
    }
    if (id >= ID_FILE_MRU_FILE1 && id < ID_FILE_MRU_FILE1 + kRecentFiles) {
        const int index = id - ID_FILE_MRU_FILE1;
        if (index < m_recentFiles.GetSize()) {
            const std::string path = m_recentFiles.GetAt(index);
            OpenDocumentFile(path);
        }
        return;
    }
    switch (id) {
    case ID_FILE_NEW:
        NewDocument();
        break;
    case ID_FILE_OPEN:
        OnFileOpen();
        break;
    case ID_FILE_SAVE:
        SaveDocument(false);
        break;
    case ID_FILE_SAVE_AS:
        SaveDocument(true);
        break;
    case ID_APP_EXIT:
        close();
        break;
    case ID_APP_ABOUT:
        OnAbout();
        break;
    case ID_OPTIONS:
        OnOptions();
        break;
    case ID_HOMEPAGE:
        OnHomePage();
        break;
    case ID_UPDATE_SERVER_LIST:
        m_doc.UpdateServerList();
        break;
    case ID_CLEAR_SERVER_LIST: {
        WaitCursor wait(m_ui);
        m_doc.ClearServerList();
        break;
    }
    case ID_ADD_SERVER:
        m_doc.AddServer();
        break;
    case ID_FILTER_SERVER_LIST:
        m_doc.EditFilter();
        break;
    case ID_FIND_SERVERS:
        m_doc.FindServers();
        break;
    case ID_ADD_QUERY:
        m_doc.EditQuery(nullptr);
        break;
    case ID_REFRESH:
        // The tree refreshes what it has selected, once the queue gets there.
        if (m_pTree)
            QMetaObject::invokeMethod(
                m_pTree, [tree = m_pTree] { tree->OnCommand(ID_REFRESH); }, Qt::QueuedConnection);
        break;
    case ID_AUTO_REFRESH:
        OnAutoRefresh();
        break;
    case ID_VIEW_TOOLBAR:
        m_pToolBar->setVisible(m_pToolBar->isHidden());
        break;
    case ID_VIEW_STATUS_BAR:
        statusBar()->setVisible(statusBar()->isHidden());
        break;
    case ID_NEXT_PANE:
    case ID_PREV_PANE:
        ActivateNextPane(m_pActivePane, id == ID_PREV_PANE);
        break;
    default:
        break;
    }
}

bool CMainFrame::GetCommandState(int id, bool& enabled, bool& checked) const {
    enabled = false;
    checked = false;
    if (!IsFrameCommand(id)) {
        if (ICommandTarget* pane = PaneTarget(m_pActivePane);
            pane && pane->OnUpdateCommand(id, enabled, checked))
            return true;
    }
    CDetailsView::Style style{};
    if (StyleOf(id, style)) {
        enabled = m_pTop != nullptr;
        checked = m_pTop && m_pTop->GetStyle() == style;
        return true;
    }
    if (id >= ID_FILE_MRU_FILE1 && id < ID_FILE_MRU_FILE1 + kRecentFiles) {
        enabled = id - ID_FILE_MRU_FILE1 < m_recentFiles.GetSize();
        return true;
    }
    if (IsDocumentCommand(id)) {
        enabled = true;
        return true;
    }
    switch (id) {
    case ID_AUTO_REFRESH:
        enabled = true;
        checked = m_bAutoRefresh;
        return true;
    case ID_VIEW_TOOLBAR:
        enabled = true;
        checked = m_pToolBar && !m_pToolBar->isHidden();
        return true;
    case ID_VIEW_STATUS_BAR:
        enabled = true;
        checked = !statusBar()->isHidden();
        return true;
    case ID_FILE_NEW:
    case ID_FILE_OPEN:
    case ID_FILE_SAVE:
    case ID_FILE_SAVE_AS:
    case ID_APP_EXIT:
    case ID_APP_ABOUT:
    case ID_OPTIONS:
    case ID_HOMEPAGE:
    case ID_REFRESH:
    case ID_NEXT_PANE:
    case ID_PREV_PANE:
        enabled = true;
        return true;
    default:
        // No pane took it and nothing here carries it out.
        return false;
    }
}

void CMainFrame::UpdateCommandStates() {
    for (const auto& [id, action] : m_actions) {
        bool enabled = false;
        bool checked = false;
        GetCommandState(id, enabled, checked);
        if (id >= ID_FILE_MRU_FILE1 && id < ID_FILE_MRU_FILE1 + kRecentFiles &&
            !action->isVisible())
            continue;
        if (action->isEnabled() != enabled)
            action->setEnabled(enabled);
        if (action->isCheckable() && action->isChecked() != checked)
            action->setChecked(checked);
    }
}

// ---------------------------------------------------------------------------
// Timers

bool CMainFrame::StartTimers() {
    m_cleanTimer.stop();
    m_refreshTimer.stop();
    if (m_settings.m_nCleanInterval > 0)
        m_cleanTimer.start(m_settings.m_nCleanInterval);
    if (m_bAutoRefresh && m_settings.m_nRefreshInterval > 0)
        m_refreshTimer.start(m_settings.m_nRefreshInterval);
    return m_cleanTimer.isActive();
}

void CMainFrame::OnCleanTimer() {
    // The cleaning pass may open a message box, whose loop runs this timer
    // again: one pass at a time.
    if (m_bCleaning)
        return;
    m_bCleaning = true;
    m_doc.CleanSockets();
    m_bCleaning = false;
    m_pSocketsLabel->setText(
        QStringLiteral("Active sockets: %1").arg(m_doc.GetActiveSocketCount()));
    m_pSocketsLabel->repaint();
}

void CMainFrame::OnRefreshTimer() {
    // A refresh that is still running (its progress window has this window
    // disabled) or a modal box would otherwise get another refresh nested
    // inside it, tick after tick.
    const auto busy = [this] {
        return m_doc.IsRefreshing() || !isEnabled() || QApplication::activeModalWidget();
    };
    if (busy())
        return;
    QMetaObject::invokeMethod(
        this,
        [this, busy] {
            if (busy())
                return;
            if (!m_doc.HasWatches()) {
                RouteCommand(ID_REFRESH);
                return;
            }
            // While watches run, the tick asks what they need (their
            // players' servers, the watched servers and a slice of the
            // rest) instead of whatever the tree has selected.
            m_doc.RefreshServers(m_doc.WatchRefreshServers());
            m_doc.RunAllQueries();
        },
        Qt::QueuedConnection);
}

void CMainFrame::OnAutoRefresh() {
    m_bAutoRefresh = !m_bAutoRefresh;
    if (m_bAutoRefresh) {
        if (m_settings.m_nRefreshInterval > 0)
            m_refreshTimer.start(m_settings.m_nRefreshInterval);
    } else {
        m_refreshTimer.stop();
    }
}

QString CMainFrame::SocketsText() const {
    return m_pSocketsLabel->text();
}

QString CMainFrame::MessageText() const {
    const QString message = statusBar()->currentMessage();
    return message.isEmpty() ? m_pReadyLabel->text() : message;
}

// ---------------------------------------------------------------------------
// Documents

void CMainFrame::InitialUpdateViews() {
    m_pTree->OnInitialUpdate();
    m_pTop->OnInitialUpdate();
    m_pBottom->OnInitialUpdate();
    UpdateTray();
}

bool CMainFrame::SaveModified() {
    if (!m_doc.IsModified())
        return true;
    const std::string& path = m_doc.GetPathName();
    const std::string name = path.empty() ? std::string("Untitled") : path;
    switch (m_ui.MessageBox("Save changes to " + name + "?", IUserInterface::Buttons::YesNoCancel,
                            IUserInterface::Icon::Warning)) {
    case IUserInterface::Answer::Yes:
        return SaveDocument(false);
    case IUserInterface::Answer::No:
        return true;
    default:
        return false;
    }
}

bool CMainFrame::NewDocument() {
    if (!SaveModified())
        return false;
    m_doc.OnNewDocument();
    InitialUpdateViews();
    UpdateTitle();
    return true;
}

bool CMainFrame::OpenDocumentFile(const std::string& path) {
    const std::string full = ToPath(QFileInfo(FromPath(path)).absoluteFilePath());
    // The document that is open already stays as it is.
    if (!m_doc.GetPathName().empty() && full == m_doc.GetPathName())
        return true;
    if (!SaveModified())
        return false;
    bool opened = false;
    {
        WaitCursor wait(m_ui);
        opened = m_doc.OnOpenDocument(full);
    }
    if (opened)
        m_recentFiles.Add(full);
    else
        m_recentFiles.Remove(full);
    RebuildRecentFileMenu();
    InitialUpdateViews();
    UpdateTitle();
    return opened;
}

bool CMainFrame::SaveDocument(bool askForName) {
    std::string path = m_doc.GetPathName();
    if (askForName || path.empty()) {
        const std::string initial = path.empty() ? std::string("Untitled.scw") : path;
        path = ChooseFile(true, initial);
        if (path.empty())
            return false;
        QString chosen = FromPath(path);
        if (QFileInfo(chosen).suffix().isEmpty())
            chosen += QStringLiteral(".scw");
        path = ToPath(QFileInfo(chosen).absoluteFilePath());
    }
    bool saved = false;
    {
        WaitCursor wait(m_ui);
        saved = m_doc.OnSaveDocument(path);
    }
    if (!saved)
        return false;
    m_recentFiles.Add(path);
    RebuildRecentFileMenu();
    UpdateTitle();
    return true;
}

void CMainFrame::OnFileOpen() {
    const std::string path = ChooseFile(false, m_doc.GetPathName());
    if (!path.empty())
        OpenDocumentFile(path);
}

std::string CMainFrame::ChooseFile(bool save, const std::string& initial) {
    if (m_chooseFile)
        return m_chooseFile(save, initial);
    const QString filter = QStringLiteral("Scoutwire Files (*.scw);;All Files (*)");
    const QString chosen = save ? QFileDialog::getSaveFileName(this, QStringLiteral("Save As"),
                                                               FromPath(initial), filter)
                                : QFileDialog::getOpenFileName(this, QStringLiteral("Open"),
                                                               FromPath(initial), filter);
    return ToPath(chosen);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    const bool quitting = std::exchange(m_bQuitting, false);
    if (!quitting && (m_settings.m_dwFlags & OPT_KEEP_IN_TRAY) && CTrayIcon::Available() &&
        (HasWatches() || m_doc.BackgroundJoinServer())) {
        m_pTray->SetShown(true);
        // A dialog closing while the window is away must not end the
        // program; showing the window again puts this back.
        QGuiApplication::setQuitOnLastWindowClosed(false);
        m_bInTray = true;
        hide();
        event->ignore();
        m_pTray->ShowMessage(QStringLiteral("Scoutwire"),
                             QStringLiteral("Scoutwire keeps watching in the tray."));
        return;
    }
    // A bulk refresh runs its own loop below this one; it ends first (its
    // progress window has Cancel).
    if (m_doc.IsRefreshing() || !SaveModified()) {
        event->ignore();
        return;
    }
    event->accept();
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile() &&
            url.toLocalFile().endsWith(QStringLiteral(".scw"), Qt::CaseInsensitive)) {
            event->acceptProposedAction();
            return;
        }
    }
}

void CMainFrame::dropEvent(QDropEvent* event) {
    for (const QUrl& url : event->mimeData()->urls()) {
        const QString file = url.toLocalFile();
        if (url.isLocalFile() && file.endsWith(QStringLiteral(".scw"), Qt::CaseInsensitive)) {
            event->acceptProposedAction();
            // Opened once the drop has finished: the save question must not
            // run inside the drag and drop.
            const std::string path = ToPath(file);
            QMetaObject::invokeMethod(
                this, [this, path] { OpenDocumentFile(path); }, Qt::QueuedConnection);
            return;
        }
    }
}

// ---------------------------------------------------------------------------
// The clipboard, the status surfaces and the application's commands

void CMainFrame::CopyToClipboard(const std::string& text) {
    m_ui.CopyToClipboard(text);
}

void CMainFrame::SetMessageText(const QString& text) {
    if (text.isEmpty())
        statusBar()->clearMessage();
    else
        statusBar()->showMessage(text);
}

void CMainFrame::SetStatusLine(const QString& text) {
    if (m_pDialogBar)
        m_pDialogBar->SetText(text);
}

void CMainFrame::OnOptions() {
    if (COptionsDlg::Edit(m_settings, this))
        StartTimers();
}

void CMainFrame::OnAbout() {
    CAboutDlg dlg(m_ui, this);
    dlg.exec();
}

void CMainFrame::OnHomePage() {
    ShellOpen(m_ui, kHomePageUrl, "error opening homepage");
}

// ---------------------------------------------------------------------------
// Watches

void CMainFrame::CreateWatchSurfaces() {
    m_pNotifier = new CDesktopNotifier(this);
    m_pNotifier->SetFallback([this](const WatchAlert& alert) { FallbackAlert(alert); });
    connect(m_pNotifier, &CDesktopNotifier::ActionChosen, this, &CMainFrame::OnAlertAction);
    m_pAlertPopup = new CAlertPopup(this);
    connect(m_pAlertPopup, &CAlertPopup::ActionChosen, this, &CMainFrame::OnAlertAction);
    m_pTray = new CTrayIcon(this);
    connect(m_pTray, &CTrayIcon::ShowRequested, this, [this] {
        showNormal();
        raise();
        activateWindow();
        UpdateTray();
    });
    connect(m_pTray, &CTrayIcon::CancelJoinRequested, this,
            [this] { m_doc.CancelBackgroundJoin(); });
    connect(m_pTray, &CTrayIcon::QuitRequested, this, [this] {
        m_bQuitting = true;
        // A window in the tray is hidden: closing it does not end the loop.
        if (close())
            QCoreApplication::quit();
    });
    connect(m_pTray, &CTrayIcon::MessageClicked, this,
            [this] { OnAlertAction(QStringLiteral("show"), m_dwTrayAddress, m_wTrayPort); });
}

void CMainFrame::ShowWatchAlert(const WatchAlert& alert) {
    SetMessageText(DisplayText(alert.Text()));
    m_pNotifier->Notify(alert);
}

void CMainFrame::FallbackAlert(const WatchAlert& alert) {
    const QString summary = CDesktopNotifier::Summary(alert);
    const QString body = DisplayText(alert.Text());
    if (m_pTray->ShowMessage(summary, body)) {
        m_dwTrayAddress = alert.address;
        m_wTrayPort = alert.port;
        return;
    }
    m_pAlertPopup->ShowAlert(summary, body, alert.address, alert.port);
}

void CMainFrame::OnAlertAction(const QString& action, uint32_t address, uint16_t port) {
    ServerInfo* server = m_doc.FindServer(address, port);
    if (!server) {
        SetMessageText(QStringLiteral("%1 is no longer in the list")
                           .arg(QString::fromStdString(FormatAddress(address, port))));
        return;
    }
    // Join waits for a place in the background: the user asked from a
    // notification while busy elsewhere, and a modal wait would take the
    // screen back.
    if (action == QLatin1String("join"))
        m_doc.StartBackgroundJoin(*server);
    else if (action == QLatin1String("show"))
        ShowServer(address, port);
}

void CMainFrame::ShowServer(uint32_t address, uint16_t port) {
    if (isHidden() || isMinimized())
        showNormal();
    raise();
    activateWindow();
    UpdateTray();
    if (ServerInfo* server = m_doc.FindServer(address, port)) {
        const CUpdateHint select(server);
        m_doc.UpdateAllViews(nullptr, HINT_SELECT_SERVER, &select);
    }
}

void CMainFrame::OnWatchesChanged(int matchingWatches) {
    m_nMatchingWatches = matchingWatches;
    UpdateTray();
}

void CMainFrame::OnBackgroundJoinChanged(const ServerInfo* server, const std::string& status) {
    QString text;
    if (server && !status.empty()) {
        text = DisplayText(status);
    } else if (server) {
        const QString name =
            server->m_strName.empty()
                ? QString::fromStdString(FormatAddress(server->m_dwAddress, server->m_wPort))
                : DisplayText(server->m_strName);
        text = QStringLiteral("Joining %1").arg(name);
    } else if (!status.empty()) {
        SetMessageText(DisplayText(status));
    }
    m_pJoinLabel->setText(text);
    m_pJoinLabel->setVisible(server != nullptr);
    m_pJoinCancel->setVisible(server != nullptr);
    m_pTray->SetBackgroundJoin(text);
    UpdateTray();
}

bool CMainFrame::HasWatches() const {
    return m_doc.HasWatches();
}

void CMainFrame::UpdateTray() {
    if (!m_pTray)
        return;
    const bool watches = HasWatches();
    // Watching needs refreshes: the first watch (set here or opened with a
    // document) turns Auto Refresh on; the user may turn it off again.
    if (watches && !m_bHadWatches && !m_bAutoRefresh)
        OnAutoRefresh();
    m_bHadWatches = watches;
    m_pTray->SetMatchingCount(m_nMatchingWatches);
    m_pTray->SetShown(isHidden() || m_doc.BackgroundJoinServer() || watches);
}
