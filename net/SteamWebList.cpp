#include "net/SteamWebList.h"

std::string BuildSteamWebListUrl(std::string_view, std::string_view, std::string_view, int) {
    return {};
}

SteamWebListResult ParseSteamWebList(std::span<const uint8_t>) {
    SteamWebListResult result;
    result.error = "Not implemented";
    return result;
}
