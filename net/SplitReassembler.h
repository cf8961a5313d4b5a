#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// True when the datagram starts with FE FF FF FF, the mark of one piece of a
// reply split over several datagrams.
bool IsSplitDatagram(std::span<const uint8_t> datagram);

// Joins the pieces of split replies, one instance per query socket. After
// the FE FF FF FF mark and the 32-bit reply id (little-endian) comes one of
// two headers:
//  - Half-Life: one byte, upper four bits the piece number, lower four bits
//    the piece count;
//  - newer engines: the count byte, the number byte and a 16-bit maximum
//    piece size.
// An id with its top bit set marks a compressed reply, which is dropped.
//
// The header alone does not tell the forms apart (a newer header 03 01 reads
// as a Half-Life piece 0 of 3), but the first piece does: its data is a whole
// reply's start, FF FF FF FF, which sits right after the header byte in the
// Half-Life form (the byte after it is FF) and after four header bytes in the
// newer one (the number byte after the count is 0). So the pieces of a reply
// are kept as they came until its piece 0 arrives; that piece fixes the form
// and the count for the reply id, and every piece is then read in that form.
//
// Everything is bounded: pieces and bytes per reply, the age of an unfinished
// reply (checked on each Feed) and the replies in progress at once (a new id
// pushes out the oldest).
class SplitReassembler {
public:
    enum class Outcome { Pending, Complete, Dropped };

    static constexpr int kMaxPieces = 32;
    static constexpr size_t kMaxBytes = 64 * 1024;
    static constexpr uint64_t kMaxAgeMs = 3000;
    static constexpr int kMaxReplies = 2;

    // Feeds one FE FF FF FF datagram received at nowMs (a steady clock).
    // Complete: `whole` holds the joined reply, which starts FF FF FF FF.
    // Pending: the piece was kept, or was a duplicate. Dropped: the datagram,
    // or the reply it belongs to, was thrown away.
    Outcome Feed(std::span<const uint8_t> datagram, uint64_t nowMs, std::vector<uint8_t>& whole);

    // Forgets the replies in progress; the counts stay.
    void Reset();

    // Pieces and replies thrown away: malformed, out of range, inconsistent,
    // too many, too big, too old, compressed, or pushed out by newer replies;
    // duplicates, which are ignored, count as well.
    int DroppedCount() const { return m_dropped; }
    int CompressedCount() const { return m_compressed; }

private:
    enum class Form : uint8_t { HalfLife, Newer };
    struct Reply {
        bool used = false;
        uint32_t id = 0;
        uint64_t startMs = 0;
        bool formKnown = false;
        Form form = Form::HalfLife;
        int count = 0;
        int received = 0;
        size_t bytes = 0;
        // Before the form is known: the datagrams after the id, as they came.
        std::vector<std::vector<uint8_t>> waiting;
        // After: each piece's data by number.
        std::vector<std::vector<uint8_t>> pieces;
        std::vector<bool> have;
    };

    Reply* Find(uint32_t id);
    Reply& Start(uint32_t id, uint64_t nowMs);
    void DropReply(Reply& reply);
    Outcome AddPiece(Reply& reply, std::span<const uint8_t> rest, std::vector<uint8_t>& whole);

    std::array<Reply, kMaxReplies> m_replies{};
    int m_dropped = 0;
    int m_compressed = 0;
};
