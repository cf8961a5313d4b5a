#include "net/SocketErrors.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "net/INetReporter.h"

namespace {

// strerror answers every code, an unknown one with a made-up text in the
// user's language; whether the system knows the code is asked apart.
bool HasSystemText(int code) {
    if (code <= 0)
        return false;
#if defined(__GLIBC__) && (__GLIBC__ > 2 || __GLIBC_MINOR__ >= 32)
    return strerrorname_np(code) != nullptr;
#else
    const char* text = std::strerror(code);
    return text && *text && std::strncmp(text, "Unknown error", 13) != 0;
#endif
}

} // namespace

std::string FormatErrorReport(const std::string& context, int code) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08x", static_cast<unsigned>(code));
    if (HasSystemText(code))
        return context + ": (" + hex + ") " + std::strerror(code) + "\n";
    return context + ": last error = " + hex;
}

void ReportErrorCode(INetReporter& reporter, const std::string& context, int code) {
    reporter.ReportNetError(FormatErrorReport(context, code));
}

void ReportLastError(INetReporter& reporter, const std::string& context) {
    ReportErrorCode(reporter, context, errno);
}

void ReportSocketCode(INetReporter& reporter, const std::string& context, int code) {
    reporter.ReportNetError(context + ": " + std::to_string(code) + "\n");
}

SocketFailure ClassifySocketError(int code) {
    switch (code) {
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
    case EINTR:
        return SocketFailure::Nothing;
    // Linux hands a connected UDP socket every ICMP error its datagrams
    // earned: port, host or network unreachable, "administratively
    // prohibited", time exceeded, a local firewall's refusal. A bulk refresh
    // of an internet list meets them by the dozen.
    case ECONNREFUSED:
    case ECONNRESET:
    case EHOSTUNREACH:
    case ENETUNREACH:
    case EHOSTDOWN:
    case ENETDOWN:
    case ENONET:
    case ENOPROTOOPT:
    case EOPNOTSUPP:
    case EMSGSIZE:
    case EACCES:
    case EPERM:
    case EPROTO:
    case ETIMEDOUT:
        return SocketFailure::NoAnswer;
    default:
        return SocketFailure::Report;
    }
}

int StartSockets(std::string& failureText) {
    // BSD sockets need no start-up here; the largest UDP payload over IPv4
    // is 65507 bytes.
    failureText.clear();
    return kMaxUdpDatagram;
}

// A server that does not answer is shown as such in its row; a box per
// server would bury the user during a bulk refresh, so the status line gets
// the latest reason instead. A port-unreachable is the common case and needs
// no word at all.
void ReportSocketFailure(INetReporter& reporter, const char* context, int error) {
    switch (ClassifySocketError(error)) {
    case SocketFailure::Nothing:
        break;
    case SocketFailure::NoAnswer:
        if (error != ECONNREFUSED) {
            std::string line = FormatErrorReport(context, error);
            if (!line.empty() && line.back() == '\n')
                line.pop_back();
            reporter.SetStatusMessage(line);
        }
        break;
    case SocketFailure::Report:
        ReportErrorCode(reporter, context, error);
        break;
    }
}
