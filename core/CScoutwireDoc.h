#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "core/ServerList.h"
#include "core/UpdateHint.h"
#include "net/IMasterListOwner.h"
#include "net/IQueryEngineOwner.h"
#include "net/ISocketOwner.h"
#include "search/Query.h"
#include "search/SearchQuery.h"
#include "search/ServerFilter.h"

class CBackgroundJoin;
class CMasterExchange;
class CWatchMonitor;
class CQueryEngine;
class CServerSocket;
class CSettings;
class CUdpSocket;
class IProgress;
class IUserInterface;
class QuerySequence;
struct MasterEntry;
struct MasterListQuery;
struct MasterListReply;

// The one document: it owns every server record, the player queries, both
// filters and the network engine's sockets, and tells its views about every
// change. Within the classic limits of the settings (up to 99 queries in
// flight, at least a millisecond apart) each query has a socket of its own;
// beyond them they all go through one CQueryEngine.
class CScoutwireDoc : public ISocketOwner, public IQueryEngineOwner, private IMasterListOwner {
public:
    CScoutwireDoc(CSettings& settings, IUserInterface& ui, int maxUdpSize = 65507);
    ~CScoutwireDoc() override;
    CScoutwireDoc(const CScoutwireDoc&) = delete;
    CScoutwireDoc& operator=(const CScoutwireDoc&) = delete;

    // Views.
    void AddView(IDocView* view);
    void RemoveView(IDocView* view);
    void UpdateAllViews(IDocView* sender, int hint, const CUpdateHint* pHint = nullptr);
    void SetModifiedFlag(bool modified = true) { m_bModified = modified; }
    bool IsModified() const { return m_bModified; }

    // Document life: reset, new, open and save.
    void DeleteContents();
    bool OnNewDocument();
    bool OnOpenDocument(const std::string& path);
    bool OnSaveDocument(const std::string& path);
    const std::string& GetPathName() const { return m_strPathName; }
    void SetPathName(const std::string& path) { m_strPathName = path; }

    // Records.
    ServerInfo* FindServer(uint32_t address, uint16_t port) const;
    ServerInfo* AddFavourite(uint32_t address, uint16_t port, bool notify);
    bool RemoveFavourite(ServerInfo* server, bool notify);
    void GetGames(std::vector<std::string>& games) const;
    void GetMaps(std::vector<std::string>& maps) const;
    const OwningServerList& GetServerList() const { return m_serverList; }

    // Edit menu.
    void UpdateServerList();
    void ClearServerList();
    void AddServer();
    void FindServers();
    void EditServerProperties(ServerInfo* server);

    // Player queries.
    bool RunQuery(SearchQuery& query, bool notify);
    void RunAllQueries();
    void EditQuery(SearchQuery* query);
    SearchQuery* AddQuery(std::unique_ptr<SearchQuery> query);
    void RemoveQuery(SearchQuery* query);
    void AddPlayerQuery(const std::string& playerName);
    const std::vector<std::unique_ptr<SearchQuery>>& GetQueries() const { return m_queries; }

    // Starts the game connected to the server.
    void JoinServer(ServerInfo* server);
    // Joins without a modal wait: the same questions as JoinServer, then the
    // server is refreshed in the background until a place frees and the game
    // starts. One server at a time; a new one replaces the last.
    void StartBackgroundJoin(ServerInfo& server);
    void CancelBackgroundJoin();
    // The server the background join waits for, or null.
    const ServerInfo* BackgroundJoinServer() const;

    // Watches: how many match now (watched players on, servers meeting
    // their condition).
    int MatchingWatchCount() const;
    // Call after a query's or a server's watch marks changed: the document is
    // marked modified and a new watch reports at once who is on.
    void WatchesEdited();
    bool HasWatches() const;
    // What the auto refresh asks while watches are on (all servers without
    // watches); each call moves the slice of unwatched servers on.
    std::vector<ServerInfo*> WatchRefreshServers();

    // Filters.
    void ApplyFilter(bool notify);
    void EditFilter();
    bool EditMasterFilter();

    // Replies.
    bool OnReceiveServerSocket(CServerSocket& socket, std::span<const uint8_t> reply) override;
    // A whole reply to a query on either engine.
    void OnQueryReply(uint32_t address, uint16_t port, QuerySequence& query,
                      std::span<const uint8_t> reply) override;
    void OnQueryTimedOut(uint32_t address, uint16_t port, unsigned step) override;
    void OnQueryEnded(uint32_t address, uint16_t port, bool timedOut) override;
    void OnReceiveSocket(CUdpSocket& socket, int count) override;
    void ParseReply(uint8_t type, std::span<const uint8_t> payload, uint32_t address,
                    uint16_t port);
    // The buffer every socket receives into, zero-filled before each receive.
    std::span<uint8_t> GetRecvBuffer() override { return m_recvBuffer; }
    INetReporter& GetReporter() override;

    // The refresh engine.
    CServerSocket* CreateServerSocket(ServerInfo& server);
    bool RefreshServer(ServerInfo& server, unsigned mask);
    bool RefreshServerIfIdle(ServerInfo* server, unsigned mask);
    void RefreshServers(std::span<ServerInfo* const> servers);
    void CleanSockets() override;
    // Open server sockets and queries in flight in the shared engine, plus
    // one while the master exchange runs.
    int GetActiveSocketCount() const;
    // Open server sockets and queries in flight in the shared engine: the
    // requests still outstanding.
    int GetServerSocketCount() const;
    // The shared engine, once a query beyond the classic limits made it.
    const CQueryEngine* GetQueryEngine() const { return m_pQueryEngine.get(); }
    bool IsRefreshing() const { return m_bRefreshing; }

    // The master server: the WON master, Steam's master or Steam's web
    // service, as the settings' list source says.
    void ConnectToMaster();
    // Asks the WON master for a batch; nothing for the other sources.
    void RequestServerList(uint32_t batchId);
    bool IsUpdatingServerList() const { return m_pMasterExchange != nullptr; }
    // Why the last list exchange failed, when it was not silence: the views
    // show it instead of the time-out text.
    const std::string& GetMasterFailure() const { return m_strMasterFailure; }
    // The exchange running, or null.
    const CMasterExchange* GetMasterExchange() const { return m_pMasterExchange.get(); }

    CSettings& GetSettings() { return m_settings; }
    IUserInterface& GetUI() { return m_ui; }

    ServerFilter m_filter;
    ServerFilter m_masterFilter;
    Query m_findQuery;
    SearchQuery m_defaultQuery;
    uint8_t m_bHasHeader = 1;

private:
    // ParseReply's work; unsupportedShown is the receiving socket's "box
    // already shown" flag, or null when the reply came from elsewhere.
    void DispatchReply(uint8_t type, std::span<const uint8_t> payload, uint32_t address,
                       uint16_t port, bool* unsupportedShown);
    // After a details or info reply: the Filtered bit (when the reply told
    // enough to test it), the modified mark, the views.
    void DetailsApplied(ServerInfo& server, bool testFilter);
    void ReportUnsupported(uint8_t type, uint32_t address, uint16_t port, bool* unsupportedShown);
    // What the master exchange reports.
    void OnMasterRequestSent(uint32_t id) override;
    void OnMasterEntries(std::span<const MasterEntry> entries) override;
    void OnMasterServers(std::span<const SteamWebServer> servers) override;
    void OnMasterListComplete() override;
    void OnMasterListFailed(const std::string& message) override;
    void OnMasterOtherReply(uint8_t type, std::span<const uint8_t> payload, uint32_t address,
                            uint16_t port, bool* shown) override;
    void OnMasterSocketError(const std::string& context) override;
    MasterListQuery MasterQueryFromSettings() const;
    void AddListedServers(std::vector<std::unique_ptr<ServerInfo>> created);
    void EndMasterExchange(bool refreshNew);
    void DestroySocket(std::unique_ptr<CUdpSocket> socket);
    void DestroyServerSockets();
    void DestroyMasterExchange();
    void ReleaseRetiredSockets();
    void RemoveFromNewServers(const ServerInfo* server);
    void ClearQueryResults();
    // Files a record under its new address; when another record already has
    // that address, leaves both in place and returns the other one.
    const ServerInfo* MoveToSortedPosition(ServerInfo& server, uint32_t newAddress);
    void MarkSameAddress(ServerInfo& server, const ServerInfo& owner);
    void TimeOutSocket(CServerSocket& socket);
    void TimeOutQuery(uint32_t address, uint16_t port, unsigned step);
    void StartQuery(ServerInfo& server, CServerSocket& socket, const std::string& commands);
    // The address to ask for the record: its host name resolved when it
    // connects by name. False when another record has that address.
    bool QueryAddress(ServerInfo& server, uint32_t& address);
    // The shared engine, made when first needed.
    CQueryEngine& QueryEngine();
    // The shared engine's side of RefreshServer and RefreshServers.
    bool StartSharedQuery(ServerInfo& server, unsigned mask);
    void RefreshServersShared(std::vector<ServerInfo*>& list, IProgress& progress);
    // The classic side: a socket per server, at most one send per interval.
    void RefreshServersBySocket(std::vector<ServerInfo*>& list, IProgress& progress);
    // Ends every query of the shared engine; notify: the records asked lose
    // their ping in the views too.
    void DropSharedQueries(bool notify);
    void ForgetServers(const std::vector<const ServerInfo*>& removed);
    void InstallContents(struct ScwContents& contents);
    // After the cleaning pass removed the sockets of these servers.
    void NoteRefreshEnded(CServerSocket& socket, bool timedOut);
    void EvaluateWatches();

    CSettings& m_settings;
    IUserInterface& m_ui;
    std::vector<IDocView*> m_views;
    bool m_bModified = false;
    std::string m_strPathName;

    std::unique_ptr<CMasterExchange> m_pMasterExchange;
    std::string m_strMasterFailure;
    // Exchanges ended while one of their handlers was on the call stack.
    std::vector<std::unique_ptr<CMasterExchange>> m_retiredExchanges;
    std::vector<uint8_t> m_recvBuffer;
    std::list<std::unique_ptr<CServerSocket>> m_sockets;
    std::unique_ptr<CQueryEngine> m_pQueryEngine;
    // Sockets closed while one of their handlers was on the call stack; they
    // are freed once the handler has returned.
    std::vector<std::unique_ptr<CUdpSocket>> m_retiredSockets;
    // An "Unsupported command" box is open: further ones are dropped, never
    // stacked one inside the other.
    bool m_bUnsupportedBoxOpen = false;
    OwningServerList m_serverList{1};
    std::vector<std::unique_ptr<SearchQuery>> m_queries;
    bool m_bRefreshing = false;
    std::unique_ptr<ServerList> m_pNewServers;
    // Server lists that a running bulk refresh walks; records removed meanwhile
    // are blanked in them.
    std::vector<std::vector<ServerInfo*>*> m_activeRefreshLists;
    // What the Add Server dialog remembers for the run.
    uint32_t m_dwAddServerAddress = 0;
    int m_nAddServerPort = 27015;
    std::unique_ptr<CWatchMonitor> m_pWatch;
    std::unique_ptr<CBackgroundJoin> m_pBackgroundJoin;
};
