#pragma once

#include <cstdint>
#include <string>

class ServerInfo;

constexpr uint32_t FILTER_PING = 0x1;
constexpr uint32_t FILTER_MAXPLAYERS = 0x2;
constexpr uint32_t FILTER_GAME = 0x4;
constexpr uint32_t FILTER_MAP = 0x8;
constexpr uint32_t FILTER_TYPE = 0x10;
constexpr uint32_t FILTER_OS = 0x20;
constexpr uint32_t FILTER_PASSWORD = 0x40;
constexpr uint32_t FILTER_EMPTY = 0x80;
constexpr uint32_t FILTER_FULL = 0x100;
constexpr uint32_t FILTER_CRITERIA = 0x1FF;
constexpr uint32_t FILTER_PASSWORD_YES = 0x10000;
constexpr uint32_t FILTER_EMPTY_YES = 0x20000;
constexpr uint32_t FILTER_FULL_YES = 0x40000;

// Criteria a server must pass: the server filter decides the "Filtered"
// group, the master-server filter is sent with the next list request.
class ServerFilter {
public:
    bool IsActive() const { return (m_dwFlags & FILTER_CRITERIA) != 0; }
    bool Matches(const ServerInfo& server) const;
    // One line, such as "cstrike  (16)  not empty", or "<no filter active>".
    std::string GetDescription() const;

    bool operator==(const ServerFilter&) const = default;

    uint32_t m_dwFlags = 0;
    uint32_t m_nMaxPing = 400;
    uint8_t m_nMaxPlayers = 16;
    std::string m_strServerType;
    std::string m_strOS;
    std::string m_strGame;
    std::string m_strMap;
};
