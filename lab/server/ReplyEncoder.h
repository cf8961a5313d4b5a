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

int32_t FragsOfAnswer(const LabPlayer& player, uint32_t answerNumber);

} // namespace ReplyEncoder

} // namespace lab
