#pragma once

#include <cstdint>

class SearchQuery;
class ServerInfo;

constexpr uint32_t ITEM_GROUP = 0x8000;
constexpr uint32_t ITEM_QUERY = 0x4000;

// What a tree item stands for: the kind bits (ITEM_GROUP, ITEM_QUERY and
// group bits), the server or query (none for group items), and for group
// items whether the group has members.
struct TreeItemData {
    uint32_t m_dwKind = 0;
    void* m_pObject = nullptr;
    uint32_t m_nChildren = 0;

    bool IsGroup() const { return (m_dwKind & ITEM_GROUP) != 0; }
    bool IsQuery() const { return (m_dwKind & ITEM_QUERY) != 0 && !IsGroup(); }
    bool IsServer() const { return (m_dwKind & (ITEM_GROUP | ITEM_QUERY)) == 0; }
    ServerInfo* Server() const { return IsServer() ? static_cast<ServerInfo*>(m_pObject) : nullptr; }
    SearchQuery* Query() const { return IsQuery() ? static_cast<SearchQuery*>(m_pObject) : nullptr; }
};
