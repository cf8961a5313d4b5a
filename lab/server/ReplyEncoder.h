#pragma once

#include "ServerContent.h"

#include <cstdint>
#include <string>
#include <vector>

namespace lab {

// The lab's side of the wire: it only writes what game and master servers
// send, and never shares a line with the client's decoder. Integers are
// little-endian, the master's addresses and ports big-endian.
namespace ReplyEncoder {

using Bytes = std::vector<uint8_t>;

struct MasterEntry {
    uint32_t address; // host order
    uint16_t port;
};

// 'm': details, with the player count of the moment and the server's trailer.
Bytes Details(const ServerContent& content, const std::string& addressText, int players);
// 'D': the first `count` players; the n-th players answer (n = 0, 1, ...)
// reports each player's frags as base + n * delta.
Bytes Players(const std::vector<LabPlayer>& players, int count, uint32_t answerNumber);
// 'E'
Bytes Rules(const std::vector<LabRule>& rules);
// 'l'
Bytes Message(const std::string& text);
// 'f': one batch of the master list; nextBatchId 0 ends the list.
Bytes MasterBatch(uint32_t nextBatchId, const std::vector<MasterEntry>& entries);

// Hostile replies.
// Any type byte with one byte of payload; 'Z' is no type a client knows.
Bytes Unsupported(char type);
// 'm' that ends inside the server name: no terminator, nothing after it.
Bytes DetailsUnterminated(const ServerContent& content, const std::string& addressText);
// 'D' whose last entry ends inside its name; at least one entry.
Bytes PlayersUnterminated(const std::vector<LabPlayer>& players, int count, uint32_t answerNumber);
// 'E' whose last value has no terminator.
Bytes RulesUnterminated(const std::vector<LabRule>& rules);
// A 'D' or 'E' reply's count raised to its largest value (255, 65535), the
// entries left as they were.
void RaiseCount(Bytes& reply);
// Replies of exactly kMaxDatagram bytes: 'm' with the name padded out, 'D'
// with 255 players, 'E' with as many rules as fit.
Bytes DetailsOversize(const ServerContent& content, const std::string& addressText, int players);
Bytes PlayersOversize();
Bytes RulesOversize();

int32_t FragsOfAnswer(const LabPlayer& player, uint32_t answerNumber);

} // namespace ReplyEncoder

} // namespace lab
