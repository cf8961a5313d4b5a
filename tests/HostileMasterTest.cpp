// Master servers that never finish their list, repeat themselves, flood us
// or list hundreds of thousands of servers: every exchange ends, nothing is
// listed twice, and the user sees one box at most.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <random>
#include <sys/socket.h>
#include <unistd.h>

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

// A UDP port that takes requests and never answers.
class SilentPort {
public:
    SilentPort() {
        m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_fd, reinterpret_cast<const sockaddr*>(&local), sizeof local);
        socklen_t length = sizeof local;
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&local), &length);
        m_port = ntohs(local.sin_port);
    }
    ~SilentPort() { ::close(m_fd); }
    SilentPort(const SilentPort&) = delete;
    SilentPort& operator=(const SilentPort&) = delete;
    uint16_t Port() const { return m_port; }

private:
    int m_fd = -1;
    uint16_t m_port = 0;
};

Payload Batch(uint32_t next, const std::vector<std::pair<uint32_t, uint16_t>>& entries) {
    Payload f = Payload::Reply('f');
    f.U8(0x0D).U32(next);
    for (const auto& [address, port] : entries)
        f.Raw({uint8_t(address >> 24), uint8_t(address >> 16), uint8_t(address >> 8),
               uint8_t(address), uint8_t(port >> 8), uint8_t(port)});
    return f;
}

struct Record {
    uint32_t address;
    uint16_t port;
};

} // namespace

TEST(MasterListMerge, ManyAtOnceGivesWhatOneAtATimeGives) {
    std::mt19937 rng(7);
    OwningServerList merged(1);
    OwningServerList single(1);
    for (int round = 0; round < 40; ++round) {
        // Batches with repeats inside them and of what is already listed.
        std::vector<Record> batch;
        const int n = static_cast<int>(rng() % 300);
        for (int i = 0; i < n; ++i)
            batch.push_back({0x0A000000u + static_cast<uint32_t>(rng() % 2000),
                             static_cast<uint16_t>(27015 + rng() % 2)});
        std::vector<std::unique_ptr<ServerInfo>> many;
        for (const Record& r : batch) {
            auto s = std::make_unique<ServerInfo>(r.address, r.port);
            s->m_strName = "round " + std::to_string(round);
            many.push_back(std::move(s));
            auto one = std::make_unique<ServerInfo>(r.address, r.port);
            one->m_strName = "round " + std::to_string(round);
            single.InsertUnique(std::move(one));
        }
        const std::vector<ServerInfo*> added = merged.InsertManyUnique(std::move(many));
        ASSERT_EQ(merged.GetSize(), single.GetSize());
        for (int i = 0; i < merged.GetSize(); ++i) {
            ASSERT_EQ(merged[i]->m_dwAddress, single[i]->m_dwAddress);
            ASSERT_EQ(merged[i]->m_wPort, single[i]->m_wPort);
            // The first copy stays: a record already listed is not replaced.
            ASSERT_EQ(merged[i]->m_strName, single[i]->m_strName);
        }
        for (size_t i = 0; i < added.size(); ++i) {
            EXPECT_EQ(added[i]->m_strName, "round " + std::to_string(round));
            if (i > 0) {
                EXPECT_LT(ServerColumns::CompareColumn(*added[i - 1], *added[i], 1), 0);
            }
        }
    }
    // A list that does not own its records merges the same way.
    std::vector<std::unique_ptr<ServerInfo>> owned;
    for (uint32_t a : {5u, 1u, 3u, 3u, 9u})
        owned.push_back(std::make_unique<ServerInfo>(a, 1));
    ServerList pointers(1);
    pointers.Append(owned[1].get());
    const std::vector<ServerInfo*> added = pointers.InsertManyUnique(
        {owned[0].get(), owned[2].get(), owned[3].get(), owned[4].get(), owned[1].get()});
    ASSERT_EQ(pointers.GetSize(), 4);
    EXPECT_EQ(added, (std::vector<ServerInfo*>{owned[2].get(), owned[0].get(), owned[4].get()}));
}

TEST_F(HostileMasterTest, LateCopyOfABatchNeitherEndsNorRestartsTheExchange) {
    const SilentPort master;
    settings->m_strWONMaster = "127.0.0.1";
    settings->m_wWONPort = master.Port();
    settings->m_dwFlags = 0;
    doc->ConnectToMaster();
    ASSERT_TRUE(doc->IsUpdatingServerList());
    const Payload first = Batch(7, {{0x0A000001, 27015}, {0x0A000002, 27015}});
    doc->ParseReply(first.Type(), first.Body(), 0x7F000001, master.Port());
    // The answer to a re-sent request for batch 0 arrives after batch 7 was
    // asked for: it names 7 again, which is asked for already.
    doc->ParseReply(first.Type(), first.Body(), 0x7F000001, master.Port());
    EXPECT_EQ(BatchIds(), (std::vector<uint32_t>{0, 7}));
    EXPECT_TRUE(doc->IsUpdatingServerList());
    const Payload last = Batch(0, {{0x0A000001, 27015}, {0x0A000003, 27015}});
    doc->ParseReply(last.Type(), last.Body(), 0x7F000001, master.Port());
    EXPECT_FALSE(doc->IsUpdatingServerList());
    EXPECT_EQ(doc->GetServerList().GetSize(), 3);
    EXPECT_EQ(view.Count(HINT_SERVERS_RELOADED), 1);
}

TEST_F(HostileMasterTest, MasterThatRepeatsABatchIdIsNotAskedAgainAndTimesOut) {
    StartMaster({"--servers", "10", "--seed", "51", "--batch-size", "4", "--master-mode", "repeat"});
    UpdateAndWait();
    // Batch 0 named the batch at index 4; its answer named itself again.
    EXPECT_EQ(BatchIds(), (std::vector<uint32_t>{0, 4 * 4 + 3}));
    EXPECT_TRUE(TimedOut()) << "the list never ended: the user is told so";
    EXPECT_EQ(view.Count(HINT_SERVERS_RELOADED), 1) << "only the clearing before the update";
    EXPECT_EQ(doc->GetServerList().GetSize(), 8) << "what did arrive stays";
    EXPECT_EQ(doc->GetActiveSocketCount(), 0);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(HostileMasterTest, EndlessMasterIsFollowedForABoundedNumberOfBatches) {
    StartMaster({"--servers", "30", "--seed", "52", "--batch-size", "7", "--master-mode", "endless"});
    settings->m_dwFlags |= OPT_REFRESH_NEW_SERVERS;
    UpdateAndWait();
    EXPECT_EQ(BatchIds().size(), static_cast<size_t>(CMasterSocket::kMaxBatches));
    // Ended as a complete list: filtered, listed and refreshed.
    EXPECT_FALSE(TimedOut());
    EXPECT_EQ(view.Count(HINT_SERVERS_RELOADED), 2);
    EXPECT_EQ(doc->GetServerList().GetSize(), 30);
    ExpectSortedAndUnique();
    for (const auto& s : doc->GetServerList())
        EXPECT_NE(s->m_nPing, 0u) << "the new servers were refreshed";
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(HostileMasterTest, EndlessMasterWithFullDatagramsStopsAtTheEntryLimit) {
    // 65506-byte batches of 10916 entries going round 150,000 addresses.
    StartMaster({"--servers", "1", "--seed", "53", "--servers-listed", "150000", "--batch-size", "10916",
           "--master-mode", "endless"});
    UpdateAndWait();
    // Each lap is 13 full batches and one of the 8,092 left over.
    size_t expectedBatches = 0;
    for (int taken = 0, inLap = 0; taken < CMasterSocket::kMaxEntries; ++expectedBatches) {
        const int batch = std::min(10916, 150000 - inLap);
        taken += batch;
        inLap = (inLap + batch) % 150000;
    }
    EXPECT_EQ(BatchIds().size(), expectedBatches);
    EXPECT_FALSE(TimedOut());
    EXPECT_EQ(doc->GetServerList().GetSize(), 150000);
    ExpectSortedAndUnique();
}

TEST_F(HostileMasterTest, HundredsOfThousandsOfEntriesAreListedOnceInOrder) {
    StartMaster(
        {"--servers", "1", "--seed", "54", "--servers-listed", "300000", "--batch-size", "10916"});
    // A favourite among them keeps its record as it is.
    ServerInfo* favourite = AddServer(lab.AddressAt(0), lab.ServerPort(), GROUP_FAVOURITES);
    const uint32_t listed = 0x7FC80000 + 4321;
    ServerInfo* known = AddServer(listed, lab.ServerPort(), GROUP_MANUAL);
    known->m_strAnnotation = "mine";
    UpdateAndWait();
    EXPECT_FALSE(TimedOut());
    EXPECT_EQ(BatchIds().size(), (300000u + 10915) / 10916);
    EXPECT_EQ(doc->GetServerList().GetSize(), 300000 + 1);
    ExpectSortedAndUnique();
    EXPECT_EQ(doc->FindServer(listed, lab.ServerPort()), known);
    EXPECT_EQ(known->m_dwFlags & ~GROUP_FILTERED, GROUP_MANUAL);
    EXPECT_EQ(known->m_strAnnotation, "mine");
    EXPECT_EQ(doc->FindServer(lab.AddressAt(0), lab.ServerPort()), favourite);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(HostileMasterTest, UnsupportedRepliesFromTheMasterShowOneBoxPerExchange) {
    StartMaster({"--servers", "20", "--seed", "55", "--batch-size", "5", "--master-flood", "100"});
    const SlowBoxes boxes(ui, 100);
    for (int exchange = 1; exchange <= 2; ++exchange) {
        UpdateAndWait();
        EXPECT_EQ(doc->GetServerList().GetSize(), 20);
        ASSERT_EQ(ui.messages.size(), static_cast<size_t>(exchange));
        EXPECT_NE(ui.messages.back().find(lab.MasterText().toStdString()), std::string::npos);
    }
    EXPECT_EQ(boxes.deepest, 1);
    EXPECT_FALSE(TimedOut());
}
