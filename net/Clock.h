#pragma once

#include <chrono>
#include <cstdint>

// Every time stamp of the networking code is a count of nanoseconds on the
// monotonic clock; 0 means "no time". Elapsed times are whole milliseconds.
using SteadyClock = std::chrono::steady_clock;

inline uint64_t NowTicks() {
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
        SteadyClock::now().time_since_epoch());
    return static_cast<uint64_t>(ns.count()) | 1u; // never 0
}

inline uint64_t ElapsedMs(uint64_t since, uint64_t now) {
    return now > since ? (now - since) / 1000000u : 0;
}

inline uint64_t ElapsedMs(uint64_t since) { return ElapsedMs(since, NowTicks()); }

// Rounded to the nearest millisecond, for measured round trips.
inline uint64_t RoundedMs(uint64_t since, uint64_t now) {
    return now > since ? (now - since + 500000u) / 1000000u : 0;
}
