#include "net/SteamMasterProtocol.h"

#include <algorithm>

namespace {

constexpr size_t kHeaderSize = 6; // FF FF FF FF 66 0A
constexpr size_t kEntrySize = 6;
constexpr uint8_t kRequestType = 0x31;

// A backslash would start a key of its own and a NUL would end the filter.
void AppendValue(std::string& filter, std::string_view value) {
    for (char c : value)
        if (c != '\\' && c != '\0')
            filter += c;
}

void AppendPair(std::string& filter, std::string_view key, std::string_view value) {
    filter += '\\';
    filter += key;
    filter += '\\';
    AppendValue(filter, value);
}

void AppendText(std::vector<uint8_t>& request, std::string_view text) {
    for (char c : text)
        if (c != '\0')
            request.push_back(static_cast<uint8_t>(c));
    request.push_back(0);
}

} // namespace

std::string BuildSteamFilter(const SteamListFilter& filter) {
    std::string text;
    if (filter.appId >= 0)
        AppendPair(text, "appid", std::to_string(filter.appId));
    if (!filter.game.empty())
        AppendPair(text, "gamedir", filter.game);
    if (!filter.map.empty())
        AppendPair(text, "map", filter.map);
    if (filter.dedicated)
        AppendPair(text, "dedicated", "1");
    // The master's own names: "empty" 1 asks for servers that are not empty,
    // "full" 1 for servers that are not full.
    if (filter.notEmpty)
        AppendPair(text, "empty", "1");
    if (filter.notFull)
        AppendPair(text, "full", "1");
    if (filter.noPassword)
        AppendPair(text, "password", "0");
    if (filter.linux)
        AppendPair(text, "linux", "1");
    return text;
}

std::vector<uint8_t> BuildSteamMasterRequest(uint8_t region, std::string_view seed,
                                             std::string_view filter) {
    std::vector<uint8_t> request{kRequestType, region};
    request.reserve(2 + seed.size() + 1 + filter.size() + 1);
    AppendText(request, seed);
    AppendText(request, filter);
    return request;
}

SteamMasterBatch DecodeSteamMasterBatch(std::span<const uint8_t> datagram) {
    SteamMasterBatch batch;
    static constexpr uint8_t kHeader[kHeaderSize] = {0xFF, 0xFF, 0xFF, 0xFF, 0x66, 0x0A};
    if (datagram.size() < kHeaderSize ||
        !std::equal(kHeader, kHeader + kHeaderSize, datagram.data()))
        return batch;
    batch.valid = true;
    std::span<const uint8_t> list = datagram.subspan(kHeaderSize);
    batch.entries.reserve(list.size() / kEntrySize);
    while (list.size() >= kEntrySize) {
        const uint8_t* p = list.data();
        list = list.subspan(kEntrySize);
        MasterEntry entry;
        entry.address = (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
                        (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
        entry.port = static_cast<uint16_t>((p[4] << 8) | p[5]);
        if (entry.address == 0 && entry.port == 0) {
            batch.endReached = true;
            break;
        }
        batch.entries.push_back(entry);
    }
    batch.strayBytes = static_cast<int>(list.size());
    return batch;
}
