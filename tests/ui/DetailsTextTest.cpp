#include <gtest/gtest.h>

#include <memory>

#include "core/ServerInfo.h"
#include "tests/LocaleTestSupport.h"
#include "ui/DetailsText.h"

namespace {

void SetRules(ServerInfo& server,
              std::initializer_list<std::pair<const char*, const char*>> rules) {
    server.ResetRules();
    for (const auto& [key, value] : rules) {
        auto rule = std::make_unique<RuleInfo>();
        rule->m_strKey = key;
        rule->m_strValue = value;
        server.m_pRules->Insert(std::move(rule));
    }
}

} // namespace

TEST(DetailsText, TimeTextFromLimitAndTimeLeft) {
    ServerInfo server;
    EXPECT_EQ(ServerTimeText(server), "[?/?]") << "no rules at all";
    struct Case {
        const char *limit, *left, *expected;
    };
    const Case cases[] = {
        {"20.5", "300", "[15:30/20:30]"},
        {"30", "2000", "[33:20 left]"},
        {"30", "1800", "[0:00/30]"},
        // A server chooses these bytes: none may reach an undefined int conversion.
        {"nan", "5", "[0:05 left]"},
        {"1e300", "-99999999999999", nullptr},
        {"-inf", "99999999999999", nullptr},
    };
    for (const Case& c : cases) {
        SetRules(server, {{"mp_timelimit", c.limit}, {"mp_timeleft", c.left}});
        if (c.expected)
            EXPECT_EQ(ServerTimeText(server), c.expected) << c.limit << " " << c.left;
        else
            EXPECT_EQ(ServerTimeText(server).front(), '[') << c.limit;
    }
    SetRules(server, {{"mp_timelimit", "20.5"}, {"mp_timeleft", "300"}});
    if (GermanLocale german; german.Available()) {
        EXPECT_EQ(ServerTimeText(server), "[15:30/20:30]") << "a decimal comma does not cut 20.5";
    }
    SetRules(server, {{"MP_TIMELIMIT", "30"}});
    EXPECT_EQ(ServerTimeText(server), "[?/30]") << "names compare without case";
}

TEST(DetailsText, ContactPlayerAndSummaryTexts) {
    ServerInfo server(0x0A000001, 27015);
    server.m_strGame = "cstrike";
    server.m_strMap = "de_dust";
    server.m_nPing = 42;
    server.m_nPlayers = 5;
    server.m_nMaxPlayers = 16;
    server.m_bPassword = 1;
    server.m_cServerType = 'd';
    server.m_cOS = 'l';
    server.m_strName = "\xC5land";
    EXPECT_EQ(ServerPlayerText(server), "5/16") << "without reserve_slots";
    SetRules(server, {{"sv_contact", "admin@example.org\tx"}});
    EXPECT_EQ(ServerContactText(server), "admin@example.org\tx") << "only votes are cut";
    SetRules(server, {{"sv_contact", "VOTES: 3\tx"}, {"mp_timelimit", "30"}, {"reserve_slots", "2.9"}});
    server.m_strAnnotation = "first\r\nsecond";
    EXPECT_EQ(ServerPlayerText(server), "5/2/16");
    EXPECT_EQ(ServerSummaryText(server).toStdString(),
              "10.0.0.1:27015  cstrike->de_dust  [?/30]  (Pdl)  5/2/16   <42>  "
              "Åland  (VOTES: 3)  first");
}

TEST(DetailsText, CellsTheCopyDoesNotShowAndPlayerStatus) {
    ServerInfo server(0x7F000001, 27016);
    server.m_strAnnotation = "one\ntwo\r\nthree";
    EXPECT_EQ(ServerCellText(server, 8), "one\ntwo") << "a lone line feed does not end a line";
    PlayerInfo player;
    player.m_nMinutes = 62;
    player.m_nSeconds = 5;
    EXPECT_EQ(PlayerCellText(player, 4), "1:02:05");
    player.m_nFrags = INT32_MIN;
    player.m_nPrevFrags = 1;
    EXPECT_EQ(PlayerCellText(player, 3), "-2147483649") << "the difference does not overflow";
    EXPECT_EQ(PlayersStatusText(server, 0), "") << "no player list yet";
    server.SetPlayers(std::make_unique<PlayerList>(1));
    server.m_nPlayers = 3;
    EXPECT_EQ(PlayersStatusText(server, 2), "2 active and 1 inactive player(s) on server");
    SetRules(server, {{"reserve_slots", "2"}});
    EXPECT_EQ(PlayersStatusText(server, 3), "3 player(s) on server, 2 slot(s) reserved");
}
