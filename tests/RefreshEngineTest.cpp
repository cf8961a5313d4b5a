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

class RefreshEngineTest : public ::testing::Test, public LabDocFixture {};

} // namespace

// A silent server loses its players, one that answers only details keeps its
// ping and loses the players that timed out; with Keep Players only the
// silent one keeps them.
TEST_F(RefreshEngineTest, BulkRefreshQueriesEveryServerAndTimesOutTheSilentOnes) {
    Start({"--servers", "60", "--seed", "5", "--latency", "1-30", "--silent", "0.15",
           "--details-only", "0.1"});
    for (const bool keepPlayers : {false, true}) {
        SCOPED_TRACE(keepPlayers);
        if (keepPlayers)
            settings->m_dwFlags |= OPT_KEEP_PLAYERS;
        ui.progressTexts.clear();
        const std::vector<ServerInfo*> servers = AllServers();
        doc->RefreshServers(servers);
        EXPECT_FALSE(doc->IsRefreshing());
        EXPECT_EQ(doc->GetServerSocketCount(), 0);
        ASSERT_GE(ui.progressTexts.size(), 2u);
        EXPECT_EQ(ui.progressTexts.front(), "Refreshing 60 servers...");
        EXPECT_EQ(ui.progressTexts.back(), "Waiting for outstanding requests to complete...");
        for (int i = 0; i < lab.ServerCount(); ++i) {
            const QString behaviour = lab.ServerAt(i).value("behaviour").toString();
            const ServerInfo* s = servers[static_cast<size_t>(i)];
            SCOPED_TRACE(i);
            EXPECT_EQ(s->m_nPing != 0, behaviour != "silent");
            EXPECT_EQ(s->m_pPlayers->GetSize(),
                      behaviour == "silent"         ? (keepPlayers ? 1 : 0)
                      : behaviour == "details-only" ? 0
                                                    : lab.ServerAt(i).value("players").toArray().size());
        }
    }
    EXPECT_EQ(ui.progressDialogs, 2);
    EXPECT_TRUE(ui.messages.empty());
}

// One socket at a time waits for the cleaning pass to free it; no room at
// all counts as one. A finished socket behind a waiting one leaves at the
// next pass.
TEST_F(RefreshEngineTest, SocketLimitAndFinishedSocketBehindAWaitingOne) {
    Start({"--servers", "10", "--seed", "12", "--silent", "0.5"});
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
        for (int i = 0; i < lab.ServerCount(); ++i)
            EXPECT_EQ(servers[size_t(i)]->m_nPing != 0, lab.ServerAt(i)["behaviour"] == "normal");
    }
    settings->m_nMaxOpenSockets = 50;
    settings->m_nSocketTimeout = 1500;
    ServerInfo* silent = doc->FindServer(lab.AddressAt(FindIndex("silent")), lab.ServerPort());
    ServerInfo* normal = doc->FindServer(lab.AddressAt(FindIndex("normal")), lab.ServerPort());
    normal->m_nPing = 0;
    ASSERT_TRUE(doc->RefreshServer(*silent, CMD_DETAILS));
    ASSERT_TRUE(doc->RefreshServer(*normal, CMD_DETAILS));
    ASSERT_TRUE(WaitUntil([&] { return normal->m_nPing != 0; }));
    ASSERT_TRUE(WaitUntil([&] { return doc->GetServerSocketCount() == 1; }))
        << "the silent server's socket does not hold up the finished one";
    EXPECT_EQ(silent->m_nPing, 0u);
}

// A refresh without its progress dialog asks nobody; one whose records are
// cleared while it runs skips them; the first Cancel comes while the fifth
// query waits for its slot, the second during the wait for the silent ones.
TEST_F(RefreshEngineTest, NoProgressDialogClearAndCancel) {
    Start({"--servers", "40", "--seed", "9", "--silent", "1"});
    // A query starts by resetting the ping: one left as it was was not asked.
    ui.failProgress = true;
    const std::vector<ServerInfo*> servers = AllServers();
    for (ServerInfo* s : servers)
        s->m_nPing = 77;
    doc->RefreshServers(servers);
    EXPECT_EQ(doc->GetServerSocketCount(), 0);
    for (const ServerInfo* s : servers)
        EXPECT_EQ(s->m_nPing, 77u);
    EXPECT_EQ(view.Count(HINT_SERVER_DETAILS), 0);

    ui.failProgress = false;
    settings->m_nSendInterval = 20;
    bool cleared = false;
    ui.cancelAt = [&](int) {
        if (!cleared && doc->GetServerSocketCount() >= 2) {
            cleared = true;
            doc->ClearServerList(); // every server here is a WON-only record
        }
        return false;
    };
    doc->RefreshServers(servers);
    EXPECT_TRUE(cleared);
    EXPECT_EQ(doc->GetServerList().GetSize(), 0);

    settings->m_nSocketTimeout = 5000;
    int cancels = 0;
    ui.cancelAt = [&](int) {
        if (cancels == 0 && doc->GetServerSocketCount() == 4)
            return ++cancels > 0;
        if (cancels == 1 && ui.progressTexts.back() != "Refreshing 40 servers...")
            return ++cancels > 0;
        return false;
    };
    doc->RefreshServers(AllServers());
    EXPECT_EQ(cancels, 2);
    EXPECT_EQ(doc->GetServerSocketCount(), 4) << "queries already sent stay open";
    EXPECT_FALSE(doc->IsRefreshing());
}
