#pragma once

#include <string>

constexpr unsigned CMD_DETAILS = 0x1;
constexpr unsigned CMD_PLAYERS = 0x2;
constexpr unsigned CMD_RULES = 0x4;

// The command words of the set bits, in bit order, joined by ';':
// 3 gives "details;players", 7 "details;players;rules".
std::string CommandsFromMask(unsigned mask);
