// Game servers that send what no honest server would, over real UDP from the
// lab: what the user sees is checked, and that nothing else is disturbed.

#include <gtest/gtest.h>

#include <QJsonArray>
#include <set>
#include <QNetworkDatagram>
#include <QUdpSocket>

#include "net/QueryCommands.h"
#include "tests/LabTestSupport.h"

namespace {

class HostileServerTest : public ::testing::Test, public LabDocFixture {
protected:
    int ManifestCount(int index, const char* key) const {
        return static_cast<int>(lab.ServerAt(index).value(key).toArray().size());
    }
    std::string ManifestName(int index) const {
        return LabProcess::Bytes(lab.ServerAt(index).value("details").toObject(), "name")
            .toStdString();
    }
};

} // namespace

// Strings that run off the datagram's end apply only what is complete; counts
// larger than the datagram keep the entries it holds.
TEST_F(HostileServerTest, UnterminatedStringsAndCountsBeyondTheDatagram) {
    for (const char* fault : {"--unterminated", "--overcount"}) {
        SCOPED_TRACE(fault);
        const bool unterminated = fault == std::string("--unterminated");
        lab.Stop();
        Start({"--servers", "6", "--seed", "41", fault, "1"});
        for (int i = 0; i < lab.ServerCount(); ++i) {
            ServerInfo* server = Server(i);
            server->m_strName = "Before";
            Query(server);
            // Unterminated: the details end inside the name, so the record
            // keeps what it had, but the server did answer; the last
            // player's name and the last rule's value run off the end.
            EXPECT_EQ(server->m_strName, unterminated ? "Before" : ManifestName(i));
            EXPECT_NE(server->m_nPing, 0u);
            ASSERT_TRUE(server->m_pPlayers && server->m_pRules);
            const int lost = unterminated ? 1 : 0;
            EXPECT_EQ(server->m_pPlayers->GetSize(), std::max(0, ManifestCount(i, "players") - lost));
            EXPECT_EQ(server->m_pRules->GetSize(), ManifestCount(i, "rules") - lost);
        }
    }
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(HostileServerTest, LargestDatagramsAreReadWhole) {
    Start({"--servers", "2", "--seed", "43", "--oversize", "1"});
    ServerInfo* server = Server(1);
    Query(server);
    // A 65507-byte details reply: the name fills all of it.
    const std::string name = ManifestName(1);
    EXPECT_GT(server->m_strName.size(), 65000u);
    EXPECT_EQ(server->m_strName.compare(0, name.size(), name), 0);
    EXPECT_EQ(server->m_strName.find_first_not_of('.', name.size()), std::string::npos);
    ASSERT_TRUE(server->m_pPlayers && server->m_pRules);
    ASSERT_EQ(server->m_pPlayers->GetSize(), 255);
    EXPECT_EQ(server->m_pPlayers->GetAt(254)->m_strName.rfind("Big player 255 ", 0), 0u);
    EXPECT_EQ(server->m_pRules->GetSize(), (65507 - 7) / 64);
    EXPECT_TRUE(ui.messages.empty());
}

// A flood of unsupported replies: one box for each socket, never one inside
// another, and the real answer still counts.
TEST_F(HostileServerTest, FloodOfUnsupportedRepliesNeverStacksBoxes) {
    Start({"--servers", "12", "--seed", "45", "--flood", "1", "--flood-count", "1000"});
    const SlowBoxes boxes(ui);
    ServerInfo* first = Server(0);
    for (size_t query = 1; query <= 2; ++query) {
        ASSERT_TRUE(doc->RefreshServer(*first, CMD_DETAILS | CMD_PLAYERS));
        ASSERT_TRUE(WaitForIdleSockets());
        ASSERT_EQ(ui.messages.size(), query);
        EXPECT_NE(ui.messages.back().find(lab.EndpointAt(0).toStdString()), std::string::npos);
    }
    EXPECT_EQ(first->m_strName, ManifestName(0));
    ui.messages.clear();
    std::vector<ServerInfo*> servers;
    for (int i = 0; i < lab.ServerCount(); ++i)
        servers.push_back(Server(i));
    doc->RefreshServers(servers);
    ASSERT_TRUE(WaitForIdleSockets());
    EXPECT_EQ(boxes.deepest, 1);
    // Those whose flood passed while another box was open showed none.
    ASSERT_GE(ui.messages.size(), 1u);
    EXPECT_LE(ui.messages.size(), servers.size());
    EXPECT_EQ(std::set<std::string>(ui.messages.begin(), ui.messages.end()).size(),
              ui.messages.size());
    for (const ServerInfo* server : servers)
        EXPECT_NE(server->m_nPing, 0u);
}

TEST_F(HostileServerTest, RepliesToCommandsNeverSentAdvanceTheQueryButOthersNeverArrive) {
    Start({"--servers", "3", "--seed", "46", "--unsolicited", "1"});
    // The lab does send from the address beside the server: an unconnected
    // socket sees that datagram.
    QUdpSocket probe;
    ASSERT_TRUE(probe.bind(QHostAddress::LocalHost));
    probe.writeDatagram(QByteArray("\xFF\xFF\xFF\xFF" "details", 12), QHostAddress(lab.AddressAt(0)),
                        lab.ServerPort());
    ASSERT_TRUE(WaitUntil([&] {
        while (probe.hasPendingDatagrams()) {
            const QNetworkDatagram d = probe.receiveDatagram();
            if (d.senderAddress().toIPv4Address() == lab.AddressAt(1) &&
                d.data().contains("Not this server"))
                return true;
        }
        return false;
    })) << "the lab sends the impostor's reply";

    ServerInfo* server = Server(0);
    ServerInfo* beside = Server(1);
    Query(server, CMD_DETAILS | CMD_PLAYERS);
    // Rules were never asked for, but they came from the server itself on
    // its own socket: they count, as every reply from it does.
    EXPECT_EQ(server->m_strName, ManifestName(0));
    ASSERT_TRUE(server->m_pRules);
    EXPECT_EQ(server->m_pRules->GetSize(), ManifestCount(0, "rules"));
    // The details from the address beside it never reached a socket
    // connected to this server, and nothing changed the other record.
    EXPECT_TRUE(beside->m_strName.empty());
    EXPECT_EQ(beside->m_nPing, 0u);
    EXPECT_TRUE(ui.messages.empty());
}
