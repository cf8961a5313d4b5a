#pragma once

#include "net/ReplyDecoder.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The Steam master server's UDP list protocol.

constexpr uint8_t kSteamRegionAll = 0xFF;
constexpr uint16_t kSteamMasterPort = 27011;

// What a list request asks for; unset parts are left out of the filter.
struct SteamListFilter {
    int appId = -1; // none
    std::string game;
    std::string map;
    bool dedicated = false;
    bool notEmpty = false;
    bool notFull = false;
    bool noPassword = false;
    bool linux = false;
};

// "\appid\70\gamedir\cstrike\map\de_dust2..."; backslashes inside values are
// removed, since they would start a key of their own.
std::string BuildSteamFilter(const SteamListFilter& filter);

// 31, the region, the seed "ip:port" 00, the filter 00. The first request
// seeds with "0.0.0.0:0", each next one with the last address received.
std::vector<uint8_t> BuildSteamMasterRequest(uint8_t region, std::string_view seed,
                                             std::string_view filter);

// One reply datagram. valid: it starts FF FF FF FF 66 0A. entries: the whole
// 6-byte entries before the end marker 0.0.0.0:0 (never an entry itself);
// endReached: the marker was there. strayBytes: bytes after the last whole
// entry, or after the end marker.
struct SteamMasterBatch {
    bool valid = false;
    std::vector<MasterEntry> entries;
    bool endReached = false;
    int strayBytes = 0;
};

SteamMasterBatch DecodeSteamMasterBatch(std::span<const uint8_t> datagram);
