#include <gtest/gtest.h>

#include "net/Address.h"
#include "net/QueryCommands.h"
#include "tests/LabTestSupport.h"

namespace {

std::string Hex(const std::string& bytes) {
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())).toHex().toStdString();
}

class LabQueryTest : public ::testing::Test, public LabDocFixture {
protected:
    void SetUp() override {
        Start({"--servers", "40", "--seed", "11", "--latency", "20-60", "--silent", "0.1",
               "--message", "0.1"},
              1000);
    }
};

} // namespace

TEST_F(LabQueryTest, OneServerFillsEveryFieldAsTheManifestSays) {
    const int index = FindIndex("normal");
    ASSERT_GE(index, 0);
    const QJsonObject expected = lab.ServerAt(index);
    const QJsonObject details = expected.value("details").toObject();
    ServerInfo* server = Server(index);
    Query(server);

    EXPECT_EQ(Hex(server->m_strName), LabProcess::Bytes(details, "name").toHex().toStdString());
    EXPECT_EQ(server->m_strMap, details.value("map").toString().toStdString());
    EXPECT_EQ(server->m_strGame, details.value("game").toString().toStdString());
    EXPECT_EQ(server->m_nPlayers, details.value("players").toInt());
    EXPECT_EQ(server->m_nMaxPlayers, details.value("maxPlayers").toInt());
    EXPECT_EQ(server->m_cServerType, details.value("type").toString().toStdString()[0]);
    EXPECT_EQ(server->m_cOS, details.value("os").toString().toStdString()[0]);
    EXPECT_EQ(server->m_bPassword, details.value("password").toBool() ? 1 : 0);
    EXPECT_TRUE(server->m_strError.empty());

    const int latency = expected.value("latencyMs").toInt();
    EXPECT_GE(static_cast<int>(server->m_nPing), latency);
    EXPECT_LE(static_cast<int>(server->m_nPing), latency + 20) << "the ping is the injected latency";

    const QJsonArray players = expected.value("players").toArray();
    ASSERT_TRUE(server->m_pPlayers);
    ASSERT_EQ(server->m_pPlayers->GetSize(), players.size());
    for (int i = 0; i < players.size(); ++i) {
        const QJsonObject p = players.at(i).toObject();
        const PlayerInfo* got = server->m_pPlayers->GetAt(i);
        EXPECT_EQ(got->m_nIndex, p.value("index").toInt());
        EXPECT_EQ(Hex(got->m_strName), LabProcess::Bytes(p, "name").toHex().toStdString());
        EXPECT_EQ(got->m_nFrags, p.value("frags").toInt());
        EXPECT_EQ(got->m_nPrevFrags, got->m_nFrags) << "the first answer has no earlier one";
        const int seconds = static_cast<int>(static_cast<float>(p.value("time").toDouble()));
        EXPECT_EQ(got->m_nMinutes, seconds / 60);
        EXPECT_EQ(got->m_nSeconds, seconds % 60);
    }

    const QJsonArray rules = expected.value("rules").toArray();
    ASSERT_TRUE(server->m_pRules);
    EXPECT_EQ(server->m_pRules->GetSize(), rules.size());
    for (const QJsonValue& value : rules) {
        const QJsonObject rule = value.toObject();
        const std::string* got = server->FindRule(rule.value("key").toString().toStdString());
        ASSERT_TRUE(got) << rule.value("key").toString().toStdString();
        EXPECT_EQ(*got, rule.value("value").toString().toStdString());
    }

    // The second answer reports frags + delta; the earlier frags are kept.
    Query(server);
    for (int i = 0; i < players.size(); ++i) {
        const QJsonObject p = players.at(i).toObject();
        const PlayerInfo* got = server->m_pPlayers->GetAt(i);
        EXPECT_EQ(got->m_nFrags, p.value("frags").toInt() + p.value("fragsDelta").toInt());
        EXPECT_EQ(got->m_nPrevFrags, p.value("frags").toInt());
    }
    EXPECT_TRUE(ui.messages.empty());
}

// A text message fills the error and empties the players; a silent server
// ends with ping 0 after the time-out of its details.
TEST_F(LabQueryTest, MessageAndSilentServers) {
    ServerInfo* message = Server(FindIndex("message"));
    ServerInfo* silent = Server(FindIndex("silent"));
    message->SetPlayers(std::make_unique<PlayerList>(1));
    message->m_pPlayers->Insert(std::make_unique<PlayerInfo>());
    silent->m_nPing = 99;
    Query(message);
    Query(silent);
    EXPECT_EQ(message->m_strError,
              lab.ServerAt(FindIndex("message")).value("message").toString().toStdString());
    ASSERT_TRUE(message->m_pPlayers);
    EXPECT_TRUE(message->m_pPlayers->IsEmpty());
    EXPECT_EQ(silent->m_nPing, 0u);
    EXPECT_TRUE(silent->m_strName.empty());
    EXPECT_EQ(std::count_if(view.entries.begin(), view.entries.end(),
                            [&](const auto& e) {
                                return e.hint == HINT_SERVER_DETAILS && e.server == silent;
                            }),
              1)
        << "the time-out of details";
}

TEST_F(LabQueryTest, AServerWithAnOpenQueryIsNotAskedTwice) {
    ServerInfo* server = Server(FindIndex("normal"));
    EXPECT_TRUE(doc->RefreshServerIfIdle(server, CMD_DETAILS));
    EXPECT_FALSE(doc->RefreshServerIfIdle(server, CMD_DETAILS));
    EXPECT_FALSE(doc->RefreshServerIfIdle(nullptr, CMD_DETAILS));
    EXPECT_FALSE(doc->RefreshServerIfIdle(server, 0));
    EXPECT_EQ(doc->GetServerSocketCount(), 1);
    ASSERT_TRUE(WaitForIdleSockets());
}

TEST_F(LabQueryTest, ConnectByHostNameMovesTheRecordToItsNewAddress) {
    const int index = FindIndex("normal");
    const uint32_t real = lab.AddressAt(index);
    // A record filed under a stale address whose host name now points at the
    // lab server.
    ServerInfo* server = AddServer(0x0A000063, lab.ServerPort(), GROUP_MANUAL);
    server->m_strHostName = LabProcess::FormatIP(real).toStdString();
    server->m_bConnectByHostName = 1;
    AddServer(0x01000000, lab.ServerPort(), GROUP_MANUAL);
    Query(server);
    EXPECT_EQ(server->m_dwAddress, real);
    EXPECT_EQ(doc->FindServer(real, lab.ServerPort()), server) << "the list stays sorted";
    EXPECT_EQ(doc->FindServer(0x0A000063, lab.ServerPort()), nullptr);
    EXPECT_NE(server->m_nPing, 0u);
    const auto& list = doc->GetServerList();
    for (int i = 1; i < list.GetSize(); ++i)
        EXPECT_LT(ServerColumns::CompareColumn(*list[i - 1], *list[i], 1), 0);
}

TEST_F(LabQueryTest, HostNameOfAnotherRecordIsMarkedAndNotQueried) {
    const int index = FindIndex("normal");
    const uint32_t real = lab.AddressAt(index);
    ServerInfo* existing = Server(index);
    ServerInfo* byName = AddServer(0x0A000063, lab.ServerPort(), GROUP_MANUAL);
    byName->m_strHostName = LabProcess::FormatIP(real).toStdString();
    byName->m_bConnectByHostName = 1;
    // Its replies would be filed under the other record: no socket is opened
    // for it, on any refresh, and it says why.
    for (int round = 0; round < 2; ++round) {
        EXPECT_FALSE(doc->RefreshServerIfIdle(byName, CMD_DETAILS));
        EXPECT_EQ(doc->GetServerSocketCount(), 0);
        EXPECT_EQ(byName->m_strError, "Same address as " + FormatAddress(real, lab.ServerPort()));
    }
    EXPECT_EQ(view.Count(HINT_SERVER_DETAILS), 1);
    EXPECT_EQ(byName->m_dwAddress, 0x0A000063u) << "no duplicate address in the list";
    EXPECT_EQ(doc->GetServerList().GetSize(), 2);
    Query(existing);
    EXPECT_NE(existing->m_nPing, 0u);
    EXPECT_FALSE(doc->RefreshServerIfIdle(byName, CMD_DETAILS));
    EXPECT_EQ(byName->m_strError, "Same address as " + existing->m_strName) << "named once known";

    // Once the name points elsewhere the record is asked again.
    byName->m_strHostName =
        LabProcess::FormatIP(lab.AddressAt(FindIndex("normal", 1))).toStdString();
    Query(byName);
    EXPECT_TRUE(byName->m_strError.empty());
    EXPECT_NE(byName->m_nPing, 0u);
}

TEST_F(LabQueryTest, PingIsTheNetworksEvenWhenTheEventLoopWasBusy) {
    const int index = FindIndex("normal");
    ServerInfo* server = Server(index);
    ASSERT_TRUE(doc->RefreshServerIfIdle(server, CMD_DETAILS));
    // The window is busy (a long repaint, say) well past the reply.
    const auto until = SteadyClock::now() + std::chrono::milliseconds(150);
    while (SteadyClock::now() < until) {
    }
    ASSERT_TRUE(WaitForIdleSockets());
    const int latency = lab.ServerAt(index).value("latencyMs").toInt();
    EXPECT_GE(static_cast<int>(server->m_nPing), latency);
    EXPECT_LE(static_cast<int>(server->m_nPing), latency + 20)
        << "the kernel's arrival time, not the time the loop got round to it";
}
