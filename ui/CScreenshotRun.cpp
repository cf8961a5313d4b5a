#include "ui/CScreenshotRun.h"

#include <QCoreApplication>
#include <QPixmap>
#include <cstdio>

#include "core/CScoutwireDoc.h"
#include "core/CSettings.h"
#include "core/DisplayText.h"
#include "core/WatchAlert.h"
#include "search/SearchQuery.h"
#include "ui/CAlertPopup.h"
#include "ui/CDesktopNotifier.h"
#include "ui/CMainFrame.h"
#include "ui/CServerTreeItem.h"
#include "ui/CServerView.h"
#include "ui/CommandIds.h"

namespace {

constexpr int kPollMs = 200;
// Time for the panes to take in the last notifications before the picture.
constexpr int kSettleMs = 500;

} // namespace

CScreenshotRun::CScreenshotRun(CMainFrame& frame, CScoutwireDoc& doc, CSettings& settings,
                               QString path, bool alert, int timeoutMs)
    : m_frame(frame), m_doc(doc), m_settings(settings), m_nSource(settings.m_nListSource),
      m_dwFlags(settings.m_dwFlags), m_strPath(std::move(path)), m_bAlert(alert) {
    m_doc.AddView(this);
    connect(&m_poll, &QTimer::timeout, this, &CScreenshotRun::Check);
    m_deadline.setSingleShot(true);
    m_deadline.setInterval(timeoutMs);
    connect(&m_deadline, &QTimer::timeout, this,
            [this] { Finish(1, "the server list did not arrive in time"); });
}

CScreenshotRun::~CScreenshotRun() {
    m_doc.RemoveView(this);
    m_settings.m_nListSource = m_nSource;
    m_settings.m_dwFlags = m_dwFlags;
}

void CScreenshotRun::Start() {
    m_deadline.start();
    // Without a Steam list there is only the one pass.
    m_bSteamPassDone = m_nSource == LIST_SOURCE_WON;
    QTimer::singleShot(0, this, [this] { Update(LIST_SOURCE_WON); });
}

void CScreenshotRun::Update(int32_t source) {
    m_bReloaded = false;
    m_settings.m_nListSource = source;
    m_frame.RouteCommand(ID_UPDATE_SERVER_LIST);
    m_poll.start(kPollMs);
}

void CScreenshotRun::OnUpdate(IDocView*, int hint, const CUpdateHint* pHint) {
    if (hint == HINT_SERVERS_RELOADED)
        m_bReloaded = true;
    else if (hint == HINT_MASTER_PROGRESS && !pHint)
        QTimer::singleShot(0, this, [this] { Finish(1, "the master server did not answer"); });
}

void CScreenshotRun::Check() {
    // Runs inside the refresh's own loop as well: wait until it has ended.
    if (!m_bReloaded || m_doc.IsUpdatingServerList() || m_doc.IsRefreshing() ||
        m_doc.GetServerSocketCount() > 0)
        return;
    m_poll.stop();
    if (!m_bSteamPassDone) {
        // The Steam list joins the WON list instead of replacing it.
        m_bSteamPassDone = true;
        m_settings.m_dwFlags &= ~OPT_CLEAR_BEFORE_UPDATE;
        Update(m_nSource);
        return;
    }
    m_settings.m_nListSource = m_nSource;
    m_settings.m_dwFlags = m_dwFlags;
    ShowResults();
    QTimer::singleShot(kSettleMs, this, &CScreenshotRun::TakePicture);
}

void CScreenshotRun::ShowResults() {
    SearchQuery* query = m_doc.AddQuery(std::make_unique<SearchQuery>("Players with an e", "e", 0));
    if (m_bAlert)
        query->m_bWatch = true;
    m_doc.RunAllQueries();
    CServerView* tree = m_frame.GetServerView();
    const uint32_t shown = m_nSource == LIST_SOURCE_WON ? GROUP_WON : GROUP_STEAM;
    if (CServerTreeItem* group = tree->GroupItem(shown)) {
        group->setExpanded(true);
        tree->setCurrentItem(group);
        m_frame.ActivateView(tree);
    }
    if (m_bAlert && query)
        ShowAlert(*query);
}

// The popup the window shows when the desktop has no notification service:
// what a notification carries, in a picture that needs no desktop.
void CScreenshotRun::ShowAlert(SearchQuery& query) {
    if (query.m_players.empty() || !query.m_players.front()->m_pServer)
        return;
    const FoundPlayer& found = *query.m_players.front();
    const ServerInfo& server = *found.m_pServer;
    WatchAlert alert;
    alert.kind = WatchAlert::Kind::Appeared;
    alert.player = found.m_pPlayer->m_strName;
    alert.queryName = query.m_strName;
    alert.address = server.m_dwAddress;
    alert.port = server.m_wPort;
    alert.serverName = server.m_strName;
    alert.map = server.m_strMap;
    alert.players = server.m_nPlayers;
    alert.maxPlayers = server.m_nMaxPlayers;
    m_frame.SetMessageText(DisplayText(alert.Text()));
    m_frame.AlertPopup().ShowAlert(CDesktopNotifier::Summary(alert), DisplayText(alert.Text()),
                                   alert.address, alert.port);
}

void CScreenshotRun::TakePicture() {
    const QPixmap picture = m_frame.grab();
    if (picture.isNull() || !picture.save(m_strPath, "PNG"))
        Finish(1, "the picture could not be written");
    else
        Finish(0, nullptr);
}

void CScreenshotRun::Finish(int code, const char* problem) {
    if (m_bDone)
        return;
    m_bDone = true;
    m_poll.stop();
    m_deadline.stop();
    if (problem)
        std::fprintf(stderr, "scoutwire --screenshot: %s\n", problem);
    QCoreApplication::exit(code);
}
