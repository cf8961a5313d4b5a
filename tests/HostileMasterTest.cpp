// Masters that never finish, repeat themselves, flood us or list hundreds of
// thousands of servers: every exchange ends, nothing is listed twice, one box at most.

#include <gtest/gtest.h>

#include <QUdpSocket>

#include "net/CMasterSocket.h"
#include "tests/ByteTestSupport.h"
#include "tests/LabTestSupport.h"

namespace {

class HostileMasterTest : public ::testing::Test, public LabDocFixture {
protected:
    void StartMaster(const QStringList& args) {
        Start(args);
        settings->m_nWONRetries = 1;
        settings->m_dwFlags = OPT_CLEAR_BEFORE_UPDATE;
    }
    // In ascending order of address and port, and no two alike.
    void ExpectSortedAndUnique() const {
        const OwningServerList& list = doc->GetServerList();
        for (int i = 1; i < list.GetSize(); ++i)
            ASSERT_LT(ServerColumns::CompareColumn(*list[i - 1], *list[i], 1), 0) << i;
    }
};

Payload Batch(uint32_t next, const std::vector<std::pair<uint32_t, uint16_t>>& entries) {
    Payload f = Payload::Reply('f');
    f.U8(0x0D).U32(next);
    for (const auto& [address, port] : entries)
        f.Raw({uint8_t(address >> 24), uint8_t(address >> 16), uint8_t(address >> 8),
               uint8_t(address), uint8_t(port >> 8), uint8_t(port)});
    return f;
}

} // namespace

TEST_F(HostileMasterTest, LateCopyOfABatchNeitherEndsNorRestartsTheExchange) {
    QUdpSocket master; // takes the requests, never answers
    ASSERT_TRUE(master.bind(QHostAddress::LocalHost));
    settings->m_strWONMaster = "127.0.0.1";
    settings->m_wWONPort = master.localPort();
    settings->m_dwFlags = 0;
    doc->ConnectToMaster();
    ASSERT_TRUE(doc->IsUpdatingServerList());
    const Payload first = Batch(7, {{0x0A000001, 27015}, {0x0A000002, 27015}});
    // The second: the answer to a re-sent request for batch 0, after batch 7
    // was asked for; it names 7 again.
    for (int copy = 0; copy < 2; ++copy)
        doc->ParseReply(first.Type(), first.Body(), 0x7F000001, master.localPort());
    EXPECT_EQ(BatchIds(), (std::vector<uint32_t>{0, 7}));
    EXPECT_TRUE(doc->IsUpdatingServerList());
    const Payload last = Batch(0, {{0x0A000001, 27015}, {0x0A000003, 27015}});
    doc->ParseReply(last.Type(), last.Body(), 0x7F000001, master.localPort());
    EXPECT_FALSE(doc->IsUpdatingServerList());
    EXPECT_EQ(doc->GetServerList().GetSize(), 3);
    EXPECT_EQ(view.Count(HINT_SERVERS_RELOADED), 1);
}

namespace {

struct MasterCase {
    const char* name;
    QStringList arguments;
    size_t batches; // requests for a new batch
    bool timesOut;
    int listed;
};

void PrintTo(const MasterCase& c, std::ostream* out) {
    *out << c.name;
}

class HostileMasterCaseTest : public HostileMasterTest,
                              public ::testing::WithParamInterface<MasterCase> {};

// Each lap of 150,000 is 13 full batches and one of the 8,092 left over.
size_t BatchesUpToTheEntryLimit() {
    size_t batches = 0;
    for (int taken = 0, inLap = 0; taken < CMasterSocket::kMaxEntries; ++batches) {
        const int batch = std::min(10916, 150000 - inLap);
        taken += batch;
        inLap = (inLap + batch) % 150000;
    }
    return batches;
}

// repeat: the second batch names itself again, is not asked for twice, the
// user is told and what came stays. endless: followed for a bounded number of
// batches or entries, then complete. flood: one box per exchange.
const MasterCase kMasters[] = {
    // An honest master whose first request is lost: asked again, every batch
    // comes, and the new servers are refreshed (the silent ones time out).
    {"DroppedFirstRequest",
     {"--servers", "500", "--latency", "0-10", "--silent", "0.05", "--drop-first-master-request"},
     3,
     false,
     500},
    {"Repeat", {"--servers", "10", "--batch-size", "4", "--master-mode", "repeat"}, 2, true, 8},
    {"Endless",
     {"--servers", "30", "--batch-size", "7", "--master-mode", "endless"},
     size_t(CMasterSocket::kMaxBatches),
     false,
     30},
    {"EndlessFullDatagrams",
     {"--servers", "1", "--servers-listed", "150000", "--batch-size", "10916", "--master-mode",
      "endless"},
     BatchesUpToTheEntryLimit(),
     false,
     150000},
    {"HundredsOfThousands",
     {"--servers", "1", "--servers-listed", "300000", "--batch-size", "10916"},
     (300000u + 10915) / 10916,
     false,
     300000},
    {"Flood", {"--servers", "20", "--batch-size", "5", "--master-flood", "100"}, 4, false, 20},
    // Steam's master: endless ends at the first batch with nothing new;
    // repeat ends on a seed asked for already, and the request runs out of
    // retries.
    {"SteamEndless",
     {"--protocol", "steam", "--servers", "50", "--batch-size", "7", "--master-mode", "endless"},
     9,
     false,
     50},
    {"SteamRepeat",
     {"--protocol", "steam", "--servers", "50", "--batch-size", "7", "--master-mode", "repeat"},
     2,
     true,
     7},
    {"SteamDroppedFirstRequest",
     {"--protocol", "steam", "--servers", "300", "--batch-size", "40",
      "--drop-first-master-request"},
     8,
     false,
     300},
};

} // namespace

TEST_P(HostileMasterCaseTest, EndsWithEveryServerListedOnceInOrder) {
    const MasterCase& c = GetParam();
    StartMaster(c.arguments + QStringList{"--seed", "51"});
    if (lab.Steam())
        settings->m_nListSource = LIST_SOURCE_STEAM_MASTER;
    const bool small = c.listed < 1000;
    if (small)
        settings->m_dwFlags |= OPT_REFRESH_NEW_SERVERS;
    // Records the master also lists keep what they had.
    ServerInfo* favourite = AddServer(lab.AddressAt(0), lab.ServerPort(), GROUP_FAVOURITES);
    const uint32_t listed = 0x7FC80000 + 4321;
    ServerInfo* known = AddServer(listed, lab.ServerPort(), GROUP_MANUAL);
    known->m_strAnnotation = "mine";
    const SlowBoxes boxes(ui, 100);
    for (size_t exchange = 1; exchange <= (c.arguments.contains("--master-flood") ? 2u : 1u);
         ++exchange) {
        view.entries.clear();
        UpdateAndWait();
        EXPECT_EQ(BatchIds().size(), c.batches);
        EXPECT_EQ(TimedOut(), c.timesOut);
        EXPECT_EQ(view.Count(HINT_SERVERS_RELOADED), c.timesOut ? 1 : 2);
        EXPECT_EQ(doc->GetServerList().GetSize(), c.listed + 1);
        EXPECT_EQ(doc->GetActiveSocketCount(), 0);
        EXPECT_EQ(ui.messages.size(), c.arguments.contains("--master-flood") ? exchange : 0u);
    }
    EXPECT_LE(boxes.deepest, 1);
    const std::string master =
        (lab.Steam() ? lab.SteamMasterText() : lab.MasterText()).toStdString();
    ASSERT_GE(ui.statusMessages.size(), 2u);
    EXPECT_EQ(ui.statusMessages[0], "Connecting to " + master + "...");
    EXPECT_EQ(ui.statusMessages[1], "Connected to " + master + "...");
    ExpectSortedAndUnique();
    EXPECT_EQ(doc->FindServer(lab.AddressAt(0), lab.ServerPort()), favourite);
    EXPECT_EQ(known->m_strAnnotation, "mine");
    EXPECT_EQ(known->m_dwFlags & ~GROUP_FILTERED, GROUP_MANUAL);
    if (small && !c.timesOut) {
        for (const auto& s : doc->GetServerList())
            EXPECT_TRUE(s.get() == known || s.get() == favourite || s->m_nPing != 0 ||
                        lab.ServerAt(int(s->m_dwAddress - lab.BaseAddress()))["behaviour"] == "silent")
                << "the new servers were refreshed";
    }
}

INSTANTIATE_TEST_SUITE_P(Masters, HostileMasterCaseTest, ::testing::ValuesIn(kMasters),
                         [](const auto& info) { return std::string(info.param.name); });
