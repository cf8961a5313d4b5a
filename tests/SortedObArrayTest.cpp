#include <gtest/gtest.h>

#include <cmath>

#include "core/PlayerList.h"
#include "core/RuleList.h"
#include "core/ServerList.h"
#include "core/TextCompare.h"
#include "tests/LocaleTestSupport.h"

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

// A click on the only or last key reverses it; with the additive modifier
// a new key is appended and an earlier one moves to the end unchanged.
TEST(SortedObArray, SortColumnClicks) {
    ServerList list;
    list.SetSortKey(2);
    list.SetSortColumn(2, false); // name descending
    EXPECT_EQ(list.GetSortKeys(), (std::vector<int32_t>{-2}));
    list.SetSortColumn(3, true); // ping breaks ties
    EXPECT_EQ(list.GetSortKeys(), (std::vector<int32_t>{-2, 3}));
    list.SetSortColumn(3, true); // the last key reverses
    EXPECT_EQ(list.GetSortKeys(), (std::vector<int32_t>{-2, -3}));
    list.SetSortColumn(2, true); // an earlier key moves to the end unchanged
    EXPECT_EQ(list.GetSortKeys(), (std::vector<int32_t>{-3, -2}));
    list.SetSortColumn(3, false); // plain click on a non-last key keeps its direction
    EXPECT_EQ(list.GetSortKeys(), (std::vector<int32_t>{-3}));
    EXPECT_EQ(list.GetSortColumn(true), 3);
    list.SetSortKeys({});
    EXPECT_EQ(list.GetSortColumn(), 0);
}

TEST(ServerInfo, ReservedSlotsFromTheRule) {
    ServerInfo server;
    EXPECT_EQ(server.GetReservedSlots(), -1) << "no rules";
    server.ResetRules();
    server.m_pRules->Insert(std::make_unique<RuleInfo>(RuleInfo{"mp_timelimit", "30"}));
    EXPECT_EQ(server.GetReservedSlots(), -1) << "no reserve_slots rule";
    server.m_pRules->Insert(std::make_unique<RuleInfo>(RuleInfo{"Reserve_Slots", "1e40"}));
    EXPECT_EQ(server.GetReservedSlots(), 2147483647) << "huge values saturate, any case";
}

// A server writes "20.5" whatever language its players speak: the reading
// must not follow the decimal comma of the user's locale.
TEST(ServerInfo, RuleNumbersReadTheSameInADecimalCommaLocale) {
    GermanLocale german;
    if (!german.Available())
        GTEST_SKIP() << GermanLocale::kMissing;
    const struct {
        const char* text;
        double value;
    } cases[] = {{"20.5", 20.5}, {" +1.5e1x", 15}, {"-0.25", -0.25}, {"20,5", 20},
                 {"0x1.8p1", 3}, {"0x", 0},        {".5", 0.5},      {"abc", 0},
                 {"+-1", 0},     {"", 0},          {"1e-400", 0},    {"\t7.", 7}};
    for (const auto& c : cases)
        EXPECT_EQ(RuleValueToDouble(c.text), c.value) << '"' << c.text << '"';
    EXPECT_EQ(RuleValueToDouble("1e400"), HUGE_VAL);
    EXPECT_TRUE(std::isnan(RuleValueToDouble("nan")));
    EXPECT_EQ(RuleValueToDouble("-inf"), -HUGE_VAL);
    EXPECT_EQ(RuleValueToInt("2.9"), 2);
}
