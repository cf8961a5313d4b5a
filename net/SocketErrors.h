#pragma once

#include <string>

class INetReporter;

// The networking code's error report for the calling thread's last error:
// "%s: (0x%08x) %s\n" with the system's text for the code, or
// "%s: last error = 0x%08x" when the system has none; error icon, OK.
void ReportLastError(INetReporter& reporter, const std::string& context);
void ReportErrorCode(INetReporter& reporter, const std::string& context, int code);
std::string FormatErrorReport(const std::string& context, int code);
// "%s: %d\n", for an error code that came with a socket notification.
void ReportSocketCode(INetReporter& reporter, const std::string& context, int code);

// What a failed send or receive on a connected UDP socket means.
enum class SocketFailure {
    Nothing,  // no datagram waiting, or a signal: try again later
    NoAnswer, // an ICMP error about an earlier datagram: the server does not answer
    Report,   // anything else is the user's to see and act on
};
SocketFailure ClassifySocketError(int code);
// Reports a failed send or receive as its kind calls for: nothing, the
// latest reason in the status line (a server that does not answer is shown
// as such in its row; a box per server would bury the user during a bulk
// refresh), or the error box.
void ReportSocketFailure(INetReporter& reporter, const char* context, int error);

// The socket layer's start-up check. Returns the largest UDP datagram, or 0
// with the message to show when sockets cannot be used.
int StartSockets(std::string& failureText);
constexpr int kMaxUdpDatagram = 65507;
