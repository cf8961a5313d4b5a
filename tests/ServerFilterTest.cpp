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

} // namespace

// Each criterion on its own (and all at once) against a dedicated Linux
// server that answered with 5 of 16 players, changed as the case says. A
// case's text is every text of the filter, its limit both limits.
TEST(ServerFilterTest, Criteria) {
    using Change = std::function<void(ServerInfo&)>;
    const Change silent = [](ServerInfo& s) { // never answered
        s.m_nPing = 0;
        s.m_nPlayers = s.m_nMaxPlayers = 0;
        s.SetPlayers(nullptr);
    };
    const struct {
        const char* name;
        uint32_t flags;
        const char* text;
        uint32_t limit;
        Change change;
        bool passes;
    } cases[] = {
        {"no criterion", 0, "", 0, {}, false},
        {"ping at the limit", FILTER_PING, "", 80, {}, true},
        {"ping over it", FILTER_PING, "", 79, {}, false},
        // Both sides are signed: a limit typed as -1 passes nothing, a ping
        // with the top bit set passes any limit.
        {"limit -1", FILTER_PING, "", 0xFFFFFFFFu, {}, false},
        {"negative ping", FILTER_PING, "", 10, [](ServerInfo& s) { s.m_nPing = 0x80000000u; },
         true},
        {"never answered, any ping", FILTER_PING, "", 0x7FFFFFFF, silent, false},
        {"max players at the limit", FILTER_MAXPLAYERS, "", 16, {}, true},
        {"max players over it", FILTER_MAXPLAYERS, "", 15, {}, false},
        {"never answered, any size", FILTER_MAXPLAYERS, "", 255, silent, false},
        {"game whole, any case", FILTER_GAME, "CStrike", 0, {}, true},
        {"game is no prefix", FILTER_GAME, "cstrik", 0, {}, false},
        {"empty game is no test", FILTER_GAME, "", 0, {}, true},
        {"map prefix, any case", FILTER_MAP, "DE_DU", 0, {}, true},
        {"map longer", FILTER_MAP, "de_dust2x", 0, {}, false},
        {"map inside", FILTER_MAP, "e_dust", 0, {}, false},
        {"map in Latin-1", FILTER_MAP, "\xE4rger", 0,
         [](ServerInfo& s) { s.m_strMap = "\xC4RGER_map"; }, true},
        {"other type", FILTER_TYPE, "Listen", 0, {}, false},
        {"listen type", FILTER_TYPE, "Listen", 0, [](ServerInfo& s) { s.m_cServerType = 'l'; },
         true},
        {"other os", FILTER_OS, "Win32", 0, {}, false},
        {"os as received", FILTER_OS, "Linux", 0, [](ServerInfo& s) { s.m_cOS = 'L'; }, false},
        {"no password", FILTER_PASSWORD, "", 0, {}, true},
        {"password wanted", FILTER_PASSWORD | FILTER_PASSWORD_YES, "", 0, {}, false},
        {"password kept out", FILTER_PASSWORD, "", 0, [](ServerInfo& s) { s.m_bPassword = 1; },
         false},
        // Empty is decided by the player list, not by the details' count.
        {"not empty", FILTER_EMPTY, "", 0, {}, true},
        {"empty wanted", FILTER_EMPTY | FILTER_EMPTY_YES, "", 0, {}, false},
        {"empty list", FILTER_EMPTY | FILTER_EMPTY_YES, "", 0,
         [](ServerInfo& s) { s.SetPlayers(std::make_unique<PlayerList>(1)); }, true},
        {"no list is neither", FILTER_EMPTY | FILTER_EMPTY_YES, "", 0, silent, false},
        {"no list is not 'not empty'", FILTER_EMPTY, "", 0, silent, false},
        {"full wanted", FILTER_FULL | FILTER_FULL_YES, "", 0, {}, false},
        {"full", FILTER_FULL | FILTER_FULL_YES, "", 0, [](ServerInfo& s) { s.m_nPlayers = 16; },
         true},
        {"0 of 0 is full", FILTER_FULL | FILTER_FULL_YES, "", 0, silent, true},
    };
    for (const auto& c : cases) {
        auto server = AnsweredServer();
        if (c.change)
            c.change(*server);
        ServerFilter filter;
        filter.m_dwFlags = c.flags;
        filter.m_strGame = filter.m_strMap = filter.m_strServerType = filter.m_strOS = c.text;
        filter.m_nMaxPing = c.limit;
        filter.m_nMaxPlayers = static_cast<uint8_t>(c.limit);
        EXPECT_EQ(filter.Matches(*server), c.passes) << c.name;
    }
}

// The description the filter bar shows: the game lower-cased, the limit as
// the signed number it is compared as, nothing for an empty text.
TEST(ServerFilterTest, Description) {
    ServerFilter f;
    f.m_strGame = "CSTRIKE";
    f.m_nMaxPlayers = 16;
    f.m_strMap = "De_";
    f.m_nMaxPing = 150;
    f.m_strServerType = "Listen";
    f.m_strOS = "\xC4OS";
    const std::pair<uint32_t, const char*> cases[] = {
        {FILTER_GAME | FILTER_MAXPLAYERS | FILTER_EMPTY, "cstrike  (16)  not empty"},
        {FILTER_CRITERIA | FILTER_PASSWORD_YES | FILTER_EMPTY_YES | FILTER_FULL_YES,
         "cstrike  de_  (16)  <150>  password  empty  full  listen  \xE4os"},
        {FILTER_PASSWORD | FILTER_FULL | FILTER_OS, "no password  not full  \xE4os"}};
    for (const auto& [flags, text] : cases) {
        f.m_dwFlags = flags;
        EXPECT_EQ(f.GetDescription(), text);
    }
    f.m_dwFlags = FILTER_PING | FILTER_GAME;
    f.m_nMaxPing = 0xFFFFFFFFu;
    f.m_strGame.clear();
    EXPECT_EQ(f.GetDescription(), "<-1>");
}
