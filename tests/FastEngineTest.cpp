// The shared engine (settings beyond the per-socket limits): thousands of
// queries over a few sockets, replies told apart by their sender alone.

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QUdpSocket>

#include "net/CQueryEngine.h"
#include "net/QueryCommands.h"
#include "tests/ByteTestSupport.h"
#include "tests/LabTestSupport.h"

namespace {

class FastEngineTest : public ::testing::Test, public LabDocFixture {
protected:
    // No cleaning pass runs: the shared engine must not need one.
    void Start(QStringList arguments, bool steam) {
        if (steam)
            arguments << "--protocol"
                      << "steam";
        ASSERT_TRUE(StartLab(arguments)) << lab.Error().toStdString();
        settings->m_nMaxOpenSockets = 2000;
        settings->m_nQueriesPerSecond = 0;
        settings->m_nSocketTimeout = 1500;
        ASSERT_TRUE(UsesFastEngine(*settings));
        m_group = steam ? GROUP_STEAM : GROUP_WON;
    }
    const CQueryEngine::Counters& Counters() const { return doc->GetQueryEngine()->GetCounters(); }
    // A server that answered: its own name and players, and a ping of at
    // least the lab's delay (a reply of a faster server credited to it would
    // make it less).
    void ExpectAnswered(int index) {
        const ServerInfo* s = doc->FindServer(lab.AddressAt(index), lab.ServerPort());
        const QJsonObject m = lab.ServerAt(index);
        EXPECT_EQ(s->m_strName, LabProcess::Bytes(m["details"].toObject(), "name").toStdString());
        EXPECT_EQ(s->m_pPlayers->GetSize(), m["players"].toArray().size());
        EXPECT_GE(static_cast<int>(s->m_nPing), m["latencyMs"].toInt());
    }
    // Details timed out: no ping, players gone, nothing else learnt.
    void ExpectTimedOut(int index) {
        const ServerInfo* s = doc->FindServer(lab.AddressAt(index), lab.ServerPort());
        EXPECT_EQ(s->m_nPing, 0u);
        EXPECT_TRUE(s->m_strName.empty());
        EXPECT_TRUE(s->m_pPlayers->IsEmpty());
    }

    uint32_t m_group = GROUP_WON;
};

struct FleetCase {
    const char* name;
    bool steam;
    QStringList arguments;
};

void PrintTo(const FleetCase& fleet, std::ostream* out) {
    *out << fleet.name;
}

class FastFleetTest : public FastEngineTest, public ::testing::WithParamInterface<FleetCase> {};

const FleetCase kFleets[] = {
    {"Steam",
     true,
     {"--servers", "2500", "--seed", "61", "--latency", "5-150", "--silent", "0.2",
      "--challenge-fraction", "0.5", "--info-both", "0.1"}},
    {"Legacy",
     false,
     {"--servers", "2000", "--seed", "62", "--latency", "5-150", "--silent", "0.2"}},
    // Servers that add replies to commands never sent after each answer, and
    // an impostor's from the address beside them: dropped and counted.
    {"Unsolicited",
     false,
     {"--servers", "300", "--seed", "63", "--latency", "0-5", "--unsolicited", "0.3"}},
};

} // namespace

// Every reply reaches its own record with the ping of its own round trip;
// the silent servers end as time-outs, with no cleaning pass and no box.
TEST_P(FastFleetTest, EveryServerGetsItsOwnRepliesAndTheSilentOnesTimeOut) {
    const FleetCase& fleet = GetParam();
    Start(fleet.arguments, fleet.steam);
    const std::vector<ServerInfo*> servers = AllServers(m_group);
    doc->RefreshServers(servers);
    EXPECT_EQ(doc->GetServerSocketCount(), 0);
    EXPECT_FALSE(doc->IsRefreshing());
    EXPECT_EQ(ui.progressTexts.back(), "Waiting for outstanding requests to complete...");
    const CQueryEngine* engine = doc->GetQueryEngine();
    ASSERT_TRUE(engine);
    EXPECT_LE(engine->SocketCount(), 16);
    int silent = 0;
    for (int i = 0; i < lab.ServerCount(); ++i) {
        SCOPED_TRACE(i);
        if (lab.ServerAt(i)["behaviour"] == "silent") {
            ++silent;
            ExpectTimedOut(i);
        } else {
            ExpectAnswered(i);
        }
    }
    EXPECT_EQ(silent > 200, fleet.arguments.contains("--silent"));
    EXPECT_EQ(Counters().timeouts, static_cast<uint64_t>(silent))
        << "only the silent servers time out";
    EXPECT_EQ(Counters().unasked > 0, fleet.arguments.contains("--unsolicited"));
    EXPECT_TRUE(ui.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(Fleets, FastFleetTest, ::testing::ValuesIn(kFleets),
                         [](const auto& info) { return std::string(info.param.name); });

// Every reply later than the time-out, and a stray datagram to each shared
// socket while the queries wait: none reaches a record, each is counted.
TEST_F(FastEngineTest, LateRepliesAndStrayDatagramsAreDropped) {
    Start({"--servers", "400", "--seed", "64", "--latency", "300-400"}, false);
    settings->m_nSocketTimeout = 100;
    const std::vector<uint8_t> stray = Payload::Reply('m').Str("127.0.0.1:1").Str("Stray");
    bool straySent = false;
    const std::vector<ServerInfo*> slow = AllServers(m_group);
    ui.cancelAt = [&](int) {
        const CQueryEngine* engine = doc->GetQueryEngine();
        for (int s = 0; engine && s < engine->SocketCount() && !straySent; ++s) {
            QUdpSocket peer;
            peer.writeDatagram(reinterpret_cast<const char*>(stray.data()),
                               static_cast<qint64>(stray.size()), QHostAddress::LocalHost,
                               engine->LocalPort(s));
        }
        straySent = true;
        return false;
    };
    doc->RefreshServers(slow);
    EXPECT_EQ(Counters().timeouts, slow.size());
    const uint64_t expected = slow.size() + static_cast<uint64_t>(doc->GetQueryEngine()->SocketCount());
    ASSERT_TRUE(WaitUntil([&] { return Counters().unasked == expected; }))
        << "every late reply and every stray datagram arrives, and is dropped";
    for (int i = 0; i < lab.ServerCount(); ++i)
        ExpectTimedOut(i);
    EXPECT_TRUE(ui.messages.empty());
}

// Cancel ends the refresh at once: the queries in flight are dropped, none
// of them times out or sends again, and the records asked are repainted.
TEST_F(FastEngineTest, CancelDropsEveryPendingQueryAtOnce) {
    Start({"--servers", "3000", "--seed", "65", "--silent", "1"}, false);
    settings->m_nSocketTimeout = 60000;
    const std::vector<ServerInfo*> servers = AllServers(m_group);
    int pendingAtCancel = 0;
    uint64_t sentAtCancel = 0;
    ui.cancelAt = [&](int) {
        if (doc->GetServerSocketCount() < 1000)
            return false;
        pendingAtCancel = doc->GetServerSocketCount();
        sentAtCancel = Counters().sent;
        return true;
    };
    doc->RefreshServers(servers);
    ASSERT_GE(pendingAtCancel, 1000);
    EXPECT_EQ(doc->GetServerSocketCount(), 0);
    EXPECT_FALSE(doc->IsRefreshing());
    EXPECT_EQ(ui.progressTexts.back(), "Refreshing 3000 servers...") << "no wait for answers";
    EXPECT_EQ(Counters().timeouts, 0u);
    EXPECT_EQ(Counters().sent, sentAtCancel) << "nothing sent after Cancel";
    EXPECT_LE(sentAtCancel, static_cast<uint64_t>(pendingAtCancel)) << "one request each";
    EXPECT_GE(view.Count(HINT_SERVER_DETAILS), pendingAtCancel);
    // Nothing left to answer or time out: a later refresh starts afresh.
    ui.cancelAt = nullptr;
    settings->m_nSocketTimeout = 50;
    std::vector<ServerInfo*> two{servers[0], servers[1]};
    doc->RefreshServers(two);
    EXPECT_EQ(Counters().timeouts, 2u);
}
