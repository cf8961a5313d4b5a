#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/ServerList.h"
#include "core/WatchAlert.h"

class IUserInterface;
class SearchQuery;

// Compares watched queries and watched servers with what they were after the
// last refresh and tells the user what changed. Players are known by name:
// it is what the user watches and what the queries match, the only thing
// both protocols report the same way (A2S servers send 0 or a running count
// for every index, and an old server hands a slot to whoever takes it next).
class CWatchMonitor {
public:
    using Queries = std::vector<std::unique_ptr<SearchQuery>>;

    explicit CWatchMonitor(IUserInterface& ui) : m_ui(ui) {}

    // A server's refresh ended; answered is false when it stayed silent.
    void NoteRefreshed(const ServerInfo& server, bool answered);
    bool HasPending() const { return !m_pending.empty(); }
    uint64_t PendingSinceMs() const { return m_pendingSince; }
    // Compares the servers noted since the last pass.
    void Evaluate(const OwningServerList& servers, const Queries& queries);
    // Compares every server that answered its last query: after watches were
    // edited, so a new watch reports at once who is on.
    void EvaluateAll(const OwningServerList& servers, const Queries& queries);
    // Forgets everything: a new or opened document.
    void Reset();
    void ForgetQuery(const SearchQuery* query) { m_queries.erase(query); }

    int MatchingCount() const { return m_nMatching; }
    static bool HasWatches(const OwningServerList& servers, const Queries& queries);
    // What an auto refresh asks while watches are on: the servers where the
    // watches' players were last seen and the watched servers, then a slice
    // of the others that moves on at every call; the whole list when small.
    std::vector<ServerInfo*> ServersToRefresh(const OwningServerList& servers,
                                              const Queries& queries);

    static constexpr int kWholeListUpTo = 256;
    static constexpr int kSliceDivisor = 16;

private:
    using Key = uint64_t;
    using Names = std::multiset<std::string>;
    struct QueryState {
        // The matching players of every server this watch has seen answer.
        std::map<Key, Names> seen;
    };
    static Key KeyOf(uint32_t address, uint16_t port) { return (uint64_t(address) << 16) | port; }
    static Key KeyOf(const ServerInfo& s) { return KeyOf(s.m_dwAddress, s.m_wPort); }
    const ServerInfo* Find(const OwningServerList& servers, Key key) const;
    void Compare(const OwningServerList& servers, const Queries& queries,
                 const std::map<Key, bool>& batch);
    void CompareQuery(const OwningServerList& servers, const SearchQuery& query, QueryState& state,
                      const std::map<Key, bool>& batch);
    void CompareServer(const ServerInfo& server);
    void Alert(WatchAlert::Kind kind, const std::string& player, const SearchQuery* query,
               const ServerInfo* server, Key key);
    void UpdateCount(const OwningServerList& servers, const Queries& queries);

    IUserInterface& m_ui;
    std::map<const SearchQuery*, QueryState> m_queries;
    // Whether each watched server met its condition when it last answered,
    // and the condition that was.
    struct ServerState {
        uint8_t kind = 0;
        int32_t count = 0;
        bool met = false;
    };
    std::map<Key, ServerState> m_servers;
    std::map<Key, bool> m_pending;
    uint64_t m_pendingSince = 0;
    int m_nMatching = 0;
    size_t m_nSliceStart = 0;
};
