#include <gtest/gtest.h>

#include "net/QueryCommands.h"
#include "tests/LabTestSupport.h"

namespace {

// Notices the largest number of open server sockets after any change.
struct PoolWatcher : IDocView {
    explicit PoolWatcher(CScoutwireDoc& d) : doc(d) {}
    void OnUpdate(IDocView*, int, const CUpdateHint*) override {
        most = std::max(most, doc.GetServerSocketCount());
    }
    CScoutwireDoc& doc;
    int most = 0;
};

class RefreshEngineTest : public ::testing::Test, public LabDocFixture {
protected:
    std::vector<ServerInfo*> AllServers() {
        std::vector<ServerInfo*> list;
        for (int i = 0; i < lab.ServerCount(); ++i)
            list.push_back(Server(i));
        return list;
    }
};

} // namespace

TEST_F(RefreshEngineTest, BulkRefreshQueriesEveryServerAndTimesOutTheSilentOnes) {
    Start({"--servers", "60", "--seed", "5", "--latency", "1-30", "--silent", "0.15",
           "--details-only", "0.1"});
    const std::vector<ServerInfo*> servers = AllServers();
    for (ServerInfo* s : servers) {
        s->SetPlayers(std::make_unique<PlayerList>(1));
        s->m_pPlayers->Insert(std::make_unique<PlayerInfo>());
    }
    doc->RefreshServers(servers);
    EXPECT_FALSE(doc->IsRefreshing());
    EXPECT_EQ(doc->GetServerSocketCount(), 0);
    EXPECT_EQ(ui.progressDialogs, 1);
    ASSERT_GE(ui.progressTexts.size(), 2u);
    EXPECT_EQ(ui.progressTexts.front(), "Refreshing 60 servers...");
    EXPECT_EQ(ui.progressTexts.back(), "Waiting for outstanding requests to complete...");
    for (int i = 0; i < lab.ServerCount(); ++i) {
        const QString behaviour = lab.ServerAt(i).value("behaviour").toString();
        const ServerInfo* s = servers[static_cast<size_t>(i)];
        SCOPED_TRACE(i);
        if (behaviour == "silent") {
            EXPECT_EQ(s->m_nPing, 0u);
            EXPECT_TRUE(s->m_pPlayers->IsEmpty()) << "a silent server loses its players";
        } else if (behaviour == "details-only") {
            EXPECT_NE(s->m_nPing, 0u) << "its ping stays as measured";
            EXPECT_TRUE(s->m_pPlayers->IsEmpty()) << "players timed out";
        } else {
            EXPECT_NE(s->m_nPing, 0u);
            EXPECT_EQ(s->m_pPlayers->GetSize(),
                      lab.ServerAt(i).value("players").toArray().size());
        }
    }
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(RefreshEngineTest, KeepPlayersSparesTheListOnlyForASilentServer) {
    Start({"--servers", "30", "--seed", "6", "--silent", "0.3", "--details-only", "0.3"});
    settings->m_dwFlags |= OPT_KEEP_PLAYERS;
    ServerInfo* silent = Server(FindIndex("silent"));
    ServerInfo* detailsOnly = Server(FindIndex("details-only"));
    for (ServerInfo* s : {silent, detailsOnly}) {
        s->SetPlayers(std::make_unique<PlayerList>(1));
        s->m_pPlayers->Insert(std::make_unique<PlayerInfo>());
    }
    std::vector<ServerInfo*> list{silent, detailsOnly};
    doc->RefreshServers(list);
    EXPECT_EQ(silent->m_pPlayers->GetSize(), 1);
    EXPECT_TRUE(detailsOnly->m_pPlayers->IsEmpty());
}

// One socket at a time waits for the cleaning pass to free it; no room at
// all counts as one.
TEST_F(RefreshEngineTest, SocketLimit) {
    Start({"--servers", "8", "--seed", "7"});
    for (const int limit : {1, 0}) {
        settings->m_nMaxOpenSockets = limit;
        const std::vector<ServerInfo*> servers = AllServers();
        for (ServerInfo* s : servers)
            s->m_nPing = 0;
        PoolWatcher watcher(*doc);
        doc->AddView(&watcher);
        doc->RefreshServers(servers);
        doc->RemoveView(&watcher);
        EXPECT_EQ(watcher.most, 1) << limit;
        for (int i = 0; i < lab.ServerCount(); ++i) {
            if (lab.ServerAt(i).value("behaviour").toString() == "normal") {
                EXPECT_NE(doc->FindServer(lab.AddressAt(i), lab.ServerPort())->m_nPing, 0u);
            }
        }
    }
}

TEST_F(RefreshEngineTest, CancelStopsNewQueriesAndASecondCancelEndsTheWait) {
    Start({"--servers", "40", "--seed", "9", "--silent", "1"});
    settings->m_nSocketTimeout = 5000;
    settings->m_nSendInterval = 20;
    // The first Cancel comes while the fifth query waits for its slot; the
    // second during the wait for the silent servers.
    int checks = 0;
    int cancels = 0;
    ui.cancelAt = [&](int) {
        ++checks;
        if (cancels == 0 && doc->GetServerSocketCount() == 4) {
            ++cancels;
            return true;
        }
        if (cancels == 1 && ui.progressTexts.back() != "Refreshing 40 servers...") {
            ++cancels;
            return true;
        }
        return false;
    };
    doc->RefreshServers(AllServers());
    EXPECT_EQ(cancels, 2);
    EXPECT_EQ(doc->GetServerSocketCount(), 4) << "queries already sent stay open";
    EXPECT_FALSE(doc->IsRefreshing());
}

TEST_F(RefreshEngineTest, RecordsRemovedDuringARefreshAreSkipped) {
    Start({"--servers", "20", "--seed", "10"});
    settings->m_nSendInterval = 10;
    std::vector<ServerInfo*> list = AllServers();
    bool cleared = false;
    ui.cancelAt = [&](int) {
        if (!cleared && doc->GetServerSocketCount() >= 2) {
            cleared = true;
            doc->ClearServerList(); // every server here is a WON-only record
        }
        return false;
    };
    doc->RefreshServers(list);
    EXPECT_TRUE(cleared);
    EXPECT_EQ(doc->GetServerList().GetSize(), 0);
}

TEST_F(RefreshEngineTest, NoProgressDialogNoRefresh) {
    Start({"--servers", "2", "--seed", "1"});
    ui.failProgress = true;
    const std::vector<ServerInfo*> servers = AllServers();
    // A query starts by resetting the ping and ends with a measured one: a
    // ping left as it was means no server was asked.
    for (ServerInfo* s : servers)
        s->m_nPing = 77;
    doc->RefreshServers(servers);
    EXPECT_EQ(doc->GetServerSocketCount(), 0);
    for (const ServerInfo* s : servers)
        EXPECT_EQ(s->m_nPing, 77u);
    EXPECT_EQ(view.Count(HINT_SERVER_DETAILS), 0);
}

TEST_F(RefreshEngineTest, FinishedSocketBehindAWaitingOneLeavesAtTheNextPass) {
    Start({"--servers", "10", "--seed", "12", "--silent", "0.5"});
    settings->m_nSocketTimeout = 1500;
    ServerInfo* silent = Server(FindIndex("silent"));
    ServerInfo* normal = Server(FindIndex("normal"));
    ASSERT_TRUE(doc->RefreshServer(*silent, CMD_DETAILS));
    ASSERT_TRUE(doc->RefreshServer(*normal, CMD_DETAILS));
    ASSERT_TRUE(WaitUntil([&] { return normal->m_nPing != 0; }));
    ASSERT_TRUE(WaitUntil([&] { return doc->GetServerSocketCount() == 1; }))
        << "the silent server's socket does not hold up the finished one";
    EXPECT_EQ(silent->m_nPing, 0u);
    ASSERT_TRUE(WaitForIdleSockets());
    EXPECT_EQ(silent->m_nPing, 0u);
}
