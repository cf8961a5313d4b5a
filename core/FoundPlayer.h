#pragma once

#include <memory>

#include "core/PlayerInfo.h"

class ServerInfo;

// A player found by a query: the server it was found on (not owned) and a
// copy of the player taken when the query ran.
struct FoundPlayer {
    FoundPlayer(ServerInfo* server, const PlayerInfo& player)
        : m_pServer(server), m_pPlayer(std::make_unique<PlayerInfo>(player)) {}
    FoundPlayer() : m_pPlayer(std::make_unique<PlayerInfo>()) {}

    ServerInfo* m_pServer = nullptr;
    std::unique_ptr<PlayerInfo> m_pPlayer;
};
