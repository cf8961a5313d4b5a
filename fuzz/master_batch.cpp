// List batches from a master server.
#include <cstddef>
#include <cstdint>
#include <span>

#include "net/ReplyDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const DecodedReply reply = DecodePayload('f', std::span<const uint8_t>(data, size));
    if (const auto* list = std::get_if<MasterListReply>(&reply)) {
        if (list->entries.size() * 6 + 5 + static_cast<size_t>(list->strayBytes) != size)
            __builtin_trap();
    }
    return 0;
}
