#pragma once

#include "ReplyEncoder.h"
#include "ServerContent.h"

#include <cstdint>
#include <string>
#include <vector>

namespace lab {

// What an A2S server adds to the content the old protocol serves.
struct A2sInfo {
    uint16_t appId = 70;
    std::string version;
    uint8_t extraFlags = 0; // which optional fields follow the version
    uint16_t gamePort = 0;
    uint64_t steamId = 0;
    uint16_t spectatorPort = 0;
    std::string spectatorName;
    std::string keywords;
    uint64_t gameId = 0;
};

// The A2S side of the wire, written from the byte layouts alone: the same
// little-endian integers and NUL-terminated strings as the old replies, the
// Steam master's addresses and ports big-endian.
namespace A2sEncoder {

using Bytes = ReplyEncoder::Bytes;

enum ExtraFlag : uint8_t {
    kGamePort = 0x80,
    kSteamId = 0x10,
    kSpectator = 0x40,
    kKeywords = 0x20,
    kGameId = 0x01,
};

// 'I' with the player count of the moment.
Bytes Info(const ServerContent& content, const A2sInfo& info, int players);
// 'I' that ends inside the server name.
Bytes InfoUnterminated(const ServerContent& content);
// 'A' and the four challenge bytes, little-endian.
Bytes Challenge(uint32_t challenge);
// 'D' as A2S servers send it: the index byte is 0 for everyone or a running
// count from 0, never an identity.
Bytes Players(const std::vector<LabPlayer>& players, int count, uint32_t answerNumber,
              bool runningIndex);
// 'j' 00, the one old query today's servers still answer.
Bytes Pong();

// How a long reply is cut up. HalfLife: id, one byte (number << 4 | count),
// at most 15 pieces. Newer: id, count, number, the 16-bit piece size, at most
// 255 pieces.
enum class SplitForm : uint8_t { HalfLife, Newer };
// Hostile ways of sending the pieces; None sends them as they should be.
enum class SplitFault : uint8_t {
    None,
    Duplicated,   // every piece twice: the reply still completes
    Missing,      // a middle piece never comes
    OutOfRange,   // an extra piece numbered past the count: the others complete
    Inconsistent, // the second piece claims one piece more than the first
    MixedIds,     // the second half of the pieces carries another id
    NoEnd,        // the last piece never comes
};
constexpr int kSplitFaultCount = 7;
const char* SplitFaultName(SplitFault fault);
const char* SplitFormName(SplitForm form);

// Cuts a whole reply (starting FF FF FF FF) into pieces of at most
// pieceSize bytes, at least minPieces of them; the piece size grows when the
// form's piece count would overflow. id keeps bit 31 clear (uncompressed).
std::vector<Bytes> Split(const Bytes& whole, SplitForm form, uint32_t id, size_t pieceSize,
                         int minPieces, SplitFault fault);

struct SteamEntry {
    uint32_t address; // host order
    uint16_t port;
};
// FF FF FF FF 66 0A and six bytes per entry; the caller adds 0.0.0.0:0 as
// the last entry of the last batch.
Bytes SteamMasterBatch(const std::vector<SteamEntry>& entries);

} // namespace A2sEncoder

} // namespace lab
