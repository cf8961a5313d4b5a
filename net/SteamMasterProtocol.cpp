#include "net/SteamMasterProtocol.h"

std::string BuildSteamFilter(const SteamListFilter&) { return {}; }

std::vector<uint8_t> BuildSteamMasterRequest(uint8_t, std::string_view, std::string_view) {
    return {};
}

SteamMasterBatch DecodeSteamMasterBatch(std::span<const uint8_t>) { return {}; }
