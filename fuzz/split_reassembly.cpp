// Split replies: the input is a sequence of datagrams, each given as a 16-bit
// length (little-endian), a time step in units of 16 ms and that many bytes,
// which follow an FE FF FF FF mark the harness adds.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "net/SplitReassembler.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SplitReassembler reassembler;
    std::vector<uint8_t> datagram;
    std::vector<uint8_t> whole;
    uint64_t nowMs = 0;
    size_t at = 0;
    while (size - at >= 3) {
        const size_t length = std::min<size_t>(data[at] | (data[at + 1] << 8), size - at - 3);
        nowMs += data[at + 2] * 16u;
        at += 3;
        datagram.assign({0xFE, 0xFF, 0xFF, 0xFF});
        datagram.insert(datagram.end(), data + at, data + at + length);
        at += length;
        const SplitReassembler::Outcome outcome = reassembler.Feed(datagram, nowMs, whole);
        if (outcome == SplitReassembler::Outcome::Complete &&
            (whole.size() < 4 || whole.size() > SplitReassembler::kMaxBytes || whole[0] != 0xFF ||
             whole[1] != 0xFF || whole[2] != 0xFF || whole[3] != 0xFF))
            __builtin_trap();
    }
    if (reassembler.CompressedCount() > reassembler.DroppedCount())
        __builtin_trap();
    return 0;
}
