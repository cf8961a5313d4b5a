// Saving and loading a document of 100,000 servers, and the memory that the
// loaded document takes.

#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <algorithm>
#include <fstream>
#include <malloc.h>
#include <string>

#include "core/ScwFile.h"

namespace {

constexpr int kServers = 100000;

OwningServerList MakeServers() {
    OwningServerList list(1);
    list.Reserve(kServers);
    for (int i = 0; i < kServers; ++i) {
        auto s = std::make_unique<ServerInfo>(0x0A000000u + static_cast<uint32_t>(i), 27015);
        s->m_dwFlags = GROUP_WON | (i % 50 == 0 ? GROUP_FAVOURITES : 0);
        s->m_nPing = static_cast<uint32_t>(20 + i % 200);
        s->m_nMaxPlayers = 16;
        s->m_strName = "Server number " + std::to_string(i) + " [EU] de_dust2 only";
        s->m_strGame = "cstrike";
        s->m_strMap = i % 3 ? "de_dust2" : "cs_office";
        s->m_cServerType = 'd';
        s->m_cOS = i % 2 ? 'l' : 'w';
        if (i % 50 == 0) {
            s->m_strAnnotation = "my favourite\r\nplays on Sundays";
            s->m_strPassword = "secret";
        }
        list.Append(std::move(s));
    }
    return list;
}

long ResidentKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return 0;
}

void BM_ScwSave(benchmark::State& state) {
    const OwningServerList servers = MakeServers();
    const std::vector<std::unique_ptr<SearchQuery>> queries;
    QTemporaryDir dir;
    const std::string path = dir.filePath("bench.scw").toStdString();
    size_t bytes = 0;
    for (auto _ : state) {
        const std::vector<uint8_t> file =
            WriteScwFile(servers, queries, ServerFilter(), ServerFilter(), Query());
        SaveFileAtomically(path, file);
        bytes = file.size();
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_ScwSave)->Unit(benchmark::kMillisecond);

void BM_ScwLoad(benchmark::State& state) {
    const std::vector<uint8_t> file = [] {
        const OwningServerList servers = MakeServers();
        const std::vector<std::unique_ptr<SearchQuery>> queries;
        return WriteScwFile(servers, queries, ServerFilter(), ServerFilter(), Query());
    }();
    long residentKb = 0;
    for (auto _ : state) {
        // Hand back what earlier allocations freed, so that the growth is
        // the document's own.
        malloc_trim(0);
        const long before = ResidentKb();
        ScwContents contents;
        ReadScwFile(file, true, contents);
        // Later rounds reuse the memory the first one freed.
        residentKb = std::max(residentKb, ResidentKb() - before);
        benchmark::DoNotOptimize(contents.servers.data());
    }
    state.counters["bytes"] = static_cast<double>(file.size());
    state.counters["resident_kb"] = static_cast<double>(residentKb);
}
BENCHMARK(BM_ScwLoad)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
