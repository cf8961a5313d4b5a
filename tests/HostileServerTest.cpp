// Game servers that send what no honest server would, over real UDP from the
// lab: what the user sees is checked, and that nothing else is disturbed.

#include <gtest/gtest.h>

#include <QJsonArray>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "net/QueryCommands.h"
#include "tests/LabTestSupport.h"

namespace {

class HostileServerTest : public ::testing::Test, public LabDocFixture {
protected:
    void Start(const QStringList& args) {
        ASSERT_TRUE(StartLab(args)) << lab.Error().toStdString();
        settings->m_nCleanInterval = 20;
        settings->m_nSocketTimeout = 400;
        settings->m_nSendInterval = 1;
        StartCleaning();
    }
    // Details, players and rules of one server; waits for its socket to go.
    void Query(ServerInfo* server) {
        ASSERT_TRUE(doc->RefreshServerIfIdle(server, CMD_DETAILS | CMD_PLAYERS | CMD_RULES));
        ASSERT_TRUE(WaitForIdleSockets());
    }
    int ManifestPlayers(int index) const {
        return static_cast<int>(lab.ServerAt(index).value("players").toArray().size());
    }
    int ManifestRules(int index) const {
        return static_cast<int>(lab.ServerAt(index).value("rules").toArray().size());
    }
    std::string ManifestName(int index) const {
        return LabProcess::Bytes(lab.ServerAt(index).value("details").toObject(), "name")
            .toStdString();
    }
    // The document saved and read back holds the same record.
    void ExpectSurvivesSaveAndOpen(const ServerInfo& server) {
        // Opening replaces every record: keep what to compare first.
        const uint32_t address = server.m_dwAddress;
        const uint16_t port = server.m_wPort;
        const std::string name = server.m_strName;
        const std::string path = dir.filePath("hostile.scw").toStdString();
        ASSERT_TRUE(doc->OnSaveDocument(path));
        ASSERT_TRUE(doc->OnOpenDocument(path));
        const ServerInfo* back = doc->FindServer(address, port);
        ASSERT_TRUE(back);
        EXPECT_EQ(back->m_strName, name);
    }
};

// The modal box as a person meets it: it stays open for a while, during
// which the event loop runs on, and it may be opened again from inside.
struct SlowBoxes {
    explicit SlowBoxes(ScriptedUI& ui) {
        ui.onMessage = [this](const std::string&) {
            ++depth;
            deepest = std::max(deepest, depth);
            const uint64_t opened = NowTicks();
            while (ElapsedMs(opened) < 150)
                WaitForEvents(20);
            --depth;
        };
    }
    int depth = 0;
    int deepest = 0;
};

} // namespace

TEST_F(HostileServerTest, StringsWithoutTerminatorsApplyOnlyWhatIsComplete) {
    Start({"--servers", "6", "--seed", "41", "--unterminated", "1"});
    for (int i = 0; i < lab.ServerCount(); ++i) {
        ServerInfo* server = Server(i);
        server->m_strName = "Before";
        server->m_strMap = "old_map";
        Query(server);
        // The details end inside the name: nothing after the address text
        // is complete, so the record keeps what it had, but the server did
        // answer.
        EXPECT_EQ(server->m_strName, "Before") << i;
        EXPECT_EQ(server->m_strMap, "old_map");
        EXPECT_NE(server->m_nPing, 0u);
        // The last player's name and the last rule's value run off the end.
        ASSERT_TRUE(server->m_pPlayers);
        EXPECT_EQ(server->m_pPlayers->GetSize(), std::max(0, ManifestPlayers(i) - 1)) << i;
        ASSERT_TRUE(server->m_pRules);
        EXPECT_EQ(server->m_pRules->GetSize(), ManifestRules(i) - 1) << i;
    }
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(HostileServerTest, CountsLargerThanTheDatagramKeepTheEntriesItHolds) {
    Start({"--servers", "6", "--seed", "42", "--overcount", "1"});
    for (int i = 0; i < lab.ServerCount(); ++i) {
        ServerInfo* server = Server(i);
        Query(server);
        EXPECT_EQ(server->m_strName, ManifestName(i));
        ASSERT_TRUE(server->m_pPlayers);
        EXPECT_EQ(server->m_pPlayers->GetSize(), ManifestPlayers(i)) << "count byte 255";
        ASSERT_TRUE(server->m_pRules);
        EXPECT_EQ(server->m_pRules->GetSize(), ManifestRules(i)) << "count 65535";
    }
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(HostileServerTest, LargestDatagramsAreReadWholeAndSavedWhole) {
    Start({"--servers", "2", "--seed", "43", "--oversize", "1"});
    ServerInfo* server = Server(1);
    Query(server);
    // A 65507-byte details reply: the name fills all of it.
    const std::string name = ManifestName(1);
    EXPECT_GT(server->m_strName.size(), 65000u);
    EXPECT_EQ(server->m_strName.compare(0, name.size(), name), 0);
    EXPECT_EQ(server->m_strName.find_first_not_of('.', name.size()), std::string::npos);
    ASSERT_TRUE(server->m_pPlayers);
    EXPECT_EQ(server->m_pPlayers->GetSize(), 255);
    EXPECT_EQ(server->m_pPlayers->GetAt(254)->m_strName.rfind("Big player 255 ", 0), 0u);
    ASSERT_TRUE(server->m_pRules);
    EXPECT_EQ(server->m_pRules->GetSize(), (65507 - 7) / 64);
    EXPECT_TRUE(ui.messages.empty());
    ExpectSurvivesSaveAndOpen(*server);
}

TEST_F(HostileServerTest, FloodOfUnsupportedRepliesShowsOneBoxPerQuery) {
    Start({"--servers", "1", "--seed", "44", "--flood", "1", "--flood-count", "1000"});
    const SlowBoxes boxes(ui);
    ServerInfo* server = Server(0);
    const std::string expected =
        "Unsupported command 0x5a ('Z') on " + lab.EndpointAt(0).toStdString();
    for (int query = 1; query <= 2; ++query) {
        ASSERT_TRUE(doc->RefreshServer(*server, CMD_DETAILS | CMD_PLAYERS));
        ASSERT_TRUE(WaitForIdleSockets());
        // Every datagram after the first unsupported one went by in silence:
        // one box for each socket, never one inside another.
        ASSERT_EQ(ui.messages.size(), static_cast<size_t>(query));
        EXPECT_EQ(ui.messages.back(), expected);
    }
    EXPECT_EQ(boxes.deepest, 1);
    EXPECT_EQ(server->m_strName, ManifestName(0)) << "the real answer still counts";
}

TEST_F(HostileServerTest, FloodFromManyServersNeverStacksBoxes) {
    Start({"--servers", "12", "--seed", "45", "--flood", "1", "--flood-count", "1000"});
    const SlowBoxes boxes(ui);
    std::vector<ServerInfo*> servers;
    for (int i = 0; i < lab.ServerCount(); ++i)
        servers.push_back(Server(i));
    doc->RefreshServers(servers);
    ASSERT_TRUE(WaitForIdleSockets());
    EXPECT_EQ(boxes.deepest, 1);
    // A box per socket at most; the ones whose flood passed while another
    // box was open showed none.
    ASSERT_GE(ui.messages.size(), 1u);
    EXPECT_LE(ui.messages.size(), servers.size());
    std::set<std::string> distinct(ui.messages.begin(), ui.messages.end());
    EXPECT_EQ(distinct.size(), ui.messages.size());
    for (const ServerInfo* server : servers)
        EXPECT_NE(server->m_nPing, 0u);
}

TEST_F(HostileServerTest, RepliesToCommandsNeverSentAdvanceTheQueryButOthersNeverArrive) {
    Start({"--servers", "3", "--seed", "46", "--unsolicited", "1"});
    // The lab does send from the address beside the server: an unconnected
    // socket sees that datagram.
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(lab.AddressAt(0));
    to.sin_port = htons(lab.ServerPort());
    ASSERT_EQ(::sendto(fd,
                       "\xFF\xFF\xFF\xFF"
                       "details",
                       12, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to),
              12);
    bool impostorSent = false;
    for (int i = 0; i < 4 && !impostorSent; ++i) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 2000) != 1)
            break;
        char buffer[2048];
        sockaddr_in from{};
        socklen_t length = sizeof from;
        const ssize_t n =
            ::recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length);
        impostorSent = n > 0 && ntohl(from.sin_addr.s_addr) == lab.AddressAt(1) &&
                       QByteArray(buffer, n).contains("Not this server");
    }
    ::close(fd);
    ASSERT_TRUE(impostorSent);

    ServerInfo* server = Server(0);
    ServerInfo* beside = Server(1);
    ASSERT_TRUE(doc->RefreshServer(*server, CMD_DETAILS | CMD_PLAYERS));
    ASSERT_TRUE(WaitForIdleSockets());
    // Rules were never asked for, but they came from the server itself on
    // its own socket: they count, as every reply from it does.
    EXPECT_EQ(server->m_strName, ManifestName(0));
    ASSERT_TRUE(server->m_pRules);
    EXPECT_EQ(server->m_pRules->GetSize(), ManifestRules(0));
    ASSERT_TRUE(server->m_pPlayers);
    EXPECT_EQ(server->m_pPlayers->GetSize(), ManifestPlayers(0));
    // The details from the address beside it never reached a socket
    // connected to this server, and nothing changed the other record.
    EXPECT_TRUE(beside->m_strName.empty());
    EXPECT_EQ(beside->m_nPing, 0u);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(HostileServerTest, FlappingServersComeAndGoWithoutAMessage) {
    Start({"--servers", "4", "--seed", "47", "--flapping", "1", "--flap-period", "700"});
    settings->m_nSocketTimeout = 250;
    std::vector<ServerInfo*> servers;
    for (int i = 0; i < lab.ServerCount(); ++i)
        servers.push_back(Server(i));
    std::vector<int> answered(servers.size(), 0);
    std::vector<int> missed(servers.size(), 0);
    const auto seenBoth = [&] {
        for (size_t i = 0; i < servers.size(); ++i)
            if (answered[i] == 0 || missed[i] == 0)
                return false;
        return true;
    };
    for (int round = 0; round < 12 && !seenBoth(); ++round) {
        const uint64_t started = NowTicks();
        doc->RefreshServers(servers);
        ASSERT_TRUE(WaitForIdleSockets());
        for (size_t i = 0; i < servers.size(); ++i)
            ++(servers[i]->m_nPing != 0 ? answered[i] : missed[i]);
        // The next round falls in the next period, or the one after.
        ASSERT_TRUE(WaitUntil([&] { return ElapsedMs(started) >= 700; }));
    }
    EXPECT_TRUE(seenBoth()) << "every server went away and came back";
    EXPECT_TRUE(ui.messages.empty());
}
