#include "net/MasterRequest.h"

namespace {

constexpr size_t kMaxFilterText = 250;

} // namespace

std::string MasterFilterText(const std::string& game, const std::string& map) {
    std::string text;
    if (!game.empty())
        text += "\\gamedir\\" + game;
    if (!map.empty())
        text += "\\map\\" + map;
    if (text.size() > kMaxFilterText)
        text.resize(kMaxFilterText);
    return text;
}

std::vector<uint8_t> BuildMasterRequest(uint32_t batchId, const std::string& game,
                                        const std::string& map) {
    const std::string text = MasterFilterText(game, map);
    std::vector<uint8_t> request;
    request.reserve(1 + 4 + text.size() + 1);
    request.push_back(text.empty() ? 'e' : '1');
    for (int shift = 0; shift < 32; shift += 8)
        request.push_back(static_cast<uint8_t>(batchId >> shift));
    request.insert(request.end(), text.begin(), text.end());
    request.push_back(0);
    return request;
}

std::vector<uint8_t> BuildServerRequest(const std::string& command) {
    std::vector<uint8_t> request(4, 0xFF);
    request.reserve(4 + command.size() + 1);
    request.insert(request.end(), command.begin(), command.end());
    request.push_back(0);
    return request;
}
