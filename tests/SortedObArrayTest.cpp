#include <gtest/gtest.h>

#include "core/PlayerList.h"
#include "core/ServerList.h"
#include "core/TextCompare.h"

namespace {

std::unique_ptr<ServerInfo> MakeServer(uint32_t address, uint16_t port, uint32_t ping = 0,
                                       const char* name = "") {
    auto s = std::make_unique<ServerInfo>(address, port);
    s->m_nPing = ping;
    s->m_strName = name;
    return s;
}

std::vector<uint32_t> Addresses(const ServerList& list) {
    std::vector<uint32_t> out;
    for (ServerInfo* s : list)
        out.push_back(s->m_dwAddress);
    return out;
}

class ServerOrderTest : public ::testing::Test {
protected:
    ServerInfo* Add(std::unique_ptr<ServerInfo> s) {
        owned.push_back(std::move(s));
        return owned.back().get();
    }
    ServerList SortedBy(std::vector<int32_t> keys) {
        ServerList list;
        list.SetSortKeys(std::move(keys));
        for (auto& s : owned)
            list.Insert(s.get());
        return list;
    }
    std::vector<std::unique_ptr<ServerInfo>> owned;
};

} // namespace

// Four servers at addresses 1-4, set up per column, sorted both ways.
TEST_F(ServerOrderTest, SortOrders) {
    std::vector<ServerInfo*> s;
    for (uint32_t a = 1; a <= 4; ++a)
        s.push_back(Add(MakeServer(a, 1)));
    // Ping: unknown (0) last ascending, first descending; 0x7FFFFFFF is as
    // large as the unknown marker.
    s[1]->m_nPing = 250;
    s[2]->m_nPing = 40;
    s[3]->m_nPing = 0x7FFFFFFF;
    EXPECT_EQ(Addresses(SortedBy({3, 1})), (std::vector<uint32_t>{3, 2, 1, 4}));
    EXPECT_EQ(Addresses(SortedBy({-3, 1})), (std::vector<uint32_t>{1, 4, 2, 3}));
    // Players, larger first: ties break on the player list's size, no list last.
    s[0]->m_nPlayers = s[1]->m_nPlayers = s[2]->m_nPlayers = 5;
    s[3]->m_nPlayers = 9;
    s[1]->SetPlayers(std::make_unique<PlayerList>(1));
    s[2]->SetPlayers(std::make_unique<PlayerList>(1));
    s[2]->m_pPlayers->Insert(std::make_unique<PlayerInfo>());
    EXPECT_EQ(Addresses(SortedBy({6})), (std::vector<uint32_t>{4, 3, 2, 1}));
    EXPECT_EQ(Addresses(SortedBy({-6})), (std::vector<uint32_t>{1, 2, 3, 4}));
    // Names without case, Latin-1 included: Étoile, alpha, étoile b, ALPHA.
    s[0]->m_strName = "\xC9toile";
    s[1]->m_strName = "alpha";
    s[2]->m_strName = "\xE9toile b";
    s[3]->m_strName = "ALPHA";
    EXPECT_EQ(Addresses(SortedBy({2, 1})), (std::vector<uint32_t>{2, 4, 1, 3}));
    EXPECT_TRUE(EqualsNoCase("\x8A\x8C\x8E\x9F", "\x9A\x9C\x9E\xFF")); // Windows-1252 pairs
    EXPECT_FALSE(EqualsNoCase("\x80", "\x90")) << "the euro sign has no partner";
    // Flags: open servers first, then by type, then by operating system.
    s[0]->m_bPassword = 1;
    s[0]->m_cServerType = 'd';
    s[1]->m_cServerType = s[2]->m_cServerType = 'l';
    s[1]->m_cOS = 'w';
    s[2]->m_cOS = 'l';
    owned.pop_back();
    EXPECT_EQ(Addresses(SortedBy({8})), (std::vector<uint32_t>{3, 2, 1}));
}
