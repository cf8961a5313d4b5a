#include <cmath>
#include <functional>
#include <limits>
#include <optional>
#include <tuple>
#include <type_traits>

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

auto Fields(const PlayerEntry& p) {
    return std::tie(p.index, p.name, p.frags, p.minutes, p.seconds);
}

} // namespace

// The frame, the short replies cut at every length, an empty payload without storage.
TEST(ReplyDecoder, FrameAndShortReplies) {
    // Four bytes pass the prefix test but carry no type: it reads as 0, an
    // unsupported reply, as a zero-filled buffer would have it.
    ForEachPrefix(Payload::Reply('l').Str("hi"), [](std::span<const uint8_t> prefix, size_t n) {
        EXPECT_EQ(HasReplyPrefix(prefix), n >= 4);
        EXPECT_EQ(ReplyType(prefix), n < 5 ? 0 : 'l');
        EXPECT_EQ(ReplyPayload(prefix).size(), n < 5 ? 0 : n - 5);
    });
    EXPECT_FALSE(HasReplyPrefix(Payload{0xFF, 0xFF, 0xFE, 0xFF, 'm'}.Bytes()));
    const std::string text = "Bad rcon_password.\n";
    ForEachPrefix(Payload().Str(text).Raw({'x', 'y'}), [&](std::span<const uint8_t> prefix, size_t n) {
        EXPECT_EQ(DecodeAs<MessageReply>('l', prefix).text, text.substr(0, n));
    });
    ForEachPrefix({0x4B, 0xA1, 0x00, 0xFF, 0x77}, [](std::span<const uint8_t> prefix, size_t n) {
        if (n < 4)
            EXPECT_TRUE(std::holds_alternative<MalformedReply>(DecodePayload('A', prefix)));
        else
            EXPECT_EQ(DecodeAs<ChallengeReply>('A', prefix).challenge, 0xFF00A14Bu);
    });
    const std::span<const uint8_t> nothing;
    EXPECT_TRUE(DecodeAs<RulesReply>('E', nothing).truncated);
    EXPECT_EQ(DecodeAs<MalformedReply>('f', nothing).type, 'f');
    EXPECT_EQ(DecodeAs<IgnoredReply>('j', Payload().Str("x")).type, 'j');
    const std::pair<uint8_t, const char*> unsupported[] = {
        {0x00, "0x00 ('.')"}, {0x80, "0x80 ('.')"}, {'Z', "0x5a ('Z')"}, {' ', "0x20 (' ')"}};
    for (const auto& [type, shown] : unsupported) {
        EXPECT_EQ(DecodeAs<UnsupportedReply>(type, Payload()).type, type);
        EXPECT_EQ(UnsupportedReplyText(type, "10.0.0.1:27015"),
                  std::string("Unsupported command ") + shown + " on 10.0.0.1:27015");
    }
}

// Both details forms, whole and cut at every length: a field counts or is
// absent, never partly filled; 'C' stops after its seventh field.
TEST(ReplyDecoder, DetailsEveryFormAndTruncation) {
    Payload p;
    p.Str("192.168.0.7:27015").End().Str("Caf\xE9 [24/7]").End().Str("de_dust2").End();
    p.Str("cstrike").End().Str("Counter-Strike").End().U8(11).End().U8(20).End();
    p.U8(47).End().U8('d').End().U8('l').End().U8(2).End();
    for (const uint8_t type : {'C', 'm'}) {
        const auto whole = DecodeAs<DetailsReply>(type, p);
        EXPECT_EQ(whole.extended, type == 'm');
        EXPECT_EQ(whole.fieldsRead, type == 'm' ? 11 : 7);
        EXPECT_EQ(std::tie(whole.name, whole.map, whole.game, whole.players, whole.maxPlayers),
                  std::make_tuple("Caf\xE9 [24/7]", "de_dust2", "cstrike", 11, 20));
        // As received: any non-zero byte means a password.
        EXPECT_EQ(std::tie(whole.serverType, whole.os, whole.password),
                  type == 'm' ? std::make_tuple(int('d'), int('l'), 2) : std::make_tuple(0, 0, 0));
        ForEachPrefix(p.Bytes(), [&](std::span<const uint8_t> prefix, size_t n) {
            const auto r = DecodeAs<DetailsReply>(type, prefix);
            const int read = std::min(p.WholeIn(n), whole.fieldsRead);
            EXPECT_EQ(r.fieldsRead, read);
            EXPECT_EQ(std::tie(r.name, r.map, r.game),
                      std::make_tuple(read >= 2 ? whole.name : "", read >= 3 ? whole.map : "",
                                      read >= 4 ? whole.game : ""));
            EXPECT_EQ(std::make_tuple(int(r.players), int(r.maxPlayers), int(r.serverType),
                                      int(r.os), int(r.password)),
                      std::make_tuple(read >= 6 ? whole.players : 0, read >= 7 ? whole.maxPlayers : 0,
                                      read >= 9 ? whole.serverType : 0, read >= 10 ? whole.os : 0,
                                      read >= 11 ? whole.password : 0));
        });
    }
}

// Players and rules, whole and cut at every length: whole entries only, and
// the reply says it was cut.
TEST(ReplyDecoder, PlayersAndRulesEveryTruncation) {
    Payload players;
    players.U8(3);
    players.U8(4).Str("J\xF6rg").I32(17).F32(125.9f).End();
    players.U8(9).Str("").I32(-3).F32(0.5f).End();
    players.U8(12).Str("(.*)+?").I32(0).F32(3725.0f).End();
    const auto all = DecodeAs<PlayersReply>('D', players);
    ASSERT_EQ(all.players.size(), 3u);
    EXPECT_EQ(Fields(all.players[0]), std::make_tuple(4, "J\xF6rg", 17, 2, 5));
    EXPECT_EQ(Fields(all.players[1]), std::make_tuple(9, "", -3, 0, 0));
    EXPECT_EQ(Fields(all.players[2]), std::make_tuple(12, "(.*)+?", 0, 62, 5));
    ForEachPrefix(players.Bytes(), [&](std::span<const uint8_t> prefix, size_t n) {
        const auto r = DecodeAs<PlayersReply>('D', prefix);
        ASSERT_EQ(r.players.size(), size_t(players.WholeIn(n)));
        EXPECT_EQ(r.truncated, n < players.Size());
        for (size_t i = 0; i < r.players.size(); ++i)
            EXPECT_EQ(Fields(r.players[i]), Fields(all.players[i]));
    });
    EXPECT_FALSE(DecodeAs<PlayersReply>('D', Payload{0}).truncated);

    Payload rules;
    rules.U16(3).Str("mp_timelimit").Str("30").End().Str("sv_contact").Str("").End();
    rules.Str("reserve_slots").Str("2").End();
    const auto every = DecodeAs<RulesReply>('E', rules);
    ASSERT_EQ(every.rules.size(), 3u);
    EXPECT_EQ(every.rules[0], std::make_pair(std::string("mp_timelimit"), std::string("30")));
    EXPECT_EQ(every.rules[1].second, "");
    ForEachPrefix(rules.Bytes(), [&](std::span<const uint8_t> prefix, size_t n) {
        const auto r = DecodeAs<RulesReply>('E', prefix);
        ASSERT_EQ(r.rules.size(), size_t(rules.WholeIn(n)));
        EXPECT_EQ(r.truncated, n < rules.Size());
        EXPECT_TRUE(std::equal(r.rules.begin(), r.rules.end(), every.rules.begin()));
    });
}

// A count beyond the payload reserves nothing for entries that never come
// (looked at in place: a copy would have no spare capacity).
TEST(ReplyDecoder, CountsBeyondThePayloadReserveNothing) {
    const DecodedReply p =
        DecodePayload('D', Payload().U8(255).U8(1).Str("solo").I32(5).F32(61).Bytes());
    const auto& players = std::get<PlayersReply>(p);
    EXPECT_EQ(std::make_tuple(players.players.size(), players.truncated,
                              players.players.capacity() <= 2),
              std::make_tuple(1u, true, true));
    const DecodedReply r =
        DecodePayload('E', Payload().U16(65535).Str("a").Str("1").Str("b").Str("2").Bytes());
    const auto& rules = std::get<RulesReply>(r);
    EXPECT_EQ(std::make_tuple(rules.rules.size(), rules.truncated, rules.rules.capacity() <= 4),
              std::make_tuple(2u, true, true));
}

// Shorter than the batch id is malformed; after it, whole entries only, the
// rest counted as stray and never read as an entry.
TEST(ReplyDecoder, MasterListEveryTruncation) {
    Payload full;
    full.Raw({0xAA, 0xEF, 0xCD, 0xAB, 0x00}).Raw({10, 1, 2, 3, 0x69, 0x87});
    full.Raw({192, 168, 0, 230, 0x69, 0x88});
    ForEachPrefix(full.Bytes(), [](std::span<const uint8_t> prefix, size_t n) {
        const DecodedReply decoded = DecodePayload('f', prefix);
        if (n < 5) {
            EXPECT_TRUE(std::holds_alternative<MalformedReply>(decoded));
            return;
        }
        ASSERT_TRUE(std::holds_alternative<MasterListReply>(decoded));
        const auto& r = std::get<MasterListReply>(decoded);
        ASSERT_EQ(std::make_tuple(r.nextBatchId, r.entries.size(), r.strayBytes),
                  std::make_tuple(0x00ABCDEFu, (n - 5) / 6, int((n - 5) % 6)));
        const std::pair<uint32_t, uint16_t> entries[] = {{0x0A010203u, 27015},
                                                         {0xC0A800E6u, 27016}};
        for (size_t i = 0; i < r.entries.size(); ++i)
            EXPECT_EQ(std::make_pair(r.entries[i].address, r.entries[i].port), entries[i]);
    });
}

TEST(ReplyDecoder, SplitConnectedTime) {
    const float inf = std::numeric_limits<float>::infinity();
    const struct {
        float seconds;
        int32_t minutes, secondsLeft;
    } cases[] = {
        {3725.0f, 62, 5}, {59.99f, 0, 59}, {-125.9f, -2, -5}, {std::nanf(""), 0, 0},
        {inf, 35791394, 7},                   // clamped to 2^31 - 1
        {2147483520.0f, 35791392, 0},         // the largest float below 2^31 fits
        {-1e20f, -35791394, -8},              // clamped to -2^31
    };
    for (const auto& c : cases) {
        int32_t minutes = -1, secondsLeft = -1;
        SplitConnectedTime(c.seconds, minutes, secondsLeft);
        EXPECT_EQ(std::make_pair(minutes, secondsLeft), std::make_pair(c.minutes, c.secondsLeft))
            << c.seconds;
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

    // Writes the field, then marks its end.
    template <class T> InfoForm& Field(T InfoReply::*member, T value) {
        if constexpr (std::is_same_v<T, std::string>)
            payload.Str(value);
        else if constexpr (sizeof(T) == 1)
            payload.U8(static_cast<uint8_t>(value));
        else if constexpr (sizeof(T) == 2)
            payload.U16(value);
        else
            payload.U64(value);
        payload.End();
        expected.*member = value;
        ++expected.fieldsRead;
        unread.push_back([member](InfoReply& r) { r.*member = T{}; });
        return *this;
    }
};

// extraFlags: nothing when the reply ends after the version.
InfoForm BuildInfo(uint16_t appId, std::optional<uint8_t> extraFlags) {
    using S = std::string;
    using R = InfoReply;
    InfoForm f;
    f.Field(&R::protocol, uint8_t{48}).Field(&R::name, S("Caf\xE9 [24/7] \\o/"));
    f.Field(&R::map, S("de_dust2")).Field(&R::folder, S("cstrike")).Field(&R::game, S("Counter-Strike"));
    f.Field(&R::appId, appId).Field(&R::players, uint8_t{11}).Field(&R::maxPlayers, uint8_t{32});
    f.Field(&R::bots, uint8_t{3}).Field(&R::serverType, 'd').Field(&R::environment, 'l');
    f.Field(&R::visibility, uint8_t{1}).Field(&R::vac, uint8_t{1});
    if (appId == 2400)
        f.payload.Raw({0x02, 0x05, 0x3C}); // read as part of the version
    f.Field(&R::version, S("1.1.2.7/Stdio"));
    if (!extraFlags)
        return f;
    const uint8_t flags = *extraFlags;
    f.Field(&R::extraFlags, flags);
    if (flags & 0x80)
        f.Field(&R::gamePort, uint16_t{27016});
    if (flags & 0x10)
        f.Field(&R::steamId, uint64_t{0x0110000100ABCDEFull});
    if (flags & 0x40)
        f.Field(&R::spectatorPort, uint16_t{27020}).Field(&R::spectatorName, S("HLTV"));
    if (flags & 0x20)
        f.Field(&R::keywords, S("secure,ffa"));
    if (flags & 0x01)
        f.Field(&R::gameId, uint64_t{0xFFFFFFFFFFFFFFFEull});
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
        ForEachPrefix(f.payload.Bytes(), [&](std::span<const uint8_t> prefix, size_t n) {
            InfoReply expected = f.expected;
            expected.fieldsRead = f.payload.WholeIn(n);
            for (size_t i = size_t(expected.fieldsRead); i < f.unread.size(); ++i)
                f.unread[i](expected);
            EXPECT_EQ(InfoFields(DecodeAs<InfoReply>('I', prefix)), InfoFields(expected));
        });
    }
}


