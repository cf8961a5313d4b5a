#pragma once

#include <cstdint>
#include <optional>
#include <vector>

// The A2S queries today's servers answer. A challenge is the four bytes a
// server sent, read little-endian; writing it back little-endian echoes those
// bytes unchanged.

// Sent as the challenge of a players or rules query to ask the server for one.
constexpr uint32_t kA2sAskChallenge = 0xFFFFFFFF;

// FF FF FF FF 54 "Source Engine Query" 00, and the challenge when the server
// asked for one.
std::vector<uint8_t> BuildA2sInfoRequest(std::optional<uint32_t> challenge);

// FF FF FF FF 55 and the challenge.
std::vector<uint8_t> BuildA2sPlayerRequest(uint32_t challenge);

// FF FF FF FF 56 and the challenge.
std::vector<uint8_t> BuildA2sRulesRequest(uint32_t challenge);
