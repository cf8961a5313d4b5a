#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "net/CQueryEngine.h"
#include "net/QueryCommands.h"
#include "tests/LabTestSupport.h"

namespace {

std::string ManifestName(const QJsonObject& server) {
    return LabProcess::Bytes(server.value("details").toObject(), "name").toHex().toStdString();
}

// The lab's players as (name, frags) in name order, and the record's.
std::vector<std::pair<std::string, int>> ManifestPlayers(const QJsonObject& server, bool second) {
    std::vector<std::pair<std::string, int>> out;
    for (const QJsonValue& value : server.value("players").toArray()) {
        const QJsonObject p = value.toObject();
        out.emplace_back(LabProcess::Bytes(p, "name").toHex().toStdString(),
                         p.value("frags").toInt() + (second ? p.value("fragsDelta").toInt() : 0));
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<std::pair<std::string, int>> RecordPlayers(const ServerInfo& server, bool previous) {
    std::vector<std::pair<std::string, int>> out;
    if (server.m_pPlayers)
        for (const auto& p : *server.m_pPlayers)
            out.emplace_back(Hex(p->m_strName), previous ? p->m_nPrevFrags : p->m_nFrags);
    std::sort(out.begin(), out.end());
    return out;
}

class A2sQueryTest : public ::testing::Test, public LabDocFixture {
protected:
    void StartSteam(const QStringList& arguments) { Start(QStringList{"--protocol", "steam"} + arguments, 1000); }
    // The first normal server of the lab whose manifest entry passes.
    int Find(LabProcess& from, const std::function<bool(const QJsonObject&)>& wanted) const {
        for (int i = 0; i < from.ServerCount(); ++i) {
            const QJsonObject s = from.ServerAt(i);
            if (s.value("behaviour").toString() == "normal" && wanted(s))
                return i;
        }
        return -1;
    }
};

} // namespace

// Every info form, with and without the info challenge, both split forms,
// players and rules behind their challenges: each fills the record as the
// manifest says, with the ping of one round trip, and a second answer finds
// each player's earlier frags by name.
TEST_F(A2sQueryTest, EveryFormFillsTheRecordAsTheManifestSays) {
    StartSteam({"--servers", "120", "--seed", "31", "--latency", "30-60", "--split-size", "80",
           "--newer-split", "0.5", "--info-old", "0.25", "--info-both", "0.25"});
    const struct {
        const char* name;
        const char* infoForm;
        bool challenge;
        const char* splitForm; // the form of a split rules reply, or null: any
    } cases[] = {
        {"I", "I", false, nullptr},
        {"I after a challenge", "I", true, nullptr},
        {"m", "m", false, nullptr},
        {"m after a challenge", "m", true, nullptr},
        {"m then I", "mI", false, nullptr},
        {"m then I after a challenge", "mI", true, nullptr},
        {"rules split the Half-Life way", nullptr, false, "halflife"},
        {"rules split the newer way", nullptr, false, "newer"},
    };
    int zeroIndexServers = 0;
    std::set<QString> used; // the lab's second players answer is the one checked
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const int index = Find(lab, [&](const QJsonObject& s) {
            return !used.count(s["address"].toString()) && s["players"].toArray().size() > 1 &&
                   (!c.infoForm ||
                    (s["infoForm"] == c.infoForm && s["wantsChallenge"] == c.challenge)) &&
                   (!c.splitForm || (s["rulesSplit"].toBool() && s["splitForm"] == c.splitForm));
        });
        ASSERT_GE(index, 0) << "the lab has no such server";
        const QJsonObject expected = lab.ServerAt(index);
        used.insert(expected.value("address").toString());
        zeroIndexServers += expected.value("playerIndex").toString() == "zero";
        ServerInfo* server = Server(index, GROUP_STEAM);
        Query(server);

        ExpectAsManifest(*server, expected);
        const int latency = expected.value("latencyMs").toInt();
        EXPECT_GE(static_cast<int>(server->m_nPing), latency);
        EXPECT_LE(static_cast<int>(server->m_nPing), latency + 20) << "one round trip";
        // Players of equal index (0 for all, on half the servers) all kept.
        EXPECT_EQ(RecordPlayers(*server, false), ManifestPlayers(expected, false));

        Query(server, CMD_PLAYERS);
        EXPECT_EQ(RecordPlayers(*server, false), ManifestPlayers(expected, true));
        EXPECT_EQ(RecordPlayers(*server, true), ManifestPlayers(expected, false))
            << "the earlier frags, found by name";
        EXPECT_EQ(server->m_nProtocol, PROTOCOL_UNKNOWN) << "a Steam record keeps its group's";
    }
    EXPECT_GT(zeroIndexServers, 0) << "some servers gave every player index 0";
    EXPECT_TRUE(ui.messages.empty());
}

class A2sEngineTest : public A2sQueryTest, public ::testing::WithParamInterface<bool> {};

// A server that answers every request with a new challenge, and one whose
// split rules never join: both end within the time-out, with no box, and
// nothing changes that no reply described; on either engine.
TEST_P(A2sEngineTest, EndlessChallengesAndSpoiltSplitsAreBounded) {
    StartSteam({"--servers", "16", "--seed", "32", "--challenge-forever", "0.25", "--bad-split", "0.75",
           "--split-size", "100"});
    settings->m_nSocketTimeout = 400;
    if (GetParam()) {
        settings->m_nMaxOpenSockets = 2000;
        settings->m_nQueriesPerSecond = 0;
        ASSERT_TRUE(UsesFastEngine(*settings));
    }
    std::vector<ServerInfo*> servers;
    for (int i = 0; i < lab.ServerCount(); ++i) {
        ServerInfo* server = Server(i, GROUP_STEAM);
        server->m_strName = "kept";
        server->ResetRules();
        server->m_pRules->Insert(std::make_unique<RuleInfo>(RuleInfo{"old", "rule"}));
        servers.push_back(server);
    }
    for (ServerInfo* server : servers)
        ASSERT_TRUE(doc->RefreshServerIfIdle(server, CMD_DETAILS | CMD_PLAYERS | CMD_RULES));
    ASSERT_TRUE(WaitForIdleSockets());
    std::set<QString> faults;
    int endless = 0;
    for (int i = 0; i < lab.ServerCount(); ++i) {
        const QJsonObject expected = lab.ServerAt(i);
        const QString behaviour = expected["behaviour"].toString(),
                      fault = expected["splitFault"].toString();
        SCOPED_TRACE((behaviour + " " + fault).toStdString());
        const ServerInfo* server = servers[static_cast<size_t>(i)];
        if (behaviour == "challenge-forever") {
            ++endless;
            EXPECT_EQ(server->m_strName, "kept");
            EXPECT_EQ(server->m_nPing, 0u);
            EXPECT_EQ(std::count_if(view.entries.begin(), view.entries.end(),
                                    [&](const auto& e) {
                                        return e.hint == HINT_SERVER_DETAILS && e.server == server;
                                    }),
                      1)
                << "only the time-out of details";
        } else if (behaviour == "bad-split") {
            faults.insert(fault);
            EXPECT_EQ(Hex(server->m_strName), ManifestName(expected));
            EXPECT_NE(server->m_nPing, 0u);
            EXPECT_EQ(RecordPlayers(*server, false), ManifestPlayers(expected, false));
            // Duplicated pieces and one too many still join; a missing or
            // inconsistent piece never does, and the rules step times out.
            const bool joins = fault == "duplicated" || fault == "out-of-range";
            ASSERT_TRUE(server->m_pRules);
            EXPECT_EQ(server->m_pRules->GetSize(), joins ? expected["rules"].toArray().size() : 0);
        }
    }
    EXPECT_GT(endless, 0);
    EXPECT_EQ(faults.size(), 6u) << "every kind of spoilt split";
    EXPECT_TRUE(ui.messages.empty());
    if (GetParam()) {
        // Three steps, each asked once and at most a bounded number of times
        // again after a challenge.
        const auto& counters = doc->GetQueryEngine()->GetCounters();
        EXPECT_LE(counters.sent, servers.size() * 3 * (1 + QuerySequence::kMaxChallengeResends));
        EXPECT_GE(counters.timeouts, static_cast<uint64_t>(endless));
    }
}

INSTANTIATE_TEST_SUITE_P(Engines, A2sEngineTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Fast" : "Classic"; });

// Old and new servers in one document, refreshed in one pass; servers added
// by hand from both labs are asked both ways and keep what answered.
TEST_F(A2sQueryTest, MixedDocumentRefreshesInOnePassAndManualServersFindTheirProtocol) {
    StartSteam({"--servers", "20", "--seed", "33", "--latency", "5-30", "--info-old", "0.3"});
    LabProcess won;
    ASSERT_TRUE(won.Start({"--servers", "20", "--seed", "34", "--latency", "5-30"}))
        << won.Error().toStdString();
    struct Entry {
        ServerInfo* server;
        QJsonObject expected;
        uint8_t protocolAfter;
    };
    std::vector<Entry> entries;
    std::vector<ServerInfo*> all;
    const int manualI = Find(lab, [](const QJsonObject& s) { return s["infoForm"] == "I"; });
    const int manualM = Find(lab, [](const QJsonObject& s) { return s["infoForm"] == "m"; });
    ASSERT_TRUE(manualI >= 0 && manualM >= 0);
    bool wonManual = false;
    for (LabProcess* from : {&lab, &won}) {
        for (int i = 0; i < from->ServerCount(); ++i) {
            if (from->ServerAt(i).value("behaviour").toString() != "normal")
                continue;
            // The first normal WON server and two A2S ones are added by hand.
            const bool steam = from == &lab;
            const bool manual = steam ? i == manualI || i == manualM : !std::exchange(wonManual, true);
            ServerInfo* s = AddServer(from->AddressAt(i), from->ServerPort(),
                                      manual ? (steam ? GROUP_MANUAL : GROUP_FAVOURITES)
                                             : (steam ? GROUP_STEAM : GROUP_WON));
            entries.push_back({s, from->ServerAt(i),
                               manual ? (steam ? PROTOCOL_A2S : PROTOCOL_LEGACY) : PROTOCOL_UNKNOWN});
            all.push_back(s);
        }
    }
    settings->m_nSendInterval = 2;
    doc->RefreshServers(all);
    ASSERT_TRUE(WaitForIdleSockets());
    for (const Entry& e : entries) {
        SCOPED_TRACE(ManifestName(e.expected));
        EXPECT_EQ(Hex(e.server->m_strName), ManifestName(e.expected));
        EXPECT_NE(e.server->m_nPing, 0u);
        EXPECT_EQ(RecordPlayers(*e.server, false), ManifestPlayers(e.expected, false));
        EXPECT_EQ(e.server->m_nProtocol, e.protocolAfter);
    }
    EXPECT_TRUE(ui.messages.empty());
}
