#pragma once

#include <cstdint>

class ServerInfo;
class SearchQuery;

// Document change notifications: a hint code and, for most codes, a hint
// object naming the server, the query, the group mask or the batch id.
enum HintCode : int {
    HINT_INITIAL_UPDATE = 0,
    HINT_DOC_CLEARED = 1,
    HINT_MASTER_PROGRESS = 2,
    HINT_SERVERS_RELOADED = 3,
    HINT_SERVER_PLAYERS = 4,
    HINT_SERVER_DETAILS = 5,
    HINT_SERVER_RULES = 6,
    HINT_FAVOURITES_CHANGED = 7,
    HINT_QUERY_ADDED = 8,
    HINT_QUERY_UPDATED = 9,
    HINT_FOUND_READY = 10,
    HINT_FILTER_CHANGED = 11,
    HINT_MASTER_FILTER_CHANGED = 12,
    HINT_GROUPS_CHANGED = 13,
    HINT_SELECT_SERVER = 14,
    HINT_SELECT_QUERY = 15,
};

class CUpdateHint {
public:
    explicit CUpdateHint(uint32_t data) : m_dwData(data) {}
    explicit CUpdateHint(ServerInfo* server) : m_pServer(server) {}
    explicit CUpdateHint(SearchQuery* query) : m_pQuery(query) {}

    uint32_t m_dwData = 0; // a group mask or a batch id
    ServerInfo* m_pServer = nullptr;
    SearchQuery* m_pQuery = nullptr;
};

// Anything that shows the document: it learns of every change here and never
// touches sockets. pHint is null for the codes that carry no object.
class IDocView {
public:
    virtual ~IDocView() = default;
    virtual void OnUpdate(IDocView* sender, int hint, const CUpdateHint* pHint) = 0;
};
