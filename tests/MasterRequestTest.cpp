#include <gtest/gtest.h>

#include "net/MasterRequest.h"

namespace {

std::vector<uint8_t> Bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

// Batch id 0.
std::vector<uint8_t> Request(char kind, const std::string& text) {
    return Bytes(kind + std::string(4, '\0') + text + '\0');
}

} // namespace

TEST(MasterRequest, FilterTexts) {
    EXPECT_EQ(BuildMasterRequest(0, "", ""), std::vector<uint8_t>({0x65, 0, 0, 0, 0, 0}));

    const auto gameOnly = BuildMasterRequest(0, "cstrike", "");
    EXPECT_EQ(gameOnly.size(), 22u);
    EXPECT_EQ(gameOnly, Request('1', "\\gamedir\\cstrike"));

    EXPECT_EQ(BuildMasterRequest(0, "", "de_dust"), Request('1', "\\map\\de_dust"));
    EXPECT_EQ(BuildMasterRequest(0, "valve", "crossfire"),
              Request('1', "\\gamedir\\valve\\map\\crossfire"));
}

TEST(MasterRequest, LongFilterIsCutTo250Bytes) {
    const std::string game(300, 'g');
    const std::string text = MasterFilterText(game, "de_dust");
    ASSERT_EQ(text.size(), 250u);
    EXPECT_EQ(text, ("\\gamedir\\" + game).substr(0, 250));

    const auto request = BuildMasterRequest(0, game, "de_dust");
    ASSERT_EQ(request.size(), 256u);
    EXPECT_EQ(request.front(), '1');
    EXPECT_EQ(request.back(), 0);
    EXPECT_EQ(std::vector<uint8_t>(request.begin() + 5, request.end() - 1), Bytes(text));

    // Exactly 250 bytes of text stay whole.
    const std::string fits(250 - 9, 'x');
    EXPECT_EQ(MasterFilterText(fits, ""), "\\gamedir\\" + fits);
}

TEST(MasterRequest, BatchIdIsLittleEndian) {
    const auto request = BuildMasterRequest(0x00ABCDEF, "", "");
    EXPECT_EQ(request, std::vector<uint8_t>({'e', 0xEF, 0xCD, 0xAB, 0x00, 0x00}));
    const auto high = BuildMasterRequest(0xFEDCBA98, "tfc", "");
    EXPECT_EQ(std::vector<uint8_t>(high.begin() + 1, high.begin() + 5),
              std::vector<uint8_t>({0x98, 0xBA, 0xDC, 0xFE}));
}

TEST(ServerRequest, CommandDatagrams) {
    const auto details = BuildServerRequest("details");
    EXPECT_EQ(details.size(), 12u);
    std::vector<uint8_t> expected{0xFF, 0xFF, 0xFF, 0xFF, 'd', 'e', 't', 'a', 'i', 'l', 's', 0};
    EXPECT_EQ(details, expected);
    EXPECT_EQ(BuildServerRequest("players").size(), 12u);
    const auto rules = BuildServerRequest("rules");
    EXPECT_EQ(rules, std::vector<uint8_t>({0xFF, 0xFF, 0xFF, 0xFF, 'r', 'u', 'l', 'e', 's', 0}));
}
