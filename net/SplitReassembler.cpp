#include "net/SplitReassembler.h"

#include <algorithm>
#include <optional>

namespace {

constexpr size_t kMarkSize = 4;
constexpr size_t kIdEnd = 8;
constexpr uint32_t kCompressedBit = 0x80000000u;
constexpr size_t kHalfLifeHeader = 1;
constexpr size_t kNewerHeader = 4;

bool HasReplyStart(std::span<const uint8_t> data) {
    return data.size() >= 4 && data[0] == 0xFF && data[1] == 0xFF && data[2] == 0xFF &&
           data[3] == 0xFF;
}

struct Piece {
    int number = 0;
    int count = 0;
    std::span<const uint8_t> data;
};

// One piece read in the given form from the bytes after the id; nothing when
// its header is cut short or its number is out of range.
std::optional<Piece> ReadPiece(bool halfLife, std::span<const uint8_t> rest) {
    Piece piece;
    if (halfLife) {
        if (rest.size() < kHalfLifeHeader)
            return std::nullopt;
        piece.number = rest[0] >> 4;
        piece.count = rest[0] & 0x0F;
        piece.data = rest.subspan(kHalfLifeHeader);
    } else {
        if (rest.size() < kNewerHeader)
            return std::nullopt;
        piece.count = rest[0];
        piece.number = rest[1];
        piece.data = rest.subspan(kNewerHeader);
    }
    if (piece.count < 1 || piece.number >= piece.count)
        return std::nullopt;
    return piece;
}

// The form a reply's piece 0 shows by where its FF FF FF FF sits (true:
// Half-Life); the two cannot both hold, as the byte after the first header
// byte is FF in one and 0 in the other.
std::optional<bool> HalfLifeFormOfFirstPiece(std::span<const uint8_t> rest) {
    for (bool halfLife : {true, false}) {
        const std::optional<Piece> piece = ReadPiece(halfLife, rest);
        if (piece && piece->number == 0 && HasReplyStart(piece->data))
            return halfLife;
    }
    return std::nullopt;
}

} // namespace

bool IsSplitDatagram(std::span<const uint8_t> datagram) {
    return datagram.size() >= kMarkSize && datagram[0] == 0xFE && datagram[1] == 0xFF &&
           datagram[2] == 0xFF && datagram[3] == 0xFF;
}

SplitReassembler::Reply* SplitReassembler::Find(uint32_t id) {
    for (Reply& reply : m_replies)
        if (reply.used && reply.id == id)
            return &reply;
    return nullptr;
}

SplitReassembler::Reply& SplitReassembler::Start(uint32_t id, uint64_t nowMs) {
    Reply* slot = nullptr;
    for (Reply& reply : m_replies) {
        if (!reply.used) {
            slot = &reply;
            break;
        }
        if (!slot || reply.startMs < slot->startMs)
            slot = &reply;
    }
    if (slot->used)
        DropReply(*slot);
    slot->used = true;
    slot->id = id;
    slot->startMs = nowMs;
    return *slot;
}

void SplitReassembler::DropReply(Reply& reply) {
    ++m_dropped;
    reply = Reply{};
}

SplitReassembler::Outcome SplitReassembler::Feed(std::span<const uint8_t> datagram, uint64_t nowMs,
                                                 std::vector<uint8_t>& whole) {
    // Replies that took too long are gone before anything else, so that a
    // late piece cannot complete one.
    for (Reply& reply : m_replies)
        if (reply.used && nowMs - std::min(nowMs, reply.startMs) > kMaxAgeMs)
            DropReply(reply);

    if (!IsSplitDatagram(datagram) || datagram.size() <= kIdEnd) {
        ++m_dropped;
        return Outcome::Dropped;
    }
    const uint32_t id =
        static_cast<uint32_t>(datagram[4]) | (static_cast<uint32_t>(datagram[5]) << 8) |
        (static_cast<uint32_t>(datagram[6]) << 16) | (static_cast<uint32_t>(datagram[7]) << 24);
    if (id & kCompressedBit) {
        ++m_compressed;
        ++m_dropped;
        return Outcome::Dropped;
    }
    const std::span<const uint8_t> rest = datagram.subspan(kIdEnd);
    Reply* found = Find(id);
    if (found && found->formKnown)
        return AddPiece(*found, rest, whole);

    const std::optional<bool> halfLife = HalfLifeFormOfFirstPiece(rest);
    if (!halfLife) {
        // Not a piece in either form: nothing to keep, and no reason to push
        // out a reply in progress for it.
        if (!ReadPiece(true, rest) && !ReadPiece(false, rest)) {
            ++m_dropped;
            return Outcome::Dropped;
        }
        Reply& reply = found ? *found : Start(id, nowMs);
        for (const std::vector<uint8_t>& kept : reply.waiting) {
            if (std::equal(kept.begin(), kept.end(), rest.begin(), rest.end())) {
                ++m_dropped;
                return Outcome::Pending;
            }
        }
        if (static_cast<int>(reply.waiting.size()) >= kMaxPieces ||
            reply.bytes + rest.size() > kMaxBytes) {
            DropReply(reply);
            return Outcome::Dropped;
        }
        reply.waiting.emplace_back(rest.begin(), rest.end());
        reply.bytes += rest.size();
        return Outcome::Pending;
    }

    const Piece first = *ReadPiece(*halfLife, rest);
    if (first.count > kMaxPieces) {
        if (found)
            DropReply(*found);
        else
            ++m_dropped;
        return Outcome::Dropped;
    }
    Reply& reply = found ? *found : Start(id, nowMs);
    reply.formKnown = true;
    reply.form = *halfLife ? Form::HalfLife : Form::Newer;
    reply.count = first.count;
    reply.pieces.assign(static_cast<size_t>(first.count), {});
    reply.have.assign(static_cast<size_t>(first.count), false);
    reply.bytes = 0;
    std::vector<std::vector<uint8_t>> waiting = std::move(reply.waiting);
    reply.waiting.clear();
    Outcome outcome = AddPiece(reply, rest, whole);
    for (const std::vector<uint8_t>& kept : waiting) {
        if (outcome != Outcome::Pending)
            break;
        outcome = AddPiece(reply, kept, whole);
        // The pieces before piece 0 are not this datagram: one of them
        // failing drops only itself, as it would have had it come later.
        if (outcome == Outcome::Dropped && reply.used)
            outcome = Outcome::Pending;
    }
    return outcome;
}

SplitReassembler::Outcome SplitReassembler::AddPiece(Reply& reply, std::span<const uint8_t> rest,
                                                     std::vector<uint8_t>& whole) {
    const std::optional<Piece> piece = ReadPiece(reply.form == Form::HalfLife, rest);
    if (!piece || piece->count != reply.count) {
        ++m_dropped;
        return Outcome::Dropped;
    }
    const auto number = static_cast<size_t>(piece->number);
    if (reply.have[number]) {
        ++m_dropped;
        return Outcome::Pending;
    }
    if (reply.bytes + piece->data.size() > kMaxBytes) {
        DropReply(reply);
        return Outcome::Dropped;
    }
    reply.pieces[number].assign(piece->data.begin(), piece->data.end());
    reply.have[number] = true;
    reply.bytes += piece->data.size();
    if (++reply.received < reply.count)
        return Outcome::Pending;

    whole.clear();
    whole.reserve(reply.bytes);
    for (const std::vector<uint8_t>& data : reply.pieces)
        whole.insert(whole.end(), data.begin(), data.end());
    reply = Reply{};
    return Outcome::Complete;
}

void SplitReassembler::Reset() {
    for (Reply& reply : m_replies)
        reply = Reply{};
}
