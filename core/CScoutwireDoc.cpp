#include "core/CScoutwireDoc.h"

#include <QFile>
#include <algorithm>
#include <map>
#include <set>
#include <string_view>

#include "core/CSettings.h"
#include "core/CWatchMonitor.h"
#include "core/DisplayText.h"
#include "core/IUserInterface.h"
#include "core/ScwFile.h"
#include "core/TextCompare.h"
#include "launch/CBackgroundJoin.h"
#include "launch/JoinServer.h"
#include "net/Address.h"
#include "net/CMasterSocket.h"
#include "net/CQueryEngine.h"
#include "net/CServerSocket.h"
#include "net/CSteamMasterExchange.h"
#include "net/CSteamWebExchange.h"
#include "net/CWonMasterExchange.h"
#include "net/Clock.h"
#include "net/EventWait.h"
#include "net/QueryCommands.h"
#include "net/QuerySequence.h"
#include "net/ReplyDecoder.h"
#include "net/SocketErrors.h"
#include "net/SteamMasterProtocol.h"
#include "net/SteamWebList.h"
#include "search/ExpressionMatcher.h"

namespace {

constexpr const char* kSettingsSection = "Settings";

void ShowError(IUserInterface& ui, const std::string& text,
               IUserInterface::Icon icon = IUserInterface::Icon::Error) {
    ui.MessageBox(text, IUserInterface::Buttons::Ok, icon);
}

std::string BadExpressionText(const std::string& error) { return "Bad expression:\n\n" + error; }

struct NoCaseLess {
    bool operator()(const std::string& a, const std::string& b) const {
        return CompareNoCase(a, b) < 0;
    }
};

} // namespace

// ---------------------------------------------------------------------------
// Life of the document

CScoutwireDoc::CScoutwireDoc(CSettings& settings, IUserInterface& ui, int maxUdpSize)
    : m_settings(settings), m_ui(ui),
      m_recvBuffer(static_cast<size_t>(maxUdpSize > 0 ? maxUdpSize : kMaxUdpDatagram)),
      m_pWatch(std::make_unique<CWatchMonitor>(ui)) {
    m_defaultQuery.m_dwFlags =
        static_cast<uint32_t>(m_settings.ReadInt(kSettingsSection, "DefQuery_Flags", 1));
}

CScoutwireDoc::~CScoutwireDoc() {
    m_settings.WriteInt(kSettingsSection, "DefQuery_Flags",
                        static_cast<int>(m_defaultQuery.m_dwFlags));
    m_views.clear();
    m_pBackgroundJoin.reset();
    m_sockets.clear();
    m_pQueryEngine.reset();
    m_pMasterExchange.reset();
    m_retiredExchanges.clear();
    m_retiredSockets.clear();
    m_pNewServers.reset();
    m_queries.clear();
    m_serverList.RemoveAll();
}

void CScoutwireDoc::AddView(IDocView* view) {
    if (std::find(m_views.begin(), m_views.end(), view) == m_views.end())
        m_views.push_back(view);
}

void CScoutwireDoc::RemoveView(IDocView* view) { std::erase(m_views, view); }

void CScoutwireDoc::UpdateAllViews(IDocView* sender, int hint, const CUpdateHint* pHint) {
    // A view may unregister while it handles the notification.
    const std::vector<IDocView*> views = m_views;
    for (IDocView* view : views)
        if (view != sender && std::find(m_views.begin(), m_views.end(), view) != m_views.end())
            view->OnUpdate(sender, hint, pHint);
}

void CScoutwireDoc::DeleteContents() {
    UpdateAllViews(nullptr, HINT_DOC_CLEARED);
    CancelBackgroundJoin();
    m_pWatch->Reset();
    m_queries.clear();
    DestroyServerSockets();
    std::vector<const ServerInfo*> removed;
    removed.reserve(static_cast<size_t>(m_serverList.GetSize()));
    for (const auto& server : m_serverList)
        removed.push_back(server.get());
    ForgetServers(removed);
    m_serverList.RemoveAll();
    m_findQuery.m_strName.clear();
    m_findQuery.m_strExpression.clear();
    m_findQuery.m_dwFlags = QF_REGEX;
}

bool CScoutwireDoc::OnNewDocument() {
    DeleteContents();
    m_bHasHeader = 1;
    m_strPathName.clear();
    SetModifiedFlag(false);
    return true;
}

bool CScoutwireDoc::OnOpenDocument(const std::string& path) {
    QFile file(QString::fromLocal8Bit(path.c_str()));
    if (!file.open(QIODevice::ReadOnly)) {
        const std::string text =
            file.exists() ? "Failed to open document."
                          : path + "\nCannot find this file.\nPlease verify that the correct "
                                   "path and file name are given.";
        ShowError(m_ui, text, IUserInterface::Icon::Warning);
        return false;
    }
    const QByteArray bytes = file.readAll();
    file.close();
    const std::span<const uint8_t> data(reinterpret_cast<const uint8_t*>(bytes.constData()),
                                        static_cast<size_t>(bytes.size()));
    m_bHasHeader = ScwHasHeader(data) ? 1 : 0;
    DeleteContents();
    ScwContents contents;
    if (!ReadScwFile(data, m_bHasHeader != 0, contents)) {
        DeleteContents();
        m_strPathName.clear();
        SetModifiedFlag(false);
        ShowError(m_ui, "Unexpected file format.", IUserInterface::Icon::Warning);
        return false;
    }
    InstallContents(contents);
    ApplyFilter(false);
    m_strPathName = path;
    SetModifiedFlag(false);
    return true;
}

void CScoutwireDoc::InstallContents(ScwContents& contents) {
    // Files the program wrote are in address order already; a file from
    // elsewhere is put in order and rid of duplicates, since every look-up
    // relies on both.
    m_serverList.Reserve(static_cast<int>(contents.servers.size()));
    for (auto& server : contents.servers) {
        const int n = m_serverList.GetSize();
        if (n == 0 || ServerColumns::CompareColumn(*m_serverList.GetAt(n - 1), *server, 1) < 0)
            m_serverList.Append(std::move(server));
        else
            m_serverList.InsertUnique(std::move(server));
    }
    for (auto& query : contents.queries)
        m_queries.push_back(std::move(query));
    if (contents.hasFilter)
        m_filter = contents.filter;
    if (contents.hasMasterFilter)
        m_masterFilter = contents.masterFilter;
    if (contents.hasFindQuery)
        m_findQuery = contents.findQuery;
}

bool CScoutwireDoc::OnSaveDocument(const std::string& path) {
    const std::vector<uint8_t> bytes =
        WriteScwFile(m_serverList, m_queries, m_filter, m_masterFilter, m_findQuery);
    if (!SaveFileAtomically(path, bytes)) {
        ShowError(m_ui, "Failed to save document.", IUserInterface::Icon::Warning);
        return false;
    }
    m_strPathName = path;
    SetModifiedFlag(false);
    return true;
}

// ---------------------------------------------------------------------------
// Records

ServerInfo* CScoutwireDoc::FindServer(uint32_t address, uint16_t port) const {
    const ServerInfo probe(address, port);
    const int i = m_serverList.Find(probe);
    return i >= 0 ? m_serverList.GetAt(i) : nullptr;
}

ServerInfo* CScoutwireDoc::AddFavourite(uint32_t address, uint16_t port, bool notify) {
    ServerInfo* server = FindServer(address, port);
    if (!server) {
        auto created = std::make_unique<ServerInfo>(address, port);
        server = created.get();
        m_serverList.InsertUnique(std::move(created));
    }
    if (server->m_dwFlags & GROUP_FAVOURITES)
        return nullptr;
    server->m_dwFlags |= GROUP_FAVOURITES;
    // A record removed from its last group still answers queries; made a
    // favourite from their results, it must show again.
    server->m_bDeleted = 0;
    SetModifiedFlag();
    if (notify) {
        const CUpdateHint hint(server);
        UpdateAllViews(nullptr, HINT_FAVOURITES_CHANGED, &hint);
    }
    return server;
}

bool CScoutwireDoc::RemoveFavourite(ServerInfo* server, bool notify) {
    if (!server || !(server->m_dwFlags & GROUP_FAVOURITES))
        return false;
    server->m_dwFlags &= ~GROUP_FAVOURITES;
    SetModifiedFlag();
    if (notify) {
        const CUpdateHint hint(server);
        UpdateAllViews(nullptr, HINT_FAVOURITES_CHANGED, &hint);
    }
    return true;
}

void CScoutwireDoc::GetGames(std::vector<std::string>& games) const {
    std::set<std::string, NoCaseLess> distinct;
    for (const auto& server : m_serverList)
        distinct.insert(server->m_strGame);
    games.insert(games.end(), distinct.begin(), distinct.end());
}

void CScoutwireDoc::GetMaps(std::vector<std::string>& maps) const {
    std::set<std::string, NoCaseLess> distinct;
    for (const auto& server : m_serverList)
        distinct.insert(server->m_strMap);
    maps.insert(maps.end(), distinct.begin(), distinct.end());
}

void CScoutwireDoc::ForgetServers(const std::vector<const ServerInfo*>& removed) {
    if (removed.empty())
        return;
    const std::set<const ServerInfo*> gone(removed.begin(), removed.end());
    if (m_pNewServers)
        m_pNewServers->RemoveIf([&](const ServerInfo& s) { return gone.count(&s) != 0; });
    for (std::vector<ServerInfo*>* list : m_activeRefreshLists)
        for (ServerInfo*& server : *list)
            if (server && gone.count(server))
                server = nullptr;
}

// ---------------------------------------------------------------------------
// Edit menu

void CScoutwireDoc::UpdateServerList() {
    if ((m_settings.m_dwFlags & OPT_SHOW_UPDATE_DIALOG) || m_ui.IsShiftDown())
        if (!EditMasterFilter())
            return;
    if (m_settings.m_dwFlags & OPT_CLEAR_BEFORE_UPDATE)
        ClearServerList();
    const MasterListQuery query = MasterQueryFromSettings();
    const bool web = m_settings.m_nListSource == LIST_SOURCE_STEAM_WEB;
    m_ui.SetStatusMessage("Connecting to " +
                          (web ? query.apiUrl : query.host + ":" + std::to_string(query.port)) +
                          "...");
    ConnectToMaster();
}

void CScoutwireDoc::ClearServerList() {
    DestroyServerSockets();
    ClearQueryResults();
    std::vector<const ServerInfo*> removed;
    for (const auto& server : m_serverList) {
        const uint32_t flags = server->m_dwFlags;
        if ((flags & (GROUP_WON | GROUP_STEAM)) && !(flags & (GROUP_FAVOURITES | GROUP_MANUAL)))
            removed.push_back(server.get());
    }
    ForgetServers(removed);
    const std::set<const ServerInfo*> gone(removed.begin(), removed.end());
    m_serverList.RemoveIf([&](const ServerInfo& s) { return gone.count(&s) != 0; });
    SetModifiedFlag();
    // The views drop their pointers to the removed records before anything
    // can open a message box (a query with a bad expression would).
    UpdateAllViews(nullptr, HINT_SERVERS_RELOADED);
    RunAllQueries();
}

void CScoutwireDoc::ClearQueryResults() {
    for (auto& query : m_queries)
        query->ClearResults();
}

void CScoutwireDoc::AddServer() {
    const std::string clip = m_ui.GetClipboardText();
    if (!clip.empty()) {
        int n[5] = {0, 0, 0, 0, 0};
        const int read = ScanEndpoint(clip, n);
        if (read >= 4)
            m_dwAddServerAddress = (static_cast<uint32_t>(n[0]) << 24) |
                                   (static_cast<uint32_t>(n[1]) << 16) |
                                   (static_cast<uint32_t>(n[2]) << 8) | static_cast<uint32_t>(n[3]);
        if (read == 5)
            m_nAddServerPort = n[4];
        if (m_nAddServerPort == 0)
            m_nAddServerPort = 27015;
    }
    uint32_t address = m_dwAddServerAddress;
    int port = m_nAddServerPort;
    std::string hostName;
    if (!m_ui.EditAddServer(address, port, hostName))
        return;
    m_dwAddServerAddress = address;
    m_nAddServerPort = port;
    uint8_t byHostName = 0;
    if (!hostName.empty()) {
        address = ResolveHostName(m_ui, hostName);
        m_dwAddServerAddress = address;
        if (address == 0)
            return;
        byHostName = 1;
    }
    if (address == 0)
        return;
    const uint16_t wPort = static_cast<uint16_t>(port);
    ServerInfo* server = FindServer(address, wPort);
    if (!server) {
        auto created = std::make_unique<ServerInfo>(address, wPort);
        created->m_strHostName = hostName;
        created->m_bConnectByHostName = byHostName;
        server = created.get();
        m_serverList.InsertUnique(std::move(created));
    }
    server->m_dwFlags |= GROUP_MANUAL;
    server->m_bDeleted = 0;
    SetModifiedFlag();
    const CUpdateHint groups(GROUP_MANUAL);
    UpdateAllViews(nullptr, HINT_GROUPS_CHANGED, &groups);
    const CUpdateHint select(server);
    UpdateAllViews(nullptr, HINT_SELECT_SERVER, &select);
}

void CScoutwireDoc::FindServers() {
    if (!m_ui.EditQuery(m_findQuery))
        return;
    SetModifiedFlag();
    ExpressionMatcher matcher;
    std::string error;
    if (!matcher.Compile(m_findQuery.m_strExpression, m_findQuery.m_dwFlags, error)) {
        ShowError(m_ui, BadExpressionText(error), IUserInterface::Icon::Warning);
        return;
    }
    for (const auto& server : m_serverList) {
        const bool found = (!server->m_strName.empty() && matcher.Search(server->m_strName)) ||
                           (!server->m_strHostName.empty() && matcher.Search(server->m_strHostName));
        if (found)
            server->m_dwFlags |= GROUP_FOUND;
        else
            server->m_dwFlags &= ~GROUP_FOUND;
    }
    const CUpdateHint groups(GROUP_FOUND);
    UpdateAllViews(nullptr, HINT_GROUPS_CHANGED, &groups);
    UpdateAllViews(nullptr, HINT_FOUND_READY);
}

void CScoutwireDoc::EditServerProperties(ServerInfo* server) {
    if (!server || !m_ui.EditServerProperties(*server))
        return;
    SetModifiedFlag();
    const CUpdateHint hint(server);
    UpdateAllViews(nullptr, HINT_SERVER_DETAILS, &hint);
}

// ---------------------------------------------------------------------------
// Player queries

bool CScoutwireDoc::RunQuery(SearchQuery& query, bool notify) {
    query.ClearResults();
    ExpressionMatcher matcher;
    std::string error;
    if (!matcher.Compile(query.m_strExpression, query.m_dwFlags, error)) {
        // The views still list the results just deleted: they refill before
        // the message box lets them repaint.
        const CUpdateHint hint(&query);
        UpdateAllViews(nullptr, HINT_QUERY_UPDATED, &hint);
        ShowError(m_ui, BadExpressionText(error), IUserInterface::Icon::Warning);
        return false;
    }
    query.Run(matcher, m_serverList);
    if (notify) {
        const CUpdateHint hint(&query);
        UpdateAllViews(nullptr, HINT_QUERY_UPDATED, &hint);
    }
    return true;
}

void CScoutwireDoc::RunAllQueries() {
    for (auto& query : m_queries)
        RunQuery(*query, false);
    UpdateAllViews(nullptr, HINT_QUERY_UPDATED);
}

void CScoutwireDoc::EditQuery(SearchQuery* query) {
    std::unique_ptr<SearchQuery> created;
    if (!query) {
        created = std::make_unique<SearchQuery>("", "", m_defaultQuery.m_dwFlags);
        query = created.get();
    }
    const Query remembered = *query;
    for (;;) {
        if (!m_ui.EditQuery(*query)) {
            if (!created) {
                static_cast<Query&>(*query) = remembered;
                RunQuery(*query, true);
            }
            return;
        }
        if (created)
            m_defaultQuery.m_dwFlags = query->m_dwFlags;
        if (RunQuery(*query, true))
            break;
    }
    if (created) {
        AddQuery(std::move(created));
        if (query->m_bWatch)
            WatchesEdited();
        return;
    }
    SetModifiedFlag();
    const CUpdateHint hint(query);
    UpdateAllViews(nullptr, HINT_QUERY_UPDATED, &hint);
    if (query->m_bWatch != remembered.m_bWatch ||
        query->m_bWatchLeaving != remembered.m_bWatchLeaving)
        WatchesEdited();
}

SearchQuery* CScoutwireDoc::AddQuery(std::unique_ptr<SearchQuery> query) {
    SearchQuery* added = query.get();
    m_queries.push_back(std::move(query));
    SetModifiedFlag();
    const CUpdateHint hint(added);
    UpdateAllViews(nullptr, HINT_QUERY_ADDED, &hint);
    return added;
}

void CScoutwireDoc::RemoveQuery(SearchQuery* query) {
    const auto it = std::find_if(m_queries.begin(), m_queries.end(),
                                 [query](const auto& q) { return q.get() == query; });
    if (it == m_queries.end())
        return;
    m_pWatch->ForgetQuery(query);
    m_queries.erase(it);
    SetModifiedFlag();
    UpdateAllViews(nullptr, HINT_QUERY_UPDATED);
}

void CScoutwireDoc::AddPlayerQuery(const std::string& playerName) {
    if (playerName.empty())
        return;
    auto query = std::make_unique<SearchQuery>(playerName, playerName, 0);
    if (RunQuery(*query, true))
        AddQuery(std::move(query));
}

void CScoutwireDoc::JoinServer(ServerInfo* server) {
    if (server)
        ::JoinServer(*this, *server);
}

void CScoutwireDoc::StartBackgroundJoin(ServerInfo& server) {
    // The last join is starting its game, and may be showing why it could
    // not: it is still on the stack, so it cannot be replaced yet.
    if (m_pBackgroundJoin && m_pBackgroundJoin->IsStarting())
        return;
    CancelBackgroundJoin();
    m_pBackgroundJoin = CBackgroundJoin::Start(*this, server);
}

void CScoutwireDoc::CancelBackgroundJoin() {
    if (m_pBackgroundJoin)
        m_pBackgroundJoin->Cancel();
}

const ServerInfo* CScoutwireDoc::BackgroundJoinServer() const {
    return m_pBackgroundJoin ? m_pBackgroundJoin->Server() : nullptr;
}

// ---------------------------------------------------------------------------
// Watches

int CScoutwireDoc::MatchingWatchCount() const {
    return m_pWatch->MatchingCount();
}

void CScoutwireDoc::WatchesEdited() {
    SetModifiedFlag();
    m_pWatch->EvaluateAll(m_serverList, m_queries);
}

bool CScoutwireDoc::HasWatches() const {
    return CWatchMonitor::HasWatches(m_serverList, m_queries);
}

std::vector<ServerInfo*> CScoutwireDoc::WatchRefreshServers() {
    if (!HasWatches()) {
        std::vector<ServerInfo*> all;
        for (const auto& server : m_serverList)
            all.push_back(server.get());
        return all;
    }
    return m_pWatch->ServersToRefresh(m_serverList, m_queries);
}

void CScoutwireDoc::NoteRefreshEnded(CServerSocket& socket, bool timedOut) {
    uint32_t address = 0;
    uint16_t port = 0;
    socket.GetAddress(address, port);
    OnQueryEnded(address, port, timedOut);
}

void CScoutwireDoc::OnQueryEnded(uint32_t address, uint16_t port, bool timedOut) {
    if (const ServerInfo* server = FindServer(address, port))
        m_pWatch->NoteRefreshed(*server, !timedOut && server->m_nPing != 0);
}

void CScoutwireDoc::EvaluateWatches() {
    if (!m_pWatch->HasPending())
        return;
    // A player who moves is seen leaving one server and joining another in
    // the same comparison only when both answers are in: the comparison waits
    // for the end of a bulk refresh (whose pool may empty between two sends),
    // else for the pool to empty, or for a while when it never does.
    if (m_bRefreshing)
        return;
    const uint64_t patience =
        2 * static_cast<uint64_t>(std::max(m_settings.m_nSocketTimeout, 1000));
    const bool pending =
        !m_sockets.empty() || (m_pQueryEngine && m_pQueryEngine->PendingCount() > 0);
    if (pending && ElapsedMs(m_pWatch->PendingSinceMs()) < patience)
        return;
    m_pWatch->Evaluate(m_serverList, m_queries);
}

// ---------------------------------------------------------------------------
// Filters

void CScoutwireDoc::ApplyFilter(bool notify) {
    for (const auto& server : m_serverList) {
        if (m_filter.Matches(*server))
            server->m_dwFlags |= GROUP_FILTERED;
        else
            server->m_dwFlags &= ~GROUP_FILTERED;
    }
    if (notify) {
        const CUpdateHint hint(GROUP_FILTERED);
        UpdateAllViews(nullptr, HINT_GROUPS_CHANGED, &hint);
    }
}

void CScoutwireDoc::EditFilter() {
    std::vector<std::string> games, maps;
    GetGames(games);
    GetMaps(maps);
    if (!m_ui.EditServerFilter(m_filter, games, maps))
        return;
    SetModifiedFlag();
    ApplyFilter(true);
    UpdateAllViews(nullptr, HINT_FILTER_CHANGED);
}

bool CScoutwireDoc::EditMasterFilter() {
    std::vector<std::string> games, maps;
    GetGames(games);
    GetMaps(maps);
    if (!m_ui.EditMasterFilter(m_masterFilter, games, maps))
        return false;
    SetModifiedFlag();
    UpdateAllViews(nullptr, HINT_MASTER_FILTER_CHANGED);
    return true;
}

// ---------------------------------------------------------------------------
// Replies

INetReporter& CScoutwireDoc::GetReporter() { return m_ui; }

static_assert(QUERY_UNKNOWN == PROTOCOL_UNKNOWN && QUERY_LEGACY == PROTOCOL_LEGACY &&
              QUERY_A2S == PROTOCOL_A2S);

bool CScoutwireDoc::OnReceiveServerSocket(CServerSocket& socket, std::span<const uint8_t> reply) {
    uint32_t address = 0;
    uint16_t port = 0;
    socket.GetAddress(address, port);
    if (address == 0) {
        ReportLastError(m_ui, "OnReceiveServerSocket: cannot retrieve peer address");
        return true;
    }
    OnQueryReply(address, port, socket.Sequence(), reply);
    return true;
}

void CScoutwireDoc::OnQueryReply(uint32_t address, uint16_t port, QuerySequence& query,
                                 std::span<const uint8_t> reply) {
    const std::span<const uint8_t> datagram = reply;
    if (!HasReplyPrefix(datagram))
        return;
    if (ServerInfo* server = FindServer(address, port)) {
        server->m_nPing = query.RoundTrip();
        // A server added by hand keeps the protocol it answered in; records
        // from a list keep theirs from the list (and their file bytes).
        if (query.Protocol() != QUERY_UNKNOWN && QueryProtocolOf(*server) == PROTOCOL_UNKNOWN) {
            server->m_nProtocol = query.Protocol();
            SetModifiedFlag();
        }
    }
    const uint8_t type = ReplyType(datagram);
    // Only the master socket may add servers to the list: a game server that
    // answers with a list batch is not listened to.
    if (type == 'f')
        return;
    DispatchReply(type, ReplyPayload(datagram), address, port, &query.m_bUnsupportedShown);
}

void CScoutwireDoc::OnReceiveSocket(CUdpSocket& socket, int count) {
    std::string peer;
    uint16_t port = 0;
    if (!socket.GetPeerName(peer, port)) {
        ReportLastError(m_ui, "OnReceiveSocket: cannot retrieve peer address");
        return;
    }
    const uint32_t address = ParseIP(peer);
    const std::span<const uint8_t> datagram(m_recvBuffer.data(), static_cast<size_t>(count));
    if (address != 0 && HasReplyPrefix(datagram))
        DispatchReply(ReplyType(datagram), ReplyPayload(datagram), address, port, nullptr);
}

namespace {

void ApplyDetails(ServerInfo& server, const DetailsReply& d) {
    // Fields in reply order: address text, name, map, game, description,
    // players, maximum, protocol, type, OS, password.
    if (d.fieldsRead >= 2)
        server.m_strName = d.name;
    if (d.fieldsRead >= 3)
        server.m_strMap = d.map;
    if (d.fieldsRead >= 4)
        server.m_strGame = d.game;
    if (d.fieldsRead >= 6)
        server.m_nPlayers = d.players;
    if (d.fieldsRead >= 7)
        server.m_nMaxPlayers = d.maxPlayers;
    if (!d.extended)
        return;
    if (d.fieldsRead >= 9)
        server.m_cServerType = d.serverType;
    if (d.fieldsRead >= 10)
        server.m_cOS = d.os;
    if (d.fieldsRead >= 11)
        server.m_bPassword = d.password != 0 ? 1 : 0;
}

void ApplyInfo(ServerInfo& server, const InfoReply& info) {
    // Fields in reply order: protocol, name, map, folder, game, app id,
    // players, maximum, bots, type, environment, visibility, ...
    if (info.fieldsRead >= 2)
        server.m_strName = info.name;
    if (info.fieldsRead >= 3)
        server.m_strMap = info.map;
    if (info.fieldsRead >= 4)
        server.m_strGame = info.folder;
    if (info.fieldsRead >= 7)
        server.m_nPlayers = info.players;
    if (info.fieldsRead >= 8)
        server.m_nMaxPlayers = info.maxPlayers;
    if (info.fieldsRead >= 10)
        server.m_cServerType = info.serverType;
    if (info.fieldsRead >= 11)
        server.m_cOS = info.environment;
    if (info.fieldsRead >= 12)
        server.m_bPassword = info.visibility != 0 ? 1 : 0;
}

// A player as the reply gives it; no frags gained until a previous list
// says otherwise.
std::unique_ptr<PlayerInfo> NewPlayer(const PlayerEntry& entry) {
    auto player = std::make_unique<PlayerInfo>();
    player->m_nIndex = entry.index;
    player->m_strName = entry.name;
    player->m_nFrags = entry.frags;
    player->m_nMinutes = entry.minutes;
    player->m_nSeconds = entry.seconds;
    player->m_nPrevFrags = entry.frags;
    return player;
}

// The old protocol's slot index names a player: the previous frags are those
// of the same slot.
std::unique_ptr<PlayerList> BuildPlayerList(const PlayersReply& reply, const PlayerList* previous) {
    auto players = std::make_unique<PlayerList>(1);
    players->Reserve(static_cast<int>(reply.players.size()));
    for (const PlayerEntry& entry : reply.players) {
        auto player = NewPlayer(entry);
        if (previous) {
            const int i = previous->Find(*player);
            if (i >= 0)
                player->m_nPrevFrags = previous->GetAt(i)->m_nFrags;
        }
        players->Insert(std::move(player));
    }
    return players;
}

// A2S servers send 0 for every index, or a running count: a player is known
// by name (equal names paired in order), and players with the same index are
// all kept, in the order the server sent them.
std::unique_ptr<PlayerList> BuildPlayerListByName(const PlayersReply& reply,
                                                  const PlayerList* previous) {
    std::multimap<std::string, int32_t> before;
    if (previous)
        for (const auto& player : *previous)
            before.emplace(player->m_strName, player->m_nFrags);
    std::vector<std::unique_ptr<PlayerInfo>> players;
    players.reserve(reply.players.size());
    for (const PlayerEntry& entry : reply.players) {
        auto player = NewPlayer(entry);
        const auto same = before.find(entry.name);
        if (same != before.end()) {
            player->m_nPrevFrags = same->second;
            before.erase(same);
        }
        players.push_back(std::move(player));
    }
    // The list stays sorted by index; equal indices keep the reply's order.
    std::stable_sort(players.begin(), players.end(),
                     [](const auto& a, const auto& b) { return a->m_nIndex < b->m_nIndex; });
    auto list = std::make_unique<PlayerList>(1);
    list->Reserve(static_cast<int>(players.size()));
    for (auto& player : players)
        list->Append(std::move(player));
    return list;
}

} // namespace

void CScoutwireDoc::ParseReply(uint8_t type, std::span<const uint8_t> payload, uint32_t address,
                               uint16_t port) {
    DispatchReply(type, payload, address, port, nullptr);
}

void CScoutwireDoc::DispatchReply(uint8_t type, std::span<const uint8_t> payload, uint32_t address,
                                  uint16_t port, bool* unsupportedShown) {
    const DecodedReply reply = DecodePayload(type, payload);
    if (const auto* details = std::get_if<DetailsReply>(&reply)) {
        ServerInfo* server = FindServer(address, port);
        if (!server)
            return;
        ApplyDetails(*server, *details);
        // Only the long form carries all that the filter tests.
        DetailsApplied(*server, details->extended);
    } else if (const auto* info = std::get_if<InfoReply>(&reply)) {
        ServerInfo* server = FindServer(address, port);
        if (!server)
            return;
        ApplyInfo(*server, *info);
        DetailsApplied(*server, true);
    } else if (const auto* players = std::get_if<PlayersReply>(&reply)) {
        ServerInfo* server = FindServer(address, port);
        if (!server)
            return;
        server->SetPlayers(QueryProtocolOf(*server) == PROTOCOL_A2S
                               ? BuildPlayerListByName(*players, server->m_pPlayers.get())
                               : BuildPlayerList(*players, server->m_pPlayers.get()));
        const CUpdateHint hint(server);
        UpdateAllViews(nullptr, HINT_SERVER_PLAYERS, &hint);
    } else if (const auto* rules = std::get_if<RulesReply>(&reply)) {
        ServerInfo* server = FindServer(address, port);
        if (!server)
            return;
        server->ResetRules();
        server->m_pRules->Reserve(static_cast<int>(rules->rules.size()));
        for (const auto& [key, value] : rules->rules)
            server->m_pRules->Insert(std::make_unique<RuleInfo>(RuleInfo{key, value}));
        const CUpdateHint hint(server);
        UpdateAllViews(nullptr, HINT_SERVER_RULES, &hint);
    } else if (const auto* message = std::get_if<MessageReply>(&reply)) {
        ServerInfo* server = FindServer(address, port);
        if (!server)
            return;
        server->m_strError = message->text;
        SetModifiedFlag();
        const CUpdateHint hint(server);
        UpdateAllViews(nullptr, HINT_SERVER_DETAILS, &hint);
        if (server->m_pPlayers) {
            server->m_pPlayers->RemoveAll();
            UpdateAllViews(nullptr, HINT_SERVER_PLAYERS, &hint);
        }
    } else if (const auto* list = std::get_if<MasterListReply>(&reply)) {
        if (auto* won = dynamic_cast<CWonMasterExchange*>(m_pMasterExchange.get()))
            won->OnListReply(*list);
    } else if (const auto* unsupported = std::get_if<UnsupportedReply>(&reply)) {
        ReportUnsupported(unsupported->type, address, port, unsupportedShown);
    }
    // 'd' and 'j' are answered with silence, and so is a list batch too short
    // to carry its batch id. A challenge is the server socket's business; one
    // that reaches the dispatcher another way describes nothing.
}

void CScoutwireDoc::DetailsApplied(ServerInfo& server, bool testFilter) {
    if (testFilter) {
        if (m_filter.Matches(server))
            server.m_dwFlags |= GROUP_FILTERED;
        else
            server.m_dwFlags &= ~GROUP_FILTERED;
    }
    SetModifiedFlag();
    const CUpdateHint hint(&server);
    UpdateAllViews(nullptr, HINT_SERVER_DETAILS, &hint);
}

void CScoutwireDoc::ReportUnsupported(uint8_t type, uint32_t address, uint16_t port,
                                      bool* unsupportedShown) {
    // The box runs a nested event loop in which the same peer's next
    // datagrams are dispatched: a flood of them would otherwise open a box
    // inside a box for every one.
    if (m_bUnsupportedBoxOpen || (unsupportedShown && *unsupportedShown))
        return;
    if (unsupportedShown)
        *unsupportedShown = true;
    m_bUnsupportedBoxOpen = true;
    ShowError(m_ui, UnsupportedReplyText(type, FormatAddress(address, port)));
    m_bUnsupportedBoxOpen = false;
}

// ---------------------------------------------------------------------------
// The refresh engine

namespace {

constexpr std::string_view kSameAddress = "Same address as ";

// Unpaced, a bulk refresh on the shared engine still hands the event loop
// back after this many new queries, so that replies are read and the window
// repaints.
constexpr int kMaxStartsPerTurn = 256;
// Running every player query after each new server, as the per-socket
// engine does, costs the whole list each time: quadratic with thousands.
// The shared engine's refresh runs them at most this often, and at its end.
constexpr uint64_t kQueriesRunMs = 250;
// Paced, new queries that fell behind their times (the loop was busy, or
// waited for a free slot) catch up by at most this much, so that the rate
// holds over any stretch longer than that.
constexpr int64_t kPaceCatchUpMicros = 5000;

} // namespace

CServerSocket* CScoutwireDoc::CreateServerSocket(ServerInfo& server) {
    if (static_cast<int>(m_sockets.size()) >= EffectiveMaxSockets(m_settings))
        return nullptr;
    uint32_t address = 0;
    if (!QueryAddress(server, address))
        return nullptr;
    auto socket = std::make_unique<CServerSocket>(this);
    if (!socket->ConnectTo(address, server.m_wPort)) {
        DestroySocket(std::move(socket));
        return nullptr;
    }
    CServerSocket* raw = socket.get();
    m_sockets.push_back(std::move(socket));
    return raw;
}

bool CScoutwireDoc::QueryAddress(ServerInfo& server, uint32_t& address) {
    address = server.m_dwAddress;
    if (!server.m_bConnectByHostName || server.m_strHostName.empty())
        return true;
    const uint32_t resolved = ResolveHostName(m_ui, server.m_strHostName);
    if (resolved == 0)
        return true;
    // Replies are filed by their sender's address: when another record has
    // the one the name points at, this record would never see an answer, so
    // it is not asked and says why.
    if (const ServerInfo* owner = MoveToSortedPosition(server, resolved)) {
        MarkSameAddress(server, *owner);
        return false;
    }
    if (std::string_view(server.m_strError).starts_with(kSameAddress))
        server.m_strError.clear();
    address = resolved;
    return true;
}

const ServerInfo* CScoutwireDoc::MoveToSortedPosition(ServerInfo& server, uint32_t newAddress) {
    if (newAddress == server.m_dwAddress)
        return nullptr;
    if (const ServerInfo* owner = FindServer(newAddress, server.m_wPort))
        return owner;
    const int index = m_serverList.Find(server);
    if (index < 0 || m_serverList.GetAt(index) != &server) {
        server.m_dwAddress = newAddress;
        return nullptr;
    }
    std::unique_ptr<ServerInfo> owned = m_serverList.RemoveAt(index);
    owned->m_dwAddress = newAddress;
    m_serverList.InsertUnique(std::move(owned));
    return nullptr;
}

void CScoutwireDoc::MarkSameAddress(ServerInfo& server, const ServerInfo& owner) {
    const std::string error =
        std::string(kSameAddress) + (owner.m_strName.empty()
                                         ? FormatAddress(owner.m_dwAddress, owner.m_wPort)
                                         : owner.m_strName);
    if (server.m_strError == error && server.m_nPing == 0)
        return;
    server.m_strError = error;
    server.m_nPing = 0;
    const CUpdateHint hint(&server);
    UpdateAllViews(nullptr, HINT_SERVER_DETAILS, &hint);
}

bool CScoutwireDoc::RefreshServer(ServerInfo& server, unsigned mask) {
    if (UsesFastEngine(m_settings))
        return StartSharedQuery(server, mask);
    const std::string commands = CommandsFromMask(mask);
    CServerSocket* socket = CreateServerSocket(server);
    if (!socket)
        return false;
    StartQuery(server, *socket, commands);
    return true;
}

void CScoutwireDoc::StartQuery(ServerInfo& server, CServerSocket& socket,
                               const std::string& commands) {
    server.m_nPing = 0;
    socket.SetProtocol(QueryProtocolOf(server));
    socket.QueueCommands(commands);
}

bool CScoutwireDoc::RefreshServerIfIdle(ServerInfo* server, unsigned mask) {
    const std::string commands = CommandsFromMask(mask);
    if (!server || commands.empty())
        return false;
    if (m_pQueryEngine && m_pQueryEngine->IsPending(server->m_dwAddress, server->m_wPort))
        return false;
    for (const auto& socket : m_sockets) {
        uint32_t address = 0;
        uint16_t port = 0;
        socket->GetAddress(address, port);
        if (FindServer(address, port) == server)
            return false;
    }
    if (UsesFastEngine(m_settings))
        return StartSharedQuery(*server, mask);
    CServerSocket* socket = CreateServerSocket(*server);
    if (!socket)
        return false;
    StartQuery(*server, *socket, commands);
    return true;
}

void CScoutwireDoc::RefreshServers(std::span<ServerInfo* const> servers) {
    const int n = static_cast<int>(servers.size());
    if (n < 1)
        return;
    std::unique_ptr<IProgress> progress = m_ui.CreateProgress();
    if (!progress)
        return;
    // Records removed while this runs (a reset, Clear Server List) are
    // blanked in this copy, so it never hands a freed record to a socket.
    std::vector<ServerInfo*> list(servers.begin(), servers.end());
    m_activeRefreshLists.push_back(&list);
    const bool wasRefreshing = m_bRefreshing;
    m_bRefreshing = true;
    progress->SetRange(0, n);
    progress->SetStep(1);
    progress->SetStatus("Refreshing " + std::to_string(n) + " servers...");
    if (UsesFastEngine(m_settings))
        RefreshServersShared(list, *progress);
    else
        RefreshServersBySocket(list, *progress);
    ApplyFilter(false);
    std::erase(m_activeRefreshLists, &list);
    m_bRefreshing = wasRefreshing;
    EvaluateWatches();
}

void CScoutwireDoc::RefreshServersBySocket(std::vector<ServerInfo*>& list, IProgress& progress) {
    const int n = static_cast<int>(list.size());
    const int maxSockets = EffectiveMaxSockets(m_settings);
    const int progressStep = n > 100 ? n / 100 : 1;
    const int64_t interval = m_settings.m_nSendInterval > 0 ? m_settings.m_nSendInterval : 1;
    const uint64_t start = NowTicks();
    int64_t slot = 0;
    bool cancelled = false;
    for (int i = 0; i < n && !cancelled; ++i) {
        if (i % progressStep == 0)
            progress.SetPos(i + 1);
        const int64_t sentSlot = slot;
        for (;;) {
            if (slot != sentSlot && static_cast<int>(m_sockets.size()) < maxSockets)
                break;
            const int64_t elapsed = static_cast<int64_t>(ElapsedMs(start));
            slot = elapsed / interval;
            if (slot == sentSlot) {
                // Sleep until the next send slot or the next event.
                WaitForEvents((sentSlot + 1) * interval - elapsed);
            } else if (static_cast<int>(m_sockets.size()) >= maxSockets) {
                // The pool empties only in a cleaning pass: wait for it.
                WaitForEvents(m_settings.m_nCleanInterval);
            }
            if (progress.CheckCancelButton()) {
                cancelled = true;
                break;
            }
        }
        if (cancelled)
            break;
        if (!list[static_cast<size_t>(i)])
            continue;
        if (RefreshServer(*list[static_cast<size_t>(i)], CMD_DETAILS | CMD_PLAYERS) &&
            (m_settings.m_dwFlags & OPT_UPDATE_QUERIES))
            RunAllQueries();
    }
    progress.SetStatus("Waiting for outstanding requests to complete...");
    while (!m_sockets.empty()) {
        WaitForEvents(m_settings.m_nCleanInterval);
        if (progress.CheckCancelButton())
            break;
    }
}

CQueryEngine& CScoutwireDoc::QueryEngine() {
    if (!m_pQueryEngine)
        m_pQueryEngine =
            std::make_unique<CQueryEngine>(*this, static_cast<int>(m_recvBuffer.size()));
    return *m_pQueryEngine;
}

bool CScoutwireDoc::StartSharedQuery(ServerInfo& server, unsigned mask) {
    const int maxInFlight = EffectiveMaxSockets(m_settings);
    CQueryEngine& engine = QueryEngine();
    if (engine.PendingCount() >= maxInFlight)
        return false;
    uint32_t address = 0;
    if (!QueryAddress(server, address))
        return false;
    // Replies are told apart by their sender alone: one query per server
    // at a time.
    if (engine.IsPending(address, server.m_wPort) || !engine.Open(maxInFlight))
        return false;
    server.m_nPing = 0;
    return engine.Start(address, server.m_wPort, QueryProtocolOf(server), mask,
                        m_settings.m_nSocketTimeout);
}

void CScoutwireDoc::RefreshServersShared(std::vector<ServerInfo*>& list, IProgress& progress) {
    CQueryEngine& engine = QueryEngine();
    const int maxInFlight = EffectiveMaxSockets(m_settings);
    if (!engine.Open(maxInFlight))
        return;
    const int n = static_cast<int>(list.size());
    const int progressStep = n > 100 ? n / 100 : 1;
    const int64_t period = SendPeriodMicros(m_settings);
    const bool runQueries = (m_settings.m_dwFlags & OPT_UPDATE_QUERIES) != 0;
    // A wait for a free slot ends with the reply or time-out that frees it.
    const int64_t slotWaitMs = std::max(m_settings.m_nCleanInterval, 1);
    const uint64_t start = NowTicks();
    uint64_t queriesRun = start;
    bool queriesDue = false;
    bool started = false;
    int shownPos = -1;
    bool cancelled = false;
    int64_t nextDue = 0; // microseconds from the start
    int i = 0;
    while (i < n && !cancelled) {
        int budget = std::min(kMaxStartsPerTurn, maxInFlight - engine.PendingCount());
        int64_t paceWaitMs = 0;
        if (period > 0) {
            const int64_t elapsed = static_cast<int64_t>((NowTicks() - start) / 1000u);
            nextDue = std::max(nextDue, elapsed - std::max(period, kPaceCatchUpMicros));
            const int64_t due = elapsed >= nextDue ? (elapsed - nextDue) / period + 1 : 0;
            if (due < budget) {
                budget = static_cast<int>(due);
                const int64_t next = nextDue + due * period - elapsed;
                paceWaitMs = std::max<int64_t>(1, (next + 999) / 1000);
            }
            nextDue += std::max(budget, 0) * period;
        }
        for (int sent = 0; sent < budget && i < n; ++sent, ++i) {
            ServerInfo* server = list[static_cast<size_t>(i)];
            if (server && StartSharedQuery(*server, CMD_DETAILS | CMD_PLAYERS)) {
                started = true;
                queriesDue = runQueries;
            }
        }
        if (queriesDue && ElapsedMs(queriesRun) >= kQueriesRunMs) {
            RunAllQueries();
            queriesRun = NowTicks();
            queriesDue = false;
        }
        if (i / progressStep != shownPos) {
            shownPos = i / progressStep;
            progress.SetPos(i);
        }
        if (i < n) {
            if (engine.PendingCount() >= maxInFlight)
                WaitForEvents(slotWaitMs);
            else if (paceWaitMs > 0)
                WaitForEvents(paceWaitMs);
        }
        // Cancel stops everything at once: no query waits for its answer.
        cancelled = progress.CheckCancelButton();
    }
    if (!cancelled) {
        progress.SetStatus("Waiting for outstanding requests to complete...");
        while (engine.PendingCount() > 0 && !cancelled) {
            WaitForEvents(slotWaitMs);
            cancelled = progress.CheckCancelButton();
        }
    }
    if (cancelled)
        DropSharedQueries(true);
    if (started && runQueries)
        RunAllQueries();
}

void CScoutwireDoc::DropSharedQueries(bool notify) {
    if (!m_pQueryEngine)
        return;
    const std::vector<CQueryEngine::Endpoint> dropped = m_pQueryEngine->DropAll();
    if (!notify)
        return;
    for (const CQueryEngine::Endpoint& endpoint : dropped) {
        if (ServerInfo* server = FindServer(endpoint.address, endpoint.port)) {
            const CUpdateHint hint(server);
            UpdateAllViews(nullptr, HINT_SERVER_DETAILS, &hint);
        }
    }
}

void CScoutwireDoc::CleanSockets() {
    ReleaseRetiredSockets();
    const uint64_t now = NowTicks();
    if (m_pMasterExchange)
        m_pMasterExchange->OnCleaningPass(now);
    const uint64_t timeout = static_cast<uint64_t>(m_settings.m_nSocketTimeout);
    for (auto it = m_sockets.begin(); it != m_sockets.end();) {
        CServerSocket& socket = **it;
        if (socket.IsBusy()) {
            ++it;
            continue;
        }
        // A socket still in time does not hold up the finished ones behind
        // it: with a silent server at the head, the whole pool would wait
        // for its time-out. The pool is small, so the whole walk is cheap.
        const uint64_t sent = socket.Sequence().SentAt();
        if (sent != 0 && ElapsedMs(sent, now) <= timeout) {
            ++it;
            continue;
        }
        std::unique_ptr<CServerSocket> owned = std::move(*it);
        it = m_sockets.erase(it);
        if (sent != 0)
            TimeOutSocket(*owned);
        NoteRefreshEnded(*owned, owned->m_liSent != 0);
        DestroySocket(std::move(owned));
    }
    EvaluateWatches();
}

void CScoutwireDoc::TimeOutSocket(CServerSocket& socket) {
    uint32_t address = 0;
    uint16_t port = 0;
    socket.GetAddress(address, port);
    TimeOutQuery(address, port, socket.Sequence().Step());
}

void CScoutwireDoc::OnQueryTimedOut(uint32_t address, uint16_t port, unsigned step) {
    TimeOutQuery(address, port, step);
}

void CScoutwireDoc::TimeOutQuery(uint32_t address, uint16_t port, unsigned step) {
    ServerInfo* server = FindServer(address, port);
    if (!server)
        return;
    const CUpdateHint hint(server);
    if (step == CMD_DETAILS) {
        server->m_nPing = 0;
        UpdateAllViews(nullptr, HINT_SERVER_DETAILS, &hint);
        if (!(m_settings.m_dwFlags & OPT_KEEP_PLAYERS)) {
            if (server->m_pPlayers)
                server->m_pPlayers->RemoveAll();
            UpdateAllViews(nullptr, HINT_SERVER_PLAYERS, &hint);
        }
    } else if (step == CMD_PLAYERS) {
        if (server->m_pPlayers)
            server->m_pPlayers->RemoveAll();
        UpdateAllViews(nullptr, HINT_SERVER_PLAYERS, &hint);
    } else if (step == CMD_RULES) {
        if (server->m_pRules)
            server->m_pRules->RemoveAll();
        UpdateAllViews(nullptr, HINT_SERVER_RULES, &hint);
    }
}

int CScoutwireDoc::GetActiveSocketCount() const {
    return GetServerSocketCount() + (m_pMasterExchange ? 1 : 0);
}

int CScoutwireDoc::GetServerSocketCount() const {
    return static_cast<int>(m_sockets.size()) +
           (m_pQueryEngine ? m_pQueryEngine->PendingCount() : 0);
}

void CScoutwireDoc::DestroySocket(std::unique_ptr<CUdpSocket> socket) {
    if (!socket)
        return;
    socket->Close();
    // A handler of this socket is still on the call stack below a nested
    // event loop: free it once that handler has returned.
    if (socket->IsBusy())
        m_retiredSockets.push_back(std::move(socket));
}

void CScoutwireDoc::DestroyServerSockets() {
    DropSharedQueries(false);
    while (!m_sockets.empty()) {
        std::unique_ptr<CServerSocket> socket = std::move(m_sockets.front());
        m_sockets.pop_front();
        DestroySocket(std::move(socket));
    }
}

void CScoutwireDoc::DestroyMasterExchange() {
    std::unique_ptr<CMasterExchange> exchange = std::move(m_pMasterExchange);
    if (!exchange)
        return;
    exchange->Close();
    // Ended from inside one of its own handlers: freed once that returns.
    if (exchange->IsBusy())
        m_retiredExchanges.push_back(std::move(exchange));
}

void CScoutwireDoc::ReleaseRetiredSockets() {
    std::erase_if(m_retiredSockets, [](const auto& socket) { return !socket->IsBusy(); });
    std::erase_if(m_retiredExchanges, [](const auto& exchange) { return !exchange->IsBusy(); });
}

// ---------------------------------------------------------------------------
// The master server

MasterListQuery CScoutwireDoc::MasterQueryFromSettings() const {
    MasterListQuery query;
    switch (m_settings.m_nListSource) {
    case LIST_SOURCE_STEAM_MASTER: {
        // "host" or "host:port"
        const std::string& master = m_settings.m_strSteamMaster;
        const size_t colon = master.rfind(':');
        query.host = master.substr(0, colon);
        query.port = kSteamMasterPort;
        if (colon != std::string::npos) {
            const std::string digits = master.substr(colon + 1);
            const bool numeric = !digits.empty() && digits.size() <= 5 &&
                                 std::all_of(digits.begin(), digits.end(),
                                             [](char c) { return c >= '0' && c <= '9'; });
            if (numeric && std::stoi(digits) >= 1 && std::stoi(digits) <= 65535)
                query.port = static_cast<uint16_t>(std::stoi(digits));
        }
        break;
    }
    case LIST_SOURCE_STEAM_WEB:
        query.apiUrl = m_settings.m_strSteamApiUrl;
        query.apiKey = m_settings.m_strSteamApiKey;
        query.limit = m_settings.m_nSteamListLimit;
        break;
    default:
        query.host = m_settings.m_strWONMaster;
        query.port = m_settings.m_wWONPort;
        break;
    }
    query.region = static_cast<uint8_t>(m_settings.m_nSteamRegion);
    query.appId = m_settings.m_nSteamAppId;
    query.timeoutMs = m_settings.m_nWONTimeout;
    query.retries = m_settings.m_nWONRetries;
    const uint32_t flags = m_masterFilter.m_dwFlags;
    if (flags & FILTER_GAME)
        query.game = m_masterFilter.m_strGame;
    if (flags & FILTER_MAP)
        query.map = m_masterFilter.m_strMap;
    if (flags & FILTER_EMPTY) {
        query.hasEmpty = true;
        query.empty = (flags & FILTER_EMPTY_YES) != 0;
    }
    if (flags & FILTER_FULL) {
        query.hasFull = true;
        query.full = (flags & FILTER_FULL_YES) != 0;
    }
    if (flags & FILTER_PASSWORD) {
        query.hasPassword = true;
        query.password = (flags & FILTER_PASSWORD_YES) != 0;
    }
    auto firstLower = [](const std::string& text) {
        return text.empty() ? '\0'
                            : static_cast<char>(FoldCase(static_cast<unsigned char>(text[0])));
    };
    if (flags & FILTER_TYPE) {
        query.hasType = true;
        query.dedicated = firstLower(m_masterFilter.m_strServerType) == 'd';
    }
    if (flags & FILTER_OS)
        query.os = firstLower(m_masterFilter.m_strOS);
    return query;
}

void CScoutwireDoc::ConnectToMaster() {
    DestroyMasterExchange();
    MasterListQuery query = MasterQueryFromSettings();
    IMasterListOwner& owner = *this;
    switch (m_settings.m_nListSource) {
    case LIST_SOURCE_STEAM_MASTER:
        m_pMasterExchange = std::make_unique<CSteamMasterExchange>(owner, std::move(query));
        break;
    case LIST_SOURCE_STEAM_WEB:
        m_pMasterExchange = std::make_unique<CSteamWebExchange>(owner, std::move(query));
        break;
    default:
        m_pMasterExchange = std::make_unique<CWonMasterExchange>(owner, std::move(query));
        break;
    }
    m_strMasterFailure.clear();
    m_pMasterExchange->Start();
}

void CScoutwireDoc::RequestServerList(uint32_t batchId) {
    if (auto* won = dynamic_cast<CWonMasterExchange*>(m_pMasterExchange.get()))
        won->RequestBatch(batchId);
}

void CScoutwireDoc::OnMasterRequestSent(uint32_t id) {
    if (!m_pMasterExchange)
        return;
    m_ui.SetStatusMessage("Connected to " + m_pMasterExchange->PeerText() + "...");
    const CUpdateHint hint(id);
    UpdateAllViews(nullptr, HINT_MASTER_PROGRESS, &hint);
}

void CScoutwireDoc::OnMasterEntries(std::span<const MasterEntry> entries) {
    if (!m_pMasterExchange)
        return;
    const MasterListQuery& query = m_pMasterExchange->Query();
    const bool won = m_pMasterExchange->Source() == MasterSource::Won;
    std::vector<std::unique_ptr<ServerInfo>> created;
    created.reserve(entries.size());
    for (const MasterEntry& entry : entries) {
        auto server = std::make_unique<ServerInfo>(entry.address, entry.port);
        server->m_dwFlags = won ? GROUP_WON : GROUP_STEAM;
        server->m_nProtocol = won ? PROTOCOL_LEGACY : PROTOCOL_A2S;
        server->m_strGame = query.game;
        server->m_strMap = query.map;
        if (query.hasType)
            server->m_cServerType = query.dedicated ? 'd' : 'l';
        created.push_back(std::move(server));
    }
    AddListedServers(std::move(created));
}

void CScoutwireDoc::OnMasterServers(std::span<const SteamWebServer> servers) {
    std::vector<std::unique_ptr<ServerInfo>> created;
    created.reserve(servers.size());
    for (const SteamWebServer& listed : servers) {
        if (listed.address == 0 || listed.port == 0)
            continue;
        auto server = std::make_unique<ServerInfo>(listed.address, listed.port);
        server->m_dwFlags = GROUP_STEAM;
        server->m_nProtocol = PROTOCOL_A2S;
        // What the service knows of a server makes the list useful before
        // the first refresh. Its JSON is Unicode; records hold text in the
        // servers' own code page where it fits, as their replies carry it.
        server->m_strName = StoredText(QString::fromStdString(listed.name));
        server->m_strMap = StoredText(QString::fromStdString(listed.map));
        server->m_strGame = StoredText(QString::fromStdString(listed.gamedir));
        server->m_nPlayers = static_cast<uint8_t>(std::clamp(listed.players, 0, 255));
        server->m_nMaxPlayers = static_cast<uint8_t>(std::clamp(listed.maxPlayers, 0, 255));
        server->m_cServerType = listed.dedicated ? 'd' : 'l';
        server->m_cOS = listed.os;
        created.push_back(std::move(server));
    }
    AddListedServers(std::move(created));
}

void CScoutwireDoc::AddListedServers(std::vector<std::unique_ptr<ServerInfo>> created) {
    const bool refreshNew = (m_settings.m_dwFlags & OPT_REFRESH_NEW_SERVERS) != 0;
    if (refreshNew && !m_pNewServers)
        m_pNewServers = std::make_unique<ServerList>(1);
    SetModifiedFlag();
    if (created.empty())
        return;
    // One merge per batch: a list of a few hundred thousand servers would
    // take minutes to build one sorted insertion at a time. Records already
    // listed stay exactly as they were; the copies made here are dropped.
    std::vector<ServerInfo*> added = m_serverList.InsertManyUnique(std::move(created));
    if (refreshNew)
        m_pNewServers->InsertManyUnique(std::move(added));
}

void CScoutwireDoc::OnMasterListComplete() {
    EndMasterExchange((m_settings.m_dwFlags & OPT_REFRESH_NEW_SERVERS) != 0);
}

void CScoutwireDoc::OnMasterListFailed(const std::string& message) {
    const bool sent = m_pMasterExchange && m_pMasterExchange->RequestsSent() > 0;
    DestroyMasterExchange();
    m_strMasterFailure = message.substr(0, message.find('\n'));
    // The views learn that the exchange is over before the box opens.
    if (sent)
        UpdateAllViews(nullptr, HINT_MASTER_PROGRESS);
    if (!message.empty())
        ShowError(m_ui, message);
}

void CScoutwireDoc::OnMasterOtherReply(uint8_t type, std::span<const uint8_t> payload,
                                       uint32_t address, uint16_t port, bool* shown) {
    DispatchReply(type, payload, address, port, shown);
}

void CScoutwireDoc::OnMasterSocketError(const std::string& context) {
    ReportLastError(m_ui, context);
}

void CScoutwireDoc::EndMasterExchange(bool refreshNew) {
    DestroyMasterExchange();
    ApplyFilter(false);
    UpdateAllViews(nullptr, HINT_SERVERS_RELOADED);
    if (refreshNew && m_pNewServers) {
        const std::unique_ptr<ServerList> newServers = std::move(m_pNewServers);
        std::vector<ServerInfo*> list(newServers->begin(), newServers->end());
        RefreshServers(list);
        RunAllQueries();
    }
}
