#include "core/CWatchMonitor.h"

#include <algorithm>

#include "core/IUserInterface.h"
#include "net/Clock.h"
#include "search/ExpressionMatcher.h"
#include "search/SearchQuery.h"

namespace {

// Free places as joining counts them: reserved slots are not free.
int FreePlaces(const ServerInfo& server) {
    return server.m_nMaxPlayers - std::max(server.GetReservedSlots(), 0) - server.m_nPlayers;
}

bool ConditionMet(const ServerInfo& server) {
    if (server.m_nWatchKind == WATCH_FREE_PLACES)
        return FreePlaces(server) >= std::max(server.m_nWatchCount, 1);
    return server.m_nPlayers >= server.m_nWatchCount;
}

} // namespace

void CWatchMonitor::NoteRefreshed(const ServerInfo& server, bool answered) {
    if (m_pending.empty())
        m_pendingSince = NowTicks();
    m_pending[KeyOf(server)] = answered;
}

void CWatchMonitor::Evaluate(const OwningServerList& servers, const Queries& queries) {
    const std::map<Key, bool> batch = std::move(m_pending);
    m_pending.clear();
    Compare(servers, queries, batch);
}

void CWatchMonitor::EvaluateAll(const OwningServerList& servers, const Queries& queries) {
    std::map<Key, bool> batch;
    for (const auto& server : servers)
        if (server->m_nPing != 0)
            batch[KeyOf(*server)] = true;
    Compare(servers, queries, batch);
}

void CWatchMonitor::Reset() {
    m_queries.clear();
    m_servers.clear();
    m_pending.clear();
    m_nMatching = 0;
    m_nSliceStart = 0;
}

const ServerInfo* CWatchMonitor::Find(const OwningServerList& servers, Key key) const {
    const ServerInfo probe(static_cast<uint32_t>(key >> 16), static_cast<uint16_t>(key));
    const int i = servers.Find(probe);
    return i >= 0 ? servers.GetAt(i) : nullptr;
}

void CWatchMonitor::Compare(const OwningServerList& servers, const Queries& queries,
                            const std::map<Key, bool>& batch) {
    // A watch turned off forgets what it saw: turned on again, it reports
    // who is on as for the first time.
    std::erase_if(m_queries, [&](const auto& entry) {
        return std::none_of(queries.begin(), queries.end(),
                            [&](const auto& q) { return q.get() == entry.first && q->m_bWatch; });
    });
    for (const auto& query : queries)
        if (query->m_bWatch)
            CompareQuery(servers, *query, m_queries[query.get()], batch);
    for (const auto& [key, answered] : batch) {
        const ServerInfo* server = Find(servers, key);
        if (!server || server->m_nWatchKind == WATCH_NONE)
            m_servers.erase(key);
        else if (answered && server->m_nMaxPlayers != 0)
            CompareServer(*server);
    }
    UpdateCount(servers, queries);
}

void CWatchMonitor::CompareQuery(const OwningServerList& servers, const SearchQuery& query,
                                 QueryState& state, const std::map<Key, bool>& batch) {
    ExpressionMatcher matcher;
    std::string error;
    // A bad expression has been reported where it was typed; a watch never
    // opens a box in the middle of a refresh.
    if (!matcher.Compile(query.m_strExpression, query.m_dwFlags, error))
        return;
    struct Change {
        Key key;
        std::string name;
        bool known;
    };
    std::vector<Change> added, removed;
    for (const auto& [key, answered] : batch) {
        const ServerInfo* server = Find(servers, key);
        // Silent servers keep their players until they answer again.
        if (!answered || !server || !server->m_pPlayers)
            continue;
        Names now;
        for (const auto& player : *server->m_pPlayers)
            if (matcher.Search(player->m_strName))
                now.insert(player->m_strName);
        const auto it = state.seen.find(key);
        const bool known = it != state.seen.end();
        const Names before = known ? it->second : Names{};
        std::vector<std::string> diff;
        std::set_difference(now.begin(), now.end(), before.begin(), before.end(),
                            std::back_inserter(diff));
        for (auto& name : diff)
            added.push_back({key, std::move(name), known});
        diff.clear();
        std::set_difference(before.begin(), before.end(), now.begin(), now.end(),
                            std::back_inserter(diff));
        for (auto& name : diff)
            removed.push_back({key, std::move(name), true});
        state.seen[key] = std::move(now);
    }
    for (const Change& change : added) {
        const ServerInfo* server = Find(servers, change.key);
        const auto from = std::find_if(removed.begin(), removed.end(), [&](const Change& r) {
            return r.name == change.name && r.key != change.key;
        });
        if (from != removed.end()) {
            removed.erase(from);
            Alert(WatchAlert::Kind::Moved, change.name, &query, server, change.key);
            continue;
        }
        // Last seen on a server that has not answered since.
        bool moved = false;
        for (auto& [key, names] : state.seen) {
            const auto name = names.find(change.name);
            if (key == change.key || batch.count(key) || name == names.end())
                continue;
            names.erase(name);
            moved = true;
            break;
        }
        Alert(moved          ? WatchAlert::Kind::Moved
              : change.known ? WatchAlert::Kind::Appeared
                             : WatchAlert::Kind::Present,
              change.name, &query, server, change.key);
    }
    if (query.m_bWatchLeaving)
        for (const Change& change : removed)
            Alert(WatchAlert::Kind::Left, change.name, &query, Find(servers, change.key),
                  change.key);
}

void CWatchMonitor::CompareServer(const ServerInfo& server) {
    const Key key = KeyOf(server);
    const bool met = ConditionMet(server);
    auto [it, first] = m_servers.try_emplace(key);
    ServerState& state = it->second;
    const bool sameWatch =
        !first && state.kind == server.m_nWatchKind && state.count == server.m_nWatchCount;
    if (met && !(sameWatch && state.met))
        Alert(server.m_nWatchKind == WATCH_FREE_PLACES ? WatchAlert::Kind::ServerHasRoom
                                                       : WatchAlert::Kind::ServerHasPlayers,
              {}, nullptr, &server, key);
    state = {server.m_nWatchKind, server.m_nWatchCount, met};
}

void CWatchMonitor::Alert(WatchAlert::Kind kind, const std::string& player,
                          const SearchQuery* query, const ServerInfo* server, Key key) {
    WatchAlert alert;
    alert.kind = kind;
    alert.player = player;
    if (query)
        alert.queryName = query->GetDisplayName();
    alert.address = static_cast<uint32_t>(key >> 16);
    alert.port = static_cast<uint16_t>(key);
    if (server) {
        alert.serverName = server->m_strName;
        alert.map = server->m_strMap;
        alert.players = server->m_nPlayers;
        alert.maxPlayers = server->m_nMaxPlayers;
    }
    m_ui.ShowWatchAlert(alert);
}

void CWatchMonitor::UpdateCount(const OwningServerList& servers, const Queries& queries) {
    int matching = 0;
    for (const auto& [query, state] : m_queries)
        matching += std::any_of(state.seen.begin(), state.seen.end(),
                                [](const auto& entry) { return !entry.second.empty(); });
    for (const auto& [key, state] : m_servers) {
        const ServerInfo* server = Find(servers, key);
        matching += state.met && server && server->m_nWatchKind == state.kind &&
                    server->m_nWatchCount == state.count;
    }
    (void)queries;
    if (matching == m_nMatching)
        return;
    m_nMatching = matching;
    m_ui.OnWatchesChanged(matching);
}

bool CWatchMonitor::HasWatches(const OwningServerList& servers, const Queries& queries) {
    return std::any_of(queries.begin(), queries.end(), [](const auto& q) { return q->m_bWatch; }) ||
           std::any_of(servers.begin(), servers.end(),
                       [](const auto& s) { return s->m_nWatchKind != WATCH_NONE; });
}

std::vector<ServerInfo*> CWatchMonitor::ServersToRefresh(const OwningServerList& servers,
                                                         const Queries& queries) {
    std::vector<ServerInfo*> chosen, rest;
    const int n = servers.GetSize();
    if (n <= kWholeListUpTo) {
        for (const auto& server : servers)
            chosen.push_back(server.get());
        return chosen;
    }
    std::set<Key> wanted;
    for (const auto& query : queries) {
        const auto it = m_queries.find(query.get());
        if (query->m_bWatch && it != m_queries.end())
            for (const auto& [key, names] : it->second.seen)
                if (!names.empty())
                    wanted.insert(key);
    }
    for (const auto& server : servers) {
        if (server->m_nWatchKind != WATCH_NONE || wanted.count(KeyOf(*server)))
            chosen.push_back(server.get());
        else
            rest.push_back(server.get());
    }
    if (rest.empty())
        return chosen;
    const size_t slice =
        std::max<size_t>((rest.size() + kSliceDivisor - 1) / kSliceDivisor, kWholeListUpTo);
    m_nSliceStart %= rest.size();
    for (size_t i = 0; i < std::min(slice, rest.size()); ++i)
        chosen.push_back(rest[(m_nSliceStart + i) % rest.size()]);
    m_nSliceStart = (m_nSliceStart + slice) % rest.size();
    std::sort(chosen.begin(), chosen.end(), [](const ServerInfo* a, const ServerInfo* b) {
        return ServerColumns::CompareColumn(*a, *b, 1) < 0;
    });
    return chosen;
}
