#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lab {

struct LabPlayer {
    uint8_t index = 0;
    std::string name; // raw bytes, may hold Latin-1
    int32_t frags = 0;
    int32_t fragsDelta = 0; // added per players answer
    int timeTenths = 0;     // connected time in tenths of a second
};

struct LabRule {
    std::string key;
    std::string value;
};

// The optional fields a server may append after the password byte.
enum class Trailer : uint8_t { None, Plain, Mod };

struct ModInfo {
    std::string infoUrl;
    std::string downloadUrl;
    int32_t version = 0;
    int32_t size = 0;
    uint8_t serverOnly = 0;
    uint8_t customDll = 0;
};

// Everything one server answers, in the state the lab starts with.
struct ServerContent {
    std::string name;
    std::string map;
    std::string game;
    std::string description;
    uint8_t players = 0;
    uint8_t maxPlayers = 0;
    uint8_t protocol = 47;
    char type = 'd';
    char os = 'l';
    bool password = false;
    Trailer trailer = Trailer::None;
    ModInfo mod;
    uint8_t secure = 0;
    uint8_t bots = 0;
    std::string message; // the text of a server that answers with 'l'
    std::vector<LabPlayer> playerList;
    std::vector<LabRule> rules;
};

} // namespace lab
