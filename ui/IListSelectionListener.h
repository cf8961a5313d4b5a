#pragma once

#include <cstdint>

// List modes of a details view; a mode bit is 1 << mode.
constexpr uint32_t LIST_NONE = 0;
constexpr uint32_t LIST_SERVERS = 1;
constexpr uint32_t LIST_PLAYERS = 2;
constexpr uint32_t LIST_QUERIES = 3;
constexpr uint32_t LIST_RESULTS = 4;
constexpr uint32_t LIST_RULES = 5;
constexpr uint32_t ListModeBit(uint32_t mode) { return 1u << mode; }

// One selected row of another details view: a ServerInfo in LIST_SERVERS, a
// SearchQuery in LIST_QUERIES, a FoundPlayer in LIST_RESULTS.
struct ListSelection {
    uint32_t m_nMode = LIST_NONE;
    void* m_pObject = nullptr;
};

class IListSelectionListener {
public:
    virtual ~IListSelectionListener() = default;
    virtual void OnListSelection(const ListSelection& selection) = 0;
};
