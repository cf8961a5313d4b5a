#pragma once

#include <cstdint>
#include <string>

class INetReporter;

// An IPv4 address is a 32-bit number with the first octet in the most
// significant byte (0 = no address); a port is 16 bits; both in host order
// everywhere but at the socket boundary.

// "%d.%d.%d.%d"
std::string FormatIP(uint32_t address);
// "%s:%d"
std::string FormatAddress(uint32_t address, uint16_t port);
// Four numbers separated by '.', read as scanf's "%d.%d.%d.%d" would: white
// space before a number is skipped, anything after the fourth is ignored,
// no range check (each number is shifted in by 8 bits). Fewer than four: 0.
uint32_t ParseIP(const std::string& text);
// "%d.%d.%d.%d:%d" as scanf reads it; returns how many numbers were read.
int ScanEndpoint(const std::string& text, int numbers[5]);

// Blocking forward look-up with the wait cursor: the first IPv4 address, or
// 0. A failed look-up, a name without any IPv4 address among them, shows the
// error report "Could not resolve hostname '%s'".
uint32_t ResolveHostName(INetReporter& reporter, const std::string& hostName);
// Blocking reverse look-up with the wait cursor; empty with the error report
// "Could not resolve ip address" on failure.
std::string LookupHostName(INetReporter& reporter, uint32_t address);
