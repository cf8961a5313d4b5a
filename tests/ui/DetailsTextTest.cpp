#include <gtest/gtest.h>

#include <memory>

#include "core/FoundPlayer.h"
#include "core/ServerInfo.h"
#include "search/SearchQuery.h"
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
    server.ResetRules();
    EXPECT_EQ(ServerTimeText(server), "[?/?]") << "an empty rule list";
    SetRules(server, {{"mp_timelimit", "20.5"}, {"mp_timeleft", "300"}});
    EXPECT_EQ(ServerTimeText(server), "[15:30/20:30]");
    if (GermanLocale german; german.Available()) {
        EXPECT_EQ(ServerTimeText(server), "[15:30/20:30]") << "a decimal comma does not cut 20.5";
    }
    SetRules(server, {{"mp_timelimit", "30"}, {"mp_timeleft", "2000"}});
    EXPECT_EQ(ServerTimeText(server), "[33:20 left]");
    SetRules(server, {{"MP_TIMELIMIT", "30"}});
    EXPECT_EQ(ServerTimeText(server), "[?/30]") << "names compare without case";
    SetRules(server, {{"mp_timelimit", "30"}, {"mp_timeleft", "1800"}});
    EXPECT_EQ(ServerTimeText(server), "[0:00/30]") << "a time left equal to the limit";
}

TEST(DetailsText, TimeTextSurvivesHostileRuleValues) {
    // A server chooses these bytes: none of them may reach an int
    // conversion that is undefined.
    ServerInfo server;
    SetRules(server, {{"mp_timelimit", "nan"}, {"mp_timeleft", "5"}});
    EXPECT_EQ(ServerTimeText(server), "[0:05 left]");
    SetRules(server, {{"mp_timelimit", "1e300"}, {"mp_timeleft", "-99999999999999"}});
    EXPECT_EQ(ServerTimeText(server).front(), '[');
    SetRules(server, {{"mp_timelimit", "-inf"}, {"mp_timeleft", "99999999999999"}});
    EXPECT_NE(ServerTimeText(server).find(" left]"), std::string::npos);
}

TEST(DetailsText, ContactAndPlayerTexts) {
    ServerInfo server;
    server.m_nPlayers = 5;
    server.m_nMaxPlayers = 16;
    EXPECT_EQ(ServerContactText(server), "");
    EXPECT_EQ(ServerPlayerText(server), "5/16") << "without reserve_slots";
    SetRules(server, {{"sv_contact", "VOTES: 3\tmore text"}, {"reserve_slots", "2.9"}});
    EXPECT_EQ(ServerContactText(server), "VOTES: 3");
    EXPECT_EQ(ServerPlayerText(server), "5/2/16");
    SetRules(server, {{"sv_contact", "votes:"}});
    EXPECT_EQ(ServerContactText(server), "votes:") << "no tab: all of it";
    SetRules(server, {{"sv_contact", "admin@example.org\tx"}});
    EXPECT_EQ(ServerContactText(server), "admin@example.org\tx") << "only votes are cut";
    SetRules(server, {{"reserve_slots", "0"}});
    EXPECT_EQ(ServerPlayerText(server), "5/0/16");
}

TEST(DetailsText, SummaryLine) {
    ServerInfo server(0x0A000001, 27015);
    server.m_strGame = "cstrike";
    server.m_strMap = "de_dust";
    server.m_nPing = 42;
    server.m_nPlayers = 3;
    server.m_nMaxPlayers = 20;
    server.m_bPassword = 1;
    server.m_cServerType = 'd';
    server.m_cOS = 'l';
    server.m_strName = "\xC5land";
    EXPECT_EQ(ServerSummaryText(server).toStdString(),
              "10.0.0.1:27015  cstrike->de_dust  [?/?]  (Pdl)  3/20   <42>  Åland");
    SetRules(server, {{"sv_contact", "votes: 3\tx"}, {"mp_timelimit", "30"}});
    server.m_strAnnotation = "first\r\nsecond";
    EXPECT_EQ(ServerSummaryText(server).toStdString(),
              "10.0.0.1:27015  cstrike->de_dust  [?/30]  (Pdl)  3/20   <42>  "
              "Åland  (votes: 3)  first");
}

TEST(DetailsText, Cells) {
    ServerInfo server(0x7F000001, 27016);
    server.m_nPlayers = 7;
    server.m_nMaxPlayers = 12;
    server.m_cServerType = '\x01';
    server.m_cOS = 'w';
    server.m_strAnnotation = "one\ntwo\r\nthree";
    EXPECT_EQ(ServerCellText(server, 3), "--") << "never answered";
    EXPECT_EQ(ServerCellText(server, 5), "-");
    EXPECT_EQ(ServerCellText(server, 4), "12");
    EXPECT_EQ(ServerCellText(server, 6), "127.0.0.1:27016");
    EXPECT_EQ(ServerCellText(server, 7), "-.w");
    EXPECT_EQ(ServerCellText(server, 8), "one\ntwo") << "a lone line feed does not end a line";
    server.m_nPing = 9;
    EXPECT_EQ(ServerCellText(server, 3), "7");
    EXPECT_EQ(ServerCellText(server, 5), "9");

    PlayerInfo player;
    player.m_nFrags = 4;
    player.m_nPrevFrags = 4;
    player.m_nMinutes = 62;
    player.m_nSeconds = 5;
    EXPECT_EQ(PlayerCellText(player, 3), "+0");
    EXPECT_EQ(PlayerCellText(player, 4), "1:02:05");
    player.m_nFrags = INT32_MIN;
    player.m_nPrevFrags = 1;
    EXPECT_EQ(PlayerCellText(player, 3), "-2147483649") << "the difference does not overflow";

    SearchQuery query("n", "e", QF_MATCHCASE);
    EXPECT_EQ(QueryCellText(query, 4), "-C");
    query.m_dwFlags = QF_REGEX;
    EXPECT_EQ(QueryCellText(query, 4), "R-");

    FoundPlayer found(&server, player);
    EXPECT_EQ(ResultCellText(found, 1), "127.0.0.1:27016");
}

TEST(DetailsText, PlayerStatus) {
    ServerInfo server;
    EXPECT_EQ(PlayersStatusText(server, 0), "") << "no player list yet";
    server.SetPlayers(std::make_unique<PlayerList>(1));
    server.m_nPlayers = 3;
    EXPECT_EQ(PlayersStatusText(server, 3), "3 player(s) on server");
    EXPECT_EQ(PlayersStatusText(server, 2), "2 active and 1 inactive player(s) on server");
    SetRules(server, {{"reserve_slots", "2"}});
    EXPECT_EQ(PlayersStatusText(server, 3), "3 player(s) on server, 2 slot(s) reserved");
}
