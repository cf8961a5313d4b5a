#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The Steam web service's server list (IGameServersService/GetServerList/v1).

// One server of the list; fields the answer left out or sent with the wrong
// type keep their defaults. address/port: the query address ("addr"),
// address in host order, first octet most significant; a server without a
// usable one (missing, malformed, 0.0.0.0 or port 0) is left out. The player counts are
// brought within 0-255, as a record holds them.
struct SteamWebServer {
    uint32_t address = 0;
    uint16_t port = 0;
    std::string name, map, gamedir, version, product;
    int appId = 0;
    int players = 0, maxPlayers = 0, bots = 0;
    bool dedicated = false, secure = false;
    char os = 0;
};

// ok false: error says why (not JSON, not the expected shape).
struct SteamWebListResult {
    bool ok = false;
    std::string error;
    std::vector<SteamWebServer> servers;
};

// baseUrl + "/IGameServersService/GetServerList/v1/?key=..&filter=..&limit=..",
// key and filter percent-encoded.
std::string BuildSteamWebListUrl(std::string_view baseUrl, std::string_view key,
                                 std::string_view filter, int limit);

SteamWebListResult ParseSteamWebList(std::span<const uint8_t> json);
