#include "ui/DetailsText.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "core/DisplayText.h"
#include "core/FoundPlayer.h"
#include "core/ServerInfo.h"
#include "core/TextCompare.h"
#include "net/Address.h"
#include "search/SearchQuery.h"

namespace {

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
    char buffer[128];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return n < 0 ? std::string() : std::string(buffer, std::min<size_t>(n, sizeof buffer - 1));
}

bool IsPrintable(char c) {
    return c >= 0x20 && c <= 0x7E;
}

// Rule values come from the server: read them without trusting their range.
// A decimal number with a fraction, times a factor, truncated; NaN counts as
// 0 and anything beyond an int is held at its end.
int ScaledRuleValue(const std::string& value, double factor) {
    const double d = RuleValueToDouble(value) * factor;
    if (std::isnan(d))
        return 0;
    if (d >= static_cast<double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (d <= static_cast<double>(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return static_cast<int>(d);
}

// A whole number as atoi reads it, held within an int.
int WholeRuleValue(const std::string& value) {
    const long long n = std::strtoll(value.c_str(), nullptr, 10);
    if (n > std::numeric_limits<int>::max())
        return std::numeric_limits<int>::max();
    if (n < std::numeric_limits<int>::min())
        return std::numeric_limits<int>::min();
    return static_cast<int>(n);
}

std::string MinutesSeconds(long long seconds) {
    return Format("%lld:%02lld", seconds / 60, seconds % 60);
}

} // namespace

std::string ServerFlagsText(const ServerInfo& server) {
    std::string text(3, '.');
    text[0] = server.m_bPassword ? 'P' : '-';
    if (IsPrintable(server.m_cServerType))
        text[1] = server.m_cServerType;
    if (IsPrintable(server.m_cOS))
        text[2] = server.m_cOS;
    return text;
}

std::string ServerProtocolText(const ServerInfo& server) {
    switch (server.m_nProtocol) {
    case PROTOCOL_A2S:
        return "A2S";
    case PROTOCOL_LEGACY:
        return "Old";
    default:
        return "?";
    }
}

std::string FirstLine(const std::string& text) {
    const size_t end = text.find("\r\n");
    return end == std::string::npos ? text : text.substr(0, end);
}

std::string ConnectedTimeText(const PlayerInfo& player) {
    return Format("%d:%02d:%02d", player.m_nMinutes / 60, player.m_nMinutes % 60,
                  player.m_nSeconds);
}

std::string ServerCellText(const ServerInfo& server, int column) {
    switch (column) {
    case 0:
        return server.m_strName;
    case 1:
        return server.m_strGame;
    case 2:
        return server.m_strMap;
    case 3:
        return server.m_nPing != 0 ? std::to_string(server.m_nPlayers) : std::string("--");
    case 4:
        return std::to_string(server.m_nMaxPlayers);
    case 5:
        return server.m_nPing != 0 ? std::to_string(server.m_nPing) : std::string("-");
    case 6:
        return FormatAddress(server.m_dwAddress, server.m_wPort);
    case 7:
        return ServerFlagsText(server);
    case 8:
        return FirstLine(server.m_strAnnotation);
    case 9:
        return ServerProtocolText(server);
    default:
        return {};
    }
}

std::string PlayerCellText(const PlayerInfo& player, int column) {
    switch (column) {
    case 0:
        return player.m_strName;
    case 1:
        return std::to_string(player.m_nIndex);
    case 2:
        return std::to_string(player.m_nFrags);
    case 3:
        // The difference of two untrusted counts may not fit an int.
        return Format("%+lld", static_cast<long long>(player.m_nFrags) - player.m_nPrevFrags);
    case 4:
        return ConnectedTimeText(player);
    default:
        return {};
    }
}

std::string QueryCellText(const SearchQuery& query, int column) {
    switch (column) {
    case 0:
        return query.m_strName;
    case 1:
        return std::to_string(query.m_players.size());
    case 2:
        return std::to_string(query.m_servers.size());
    case 3:
        return query.m_strExpression;
    case 4:
        return std::string{(query.m_dwFlags & QF_REGEX) ? 'R' : '-',
                           (query.m_dwFlags & QF_MATCHCASE) ? 'C' : '-'};
    default:
        return {};
    }
}

std::string ResultCellText(const FoundPlayer& found, int column) {
    const PlayerInfo& player = *found.m_pPlayer;
    switch (column) {
    case 0:
        return player.m_strName;
    case 1:
        return found.m_pServer
                   ? FormatAddress(found.m_pServer->m_dwAddress, found.m_pServer->m_wPort)
                   : std::string();
    case 2:
        return found.m_pServer ? found.m_pServer->m_strName : std::string();
    case 3:
        return std::to_string(player.m_nFrags);
    case 4:
        return ConnectedTimeText(player);
    default:
        return {};
    }
}

std::string RuleCellText(const RuleInfo& rule, int column) {
    switch (column) {
    case 0:
        return rule.m_strKey;
    case 1:
        return rule.m_strValue;
    default:
        return {};
    }
}

std::string ServerTimeText(const ServerInfo& server) {
    std::string limit = "?";
    std::string elapsed = "?";
    if (server.m_pRules && !server.m_pRules->IsEmpty()) {
        long long limitSeconds = 0;
        if (const std::string* value = server.FindRule("mp_timelimit")) {
            limitSeconds = ScaledRuleValue(*value, 60.0);
            limit = limitSeconds % 60 != 0 ? MinutesSeconds(limitSeconds)
                                           : std::to_string(limitSeconds / 60);
        }
        if (const std::string* value = server.FindRule("mp_timeleft")) {
            const long long left = WholeRuleValue(*value);
            if (left > limitSeconds)
                return Format("[%lld:%02lld left]", left / 60, left % 60);
            elapsed = MinutesSeconds(limitSeconds - left);
        }
    }
    // Appended piece by piece: GCC 12 at -O3 warns falsely about a chain of
    // + that starts with a literal.
    std::string text = "[";
    text.append(elapsed).append("/").append(limit).append("]");
    return text;
}

std::string ServerContactText(const ServerInfo& server) {
    const std::string* value = server.FindRule("sv_contact");
    if (!value)
        return {};
    if (value->size() >= 6 && EqualsNoCase(std::string_view(*value).substr(0, 6), "votes:"))
        return value->substr(0, value->find('\t'));
    return *value;
}

std::string ServerPlayerText(const ServerInfo& server) {
    const int reserved = server.GetReservedSlots();
    if (reserved >= 0)
        return Format("%d/%d/%d", server.m_nPlayers, reserved, server.m_nMaxPlayers);
    return Format("%d/%d", server.m_nPlayers, server.m_nMaxPlayers);
}

QString ServerSummaryText(const ServerInfo& server) {
    // Each record text is converted on its own: a name in UTF-8 and an
    // annotation in Windows-1252 can sit on the same line.
    QString text = QString::fromLatin1(FormatAddress(server.m_dwAddress, server.m_wPort)) +
                   QStringLiteral("  ") + DisplayText(server.m_strGame) + QStringLiteral("->") +
                   DisplayText(server.m_strMap) + QStringLiteral("  ") +
                   QString::fromLatin1(ServerTimeText(server)) + QStringLiteral("  (") +
                   QString::fromLatin1(ServerFlagsText(server)) + QStringLiteral(")  ") +
                   QString::fromLatin1(ServerPlayerText(server)) + QStringLiteral("   <") +
                   QString::number(static_cast<int>(server.m_nPing)) + QStringLiteral(">  ") +
                   DisplayText(server.m_strName);
    const std::string contact = ServerContactText(server);
    if (!contact.empty())
        text += QStringLiteral("  (") + DisplayText(contact) + QStringLiteral(")");
    if (!server.m_strAnnotation.empty())
        text += QStringLiteral("  ") + DisplayText(FirstLine(server.m_strAnnotation));
    return text;
}

QString PlayersStatusText(const ServerInfo& server, int rows) {
    QString text;
    if (server.m_pPlayers) {
        const int players = server.m_nPlayers;
        if (rows == players)
            text = QStringLiteral("%1 player(s) on server").arg(rows);
        else
            text = QStringLiteral("%1 active and %2 inactive player(s) on server")
                       .arg(rows)
                       .arg(players - rows);
    }
    const int reserved = server.GetReservedSlots();
    if (reserved > 0)
        text += QStringLiteral(", %1 slot(s) reserved").arg(reserved);
    return text;
}
