#include <gtest/gtest.h>

#include "net/MasterRequest.h"

namespace {

std::vector<uint8_t> Bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

} // namespace

// The lab's master reads these requests too (MasterClientTest); here the
// bytes a real master expects: batch id little-endian, the filter cut to 250.
TEST(MasterRequest, Datagrams) {
    const std::string game(300, 'g'), fits(241, 'x');
    const struct {
        uint32_t batch;
        std::string game, map, bytes;
    } cases[] = {
        {0, "", "", std::string("e\0\0\0\0\0", 6)},
        {0x00ABCDEF, "", "", std::string("e\xEF\xCD\xAB\0\0", 6)},
        {0xFEDCBA98, "valve", "crossfire",
         std::string("1\x98\xBA\xDC\xFE\\gamedir\\valve\\map\\crossfire\0", 34)},
        {0, "", "de_dust", std::string("1\0\0\0\0\\map\\de_dust\0", 18)},
        {0, game, "de_dust", std::string("1\0\0\0\0", 5) + ("\\gamedir\\" + game).substr(0, 250) + '\0'},
        {0, fits, "", std::string("1\0\0\0\0", 5) + "\\gamedir\\" + fits + '\0'},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BuildMasterRequest(c.batch, c.game, c.map), Bytes(c.bytes)) << c.game.size();
    EXPECT_EQ(BuildServerRequest("details"), Bytes(std::string("\xFF\xFF\xFF\xFF" "details\0", 12)));
}
