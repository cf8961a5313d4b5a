#include <benchmark/benchmark.h>

#include <QTemporaryDir>
#include <arpa/inet.h>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include "bench/BenchUserInterface.h"
#include "core/CScoutwireDoc.h"
#include "core/CSettings.h"

namespace {

constexpr int kBatchEntries = 231; // what the WON master puts in one datagram

// A UDP port that takes the list requests and never answers: the batches
// are handed to the document directly.
class SilentMaster {
public:
    SilentMaster() {
        m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_fd, reinterpret_cast<const sockaddr*>(&local), sizeof local);
        socklen_t length = sizeof local;
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&local), &length);
        m_port = ntohs(local.sin_port);
    }
    ~SilentMaster() { ::close(m_fd); }
    SilentMaster(const SilentMaster&) = delete;
    SilentMaster& operator=(const SilentMaster&) = delete;
    uint16_t Port() const { return m_port; }

private:
    int m_fd = -1;
    uint16_t m_port = 0;
};

// The payload of list batches holding n distinct addresses in an order far
// from sorted, as a real master sends them; the last one ends the list.
std::vector<std::vector<uint8_t>> MakeBatches(int n) {
    std::vector<std::vector<uint8_t>> batches;
    for (int first = 0; first < n; first += kBatchEntries) {
        const int count = std::min(kBatchEntries, n - first);
        const uint32_t next = first + count < n ? static_cast<uint32_t>(batches.size()) * 4 + 3 : 0;
        std::vector<uint8_t> payload = {
            0x0D, static_cast<uint8_t>(next), static_cast<uint8_t>(next >> 8),
            static_cast<uint8_t>(next >> 16), static_cast<uint8_t>(next >> 24)};
        for (int i = first; i < first + count; ++i) {
            const uint64_t scrambled =
                (static_cast<uint64_t>(i) * 1000003ull + 12345ull) % static_cast<uint64_t>(n);
            const uint32_t address = 0x0A000000u + static_cast<uint32_t>(scrambled);
            payload.insert(payload.end(),
                           {static_cast<uint8_t>(address >> 24),
                            static_cast<uint8_t>(address >> 16), static_cast<uint8_t>(address >> 8),
                            static_cast<uint8_t>(address), 0x69, 0x87});
        }
        batches.push_back(std::move(payload));
    }
    return batches;
}

// One whole master exchange of range(0) servers, refreshing of the new
// servers switched on so that the list of new servers is built as well (the
// last batch is held back: the refresh itself is not measured).
void BM_MasterListExchange(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const std::vector<std::vector<uint8_t>> batches = MakeBatches(n);
    QTemporaryDir dir;
    SilentMaster master;
    CSettings settings(dir.filePath("bench.ini").toStdString());
    settings.m_strWONMaster = "127.0.0.1";
    settings.m_wWONPort = master.Port();
    settings.m_dwFlags = OPT_REFRESH_NEW_SERVERS;
    BenchUserInterface ui;
    for (auto _ : state) {
        state.PauseTiming();
        auto doc = std::make_unique<CScoutwireDoc>(settings, ui);
        doc->ConnectToMaster();
        state.ResumeTiming();
        for (size_t b = 0; b + 1 < batches.size(); ++b)
            doc->ParseReply('f', batches[b], 0x7F000001, master.Port());
        benchmark::DoNotOptimize(doc->GetServerList().GetSize());
        state.PauseTiming();
        doc.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * n);
    state.counters["messages"] = ui.m_nMessages;
}

} // namespace

BENCHMARK(BM_MasterListExchange)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(300000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
