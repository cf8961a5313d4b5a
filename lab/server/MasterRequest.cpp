#include "MasterRequest.h"

namespace lab {

std::optional<MasterRequest> MasterRequest::Parse(const uint8_t* data, size_t length) {
    if (length < 5 || (data[0] != '1' && data[0] != 'e'))
        return std::nullopt;
    MasterRequest request;
    request.batchId = uint32_t{data[1]} | uint32_t{data[2]} << 8 | uint32_t{data[3]} << 16 |
                      uint32_t{data[4]} << 24;
    size_t end = 5;
    while (end < length && data[end] != 0)
        ++end;
    request.filter.assign(reinterpret_cast<const char*>(data + 5), end - 5);
    return request;
}

} // namespace lab
