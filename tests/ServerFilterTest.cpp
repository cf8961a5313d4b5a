#include <gtest/gtest.h>

#include <functional>
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

// Each criterion on its own (and all at once) against a dedicated Linux
// server that answered with 5 of 16 players, changed as the case says.
TEST(ServerFilterTest, Criteria) {
    using Change = std::function<void(ServerInfo&)>;
    const Change asIs = [](ServerInfo&) {};
    const Change silent = [](ServerInfo& s) { // never answered
        s.m_nPing = 0;
        s.m_nPlayers = s.m_nMaxPlayers = 0;
        s.SetPlayers(nullptr);
    };
    const struct {
        const char* name;
        uint32_t flags;
        std::function<void(ServerFilter&)> limits;
        Change change;
        bool passes;
    } cases[] = {
        {"no criterion", 0, {}, asIs, false},
        {"value bits alone are no criterion",
         FILTER_EMPTY_YES | FILTER_FULL_YES | FILTER_PASSWORD_YES, {}, asIs, false},
        {"ping at the limit", FILTER_PING, [](ServerFilter& f) { f.m_nMaxPing = 80; }, asIs, true},
        {"ping over it", FILTER_PING, [](ServerFilter& f) { f.m_nMaxPing = 79; }, asIs, false},
        // Both sides are signed: a limit typed as -1 passes nothing, a ping
        // with the top bit set passes any limit.
        {"limit -1", FILTER_PING, [](ServerFilter& f) { f.m_nMaxPing = 0xFFFFFFFFu; }, asIs, false},
        {"negative ping", FILTER_PING, [](ServerFilter& f) { f.m_nMaxPing = 10; },
         [](ServerInfo& s) { s.m_nPing = 0x80000000u; }, true},
        {"never answered, any ping", FILTER_PING,
         [](ServerFilter& f) { f.m_nMaxPing = 0x7FFFFFFF; }, silent, false},
        {"max players at the limit", FILTER_MAXPLAYERS,
         [](ServerFilter& f) { f.m_nMaxPlayers = 16; }, asIs, true},
        {"max players over it", FILTER_MAXPLAYERS,
         [](ServerFilter& f) { f.m_nMaxPlayers = 15; }, asIs, false},
        {"never answered, any size", FILTER_MAXPLAYERS,
         [](ServerFilter& f) { f.m_nMaxPlayers = 255; }, silent, false},
        {"game whole, any case", FILTER_GAME, [](ServerFilter& f) { f.m_strGame = "CStrike"; },
         asIs, true},
        {"game is no prefix", FILTER_GAME, [](ServerFilter& f) { f.m_strGame = "cstrik"; }, asIs,
         false},
        {"empty game is no test", FILTER_GAME, {}, asIs, true},
        {"map prefix, any case", FILTER_MAP, [](ServerFilter& f) { f.m_strMap = "DE_DU"; }, asIs,
         true},
        {"map whole", FILTER_MAP, [](ServerFilter& f) { f.m_strMap = "De_Dust2"; }, asIs, true},
        {"map longer", FILTER_MAP, [](ServerFilter& f) { f.m_strMap = "de_dust2x"; }, asIs, false},
        {"map inside", FILTER_MAP, [](ServerFilter& f) { f.m_strMap = "e_dust"; }, asIs, false},
        {"map in Latin-1", FILTER_MAP, [](ServerFilter& f) { f.m_strMap = "\xE4rger"; },
         [](ServerInfo& s) { s.m_strMap = "\xC4RGER_map"; }, true},
        {"type", FILTER_TYPE, [](ServerFilter& f) { f.m_strServerType = "dedicated"; }, asIs, true},
        {"other type", FILTER_TYPE, [](ServerFilter& f) { f.m_strServerType = "Listen"; }, asIs,
         false},
        {"listen type", FILTER_TYPE, [](ServerFilter& f) { f.m_strServerType = "Listen"; },
         [](ServerInfo& s) { s.m_cServerType = 'l'; }, true},
        {"os", FILTER_OS, [](ServerFilter& f) { f.m_strOS = "Linux"; }, asIs, true},
        {"other os", FILTER_OS, [](ServerFilter& f) { f.m_strOS = "Win32"; }, asIs, false},
        {"os as received", FILTER_OS, [](ServerFilter& f) { f.m_strOS = "Linux"; },
         [](ServerInfo& s) { s.m_cOS = 'L'; }, false},
        {"no password", FILTER_PASSWORD, {}, asIs, true},
        {"password wanted", FILTER_PASSWORD | FILTER_PASSWORD_YES, {}, asIs, false},
        {"password kept out", FILTER_PASSWORD, {}, [](ServerInfo& s) { s.m_bPassword = 1; }, false},
        // Empty is decided by the player list, not by the details' count.
        {"not empty", FILTER_EMPTY, {}, asIs, true},
        {"empty wanted", FILTER_EMPTY | FILTER_EMPTY_YES, {}, asIs, false},
        {"empty list", FILTER_EMPTY | FILTER_EMPTY_YES, {},
         [](ServerInfo& s) { s.SetPlayers(std::make_unique<PlayerList>(1)); }, true},
        {"no list is neither", FILTER_EMPTY | FILTER_EMPTY_YES, {}, silent, false},
        {"no list is not 'not empty'", FILTER_EMPTY, {}, silent, false},
        {"not full", FILTER_FULL, {}, asIs, true},
        {"full wanted", FILTER_FULL | FILTER_FULL_YES, {}, asIs, false},
        {"full", FILTER_FULL | FILTER_FULL_YES, {}, [](ServerInfo& s) { s.m_nPlayers = 16; }, true},
        {"0 of 0 is full", FILTER_FULL | FILTER_FULL_YES, {}, silent, true},
        {"all criteria", FILTER_CRITERIA, [](ServerFilter& f) {
             f.m_strGame = std::string("cstrike");
             f.m_strMap = std::string("de");
             f.m_strServerType = std::string("Dedicated");
             f.m_strOS = std::string("Linux");
             f.m_nMaxPlayers = 16;
         }, asIs, true},
        {"all criteria but one", FILTER_CRITERIA,
         [](ServerFilter& f) { f.m_strGame = std::string("cstrike"); },
         [](ServerInfo& s) { s.m_strGame = "valve"; }, false},
    };
    for (const auto& c : cases) {
        auto server = AnsweredServer();
        c.change(*server);
        ServerFilter filter = Only(c.flags);
        if (c.limits)
            c.limits(filter);
        EXPECT_EQ(filter.Matches(*server), c.passes) << c.name;
    }
    EXPECT_EQ(ServerFilter().GetDescription(), "<no filter active>");
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
