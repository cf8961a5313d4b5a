#pragma once

#include <cstdint>
#include <string>

// One player of a server's last players answer.
struct PlayerInfo {
    int32_t m_nFrags = 0;
    int32_t m_nMinutes = 0; // whole minutes connected
    int32_t m_nSeconds = 0; // the remaining seconds
    std::string m_strName;
    uint8_t m_nIndex = 0;
    // Frags of the same slot in the server's previous players answer; equal
    // to m_nFrags when there was none. "Diff." is m_nFrags - m_nPrevFrags.
    int32_t m_nPrevFrags = 0;

    int32_t GetConnectedSeconds() const { return m_nMinutes * 60 + m_nSeconds; }
};
