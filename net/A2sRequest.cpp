#include "net/A2sRequest.h"

#include <string_view>

namespace {

// Room for the longest request up front: besides saving the regrowth, it
// keeps GCC 12's -O3 from a false array-bounds warning on a vector that
// began as a 5-byte initializer list and then grew.
std::vector<uint8_t> Header(uint8_t type) {
    std::vector<uint8_t> request;
    request.reserve(32);
    request.assign({0xFF, 0xFF, 0xFF, 0xFF, type});
    return request;
}

void AppendChallenge(std::vector<uint8_t>& request, uint32_t challenge) {
    for (int shift = 0; shift < 32; shift += 8)
        request.push_back(static_cast<uint8_t>(challenge >> shift));
}

} // namespace

std::vector<uint8_t> BuildA2sInfoRequest(std::optional<uint32_t> challenge) {
    constexpr std::string_view kQuery("Source Engine Query");
    std::vector<uint8_t> request = Header(0x54);
    request.insert(request.end(), kQuery.begin(), kQuery.end());
    request.push_back(0);
    if (challenge)
        AppendChallenge(request, *challenge);
    return request;
}

std::vector<uint8_t> BuildA2sPlayerRequest(uint32_t challenge) {
    std::vector<uint8_t> request = Header(0x55);
    AppendChallenge(request, challenge);
    return request;
}

std::vector<uint8_t> BuildA2sRulesRequest(uint32_t challenge) {
    std::vector<uint8_t> request = Header(0x56);
    AppendChallenge(request, challenge);
    return request;
}
