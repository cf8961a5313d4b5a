#pragma once

#include <cstdint>
#include <string>

constexpr unsigned CMD_DETAILS = 0x1;
constexpr unsigned CMD_PLAYERS = 0x2;
constexpr unsigned CMD_RULES = 0x4;

// The steps of a query sequence, named by the old protocol's command words
// whatever protocol carries them.
constexpr const char* kStepDetails = "details";
constexpr const char* kStepPlayers = "players";
constexpr const char* kStepRules = "rules";

// How a server socket asks its server: the old text commands, A2S, or both
// at once while the server's protocol is not known.
constexpr uint8_t QUERY_UNKNOWN = 0;
constexpr uint8_t QUERY_LEGACY = 1;
constexpr uint8_t QUERY_A2S = 2;

// The command words of the set bits, in bit order, joined by ';':
// 3 gives "details;players", 7 "details;players;rules".
std::string CommandsFromMask(unsigned mask);

// The reverse: the CMD_ bits of the words in a ';'-separated list; words
// that name no step add nothing.
unsigned MaskFromCommands(const std::string& commands);
