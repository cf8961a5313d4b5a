#include "search/ServerFilter.h"

#include "core/ServerInfo.h"
#include "core/TextCompare.h"

namespace {

// Only the first character of the type and OS texts counts ("Dedicated",
// "Listen", "Linux", "Win32"), compared with what the server reported.
bool FirstCharacterMatches(const std::string& wanted, char reported) {
    return FoldCase(static_cast<unsigned char>(wanted.front())) ==
           static_cast<unsigned char>(reported);
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

void AppendItem(std::string& text, std::string_view item) {
    if (!text.empty())
        text += "  ";
    text += item;
}

// "(16)", "<400>": a number between two marks.
std::string Bracketed(char open, long long number, char close) {
    std::string item(1, open);
    item += std::to_string(number);
    item += close;
    return item;
}

} // namespace

bool ServerFilter::Matches(const ServerInfo& server) const {
    if (!IsActive())
        return false;
    if ((m_dwFlags & FILTER_GAME) && !m_strGame.empty() &&
        !EqualsNoCase(server.m_strGame, m_strGame))
        return false;
    if ((m_dwFlags & FILTER_MAP) && !m_strMap.empty() &&
        !StartsWithNoCase(server.m_strMap, m_strMap))
        return false;
    // A server that never answered reports 0 and fails the number tests.
    if ((m_dwFlags & FILTER_MAXPLAYERS) &&
        (server.m_nMaxPlayers == 0 || server.m_nMaxPlayers > m_nMaxPlayers))
        return false;
    if (m_dwFlags & FILTER_PING) {
        const auto ping = static_cast<int32_t>(server.m_nPing);
        if (ping == 0 || ping > static_cast<int32_t>(m_nMaxPing))
            return false;
    }
    if ((m_dwFlags & FILTER_TYPE) && !m_strServerType.empty() &&
        !FirstCharacterMatches(m_strServerType, server.m_cServerType))
        return false;
    if ((m_dwFlags & FILTER_OS) && !m_strOS.empty() &&
        !FirstCharacterMatches(m_strOS, server.m_cOS))
        return false;
    if ((m_dwFlags & FILTER_PASSWORD) &&
        (server.m_bPassword != 0) != ((m_dwFlags & FILTER_PASSWORD_YES) != 0))
        return false;
    if (m_dwFlags & FILTER_EMPTY) {
        // Whether a server is empty is known only from its player list.
        if (!server.m_pPlayers)
            return false;
        if (server.m_pPlayers->IsEmpty() != ((m_dwFlags & FILTER_EMPTY_YES) != 0))
            return false;
    }
    if ((m_dwFlags & FILTER_FULL) &&
        (server.m_nPlayers == server.m_nMaxPlayers) != ((m_dwFlags & FILTER_FULL_YES) != 0))
        return false;
    return true;
}

std::string ServerFilter::GetDescription() const {
    if (!IsActive())
        return "<no filter active>";
    std::string text;
    if (m_dwFlags & FILTER_GAME)
        AppendItem(text, ToLower(m_strGame));
    if (m_dwFlags & FILTER_MAP)
        AppendItem(text, ToLower(m_strMap));
    if (m_dwFlags & FILTER_MAXPLAYERS)
        AppendItem(text, Bracketed('(', m_nMaxPlayers, ')'));
    if (m_dwFlags & FILTER_PING)
        AppendItem(text, Bracketed('<', static_cast<int32_t>(m_nMaxPing), '>'));
    if (m_dwFlags & FILTER_PASSWORD)
        AppendItem(text, (m_dwFlags & FILTER_PASSWORD_YES) ? "password" : "no password");
    if (m_dwFlags & FILTER_EMPTY)
        AppendItem(text, (m_dwFlags & FILTER_EMPTY_YES) ? "empty" : "not empty");
    if (m_dwFlags & FILTER_FULL)
        AppendItem(text, (m_dwFlags & FILTER_FULL_YES) ? "full" : "not full");
    if ((m_dwFlags & FILTER_TYPE) && !m_strServerType.empty())
        AppendItem(text, ToLower(m_strServerType));
    if ((m_dwFlags & FILTER_OS) && !m_strOS.empty())
        AppendItem(text, ToLower(m_strOS));
    return text;
}
