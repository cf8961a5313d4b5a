#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// True when the datagram starts with FE FF FF FF, the mark of one piece of a
// reply split over several datagrams.
bool IsSplitDatagram(std::span<const uint8_t> datagram);

// Joins the pieces of split replies, one instance per query socket. Two forms
// exist after the FE FF FF FF mark and the 32-bit reply id:
//  - Half-Life: one byte, upper four bits the piece number, lower four bits
//    the piece count;
//  - newer engines: the count byte, the number byte and a 16-bit maximum
//    piece size.
// An id with its top bit set marks a compressed reply, which is dropped.
// Everything is bounded: pieces per reply, bytes per reply, the age of an
// unfinished reply and the number of replies in progress at once.
class SplitReassembler {
public:
    enum class Outcome { Pending, Complete, Dropped };

    static constexpr int kMaxPieces = 32;
    static constexpr size_t kMaxBytes = 64 * 1024;
    static constexpr uint64_t kMaxAgeMs = 5000;
    static constexpr int kMaxReplies = 2;

    // Feeds one FE FF FF FF datagram received at nowMs. Complete: `whole`
    // holds the joined reply, which starts FF FF FF FF. Pending: the piece was
    // kept (or was a duplicate). Dropped: the datagram, or the reply it
    // belongs to, was thrown away.
    Outcome Feed(std::span<const uint8_t> datagram, uint64_t nowMs, std::vector<uint8_t>& whole);

    void Reset();

    // Pieces and replies thrown away: malformed, out of range, inconsistent,
    // too many, too big, too old, compressed, or pushed out by newer replies.
    // Duplicates are ignored and counted as well.
    int DroppedCount() const { return m_dropped; }
    int CompressedCount() const { return m_compressed; }

private:
    enum class Form : uint8_t { HalfLife, Newer };
    struct Reply {
        bool used = false;
        uint32_t id = 0;
        Form form = Form::HalfLife;
        int count = 0;
        int received = 0;
        size_t bytes = 0;
        uint64_t startMs = 0;
        std::vector<std::vector<uint8_t>> pieces;
        std::vector<bool> have;
    };

    std::array<Reply, kMaxReplies> m_replies{};
    int m_dropped = 0;
    int m_compressed = 0;
};
