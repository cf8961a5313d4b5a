#include "net/SocketErrors.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "net/INetReporter.h"

std::string FormatErrorReport(const std::string& context, int code) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08x", static_cast<unsigned>(code));
    // strerror answers every code; "Unknown error" means it has no text.
    const char* text = code > 0 ? std::strerror(code) : nullptr;
    if (text && *text && std::strncmp(text, "Unknown error", 13) != 0)
        return context + ": (" + hex + ") " + text + "\n";
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

int StartSockets(std::string& failureText) {
    // BSD sockets need no start-up here; the largest UDP payload over IPv4
    // is 65507 bytes.
    failureText.clear();
    return kMaxUdpDatagram;
}
