#pragma once

#include <cstdint>

namespace lab {

enum class Behaviour : uint8_t {
    Normal,
    Silent,
    DetailsOnly,
    Message,
    Draining,
    // The hostile ones: see LabOptions.
    Unterminated,
    Overcount,
    Oversize,
    Flood,
    Unsolicited,
    Flapping,
};

const char* BehaviourName(Behaviour behaviour);

// The few facts kept in memory for every server: what the master filters on,
// how the server behaves and how late it answers. Everything else is drawn
// again from the seed when a reply is built, so 100,000 servers cost about a
// megabyte.
struct ServerSummary {
    Behaviour behaviour = Behaviour::Normal;
    uint8_t game = 0; // index into the game table
    uint8_t map = 0;  // index into the map table
    uint8_t players = 0;
    uint8_t maxPlayers = 0;
    char type = 'd';
    char os = 'l';
    uint16_t latencyMs = 0;
};

} // namespace lab
