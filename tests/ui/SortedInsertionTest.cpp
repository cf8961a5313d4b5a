#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "core/ServerList.h"
#include "ui/SortedInsertion.h"

namespace {

// Few distinct values per column, so that most records tie with others and
// the place each tie lands on is what is compared.
std::vector<std::unique_ptr<ServerInfo>> MakeServers(int n, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<std::unique_ptr<ServerInfo>> servers;
    for (int i = 0; i < n; ++i) {
        auto s = std::make_unique<ServerInfo>(rng() % 50, static_cast<uint16_t>(rng() % 3));
        s->m_nPing = rng() % 4 == 0 ? 0 : rng() % 7;
        s->m_strName = std::string(1, static_cast<char>('a' + rng() % 5));
        s->m_strGame = rng() % 2 ? "cstrike" : "valve";
        s->m_nPlayers = static_cast<uint8_t>(rng() % 4);
        servers.push_back(std::move(s));
    }
    return servers;
}

} // namespace

TEST(SortedInsertion, SameOrderAsInsertingOneByOne) {
    const std::vector<std::vector<int32_t>> keyLists = {{2}, {-3}, {4, 3},   {6, -2},
                                                        {1}, {},   {3, 2, 1}};
    for (int n : {0, 1, 2, 7, 300, 1500, 5000}) {
        const auto servers = MakeServers(n, 7u + static_cast<unsigned>(n));
        std::vector<ServerInfo*> records;
        for (const auto& s : servers)
            records.push_back(s.get());
        for (const auto& keys : keyLists) {
            ServerList oneByOne;
            oneByOne.SetSortKeys(keys);
            for (ServerInfo* s : records)
                oneByOne.Insert(s);
            ServerList fast;
            fast.SetSortKeys(keys);
            InsertAllSorted(fast, std::span<ServerInfo* const>(records));
            ASSERT_EQ(fast.GetSize(), n);
            for (int i = 0; i < n; ++i)
                ASSERT_EQ(fast[i], oneByOne[i]) << "n " << n << ", row " << i;
        }
    }
}

TEST(SortedInsertion, AddsToWhatTheArrayHolds) {
    const auto servers = MakeServers(2000, 99);
    std::vector<ServerInfo*> first;
    std::vector<ServerInfo*> second;
    for (size_t i = 0; i < servers.size(); ++i)
        (i < 700 ? first : second).push_back(servers[i].get());
    ServerList oneByOne(3);
    for (const auto& s : servers)
        oneByOne.Insert(s.get());
    ServerList fast(3);
    for (ServerInfo* s : first)
        fast.Insert(s);
    InsertAllSorted(fast, std::span<ServerInfo* const>(second));
    ASSERT_EQ(fast.GetSize(), oneByOne.GetSize());
    for (int i = 0; i < fast.GetSize(); ++i)
        ASSERT_EQ(fast[i], oneByOne[i]) << i;
}
