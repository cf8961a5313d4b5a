#include "ui/DetailsSearch.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <limits>

#include "net/Address.h"

namespace {

// A whole number as scanf's "%d" reads it at pos: white space skipped, a
// sign, digits. Held within an int; false when there are no digits.
bool ReadInt(const std::string& text, size_t& pos, int& value) {
    while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos])))
        ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-'))
        negative = text[pos++] == '-';
    const size_t digits = pos;
    long long n = 0;
    while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))) {
        if (n <= std::numeric_limits<int>::max())
            n = n * 10 + (text[pos] - '0');
        ++pos;
    }
    if (pos == digits)
        return false;
    n = negative ? -n : n;
    if (n > std::numeric_limits<int>::max())
        n = std::numeric_limits<int>::max();
    if (n < std::numeric_limits<int>::min())
        n = std::numeric_limits<int>::min();
    value = static_cast<int>(n);
    return true;
}

int WholeNumber(const std::string& text) {
    size_t pos = 0;
    int value = 0;
    ReadInt(text, pos, value);
    return value;
}

uint8_t SmallCount(const std::string& text) {
    const int n = WholeNumber(text);
    return static_cast<uint8_t>(n < 0 ? 0 : (n > 255 ? 255 : n));
}

// "%d.%d.%d.%d:%d"; missing numbers are 0.
void ReadEndpoint(const std::string& text, uint32_t& address, uint16_t* port) {
    int n[5] = {0, 0, 0, 0, 0};
    ScanEndpoint(text, n);
    address = (static_cast<uint32_t>(n[0]) << 24) | (static_cast<uint32_t>(n[1]) << 16) |
              (static_cast<uint32_t>(n[2]) << 8) | static_cast<uint32_t>(n[3]);
    if (port)
        *port = static_cast<uint16_t>(n[4]);
}

// "%d:%d" as hours and minutes, in minutes.
int HoursMinutes(const std::string& text) {
    size_t pos = 0;
    int hours = 0;
    int minutes = 0;
    if (ReadInt(text, pos, hours) && pos < text.size() && text[pos] == ':') {
        ++pos;
        ReadInt(text, pos, minutes);
    }
    return static_cast<int>(std::clamp<long long>(static_cast<long long>(hours) * 60 + minutes,
                                                  std::numeric_limits<int>::min(),
                                                  std::numeric_limits<int>::max()));
}

} // namespace

void FillServerProbe(ServerInfo& probe, const std::string& text, int key) {
    switch (key) {
    case 1:
        ReadEndpoint(text, probe.m_dwAddress, nullptr);
        break;
    case 2:
        probe.m_strName = text;
        break;
    case 3:
        probe.m_nPing = static_cast<uint32_t>(std::max(0, WholeNumber(text)));
        break;
    case 4:
        probe.m_strGame = text;
        break;
    case 5:
        probe.m_strMap = text;
        break;
    case 6:
        probe.m_nPlayers = SmallCount(text);
        break;
    case 7:
        probe.m_nMaxPlayers = SmallCount(text);
        break;
    case 8:
        probe.m_bPassword = !text.empty() && (text[0] == 'P' || text[0] == 'p');
        if (text.size() > 1)
            probe.m_cServerType = text[1];
        if (text.size() > 2)
            probe.m_cOS = text[2];
        break;
    case 9:
        probe.m_strAnnotation = text;
        break;
    case 10:
        probe.m_strHostName = text;
        break;
    default:
        break;
    }
}

void FillPlayerProbe(PlayerInfo& probe, const std::string& text, int key) {
    switch (key) {
    case 1:
        probe.m_nIndex = SmallCount(text);
        break;
    case 2:
        probe.m_strName = text;
        break;
    case 3:
        probe.m_nFrags = WholeNumber(text);
        break;
    case 4:
        probe.m_nFrags = WholeNumber(text);
        probe.m_nPrevFrags = 0;
        break;
    case 5:
        probe.m_nMinutes = HoursMinutes(text);
        break;
    default:
        break;
    }
}

void FillQueryProbe(SearchQuery& probe, const std::string& text, int key, size_t countLimit) {
    const auto count = [&] {
        const int n = WholeNumber(text);
        return std::min(static_cast<size_t>(std::max(0, n)), countLimit);
    };
    switch (key) {
    case 1:
        probe.m_strName = text;
        break;
    case 2:
        probe.m_strExpression = text;
        break;
    case 3:
        probe.m_players.resize(count());
        break;
    case 4:
        probe.m_servers.resize(count());
        break;
    default:
        break;
    }
}

void FillResultProbe(FoundPlayer& probe, ServerInfo& probeServer, const std::string& text,
                     int key) {
    probe.m_pServer = &probeServer;
    switch (key) {
    case 1:
    case 2:
    case 3:
        FillPlayerProbe(*probe.m_pPlayer, text, key);
        break;
    case 4:
        // The results' fourth key is the connected time.
        FillPlayerProbe(*probe.m_pPlayer, text, 5);
        break;
    case 5:
        ReadEndpoint(text, probeServer.m_dwAddress, &probeServer.m_wPort);
        break;
    case 6:
        probeServer.m_strName = text;
        break;
    default:
        break;
    }
}

void FillRuleProbe(RuleInfo& probe, const std::string& text, int key) {
    if (key == 1)
        probe.m_strKey = text;
    else if (key == 2)
        probe.m_strValue = text;
}
