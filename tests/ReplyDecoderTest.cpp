#include <cmath>
#include <functional>
#include <limits>
#include <optional>
#include <tuple>

#include <gtest/gtest.h>

#include "net/ReplyDecoder.h"
#include "tests/ByteTestSupport.h"

namespace {

template <class T> T DecodeAs(uint8_t type, std::span<const uint8_t> payload) {
    DecodedReply decoded = DecodePayload(type, payload);
    EXPECT_TRUE(std::holds_alternative<T>(decoded)) << "type " << int(type);
    return std::holds_alternative<T>(decoded) ? std::get<T>(decoded) : T{};
}

template <class T> T DecodeAs(uint8_t type, const Payload& payload) {
    return DecodeAs<T>(type, std::span<const uint8_t>(payload.Bytes()));
}

Payload DetailsPayload(bool extended) {
    Payload p;
    p.Str("192.168.0.7:27015").End();
    p.Str("Caf\xE9 de la Gu\xE9rre [24/7]").End();
    p.Str("de_dust2").End();
    p.Str("cstrike").End();
    p.Str("Counter-Strike").End();
    p.U8(11).End();
    p.U8(20).End();
    if (extended) {
        p.U8(47).End();
        p.U8('d').End();
        p.U8('l').End();
        p.U8(2).End();
    }
    return p;
}

// Three players; the entry ends are marked after the count byte.
Payload PlayersPayload() {
    Payload p;
    p.U8(3);
    p.U8(4).Str("J\xF6rg").I32(17).F32(125.9f).End();
    p.U8(9).Str("").I32(-3).F32(0.5f).End();
    p.U8(12).Str("(.*)+?").I32(0).F32(3725.0f).End();
    return p;
}

Payload RulesPayload() {
    Payload p;
    p.U16(3);
    p.Str("mp_timelimit").Str("30").End();
    p.Str("sv_contact").Str("").End();
    p.Str("reserve_slots").Str("2").End();
    return p;
}

std::vector<uint8_t> Datagram(std::initializer_list<uint8_t> bytes) {
    return bytes;
}

} // namespace

TEST(ReplyFrame, PrefixTypeAndPayload) {
    const auto full = Datagram({0xFF, 0xFF, 0xFF, 0xFF, 'l', 'h', 'i', 0});
    EXPECT_TRUE(HasReplyPrefix(full));
    EXPECT_EQ(ReplyType(full), 'l');
    const auto payload = ReplyPayload(full);
    ASSERT_EQ(payload.size(), 3u);
    EXPECT_EQ(payload.data(), full.data() + 5);

    EXPECT_FALSE(HasReplyPrefix(Datagram({0xFF, 0xFF, 0xFF})));
    EXPECT_FALSE(HasReplyPrefix(Datagram({0xFF, 0xFF, 0xFE, 0xFF, 'm'})));
    EXPECT_FALSE(HasReplyPrefix({}));

    // Four bytes pass the prefix test but carry no type: the type reads as 0,
    // which is an unsupported reply, as a zero-filled buffer would have it.
    for (size_t n = 0; n <= 5; ++n) {
        const ExactCopy prefix(full, n);
        EXPECT_EQ(ReplyType(prefix.Span()), n < 5 ? 0 : 'l') << n;
        EXPECT_TRUE(ReplyPayload(prefix.Span()).empty()) << n;
    }
    EXPECT_TRUE(HasReplyPrefix(ExactCopy(full, 4).Span()));
    const DecodedReply none = DecodePayload(ReplyType(ExactCopy(full, 4).Span()), {});
    ASSERT_TRUE(std::holds_alternative<UnsupportedReply>(none));
    EXPECT_EQ(std::get<UnsupportedReply>(none).type, 0);
}

TEST(ReplyDecoder, EmptyPayloadWithoutStorage) {
    const std::span<const uint8_t> nothing; // data() is null
    EXPECT_EQ(DecodeAs<DetailsReply>('m', nothing).fieldsRead, 0);
    EXPECT_TRUE(DecodeAs<PlayersReply>('D', nothing).truncated);
    EXPECT_TRUE(DecodeAs<RulesReply>('E', nothing).truncated);
    EXPECT_EQ(DecodeAs<MessageReply>('l', nothing).text, "");
    EXPECT_EQ(DecodeAs<MalformedReply>('f', nothing).type, 'f');
}

TEST(ReplyDecoder, DetailsFieldByField) {
    const auto shortReply = DecodeAs<DetailsReply>('C', DetailsPayload(false));
    EXPECT_FALSE(shortReply.extended);
    EXPECT_EQ(shortReply.fieldsRead, 7);
    EXPECT_EQ(shortReply.name, "Caf\xE9 de la Gu\xE9rre [24/7]");
    EXPECT_EQ(shortReply.map, "de_dust2");
    EXPECT_EQ(shortReply.game, "cstrike");
    EXPECT_EQ(shortReply.players, 11);
    EXPECT_EQ(shortReply.maxPlayers, 20);
    EXPECT_EQ(shortReply.serverType, 0);

    const auto longReply = DecodeAs<DetailsReply>('m', DetailsPayload(true));
    EXPECT_TRUE(longReply.extended);
    EXPECT_EQ(longReply.fieldsRead, 11);
    EXPECT_EQ(longReply.name, shortReply.name);
    EXPECT_EQ(longReply.maxPlayers, 20);
    EXPECT_EQ(longReply.serverType, 'd');
    EXPECT_EQ(longReply.os, 'l');
    EXPECT_EQ(longReply.password, 2); // as received: any non-zero byte means a password

    // 'C' stops after its seventh field even when more bytes follow.
    const auto trailing = DecodeAs<DetailsReply>('C', DetailsPayload(true));
    EXPECT_EQ(trailing.fieldsRead, 7);
    EXPECT_EQ(trailing.serverType, 0);
    EXPECT_EQ(trailing.password, 0);
}

TEST(ReplyDecoder, DetailsEveryTruncation) {
    for (bool extended : {false, true}) {
        const Payload full = DetailsPayload(extended);
        const auto whole = DecodeAs<DetailsReply>(extended ? 'm' : 'C', full);
        for (size_t n = 0; n <= full.Size(); ++n) {
            SCOPED_TRACE(testing::Message() << (extended ? "'m'" : "'C'") << " prefix " << n);
            const ExactCopy prefix(full.Bytes(), n);
            const auto r = DecodeAs<DetailsReply>(extended ? 'm' : 'C', prefix.Span());
            const int read = full.WholeIn(n);
            EXPECT_EQ(r.fieldsRead, read);
            // A field counts or is absent: never partly filled.
            EXPECT_EQ(r.name, read >= 2 ? whole.name : "");
            EXPECT_EQ(r.map, read >= 3 ? whole.map : "");
            EXPECT_EQ(r.game, read >= 4 ? whole.game : "");
            EXPECT_EQ(r.players, read >= 6 ? whole.players : 0);
            EXPECT_EQ(r.maxPlayers, read >= 7 ? whole.maxPlayers : 0);
            EXPECT_EQ(r.serverType, read >= 9 ? whole.serverType : 0);
            EXPECT_EQ(r.os, read >= 10 ? whole.os : 0);
            EXPECT_EQ(r.password, read >= 11 ? whole.password : 0);
        }
    }
}

TEST(ReplyDecoder, PlayersFieldByField) {
    const auto reply = DecodeAs<PlayersReply>('D', PlayersPayload());
    EXPECT_FALSE(reply.truncated);
    ASSERT_EQ(reply.players.size(), 3u);
    EXPECT_EQ(reply.players[0].index, 4);
    EXPECT_EQ(reply.players[0].name, "J\xF6rg");
    EXPECT_EQ(reply.players[0].frags, 17);
    EXPECT_EQ(reply.players[0].minutes, 2);
    EXPECT_EQ(reply.players[0].seconds, 5);
    EXPECT_EQ(reply.players[1].name, "");
    EXPECT_EQ(reply.players[1].frags, -3);
    EXPECT_EQ(reply.players[1].minutes, 0);
    EXPECT_EQ(reply.players[1].seconds, 0);
    EXPECT_EQ(reply.players[2].index, 12);
    EXPECT_EQ(reply.players[2].name, "(.*)+?");
    EXPECT_EQ(reply.players[2].minutes, 62);
    EXPECT_EQ(reply.players[2].seconds, 5);

    const auto empty = DecodeAs<PlayersReply>('D', Payload().U8(0));
    EXPECT_TRUE(empty.players.empty());
    EXPECT_FALSE(empty.truncated);
}

TEST(ReplyDecoder, PlayersEveryTruncation) {
    const Payload full = PlayersPayload();
    const auto whole = DecodeAs<PlayersReply>('D', full);
    for (size_t n = 0; n <= full.Size(); ++n) {
        SCOPED_TRACE(testing::Message() << "prefix " << n);
        const ExactCopy prefix(full.Bytes(), n);
        const auto r = DecodeAs<PlayersReply>('D', prefix.Span());
        const size_t entries = static_cast<size_t>(full.WholeIn(n));
        ASSERT_EQ(r.players.size(), entries);
        EXPECT_EQ(r.truncated, n < full.Size());
        for (size_t i = 0; i < entries; ++i) {
            EXPECT_EQ(r.players[i].index, whole.players[i].index);
            EXPECT_EQ(r.players[i].name, whole.players[i].name);
            EXPECT_EQ(r.players[i].frags, whole.players[i].frags);
            EXPECT_EQ(r.players[i].minutes, whole.players[i].minutes);
            EXPECT_EQ(r.players[i].seconds, whole.players[i].seconds);
        }
    }
}

TEST(ReplyDecoder, CountsBeyondThePayload) {
    // A count of 255 with one player: one entry, no room reserved for 255.
    Payload players;
    players.U8(255).U8(1).Str("solo").I32(5).F32(61.0f);
    const ExactCopy playerBytes(players.Bytes(), players.Size());
    const auto p = DecodeAs<PlayersReply>('D', playerBytes.Span());
    ASSERT_EQ(p.players.size(), 1u);
    EXPECT_EQ(p.players[0].name, "solo");
    EXPECT_TRUE(p.truncated);
    EXPECT_LE(p.players.capacity(), 2u);

    // A count byte alone.
    const auto onlyCount = DecodeAs<PlayersReply>('D', Payload().U8(255));
    EXPECT_TRUE(onlyCount.players.empty());
    EXPECT_TRUE(onlyCount.truncated);

    Payload rules;
    rules.U16(65535).Str("a").Str("1").Str("b").Str("2");
    const ExactCopy ruleBytes(rules.Bytes(), rules.Size());
    const auto r = DecodeAs<RulesReply>('E', ruleBytes.Span());
    ASSERT_EQ(r.rules.size(), 2u);
    EXPECT_EQ(r.rules[1], std::make_pair(std::string("b"), std::string("2")));
    EXPECT_TRUE(r.truncated);
    EXPECT_LE(r.rules.capacity(), 4u);
}

TEST(ReplyDecoder, RulesAndEveryTruncation) {
    const Payload full = RulesPayload();
    const auto whole = DecodeAs<RulesReply>('E', full);
    EXPECT_FALSE(whole.truncated);
    ASSERT_EQ(whole.rules.size(), 3u);
    EXPECT_EQ(whole.rules[0].first, "mp_timelimit");
    EXPECT_EQ(whole.rules[0].second, "30");
    EXPECT_EQ(whole.rules[1].second, "");
    EXPECT_EQ(whole.rules[2].first, "reserve_slots");

    for (size_t n = 0; n <= full.Size(); ++n) {
        SCOPED_TRACE(testing::Message() << "prefix " << n);
        const ExactCopy prefix(full.Bytes(), n);
        const auto r = DecodeAs<RulesReply>('E', prefix.Span());
        const size_t entries = static_cast<size_t>(full.WholeIn(n));
        ASSERT_EQ(r.rules.size(), entries);
        EXPECT_EQ(r.truncated, n < full.Size());
        for (size_t i = 0; i < entries; ++i)
            EXPECT_EQ(r.rules[i], whole.rules[i]);
    }
}

TEST(ReplyDecoder, MessageUpToTerminatorOrEnd) {
    Payload full;
    full.Str("Bad rcon_password.\n").Raw({'x', 'y'});
    EXPECT_EQ(DecodeAs<MessageReply>('l', full).text, "Bad rcon_password.\n");
    const std::string text = "Bad rcon_password.\n";
    for (size_t n = 0; n <= text.size(); ++n) {
        const ExactCopy prefix(full.Bytes(), n);
        EXPECT_EQ(DecodeAs<MessageReply>('l', prefix.Span()).text, text.substr(0, n));
    }
}

TEST(ReplyDecoder, MasterList) {
    const auto none = DecodeAs<MasterListReply>('f', Payload().Raw({0, 0, 0, 0, 0}));
    EXPECT_EQ(none.nextBatchId, 0u);
    EXPECT_TRUE(none.entries.empty());
    EXPECT_EQ(none.strayBytes, 0);

    Payload one;
    one.Raw({0xAA, 0xEF, 0xCD, 0xAB, 0x00}).Raw({0x0A, 0x01, 0x02, 0x03, 0x69, 0x87});
    const auto r = DecodeAs<MasterListReply>('f', one);
    EXPECT_EQ(r.nextBatchId, 0x00ABCDEFu);
    ASSERT_EQ(r.entries.size(), 1u);
    EXPECT_EQ(r.entries[0].address, 0x0A010203u); // 10.1.2.3
    EXPECT_EQ(r.entries[0].port, 27015);
    EXPECT_EQ(r.strayBytes, 0);

    Payload many;
    many.Raw({0, 1, 0, 0, 0});
    for (int i = 0; i < 231; ++i)
        many.Raw({192, 168, static_cast<uint8_t>(i >> 8), static_cast<uint8_t>(i), 0x69,
                  static_cast<uint8_t>(0x87 + (i & 1))});
    const auto big = DecodeAs<MasterListReply>('f', many);
    EXPECT_EQ(big.nextBatchId, 1u);
    ASSERT_EQ(big.entries.size(), 231u);
    EXPECT_EQ(big.entries[230].address, 0xC0A800E6u);
    EXPECT_EQ(big.entries[229].port, 27016);
}

TEST(ReplyDecoder, MasterListStrayBytesAndTruncation) {
    // Every prefix: shorter than the batch id is malformed; after it, whole
    // entries only, the rest counted as stray and never read as an entry.
    Payload full;
    full.Raw({0, 7, 0, 0, 0});
    full.Raw({10, 0, 0, 1, 0x69, 0x87}).Raw({10, 0, 0, 2, 0x69, 0x88});
    for (size_t n = 0; n <= full.Size(); ++n) {
        SCOPED_TRACE(testing::Message() << "prefix " << n);
        const ExactCopy prefix(full.Bytes(), n);
        const DecodedReply decoded = DecodePayload('f', prefix.Span());
        if (n < 5) {
            ASSERT_TRUE(std::holds_alternative<MalformedReply>(decoded));
            EXPECT_EQ(std::get<MalformedReply>(decoded).type, 'f');
            continue;
        }
        ASSERT_TRUE(std::holds_alternative<MasterListReply>(decoded));
        const auto& r = std::get<MasterListReply>(decoded);
        EXPECT_EQ(r.nextBatchId, 7u);
        EXPECT_EQ(r.entries.size(), (n - 5) / 6);
        EXPECT_EQ(r.strayBytes, static_cast<int>((n - 5) % 6));
        if (!r.entries.empty()) {
            EXPECT_EQ(r.entries[0].address, 0x0A000001u);
        }
    }
}

TEST(ReplyDecoder, IgnoredAndUnsupportedTypes) {
    EXPECT_EQ(DecodeAs<IgnoredReply>('d', Payload()).type, 'd');
    EXPECT_EQ(DecodeAs<IgnoredReply>('j', Payload().Str("x")).type, 'j');
    EXPECT_EQ(DecodeAs<UnsupportedReply>('Z', Payload()).type, 'Z');
    EXPECT_EQ(DecodeAs<UnsupportedReply>(0x80, Payload()).type, 0x80);

    EXPECT_EQ(UnsupportedReplyText(0x00, "10.0.0.1:27015"),
              "Unsupported command 0x00 ('.') on 10.0.0.1:27015");
    EXPECT_EQ(UnsupportedReplyText(0x80, "10.0.0.1:27015"),
              "Unsupported command 0x80 ('.') on 10.0.0.1:27015");
    EXPECT_EQ(UnsupportedReplyText('Z', "127.0.0.1:27016"),
              "Unsupported command 0x5a ('Z') on 127.0.0.1:27016");
    EXPECT_EQ(UnsupportedReplyText(0x7F, "h:1"), "Unsupported command 0x7f ('.') on h:1");
    EXPECT_EQ(UnsupportedReplyText(' ', "h:1"), "Unsupported command 0x20 (' ') on h:1");
}

TEST(ReplyDecoder, SplitConnectedTime) {
    struct Case {
        float seconds;
        int32_t minutes;
        int32_t secondsLeft;
    };
    const float inf = std::numeric_limits<float>::infinity();
    const Case cases[] = {
        {125.9f, 2, 5},
        {3725.0f, 62, 5},
        {59.99f, 0, 59},
        {60.0f, 1, 0},
        {0.0f, 0, 0},
        {-0.5f, 0, 0},
        {-125.9f, -2, -5},
        {std::nanf(""), 0, 0},
        {inf, 35791394, 7}, // clamped to 2^31 - 1
        {1e20f, 35791394, 7},
        {2147483520.0f, 35791392, 0}, // the largest float below 2^31 still fits
        {-inf, -35791394, -8},        // clamped to -2^31
        {-1e20f, -35791394, -8},
    };
    for (const Case& c : cases) {
        int32_t minutes = -1;
        int32_t secondsLeft = -1;
        SplitConnectedTime(c.seconds, minutes, secondsLeft);
        EXPECT_EQ(minutes, c.minutes) << c.seconds;
        EXPECT_EQ(secondsLeft, c.secondsLeft) << c.seconds;
    }
}

namespace {

auto InfoFields(const InfoReply& r) {
    return std::tie(r.fieldsRead, r.protocol, r.name, r.map, r.folder, r.game, r.appId, r.players,
                    r.maxPlayers, r.bots, r.serverType, r.environment, r.visibility, r.vac,
                    r.version, r.extraFlags, r.gamePort, r.steamId, r.spectatorPort,
                    r.spectatorName, r.keywords, r.gameId);
}

// An 'I' payload, the reply it must decode to, and for each field in reply
// order how to take it out again, so that a prefix's reply can be derived
// from the whole one.
struct InfoForm {
    Payload payload;
    InfoReply expected;
    std::vector<std::function<void(InfoReply&)>> unread;

    template <class T> void Field(T InfoReply::*member, T value) {
        payload.End();
        expected.*member = value;
        ++expected.fieldsRead;
        unread.push_back([member](InfoReply& r) { r.*member = T{}; });
    }
};

// extraFlags: nothing when the reply ends after the version.
InfoForm BuildInfo(uint16_t appId, std::optional<uint8_t> extraFlags) {
    InfoForm f;
    f.payload.U8(48);
    f.Field(&InfoReply::protocol, uint8_t{48});
    f.payload.Str("Caf\xE9 [24/7] \\o/");
    f.Field(&InfoReply::name, std::string("Caf\xE9 [24/7] \\o/"));
    f.payload.Str("de_dust2");
    f.Field(&InfoReply::map, std::string("de_dust2"));
    f.payload.Str("cstrike");
    f.Field(&InfoReply::folder, std::string("cstrike"));
    f.payload.Str("Counter-Strike");
    f.Field(&InfoReply::game, std::string("Counter-Strike"));
    f.payload.U16(appId);
    f.Field(&InfoReply::appId, appId);
    f.payload.U8(11);
    f.Field(&InfoReply::players, uint8_t{11});
    f.payload.U8(32);
    f.Field(&InfoReply::maxPlayers, uint8_t{32});
    f.payload.U8(3);
    f.Field(&InfoReply::bots, uint8_t{3});
    f.payload.U8('d');
    f.Field(&InfoReply::serverType, 'd');
    f.payload.U8('l');
    f.Field(&InfoReply::environment, 'l');
    f.payload.U8(1);
    f.Field(&InfoReply::visibility, uint8_t{1});
    f.payload.U8(1);
    f.Field(&InfoReply::vac, uint8_t{1});
    if (appId == 2400)
        f.payload.Raw({0x02, 0x05, 0x3C}); // read as part of the version
    f.payload.Str("1.1.2.7/Stdio");
    f.Field(&InfoReply::version, std::string("1.1.2.7/Stdio"));
    if (!extraFlags)
        return f;
    const uint8_t flags = *extraFlags;
    f.payload.U8(flags);
    f.Field(&InfoReply::extraFlags, flags);
    if (flags & 0x80) {
        f.payload.U16(27016);
        f.Field(&InfoReply::gamePort, uint16_t{27016});
    }
    if (flags & 0x10) {
        f.payload.U64(0x0110000100ABCDEFull);
        f.Field(&InfoReply::steamId, uint64_t{0x0110000100ABCDEFull});
    }
    if (flags & 0x40) {
        f.payload.U16(27020);
        f.Field(&InfoReply::spectatorPort, uint16_t{27020});
        f.payload.Str("HLTV");
        f.Field(&InfoReply::spectatorName, std::string("HLTV"));
    }
    if (flags & 0x20) {
        f.payload.Str("secure,ffa");
        f.Field(&InfoReply::keywords, std::string("secure,ffa"));
    }
    if (flags & 0x01) {
        f.payload.U64(0xFFFFFFFFFFFFFFFEull);
        f.Field(&InfoReply::gameId, uint64_t{0xFFFFFFFFFFFFFFFEull});
    }
    return f;
}

} // namespace

// Every form of the A2S info reply, each cut at every length: the whole
// reply decodes to what was written, a prefix to its complete fields only.
TEST(ReplyDecoder, InfoEveryFormAndTruncation) {
    const struct {
        const char* name;
        uint16_t appId;
        std::optional<uint8_t> extraFlags;
    } forms[] = {
        {"ends after the version", 10, std::nullopt},
        {"no extra fields", 70, 0x00},
        {"game port", 10, 0x80},
        {"steam id", 10, 0x10},
        {"spectator port and name", 10, 0x40},
        {"keywords", 10, 0x20},
        {"game id", 10, 0x01},
        {"every extra field", 10, 0xF1},
        {"undefined bits only", 10, 0x0E},
        {"app id 2400", 2400, 0xF1},
        {"app id 2400 ends after the version", 2400, std::nullopt},
    };
    for (const auto& form : forms) {
        const InfoForm f = BuildInfo(form.appId, form.extraFlags);
        SCOPED_TRACE(form.name);
        EXPECT_EQ(InfoFields(DecodeAs<InfoReply>('I', f.payload)), InfoFields(f.expected));
        for (size_t n = 0; n < f.payload.Size(); ++n) {
            SCOPED_TRACE(testing::Message() << "prefix " << n);
            const ExactCopy prefix(f.payload.Bytes(), n);
            InfoReply expected = f.expected;
            expected.fieldsRead = f.payload.WholeIn(n);
            for (size_t i = static_cast<size_t>(expected.fieldsRead); i < f.unread.size(); ++i)
                f.unread[i](expected);
            EXPECT_EQ(InfoFields(DecodeAs<InfoReply>('I', prefix.Span())), InfoFields(expected));
        }
    }
    // Bytes after the last field the flags announce are not read.
    InfoForm trailing = BuildInfo(10, 0x00);
    trailing.payload.Raw({0x12, 0x34});
    EXPECT_EQ(InfoFields(DecodeAs<InfoReply>('I', trailing.payload)),
              InfoFields(trailing.expected));
}

TEST(ReplyDecoder, ChallengeNeedsFourBytes) {
    const std::vector<uint8_t> bytes{0x4B, 0xA1, 0x00, 0xFF, 0x77};
    for (size_t n = 0; n <= bytes.size(); ++n) {
        const ExactCopy prefix(bytes, n);
        const DecodedReply decoded = DecodePayload('A', prefix.Span());
        if (n < 4) {
            ASSERT_TRUE(std::holds_alternative<MalformedReply>(decoded)) << n;
            EXPECT_EQ(std::get<MalformedReply>(decoded).type, 'A');
        } else {
            ASSERT_TRUE(std::holds_alternative<ChallengeReply>(decoded)) << n;
            EXPECT_EQ(std::get<ChallengeReply>(decoded).challenge, 0xFF00A14Bu);
        }
    }
}
