#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace lab {

// A list request as it reaches the master: '1' or 'e', the batch id (u32
// little-endian), then an optional filter text ending in 0x00. The closing
// 0x00 may be missing (qstat leaves it off when it has no filter).
struct MasterRequest {
    uint32_t batchId = 0;
    std::string filter;

    static std::optional<MasterRequest> Parse(const uint8_t* data, size_t length);
};

} // namespace lab
