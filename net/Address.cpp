#include "net/Address.h"

#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "net/INetReporter.h"
#include "net/SocketErrors.h"

namespace {

// One "%d" of scanf: white space, an optional sign, at least one digit.
// Values beyond int are clamped, where scanf would be undefined.
bool ScanInt(const std::string& text, size_t& pos, int& value) {
    while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos])))
        ++pos;
    size_t p = pos;
    bool negative = false;
    if (p < text.size() && (text[p] == '+' || text[p] == '-'))
        negative = text[p++] == '-';
    if (p >= text.size() || !std::isdigit(static_cast<unsigned char>(text[p])))
        return false;
    long long v = 0;
    while (p < text.size() && std::isdigit(static_cast<unsigned char>(text[p]))) {
        if (v < 10000000000LL)
            v = v * 10 + (text[p] - '0');
        ++p;
    }
    if (negative)
        v = -v;
    if (v > 2147483647LL)
        v = 2147483647LL;
    if (v < -2147483648LL)
        v = -2147483648LL;
    value = static_cast<int>(v);
    pos = p;
    return true;
}

// Reads numbers separated by the given literal characters, as scanf does.
int ScanNumbers(const std::string& text, const char* separators, int* numbers, int count) {
    size_t pos = 0;
    for (int i = 0; i < count; ++i) {
        if (i > 0) {
            if (pos >= text.size() || text[pos] != separators[i - 1])
                return i;
            ++pos;
        }
        if (!ScanInt(text, pos, numbers[i]))
            return i;
    }
    return count;
}

} // namespace

std::string FormatIP(uint32_t address) {
    return std::to_string((address >> 24) & 0xFF) + "." + std::to_string((address >> 16) & 0xFF) +
           "." + std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
}

std::string FormatAddress(uint32_t address, uint16_t port) {
    return FormatIP(address) + ":" + std::to_string(port);
}

uint32_t ParseIP(const std::string& text) {
    int n[4] = {0, 0, 0, 0};
    if (ScanNumbers(text, "...", n, 4) < 4)
        return 0;
    uint32_t value = static_cast<uint32_t>(n[0]);
    for (int i = 1; i < 4; ++i)
        value = (value << 8) | static_cast<uint32_t>(n[i]);
    return value;
}

int ScanEndpoint(const std::string& text, int numbers[5]) {
    return ScanNumbers(text, "...:", numbers, 5);
}

uint32_t ResolveHostName(INetReporter& reporter, const std::string& hostName) {
    WaitCursor wait(reporter);
    // The servers speak IPv4 only: an answer that lists an IPv6 address
    // first must not hide the IPv4 one behind it.
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* result = nullptr;
    const int rc = getaddrinfo(hostName.c_str(), nullptr, &hints, &result);
    if (rc != 0) {
        const std::string context = "Could not resolve hostname '" + hostName + "'";
        if (rc == EAI_SYSTEM)
            ReportLastError(reporter, context);
        else
            reporter.ReportNetError(context + ": " + gai_strerror(rc) + "\n");
        return 0;
    }
    uint32_t address = 0;
    for (const addrinfo* answer = result; answer && address == 0; answer = answer->ai_next) {
        if (answer->ai_family != AF_INET || answer->ai_addrlen < sizeof(sockaddr_in))
            continue;
        sockaddr_in sin;
        std::memcpy(&sin, answer->ai_addr, sizeof sin);
        address = ntohl(sin.sin_addr.s_addr);
    }
    freeaddrinfo(result);
    return address;
}

std::string LookupHostName(INetReporter& reporter, uint32_t address) {
    WaitCursor wait(reporter);
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_addr.s_addr = htonl(address);
    char host[NI_MAXHOST];
    const int rc = getnameinfo(reinterpret_cast<const sockaddr*>(&sin), sizeof sin, host,
                               sizeof host, nullptr, 0, NI_NAMEREQD);
    if (rc != 0) {
        const std::string context = "Could not resolve ip address";
        if (rc == EAI_SYSTEM)
            ReportLastError(reporter, context);
        else
            reporter.ReportNetError(context + ": " + gai_strerror(rc) + "\n");
        return {};
    }
    return host;
}
