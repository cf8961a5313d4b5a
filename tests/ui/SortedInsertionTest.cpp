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

// Inserting a batch gives the order of inserting one by one, into an empty
// list and into one that holds records already.
TEST(SortedInsertion, SameOrderAsInsertingOneByOne) {
    const std::vector<std::vector<int32_t>> keyLists = {{2}, {-3}, {4, 3},   {6, -2},
                                                        {1}, {},   {3, 2, 1}};
    for (int n : {0, 1, 2, 7, 300, 1500, 5000}) {
        const auto servers = MakeServers(n, 7u + static_cast<unsigned>(n));
        std::vector<ServerInfo*> records;
        for (const auto& s : servers)
            records.push_back(s.get());
        for (size_t k = 0; k < keyLists.size(); ++k) {
            const std::vector<int32_t>& keys = keyLists[k];
            const size_t held = k % 2 ? records.size() / 3 : 0;
            ServerList oneByOne;
            oneByOne.SetSortKeys(keys);
            ServerList fast;
            fast.SetSortKeys(keys);
            for (size_t i = 0; i < records.size(); ++i) {
                oneByOne.Insert(records[i]);
                if (i < held)
                    fast.Insert(records[i]);
            }
            InsertAllSorted(fast, std::span<ServerInfo* const>(records).subspan(held));
            ASSERT_EQ(fast.GetSize(), n);
            for (int i = 0; i < n; ++i)
                ASSERT_EQ(fast[i], oneByOne[i]) << "n " << n << ", row " << i;
        }
    }
}
