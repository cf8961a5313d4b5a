#include <gtest/gtest.h>

#include "core/PlayerList.h"
#include "search/QueryList.h"
#include "ui/DetailsSearch.h"

// What a user types is held within the fields it fills, however large.
TEST(DetailsSearch, ProbesHoldTheTypedTextWithinTheirFields) {
    ServerInfo server;
    FillServerProbe(server, "10.1.2", 1);
    EXPECT_EQ(server.m_dwAddress, 0x0A010200u) << "missing numbers are 0";
    FillServerProbe(server, "999", 6);
    EXPECT_EQ(server.m_nPlayers, 255);
    PlayerInfo player;
    FillPlayerProbe(player, "99999999999999", 3);
    EXPECT_EQ(player.m_nFrags, INT32_MAX);
    SearchQuery query;
    FillQueryProbe(query, "4000000000", 3, 12);
    EXPECT_EQ(query.m_players.size(), 12u) << "no probe with billions of entries";
    ServerInfo probeServer;
    FoundPlayer found;
    FillResultProbe(found, probeServer, "2:05", 4);
    EXPECT_EQ(found.m_pPlayer->m_nMinutes, 125) << "the results' fourth key is the time";
}
