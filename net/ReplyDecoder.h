#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <variant>
#include <vector>

// Pure decoding of the datagrams game servers and the master server send.
// Every function reads only the bytes it is given. A reply cut short applies
// what it holds completely: the fields read to their end, the list entries
// read whole; a field or entry that runs past the end is dropped with all
// that follows it.

// 'C' and 'm': the fields of the table in order; fieldsRead says how many of
// them were complete (1 = only the address text, 7 = all of 'C', 11 = all of
// 'm').
struct DetailsReply {
    bool extended = false; // 'm' rather than 'C'
    int fieldsRead = 0;
    std::string name;
    std::string map;
    std::string game;
    uint8_t players = 0;
    uint8_t maxPlayers = 0;
    char serverType = 0;
    char os = 0;
    uint8_t password = 0; // as received: any non-zero byte means a password
};

struct PlayerEntry {
    uint8_t index = 0;
    std::string name;
    int32_t frags = 0;
    int32_t minutes = 0;
    int32_t seconds = 0;
};

// 'D': the entries read whole (the count byte may promise more). truncated:
// the payload ended before the count's last entry, or before the count.
struct PlayersReply {
    std::vector<PlayerEntry> players;
    bool truncated = false;
};

// 'E': the key/value pairs read whole; truncated as for 'D'.
struct RulesReply {
    std::vector<std::pair<std::string, std::string>> rules;
    bool truncated = false;
};

// 'l': the server's text, up to its terminator or the end of the datagram.
struct MessageReply {
    std::string text;
};

struct MasterEntry {
    uint32_t address = 0; // host order, first octet most significant
    uint16_t port = 0;
};

// 'f': the next batch id (0 = last batch) and the whole entries.
struct MasterListReply {
    uint32_t nextBatchId = 0;
    std::vector<MasterEntry> entries;
    int strayBytes = 0; // 0 to 5 bytes after the last whole entry, never read as one
};

// 'I', the A2S info reply: the fields in reply order, fieldsRead counting the
// complete ones as for DetailsReply: 1 protocol, 5 up to the game description,
// 6 app id, 9 bots, 13 VAC, 14 version (the three bytes app id 2400 adds
// before it belong to the version field), 15 the extra-data flags; then one
// more for each extra field present (spectator port and name count as two).
// The bits of InfoReply::extraFlags, in the order their fields come.
constexpr uint8_t kInfoGamePort = 0x80;
constexpr uint8_t kInfoSteamId = 0x10;
constexpr uint8_t kInfoSpectator = 0x40; // port and name
constexpr uint8_t kInfoKeywords = 0x20;
constexpr uint8_t kInfoGameId = 0x01;

struct InfoReply {
    int fieldsRead = 0;
    uint8_t protocol = 0;
    std::string name, map, folder, game;
    uint16_t appId = 0;
    uint8_t players = 0, maxPlayers = 0, bots = 0;
    char serverType = 0;
    char environment = 0;
    uint8_t visibility = 0; // 1 = password
    uint8_t vac = 0;
    std::string version;
    uint8_t extraFlags = 0;
    uint16_t gamePort = 0;
    uint64_t steamId = 0;
    uint16_t spectatorPort = 0;
    std::string spectatorName, keywords;
    uint64_t gameId = 0;
};

// 'A': the challenge to send back, its four bytes read little-endian. Fewer
// than four bytes make a MalformedReply.
struct ChallengeReply {
    uint32_t challenge = 0;
};

// 'd' and 'j', answered with silence.
struct IgnoredReply {
    uint8_t type = 0;
};

// Any other type byte, or a payload too short to mean anything ('f' without
// its batch id, 'A' without its four challenge bytes).
struct UnsupportedReply {
    uint8_t type = 0;
};
struct MalformedReply {
    uint8_t type = 0;
};

using DecodedReply =
    std::variant<DetailsReply, PlayersReply, RulesReply, MessageReply, MasterListReply,
                 IgnoredReply, UnsupportedReply, MalformedReply, InfoReply, ChallengeReply>;

// True when the datagram starts with the four 0xFF bytes of a reply.
bool HasReplyPrefix(std::span<const uint8_t> datagram);

// The type byte of a datagram (0 when it is shorter than five bytes) and its
// payload (empty then).
uint8_t ReplyType(std::span<const uint8_t> datagram);
std::span<const uint8_t> ReplyPayload(std::span<const uint8_t> datagram);

DecodedReply DecodePayload(uint8_t type, std::span<const uint8_t> payload);

// "Unsupported command 0x%02x ('%c') on %s".
std::string UnsupportedReplyText(uint8_t type, const std::string& endpoint);

// Seconds connected, as the float a server reports, split into whole minutes
// and the remaining seconds; values that are not numbers or do not fit count
// as 0 or the largest whole number.
void SplitConnectedTime(float seconds, int32_t& minutes, int32_t& secondsLeft);
