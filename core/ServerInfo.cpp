#include "core/ServerInfo.h"

#include <charconv>
#include <cmath>
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

double RuleValueToDouble(std::string_view value) {
    // Not strtod: it reads the decimal point of the user's locale, and a
    // server writes "20.5" whatever language its players speak.
    size_t i = 0;
    while (i < value.size() && (value[i] == ' ' || (value[i] >= '\t' && value[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < value.size() && (value[i] == '+' || value[i] == '-'))
        negative = value[i++] == '-';
    const char* first = value.data() + i;
    const char* last = value.data() + value.size();
    if (first == last || *first == '+' || *first == '-')
        return 0;
    double d = 0;
    if (last - first > 2 && first[0] == '0' && (first[1] == 'x' || first[1] == 'X')) {
        // "0x" alone reads as the 0 before the x.
        if (std::from_chars(first + 2, last, d, std::chars_format::hex).ec != std::errc())
            d = 0;
        return negative ? -d : d;
    }
    const auto result = std::from_chars(first, last, d);
    if (result.ec == std::errc::result_out_of_range) {
        // Beyond a double: a negative exponent went towards 0, anything else
        // towards infinity, as strtod saturates.
        const std::string_view used(first, result.ptr - first);
        const size_t e = used.find_first_of("eE");
        d = e != std::string_view::npos && e + 1 < used.size() && used[e + 1] == '-'
                ? 0
                : std::numeric_limits<double>::infinity();
    } else if (result.ec != std::errc()) {
        d = 0;
    }
    return negative ? -d : d;
}

int RuleValueToInt(std::string_view value) {
    const double d = RuleValueToDouble(value);
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
