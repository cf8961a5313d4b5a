#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "core/PlayerList.h"
#include "core/RuleList.h"

// Group bits of ServerInfo::m_dwFlags, one tree group per bit.
constexpr uint32_t GROUP_FAVOURITES = 0x10000;
constexpr uint32_t GROUP_WON = 0x20000;
constexpr uint32_t GROUP_MANUAL = 0x40000;
constexpr uint32_t GROUP_FILTERED = 0x80000;
constexpr uint32_t GROUP_FOUND = 0x100000;
// Servers listed by Steam (its master server or its web service).
constexpr uint32_t GROUP_STEAM = 0x200000;
constexpr uint32_t GROUP_ALL = 0x3F0000;

// What a server is watched for: the alert comes when the condition becomes
// true (m_nWatchCount free places, or at least m_nWatchCount players).
constexpr uint8_t WATCH_NONE = 0;
constexpr uint8_t WATCH_FREE_PLACES = 1;
constexpr uint8_t WATCH_MIN_PLAYERS = 2;

// How a server is queried: the old text queries ("details", "players",
// "rules") or the A2S queries of today's servers. A server of unknown
// protocol (added by hand) is asked both ways and keeps whichever answers.
constexpr uint8_t PROTOCOL_UNKNOWN = 0;
constexpr uint8_t PROTOCOL_LEGACY = 1;
constexpr uint8_t PROTOCOL_A2S = 2;

// One game server as the program knows it.
class ServerInfo {
public:
    ServerInfo() = default;
    ServerInfo(uint32_t address, uint16_t port) : m_dwAddress(address), m_wPort(port) {}
    ~ServerInfo();
    ServerInfo(const ServerInfo&) = delete;
    ServerInfo& operator=(const ServerInfo&) = delete;

    // Takes the new list; the previous one and its players are deleted.
    void SetPlayers(std::unique_ptr<PlayerList> players);
    // Empties the rule list, creating an empty one (key 1) when there is none.
    void ResetRules();
    // The "reserve_slots" rule truncated towards zero; -1 without rules or
    // without that rule.
    int GetReservedSlots() const;
    // The value of a rule (name compared without case), or none.
    const std::string* FindRule(std::string_view key) const;
    // Number of entries of the player list, -1 when there is none.
    int GetPlayerListSize() const { return m_pPlayers ? m_pPlayers->GetSize() : -1; }

    uint32_t m_dwFlags = 0;
    uint32_t m_nPing = 0; // ms; 0 = unknown (never answered or timed out)
    uint32_t m_dwAddress = 0;
    uint16_t m_wPort = 0;
    uint8_t m_bDeleted = 0;
    uint8_t m_nPlayers = 0;
    uint8_t m_nMaxPlayers = 0;
    char m_cServerType = 0; // 'd' dedicated, 'l' listen, as received
    char m_cOS = 0;         // 'l' Linux, 'w' Windows, as received
    uint8_t m_bPassword = 0;
    std::string m_strName;
    std::string m_strGame;
    std::string m_strMap;
    std::string m_strAnnotation;
    std::string m_strPassword;
    std::string m_strHostName;
    std::string m_strError;
    uint8_t m_bConnectByHostName = 0;
    uint8_t m_nProtocol = PROTOCOL_UNKNOWN;
    uint8_t m_nWatchKind = WATCH_NONE;
    int32_t m_nWatchCount = 0;
    std::unique_ptr<PlayerList> m_pPlayers;
    std::unique_ptr<RuleList> m_pRules;
};

// How the server is asked next: its own protocol once known, else that of
// the list it came from (WON: the old queries, Steam: A2S); unknown for a
// server added by hand, or listed by both, that has not answered yet.
uint8_t QueryProtocolOf(const ServerInfo& server);

// The number at the start of a rule value as strtod reads it in the C locale,
// in every locale of the user (0 when there are no digits).
double RuleValueToDouble(std::string_view value);
// The same number truncated towards zero and held within an int.
int RuleValueToInt(std::string_view value);
