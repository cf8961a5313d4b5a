#include "A2sEncoder.h"

#include "ByteWriter.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace lab::A2sEncoder {

using Writer = ByteWriter;

Bytes Info(const ServerContent& c, const A2sInfo& info, int players) {
    Writer w;
    w.U8('I');
    w.U8(c.protocol);
    w.String(c.name);
    w.String(c.map);
    w.String(c.game);
    w.String(c.description);
    w.U16(info.appId);
    w.U8(static_cast<uint8_t>(players));
    w.U8(c.maxPlayers);
    w.U8(c.bots);
    w.U8(static_cast<uint8_t>(c.type));
    w.U8(static_cast<uint8_t>(c.os));
    w.U8(c.password ? 1 : 0);
    w.U8(c.secure);
    // The Ship's three extra bytes come only with app id 2400, never here.
    w.String(info.version);
    w.U8(info.extraFlags);
    if (info.extraFlags & kGamePort)
        w.U16(info.gamePort);
    if (info.extraFlags & kSteamId)
        w.U64(info.steamId);
    if (info.extraFlags & kSpectator) {
        w.U16(info.spectatorPort);
        w.String(info.spectatorName);
    }
    if (info.extraFlags & kKeywords)
        w.String(info.keywords);
    if (info.extraFlags & kGameId)
        w.U64(info.gameId);
    return w.Take();
}

Bytes InfoUnterminated(const ServerContent& c) {
    Writer w;
    w.U8('I');
    w.U8(c.protocol);
    w.Raw(c.name);
    return w.Take();
}

Bytes Challenge(uint32_t challenge) {
    Writer w;
    w.U8('A');
    w.U32(challenge);
    return w.Take();
}

Bytes Players(const std::vector<LabPlayer>& players, int count, uint32_t answerNumber,
              bool runningIndex) {
    Writer w;
    w.U8('D');
    w.U8(static_cast<uint8_t>(count));
    for (int i = 0; i < count; ++i) {
        const LabPlayer& player = players[static_cast<size_t>(i)];
        w.U8(runningIndex ? static_cast<uint8_t>(i) : 0);
        w.String(player.name);
        w.U32(static_cast<uint32_t>(ReplyEncoder::FragsOfAnswer(player, answerNumber)));
        w.F32(static_cast<float>(player.timeTenths / 10.0));
    }
    return w.Take();
}

Bytes Pong() {
    Writer w;
    w.U8('j');
    w.U8(0);
    return w.Take();
}

const char* SplitFaultName(SplitFault fault) {
    switch (fault) {
    case SplitFault::None:
        return "none";
    case SplitFault::Duplicated:
        return "duplicated";
    case SplitFault::Missing:
        return "missing";
    case SplitFault::OutOfRange:
        return "out-of-range";
    case SplitFault::Inconsistent:
        return "inconsistent";
    case SplitFault::MixedIds:
        return "mixed-ids";
    case SplitFault::NoEnd:
        return "no-end";
    }
    return "none";
}

const char* SplitFormName(SplitForm form) {
    return form == SplitForm::HalfLife ? "halflife" : "newer";
}

std::vector<Bytes> Split(const Bytes& whole, SplitForm form, uint32_t id, size_t pieceSize,
                         int minPieces, SplitFault fault) {
    const int maxPieces = form == SplitForm::HalfLife ? 15 : 255;
    pieceSize = std::max<size_t>(pieceSize, 1);
    const size_t maxSize = pieceSize;
    size_t count = (whole.size() + pieceSize - 1) / pieceSize;
    if (count < size_t(minPieces))
        count = size_t(minPieces);
    count = std::min(count, std::min(whole.size(), size_t(maxPieces)));
    pieceSize = (whole.size() + count - 1) / count;
    count = (whole.size() + pieceSize - 1) / pieceSize;
    id &= 0x7FFFFFFF;

    const auto piece = [&](size_t number, size_t claimedCount, uint32_t pieceId, size_t from) {
        Writer w(0xFE);
        w.U32(pieceId);
        if (form == SplitForm::HalfLife) {
            w.U8(static_cast<uint8_t>((number & 0x0F) << 4 | (claimedCount & 0x0F)));
        } else {
            w.U8(static_cast<uint8_t>(claimedCount));
            w.U8(static_cast<uint8_t>(number));
            w.U16(static_cast<uint16_t>(std::max(maxSize, pieceSize)));
        }
        const size_t length = std::min(pieceSize, whole.size() - std::min(from, whole.size()));
        if (length > 0)
            w.Append(whole.data() + from, length);
        return w.Take();
    };

    std::vector<Bytes> pieces;
    for (size_t n = 0; n < count; ++n) {
        size_t claimed = count;
        uint32_t pieceId = id;
        if (fault == SplitFault::Missing && n == count / 2)
            continue;
        if (fault == SplitFault::NoEnd && n + 1 == count)
            continue;
        if (fault == SplitFault::Inconsistent && n == 1)
            claimed = count + 1;
        if (fault == SplitFault::MixedIds && n >= count / 2)
            pieceId = (id + 1) & 0x7FFFFFFF;
        pieces.push_back(piece(n, claimed, pieceId, n * pieceSize));
        if (fault == SplitFault::Duplicated)
            pieces.push_back(pieces.back());
    }
    // Numbered past the count, with bytes that would spoil the reply if taken.
    if (fault == SplitFault::OutOfRange) {
        const size_t beyond = form == SplitForm::HalfLife ? 15 : std::min<size_t>(count + 3, 255);
        Bytes bad = piece(beyond, count, id, whole.size());
        bad.insert(bad.end(), std::min<size_t>(pieceSize, 16), uint8_t('X'));
        pieces.insert(pieces.begin() + std::ptrdiff_t(pieces.size() / 2), std::move(bad));
    }
    return pieces;
}

Bytes SteamMasterBatch(const std::vector<SteamEntry>& entries) {
    Writer w;
    w.U8(0x66);
    w.U8(0x0A);
    for (const SteamEntry& entry : entries) {
        w.U8(static_cast<uint8_t>(entry.address >> 24));
        w.U8(static_cast<uint8_t>(entry.address >> 16));
        w.U8(static_cast<uint8_t>(entry.address >> 8));
        w.U8(static_cast<uint8_t>(entry.address));
        w.U8(static_cast<uint8_t>(entry.port >> 8));
        w.U8(static_cast<uint8_t>(entry.port));
    }
    return w.Take();
}

} // namespace lab::A2sEncoder
