#include "core/ServerInfo.h"

#include <cmath>
#include <cstdlib>
#include <limits>

#include "core/TextCompare.h"

ServerInfo::~ServerInfo() = default;

void ServerInfo::SetPlayers(std::unique_ptr<PlayerList> players) { m_pPlayers = std::move(players); }

void ServerInfo::ResetRules() {
    if (m_pRules)
        m_pRules->RemoveAll();
    else
        m_pRules = std::make_unique<RuleList>(1);
}

const std::string* ServerInfo::FindRule(std::string_view key) const {
    if (!m_pRules || m_pRules->IsEmpty())
        return nullptr;
    RuleInfo probe;
    probe.m_strKey = std::string(key);
    // The list is kept by rule name when it came from a reply; a list with
    // other keys is searched one by one.
    if (m_pRules->GetSortKeys().size() == 1 && m_pRules->GetSortKeys()[0] == 1) {
        const int i = m_pRules->Find(probe);
        return i >= 0 ? &m_pRules->GetAt(i)->m_strValue : nullptr;
    }
    for (const auto& rule : *m_pRules)
        if (EqualsNoCase(rule->m_strKey, key))
            return &rule->m_strValue;
    return nullptr;
}

int ServerInfo::GetReservedSlots() const {
    const std::string* value = FindRule("reserve_slots");
    return value ? RuleValueToInt(*value) : -1;
}

int RuleValueToInt(std::string_view value) {
    // strtod needs a terminated string; rule values are short.
    const std::string text(value);
    const double d = std::strtod(text.c_str(), nullptr);
    if (!std::isfinite(d))
        return d > 0 ? std::numeric_limits<int>::max() : std::numeric_limits<int>::min();
    if (d >= static_cast<double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (d <= static_cast<double>(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return static_cast<int>(d);
}

uint8_t QueryProtocolOf(const ServerInfo& server) {
    if (server.m_nProtocol != PROTOCOL_UNKNOWN)
        return server.m_nProtocol;
    const bool won = (server.m_dwFlags & GROUP_WON) != 0;
    const bool steam = (server.m_dwFlags & GROUP_STEAM) != 0;
    if (won == steam)
        return PROTOCOL_UNKNOWN;
    return won ? PROTOCOL_LEGACY : PROTOCOL_A2S;
}
