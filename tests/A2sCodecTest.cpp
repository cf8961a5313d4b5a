#include <optional>
#include <tuple>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "net/ReplyDecoder.h"
#include "net/SplitReassembler.h"
#include "net/SteamMasterProtocol.h"
#include "net/SteamWebList.h"
#include "tests/ByteTestSupport.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Outcome = SplitReassembler::Outcome;

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

Bytes Text(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

enum class Form { HalfLife, Newer };

// A rules reply long enough to need several pieces.
Bytes LongReply(char tag) {
    Payload p;
    p.Raw({0xFF, 0xFF, 0xFF, 0xFF, 'E'}).U16(40);
    for (int i = 0; i < 40; ++i)
        p.Str(std::string("rule_") + tag + std::to_string(i)).Str(std::string(30, tag));
    return p.Bytes();
}

Bytes PieceHeader(Form form, uint32_t id, int number, int count) {
    Payload header;
    header.Raw({0xFE, 0xFF, 0xFF, 0xFF}).U32(id);
    if (form == Form::HalfLife)
        header.U8(static_cast<uint8_t>(number << 4 | count));
    else
        header.U8(static_cast<uint8_t>(count)).U8(static_cast<uint8_t>(number)).U16(1248);
    return header.Bytes();
}

// The datagrams of `whole` cut into `count` pieces in order.
std::vector<Bytes> Split(Form form, uint32_t id, const Bytes& whole, int count) {
    std::vector<Bytes> pieces;
    const size_t size = (whole.size() + count - 1) / count;
    for (int i = 0; i < count; ++i) {
        const size_t begin = std::min(whole.size(), i * size);
        const size_t end = std::min(whole.size(), begin + size);
        pieces.push_back(Concat(
            {PieceHeader(form, id, i, count), Bytes(whole.begin() + begin, whole.begin() + end)}));
    }
    return pieces;
}

// The piece with its header rewritten.
Bytes Relabel(Form form, const Bytes& piece, int number, int count) {
    const uint32_t id = piece[4] | piece[5] << 8 | piece[6] << 16 | uint32_t(piece[7]) << 24;
    const size_t headerSize = form == Form::HalfLife ? 9 : 12;
    return Concat(
        {PieceHeader(form, id, number, count), Bytes(piece.begin() + headerSize, piece.end())});
}

struct Step {
    Bytes datagram;
    uint64_t ms;
    std::optional<Outcome> outcome; // nothing: anything but Complete
    const Bytes* whole = nullptr;   // what a Complete step must produce
};

struct SplitCase {
    std::string name;
    std::vector<Step> steps;
    int dropped;
    int compressed = 0;
};

std::vector<SplitCase> SplitCases(Form form) {
    static const Bytes a = LongReply('a');
    static const Bytes b = LongReply('b');
    static const Bytes c = LongReply('c');
    const auto P = Split(form, 0x01020304, a, 3);
    const auto Q = Split(form, 0x00000077, b, 3);
    const auto R = Split(form, 0x00000099, c, 2);
    const Outcome pending = Outcome::Pending, done = Outcome::Complete, dropped = Outcome::Dropped;
    // Pieces a reply of the newer form cannot have in the Half-Life one: more
    // than fifteen, or more bytes than the bound.
    std::vector<Step> tooMany, tooBig;
    if (form == Form::Newer) {
        Bytes big = LongReply('z');
        while (big.size() < SplitReassembler::kMaxBytes + 1)
            big = Concat({big, LongReply('z')});
        const auto pieces = Split(form, 5, big, SplitReassembler::kMaxPieces);
        for (size_t i = 0; i + 1 < pieces.size(); ++i)
            tooBig.push_back({pieces[i], 0, pending});
        tooBig.push_back({pieces.back(), 0, dropped});
        tooBig.push_back({pieces[0], 0, pending}); // a new reply for the id
        const auto many = Split(form, 6, a, SplitReassembler::kMaxPieces + 1);
        tooMany = {{many[1], 0, pending}, {many[0], 0, dropped}, {many[2], 0, pending}};
    }
    const uint64_t late = SplitReassembler::kMaxAgeMs + 1;
    const std::string named = form == Form::HalfLife ? "Half-Life: " : "newer: ";
    std::vector<SplitCase> cases = {
        {"in order", {{P[0], 0, pending}, {P[1], 1, pending}, {P[2], 2, done, &a}}, 0},
        {"reversed", {{P[2], 0, pending}, {P[1], 0, pending}, {P[0], 0, done, &a}}, 0},
        {"duplicates before and after piece 0",
         {{P[1], 0, pending}, {P[1], 0, pending}, {P[0], 0, pending}, {P[0], 0, pending},
          {P[1], 0, pending}, {P[2], 0, done, &a}}, 3},
        {"missing piece, then too old",
         {{P[0], 0, pending}, {P[2], 0, pending}, {P[1], late, pending}, {P[0], late, pending}},
         1},
        {"too old before piece 0", {{P[1], 0, pending}, {P[0], late, pending}}, 1},
        {"out of range",
         {{P[0], 0, pending}, {Relabel(form, P[1], 3, 3), 0, dropped},
          {Relabel(form, P[1], 5, 3), 0, dropped}, {P[1], 0, pending}, {P[2], 0, done, &a}}, 2},
        // Whether such a piece is a piece at all shows only once piece 0
        // gives the form; it is dropped then at the latest.
        {"out of range before piece 0",
         {{Relabel(form, P[1], 3, 3), 0, std::nullopt}, {P[0], 0, pending}, {P[2], 0, pending}},
         1},
        {"inconsistent count before piece 0",
         {{Relabel(form, P[1], 1, 2), 0, pending}, {P[0], 0, pending}, {P[2], 0, pending}},
         1},
        {"two replies interleaved",
         {{Q[1], 0, pending}, {P[0], 0, pending}, {Q[0], 0, pending}, {P[2], 0, pending},
          {Q[2], 0, done, &b}, {P[1], 0, done, &a}}, 0},
        {"a third reply pushes out the oldest",
         {{P[0], 0, pending}, {Q[0], 1, pending}, {R[0], 2, pending}, {R[1], 2, done, &c},
          {Q[1], 2, pending}, {Q[2], 2, done, &b}, {P[1], 2, pending}, {P[2], 2, pending}}, 1},
        {"compressed",
         {{Split(form, 0x80000001, a, 3)[0], 0, dropped},
          {Split(form, 0x80000001, a, 3)[1], 0, dropped}},
         2,
         2},
        {"not a piece",
         {{Bytes{0xFE, 0xFF, 0xFF, 0xFF, 1, 0, 0, 0}, 0, dropped},
          {Bytes{0xFF, 0xFF, 0xFF, 0xFF, 'E', 0, 0, 0, 0}, 0, dropped},
          {Concat({PieceHeader(form, 1, 0, 0), a}), 0, dropped}},
         3},
    };
    if (form == Form::Newer) {
        cases.push_back({"too big", tooBig, 1});
        cases.push_back({"too many pieces", tooMany, 1});
    }
    for (SplitCase& c : cases)
        c.name = named + c.name;
    return cases;
}

} // namespace

TEST(SplitReassembler, BothFormsInEveryOrderAndFault) {
    for (Form form : {Form::HalfLife, Form::Newer}) {
        for (const SplitCase& c : SplitCases(form)) {
            SCOPED_TRACE(c.name);
            SplitReassembler reassembler;
            for (size_t i = 0; i < c.steps.size(); ++i) {
                const Step& step = c.steps[i];
                SCOPED_TRACE(testing::Message() << "step " << i);
                // Exact-size copies, so that the sanitizers see any over-read.
                const ExactCopy datagram(step.datagram, step.datagram.size());
                Bytes whole{0x42};
                const Outcome outcome = reassembler.Feed(datagram.Span(), step.ms, whole);
                if (step.outcome) {
                    EXPECT_EQ(outcome, *step.outcome);
                } else {
                    EXPECT_NE(outcome, Outcome::Complete);
                }
                if (outcome == Outcome::Complete && step.whole) {
                    EXPECT_EQ(whole, *step.whole);
                }
            }
            EXPECT_EQ(reassembler.DroppedCount(), c.dropped);
            EXPECT_EQ(reassembler.CompressedCount(), c.compressed);
        }
    }
}

// The form is told by where a piece 0's FF FF FF FF sits, not by the header
// byte: a newer header "3 pieces, number 0" reads as a Half-Life piece 0 of 3,
// and a Half-Life header 0x12 as a newer count of 18.
TEST(SplitReassembler, FormsThatLookAlike) {
    const Bytes whole = LongReply('x');
    for (Form form : {Form::HalfLife, Form::Newer}) {
        const auto pieces = Split(form, 7, whole, form == Form::HalfLife ? 15 : 3);
        SplitReassembler reassembler;
        Bytes joined;
        for (size_t i = pieces.size(); i-- > 1;)
            EXPECT_EQ(reassembler.Feed(pieces[i], 0, joined), Outcome::Pending) << i;
        EXPECT_EQ(reassembler.Feed(pieces[0], 0, joined), Outcome::Complete);
        EXPECT_EQ(joined, whole);
    }
}

TEST(SteamMasterProtocol, FilterAndRequest) {
    EXPECT_EQ(BuildSteamFilter({}), "");
    SteamListFilter all;
    all.appId = 70;
    all.game = "ns\\x\\";
    all.map = std::string("co_\0ma", 6);
    all.dedicated = all.notEmpty = all.notFull = all.noPassword = all.linux = true;
    EXPECT_EQ(BuildSteamFilter(all), "\\appid\\70\\gamedir\\nsx\\map\\co_ma\\dedicated\\1"
                                     "\\empty\\1\\full\\1\\password\\0\\linux\\1");

    EXPECT_EQ(BuildSteamMasterRequest(kSteamRegionAll, "0.0.0.0:0", "\\appid\\70"),
              Concat({{0x31, 0xFF}, Text("0.0.0.0:0"), {0}, Text("\\appid\\70"), {0}}));
    EXPECT_EQ(BuildSteamMasterRequest(3, "10.0.0.1:27015", ""),
              Concat({{0x31, 0x03}, Text("10.0.0.1:27015"), {0, 0}}));
}

// Whole entries only, the rest stray; the end marker ends the list, and
// nothing else does (random cuts are the fuzz target's).
TEST(SteamMasterProtocol, Batches) {
    const Bytes header{0xFF, 0xFF, 0xFF, 0xFF, 0x66, 0x0A};
    const Bytes first{10, 1, 2, 3, 0x69, 0x87}; // 10.1.2.3:27015
    const Bytes second{192, 168, 0, 0, 0, 80};
    const Bytes end(6, 0);
    const SteamMasterBatch whole = DecodeSteamMasterBatch(Concat({header, first, second, end}));
    ASSERT_EQ(whole.entries.size(), 2u);
    EXPECT_EQ(
        std::make_tuple(whole.entries[0].address, whole.entries[0].port, whole.entries[1].port),
        std::make_tuple(0x0A010203u, 27015, 80));
    const struct {
        const char* name;
        Bytes datagram;
        bool valid;
        size_t entries;
        bool endReached;
        int strayBytes;
    } cases[] = {
        {"whole", Concat({header, first, second, end}), true, 2, true, 0},
        {"cut inside the end marker", Concat({header, first, second, {0, 0, 0}}), true, 2, false,
         3},
        {"header only", header, true, 0, false, 0},
        {"shorter than the header", Bytes(header.begin(), header.end() - 1), false, 0, false, 0},
        {"bytes after the end marker", Concat({header, first, end, second}), true, 1, true, 6},
        {"address 0 with a port", Concat({header, {0, 0, 0, 0, 0x69, 0x87}, end}), true, 1, true,
         0},
        {"another type", Concat({{0xFF, 0xFF, 0xFF, 0xFF, 0x66, 0x0B}, first}), false, 0, false, 0},
        {"a WON batch", Concat({{0xFF, 0xFF, 0xFF, 0xFF, 'f', 0}, first}), false, 0, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ExactCopy datagram(c.datagram, c.datagram.size());
        const SteamMasterBatch batch = DecodeSteamMasterBatch(datagram.Span());
        EXPECT_EQ(
            std::make_tuple(batch.valid, batch.entries.size(), batch.endReached, batch.strayBytes),
            std::make_tuple(c.valid, c.entries, c.endReached, c.strayBytes));
    }
}

TEST(SteamWebList, Url) {
    EXPECT_EQ(BuildSteamWebListUrl("http://127.0.0.1:8080/", "AB cd+/&=%",
                                   "\\appid\\70\\gamedir\\cstrike\\map\\de_dust2", 50000),
              "http://127.0.0.1:8080/IGameServersService/GetServerList/v1/"
              "?key=AB%20cd%2B%2F%26%3D%25"
              "&filter=%5Cappid%5C70%5Cgamedir%5Ccstrike%5Cmap%5Cde_dust2&limit=50000");
}

namespace {

SteamWebListResult Parse(const std::string& json) {
    const Bytes bytes = Text(json);
    const ExactCopy copy(bytes, bytes.size());
    return ParseSteamWebList(copy.Span());
}

} // namespace

TEST(SteamWebList, ServersAndTolerance) {
    const SteamWebListResult r = Parse(R"({"response":{"servers":[
        {"addr":"10.1.2.3:27015","gameport":27015,"steamid":"90071992547409920",
         "name":"Caf\u00e9 \"24/7\"","appid":10,"gamedir":"cstrike","version":"1.1.2.7/Stdio",
         "players":11,"max_players":32,"bots":3,"map":"de_dust2","secure":true,
         "dedicated":true,"os":"l","gametype":"secure","product":"cstrike"},
        {"addr":"255.255.255.255:65535","name":42,"players":"11","max_players":-4,
         "bots":300,"secure":1,"dedicated":"yes","os":"","appid":7.5},
        {"addr":"10.0.0.1"}, {"addr":"10.0.0.256:1"}, {"addr":"10.0.0.1:65536"},
        {"addr":"1.2.3.4:5x"}, {"addr":42}, {}, "text", null,
        {"addr":"0.0.0.0:27015"}, {"addr":"10.0.0.1:0","unknown":{"nested":[1,2]}}
    ]},"extra":true})");
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.servers.size(), 2u);
    const SteamWebServer& s = r.servers[0];
    EXPECT_EQ(std::tie(s.address, s.port, s.name, s.map, s.gamedir, s.version, s.product),
              std::make_tuple(0x0A010203u, 27015, "Caf\xC3\xA9 \"24/7\"", "de_dust2", "cstrike",
                              "1.1.2.7/Stdio", "cstrike"));
    EXPECT_EQ(std::tie(s.appId, s.players, s.maxPlayers, s.bots, s.dedicated, s.secure, s.os),
              std::make_tuple(10, 11, 32, 3, true, true, 'l'));
    // Wrong types keep their defaults; counts stay within a byte.
    const SteamWebServer& odd = r.servers[1];
    EXPECT_EQ(std::tie(odd.address, odd.port, odd.name, odd.players, odd.maxPlayers, odd.bots),
              std::make_tuple(0xFFFFFFFFu, 65535, "", 0, 0, 255));
    EXPECT_EQ(std::tie(odd.appId, odd.secure, odd.dedicated, odd.os),
              std::make_tuple(7, true, false, char(0)));

    // No server matches: the service leaves the list out.
    EXPECT_TRUE(Parse(R"({"response":{}})").ok);
    for (const std::string body :
         {"", "<html><body>403 Forbidden</body></html>", "{\"response\":{\"servers\":[", "[]",
          "null", "{}", R"({"response":[]})", R"({"response":{"servers":{}}})",
          R"({"response":{"servers":"none"}})"}) {
        SCOPED_TRACE(body);
        const SteamWebListResult r = Parse(body);
        EXPECT_FALSE(r.ok);
        EXPECT_FALSE(r.error.empty());
        EXPECT_TRUE(r.servers.empty());
    }
}
