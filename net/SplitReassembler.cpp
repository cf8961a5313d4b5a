#include "net/SplitReassembler.h"

bool IsSplitDatagram(std::span<const uint8_t> datagram) {
    return datagram.size() >= 4 && datagram[0] == 0xFE && datagram[1] == 0xFF &&
           datagram[2] == 0xFF && datagram[3] == 0xFF;
}

SplitReassembler::Outcome SplitReassembler::Feed(std::span<const uint8_t>, uint64_t,
                                                 std::vector<uint8_t>&) {
    ++m_dropped;
    return Outcome::Dropped;
}

void SplitReassembler::Reset() { m_replies = {}; }
