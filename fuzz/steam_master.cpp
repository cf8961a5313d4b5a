// Steam master list batches.
#include <cstddef>
#include <cstdint>
#include <span>

#include "net/SteamMasterProtocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const SteamMasterBatch batch = DecodeSteamMasterBatch(std::span<const uint8_t>(data, size));
    if (!batch.valid) {
        if (!batch.entries.empty() || batch.endReached || batch.strayBytes != 0)
            __builtin_trap();
        return 0;
    }
    // Every byte after the header is an entry, the end marker or stray.
    const size_t accounted = 6 + batch.entries.size() * 6 + (batch.endReached ? 6 : 0) +
                             static_cast<size_t>(batch.strayBytes);
    if (accounted != size || (!batch.endReached && batch.strayBytes >= 6))
        __builtin_trap();
    for (const MasterEntry& entry : batch.entries)
        if (entry.address == 0 && entry.port == 0)
            __builtin_trap();
    return 0;
}
