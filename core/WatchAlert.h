#pragma once

#include <cstdint>
#include <string>

// One thing a watch noticed: a watched player came, moved or left, or a
// watched server reached its condition.
struct WatchAlert {
    enum class Kind { Present, Appeared, Moved, Left, ServerHasRoom, ServerHasPlayers };
    Kind kind = Kind::Present;
    std::string player;
    std::string queryName;
    uint32_t address = 0;
    uint16_t port = 0;
    std::string serverName, map;
    int players = 0, maxPlayers = 0;

    // The one-line status-bar text, also the notification body.
    std::string Text() const;
};
