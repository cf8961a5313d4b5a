#include <gtest/gtest.h>

#include "net/Address.h"
#include "net/QueryCommands.h"
#include "tests/LabTestSupport.h"

namespace {

class LabQueryTest : public ::testing::Test, public LabDocFixture {
protected:
    void SetUp() override {
        Start({"--servers", "40", "--seed", "11", "--latency", "20-60", "--silent", "0.1",
               "--message", "0.1"},
              1000);
    }
};

} // namespace

// The ping is the network's even when the window was busy (a long repaint,
// say) well past the reply: the kernel's arrival time counts, not the time
// the loop got round to it.
TEST_F(LabQueryTest, OneServerFillsEveryFieldAsTheManifestSays) {
    const int index = FindIndex("normal");
    ASSERT_GE(index, 0);
    const QJsonObject expected = lab.ServerAt(index);
    ServerInfo* server = Server(index);
    ASSERT_TRUE(doc->RefreshServerIfIdle(server, CMD_DETAILS | CMD_PLAYERS | CMD_RULES));
    EXPECT_FALSE(doc->RefreshServerIfIdle(server, CMD_DETAILS)) << "not asked twice at once";
    EXPECT_FALSE(doc->RefreshServerIfIdle(nullptr, CMD_DETAILS));
    EXPECT_EQ(doc->GetServerSocketCount(), 1);
    const auto until = SteadyClock::now() + std::chrono::milliseconds(150);
    while (SteadyClock::now() < until) {
    }
    ASSERT_TRUE(WaitForIdleSockets());

    ExpectAsManifest(*server, expected);
    EXPECT_TRUE(server->m_strError.empty());
    const int latency = expected.value("latencyMs").toInt();
    EXPECT_GE(static_cast<int>(server->m_nPing), latency);
    EXPECT_LE(static_cast<int>(server->m_nPing), latency + 20) << "the ping is the injected latency";

    // The second answer reports frags + delta; the earlier frags are kept.
    Query(server);
    const QJsonArray players = expected.value("players").toArray();
    ASSERT_TRUE(server->m_pPlayers);
    ASSERT_EQ(server->m_pPlayers->GetSize(), players.size());
    for (int i = 0; i < players.size(); ++i) {
        const QJsonObject p = players.at(i).toObject();
        const PlayerInfo* got = server->m_pPlayers->GetAt(i);
        const int seconds = static_cast<int>(static_cast<float>(p.value("time").toDouble()));
        EXPECT_EQ(std::make_tuple(int(got->m_nIndex), Hex(got->m_strName), got->m_nFrags,
                                  got->m_nPrevFrags, got->m_nMinutes, got->m_nSeconds),
                  std::make_tuple(p["index"].toInt(),
                                  LabProcess::Bytes(p, "name").toHex().toStdString(),
                                  p["frags"].toInt() + p["fragsDelta"].toInt(), p["frags"].toInt(),
                                  seconds / 60, seconds % 60));
    }

    // A text message fills the error and empties the players.
    ServerInfo* message = Server(FindIndex("message"));
    message->SetPlayers(std::make_unique<PlayerList>(1));
    message->m_pPlayers->Insert(std::make_unique<PlayerInfo>());
    Query(message);
    EXPECT_EQ(message->m_strError,
              lab.ServerAt(FindIndex("message")).value("message").toString().toStdString());
    ASSERT_TRUE(message->m_pPlayers);
    EXPECT_TRUE(message->m_pPlayers->IsEmpty());
    // Nobody at the port: the refusal means no answer, not a box.
    ServerInfo* closed = AddServer(lab.AddressAt(index), uint16_t(lab.ServerPort() + 1));
    Query(closed);
    EXPECT_EQ(closed->m_nPing, 0u);
    EXPECT_TRUE(ui.messages.empty());
}

// A record filed under a stale address whose host name now points at a lab
// server moves there; one whose name points at another record's address is
// not asked (its replies would be filed under the other record) and says why.
TEST_F(LabQueryTest, ConnectByHostName) {
    const uint32_t real = lab.AddressAt(FindIndex("normal"));
    const auto byName = [&](uint32_t stale, uint32_t target) {
        ServerInfo* server = AddServer(stale, lab.ServerPort(), GROUP_MANUAL);
        server->m_strHostName = LabProcess::FormatIP(target).toStdString();
        server->m_bConnectByHostName = 1;
        return server;
    };
    ServerInfo* moving = byName(0x0A000063, real);
    AddServer(0x01000000, lab.ServerPort(), GROUP_MANUAL);
    Query(moving);
    EXPECT_EQ(moving->m_dwAddress, real);
    EXPECT_EQ(doc->FindServer(real, lab.ServerPort()), moving) << "the list stays sorted";
    EXPECT_EQ(doc->FindServer(0x0A000063, lab.ServerPort()), nullptr);
    EXPECT_NE(moving->m_nPing, 0u);

    ServerInfo* duplicate = byName(0x0A000064, real);
    view.entries.clear();
    moving->m_strName.clear();
    for (int round = 0; round < 2; ++round) {
        EXPECT_FALSE(doc->RefreshServerIfIdle(duplicate, CMD_DETAILS));
        EXPECT_EQ(doc->GetServerSocketCount(), 0);
        EXPECT_EQ(duplicate->m_strError, "Same address as " + FormatAddress(real, lab.ServerPort()));
    }
    EXPECT_EQ(view.Count(HINT_SERVER_DETAILS), 1);
    EXPECT_EQ(duplicate->m_dwAddress, 0x0A000064u) << "no duplicate address in the list";
    Query(moving);
    EXPECT_FALSE(doc->RefreshServerIfIdle(duplicate, CMD_DETAILS));
    EXPECT_EQ(duplicate->m_strError, "Same address as " + moving->m_strName) << "named once known";

    // Once the name points elsewhere the record is asked again.
    duplicate->m_strHostName =
        LabProcess::FormatIP(lab.AddressAt(FindIndex("normal", 1))).toStdString();
    Query(duplicate);
    EXPECT_TRUE(duplicate->m_strError.empty());
    EXPECT_NE(duplicate->m_nPing, 0u);
}
