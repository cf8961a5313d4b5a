#include <gtest/gtest.h>

#include <memory>

#include "core/ServerInfo.h"
#include "search/ServerFilter.h"

namespace {

// A dedicated Linux server that answered everything: 5 of 16 players.
std::unique_ptr<ServerInfo> AnsweredServer() {
    auto server = std::make_unique<ServerInfo>(0x7F000001u, 27015);
    server->m_nPing = 80;
    server->m_nPlayers = 5;
    server->m_nMaxPlayers = 16;
    server->m_cServerType = 'd';
    server->m_cOS = 'l';
    server->m_strGame = "cstrike";
    server->m_strMap = "de_dust2";
    auto players = std::make_unique<PlayerList>(1);
    for (uint8_t i = 0; i < 5; ++i) {
        auto player = std::make_unique<PlayerInfo>();
        player->m_nIndex = i;
        players->Insert(std::move(player));
    }
    server->SetPlayers(std::move(players));
    return server;
}

ServerFilter Only(uint32_t flags) {
    ServerFilter filter;
    filter.m_dwFlags = flags;
    return filter;
}

} // namespace

TEST(ServerFilterTest, InactiveFilterPassesNothing) {
    auto server = AnsweredServer();
    ServerFilter filter;
    EXPECT_FALSE(filter.Matches(*server));
    // Value bits alone are no criterion.
    filter.m_dwFlags = FILTER_EMPTY_YES | FILTER_FULL_YES | FILTER_PASSWORD_YES;
    EXPECT_FALSE(filter.IsActive());
    EXPECT_FALSE(filter.Matches(*server));
    EXPECT_EQ(filter.GetDescription(), "<no filter active>");
}

TEST(ServerFilterTest, ServerThatNeverAnswered) {
    ServerInfo silent(0x7F000002u, 27015);
    ServerFilter filter = Only(FILTER_PING);
    filter.m_nMaxPing = 0x7FFFFFFF;
    EXPECT_FALSE(filter.Matches(silent));
    filter = Only(FILTER_MAXPLAYERS);
    filter.m_nMaxPlayers = 255;
    EXPECT_FALSE(filter.Matches(silent));
    // 0 players of 0 counts as full.
    EXPECT_TRUE(Only(FILTER_FULL | FILTER_FULL_YES).Matches(silent));
    EXPECT_FALSE(Only(FILTER_FULL).Matches(silent));
    // Nothing is known about its players, so it is neither empty nor not.
    EXPECT_FALSE(Only(FILTER_EMPTY | FILTER_EMPTY_YES).Matches(silent));
    EXPECT_FALSE(Only(FILTER_EMPTY).Matches(silent));
}

TEST(ServerFilterTest, NumberLimits) {
    auto server = AnsweredServer();
    ServerFilter filter = Only(FILTER_PING);
    filter.m_nMaxPing = 80;
    EXPECT_TRUE(filter.Matches(*server));
    filter.m_nMaxPing = 79;
    EXPECT_FALSE(filter.Matches(*server));
    // Both sides are signed: a limit typed as -1 passes nothing, a ping with
    // the top bit set passes any limit.
    filter.m_nMaxPing = 0xFFFFFFFFu;
    EXPECT_FALSE(filter.Matches(*server));
    server->m_nPing = 0x80000000u;
    filter.m_nMaxPing = 10;
    EXPECT_TRUE(filter.Matches(*server));

    filter = Only(FILTER_MAXPLAYERS);
    filter.m_nMaxPlayers = 16;
    EXPECT_TRUE(filter.Matches(*server));
    filter.m_nMaxPlayers = 15;
    EXPECT_FALSE(filter.Matches(*server));
}

TEST(ServerFilterTest, GameAndMap) {
    auto server = AnsweredServer();
    ServerFilter filter = Only(FILTER_GAME);
    filter.m_strGame = "CStrike";
    EXPECT_TRUE(filter.Matches(*server));
    filter.m_strGame = "cstrik";
    EXPECT_FALSE(filter.Matches(*server));
    // An empty text is no test.
    filter.m_strGame.clear();
    EXPECT_TRUE(filter.Matches(*server));

    filter = Only(FILTER_MAP);
    for (const char* prefix : {"de_", "DE_DU", "de_dust2", "De_Dust2"}) {
        filter.m_strMap = prefix;
        EXPECT_TRUE(filter.Matches(*server)) << prefix;
    }
    for (const char* other : {"cs_", "de_dust2x", "e_dust"}) {
        filter.m_strMap = other;
        EXPECT_FALSE(filter.Matches(*server)) << other;
    }
    server->m_strMap = "\xC4RGER_map";
    filter.m_strMap = "\xE4rger";
    EXPECT_TRUE(filter.Matches(*server));
}

TEST(ServerFilterTest, TypeAndOperatingSystem) {
    auto server = AnsweredServer();
    ServerFilter filter = Only(FILTER_TYPE);
    filter.m_strServerType = "dedicated";
    EXPECT_TRUE(filter.Matches(*server));
    filter.m_strServerType = "Listen";
    EXPECT_FALSE(filter.Matches(*server));
    server->m_cServerType = 'l';
    EXPECT_TRUE(filter.Matches(*server));
    filter.m_strServerType.clear();
    EXPECT_TRUE(filter.Matches(*server));

    filter = Only(FILTER_OS);
    filter.m_strOS = "Win32";
    EXPECT_FALSE(filter.Matches(*server));
    server->m_cOS = 'w';
    EXPECT_TRUE(filter.Matches(*server));
    filter.m_strOS = "Linux";
    EXPECT_FALSE(filter.Matches(*server));
    // What the server reports is compared as received.
    server->m_cOS = 'L';
    EXPECT_FALSE(filter.Matches(*server));
}

TEST(ServerFilterTest, PasswordEmptyAndFull) {
    auto server = AnsweredServer();
    EXPECT_TRUE(Only(FILTER_PASSWORD).Matches(*server));
    EXPECT_FALSE(Only(FILTER_PASSWORD | FILTER_PASSWORD_YES).Matches(*server));
    server->m_bPassword = 1;
    EXPECT_FALSE(Only(FILTER_PASSWORD).Matches(*server));
    EXPECT_TRUE(Only(FILTER_PASSWORD | FILTER_PASSWORD_YES).Matches(*server));

    // Empty is decided by the player list, not by the details' count.
    EXPECT_TRUE(Only(FILTER_EMPTY).Matches(*server));
    EXPECT_FALSE(Only(FILTER_EMPTY | FILTER_EMPTY_YES).Matches(*server));
    server->SetPlayers(std::make_unique<PlayerList>(1));
    EXPECT_FALSE(Only(FILTER_EMPTY).Matches(*server));
    EXPECT_TRUE(Only(FILTER_EMPTY | FILTER_EMPTY_YES).Matches(*server));

    EXPECT_TRUE(Only(FILTER_FULL).Matches(*server));
    EXPECT_FALSE(Only(FILTER_FULL | FILTER_FULL_YES).Matches(*server));
    server->m_nPlayers = 16;
    EXPECT_FALSE(Only(FILTER_FULL).Matches(*server));
    EXPECT_TRUE(Only(FILTER_FULL | FILTER_FULL_YES).Matches(*server));
}

TEST(ServerFilterTest, AllCriteriaMustPass) {
    auto server = AnsweredServer();
    ServerFilter filter;
    filter.m_dwFlags = FILTER_GAME | FILTER_MAP | FILTER_MAXPLAYERS | FILTER_PING | FILTER_TYPE |
                       FILTER_OS | FILTER_PASSWORD | FILTER_EMPTY | FILTER_FULL;
    // Moved in rather than assigned from literals: GCC 12 at -O3 warns
    // about the short-string copy otherwise.
    filter.m_strGame = std::string("cstrike");
    filter.m_strMap = std::string("de");
    filter.m_strServerType = std::string("Dedicated");
    filter.m_strOS = std::string("Linux");
    EXPECT_TRUE(filter.Matches(*server));
    server->m_strGame = "valve";
    EXPECT_FALSE(filter.Matches(*server));
}

TEST(ServerFilterTest, Description) {
    // The game typed in capitals, at most 16 players, not empty. The
    // dialog keeps the low 8 bits of the players limit, so 300 arrives
    // here as 44.
    ServerFilter filter;
    filter.m_dwFlags = FILTER_GAME | FILTER_MAXPLAYERS | FILTER_EMPTY;
    filter.m_strGame = "CSTRIKE";
    filter.m_nMaxPlayers = 16;
    EXPECT_EQ(filter.GetDescription(), "cstrike  (16)  not empty");

    filter.m_dwFlags = FILTER_CRITERIA | FILTER_PASSWORD_YES | FILTER_EMPTY_YES | FILTER_FULL_YES;
    filter.m_strMap = "De_";
    filter.m_nMaxPing = 150;
    filter.m_strServerType = "Listen";
    filter.m_strOS = "\xC4OS";
    EXPECT_EQ(filter.GetDescription(),
              "cstrike  de_  (16)  <150>  password  empty  full  listen  \xE4os");

    filter.m_dwFlags = FILTER_PASSWORD | FILTER_FULL | FILTER_TYPE | FILTER_OS;
    filter.m_strServerType.clear();
    EXPECT_EQ(filter.GetDescription(), "no password  not full  \xE4os");

    // The limit is shown as the signed number it is compared as.
    filter.m_dwFlags = FILTER_PING;
    filter.m_nMaxPing = 0xFFFFFFFFu;
    EXPECT_EQ(filter.GetDescription(), "<-1>");

    // An empty game text adds nothing, not even a separator.
    filter.m_dwFlags = FILTER_GAME | FILTER_MAP;
    filter.m_strGame.clear();
    EXPECT_EQ(filter.GetDescription(), "de_");
}
