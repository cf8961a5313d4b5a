#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "core/PlayerList.h"
#include "search/QueryList.h"
#include "ui/DetailsSearch.h"

TEST(DetailsSearch, ProbesReadTheTypedTextAsThePrimaryKeyWants) {
    ServerInfo server;
    FillServerProbe(server, "10.1.2", 1);
    EXPECT_EQ(server.m_dwAddress, 0x0A010200u) << "missing numbers are 0";
    EXPECT_EQ(server.m_wPort, 0) << "the probe's port stays 0";
    FillServerProbe(server, "p-w", 8);
    EXPECT_EQ(server.m_bPassword, 1);
    EXPECT_EQ(server.m_cServerType, '-');
    EXPECT_EQ(server.m_cOS, 'w');
    FillServerProbe(server, "999", 6);
    EXPECT_EQ(server.m_nPlayers, 255) << "held within the field";
    FillServerProbe(server, "-4", 3);
    EXPECT_EQ(server.m_nPing, 0u);

    PlayerInfo player;
    FillPlayerProbe(player, " 1:30", 5);
    EXPECT_EQ(player.m_nMinutes, 90);
    FillPlayerProbe(player, "99999999999999", 3);
    EXPECT_EQ(player.m_nFrags, INT32_MAX);
    FillPlayerProbe(player, "-7", 4);
    EXPECT_EQ(player.m_nFrags - player.m_nPrevFrags, -7);

    SearchQuery query;
    FillQueryProbe(query, "4000000000", 3, 12);
    EXPECT_EQ(query.m_players.size(), 12u) << "no probe with billions of entries";

    ServerInfo probeServer;
    FoundPlayer found;
    FillResultProbe(found, probeServer, "10.0.0.1:27016", 5);
    EXPECT_EQ(found.m_pServer, &probeServer);
    EXPECT_EQ(probeServer.m_wPort, 27016);
    FillResultProbe(found, probeServer, "2:05", 4);
    EXPECT_EQ(found.m_pPlayer->m_nMinutes, 125) << "the results' fourth key is the time";
}

TEST(DetailsSearch, AnswerIsTheEqualRowOrTheInsertionPoint) {
    std::vector<std::unique_ptr<PlayerInfo>> players;
    PlayerRefList list(3); // frags, larger first
    for (int frags : {40, 30, 30, 10}) {
        players.push_back(std::make_unique<PlayerInfo>());
        players.back()->m_nFrags = frags;
        list.Insert(players.back().get());
    }
    PlayerInfo probe;
    FillPlayerProbe(probe, "30", 3);
    const int equal = FindTypedRow(list, probe, 0);
    EXPECT_TRUE(equal == 1 || equal == 2);
    FillPlayerProbe(probe, "35", 3);
    EXPECT_EQ(FindTypedRow(list, probe, 0), 1);
    EXPECT_EQ(FindTypedRow(list, probe, -5), 1) << "a negative start counts as 0";
    EXPECT_EQ(FindTypedRow(list, probe, 3), 3) << "the search starts at the row asked for";
    FillPlayerProbe(probe, "5", 3);
    EXPECT_EQ(FindTypedRow(list, probe, 0), -1) << "after the last row: not found";
    EXPECT_EQ(FindTypedRow(list, probe, 9), -1);
}
