#include "net/ReplyDecoder.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace {

constexpr size_t kPrefixSize = 4;
constexpr size_t kHeaderSize = 5; // prefix and type byte
constexpr size_t kMasterHeaderSize = 5;
constexpr size_t kMasterEntrySize = 6;
// Index, an empty name's terminator, frags and time: the least a player
// entry can take, so a count byte cannot make us reserve more than the
// payload could hold.
constexpr size_t kMinPlayerEntrySize = 1 + 1 + 4 + 4;
constexpr size_t kMinRuleEntrySize = 2;

// Reads fields front to back; a read that would pass the end fails, leaves
// its output alone and keeps failing from then on, so that callers can stop
// at the first incomplete field.
class Cursor {
public:
    explicit Cursor(std::span<const uint8_t> bytes)
        : m_p(bytes.data()), m_end(bytes.data() + bytes.size()) {}

    size_t Left() const { return static_cast<size_t>(m_end - m_p); }

    bool U8(uint8_t& value) {
        if (Left() < 1)
            return Fail();
        value = *m_p++;
        return true;
    }

    bool Char(char& value) {
        uint8_t byte;
        if (!U8(byte))
            return false;
        value = static_cast<char>(byte);
        return true;
    }

    bool U16(uint16_t& value) {
        if (Left() < 2)
            return Fail();
        value = static_cast<uint16_t>(m_p[0] | (m_p[1] << 8));
        m_p += 2;
        return true;
    }

    bool U32(uint32_t& value) {
        if (Left() < 4)
            return Fail();
        value = static_cast<uint32_t>(m_p[0]) | (static_cast<uint32_t>(m_p[1]) << 8) |
                (static_cast<uint32_t>(m_p[2]) << 16) | (static_cast<uint32_t>(m_p[3]) << 24);
        m_p += 4;
        return true;
    }

    bool U64(uint64_t& value) {
        uint32_t low = 0, high = 0;
        if (Left() < 8)
            return Fail();
        U32(low);
        U32(high);
        value = (static_cast<uint64_t>(high) << 32) | low;
        return true;
    }

    bool Skip(size_t n) {
        if (Left() < n)
            return Fail();
        m_p += n;
        return true;
    }

    bool I32(int32_t& value) {
        uint32_t bits;
        if (!U32(bits))
            return false;
        value = static_cast<int32_t>(bits);
        return true;
    }

    bool F32(float& value) {
        uint32_t bits;
        if (!U32(bits))
            return false;
        value = std::bit_cast<float>(bits);
        return true;
    }

    // A string counts only with its terminator inside the bytes.
    bool String(std::string& value) {
        const uint8_t* end = Terminator();
        if (!end)
            return Fail();
        value.assign(reinterpret_cast<const char*>(m_p), static_cast<size_t>(end - m_p));
        m_p = end + 1;
        return true;
    }

    bool SkipString() {
        const uint8_t* end = Terminator();
        if (!end)
            return Fail();
        m_p = end + 1;
        return true;
    }

    // The rest of the bytes up to a terminator, or all of them.
    std::string Text() {
        const uint8_t* end = Terminator();
        const uint8_t* stop = end ? end : m_end;
        std::string text(reinterpret_cast<const char*>(m_p), static_cast<size_t>(stop - m_p));
        m_p = end ? end + 1 : m_end;
        return text;
    }

private:
    // An empty span may carry a null pointer, which memchr must not see.
    const uint8_t* Terminator() const {
        if (m_p == m_end)
            return nullptr;
        return static_cast<const uint8_t*>(std::memchr(m_p, 0, Left()));
    }

    bool Fail() {
        m_p = m_end;
        return false;
    }

    const uint8_t* m_p;
    const uint8_t* m_end;
};

DetailsReply DecodeDetails(bool extended, std::span<const uint8_t> payload) {
    DetailsReply reply;
    reply.extended = extended;
    Cursor in(payload);
    auto field = [&reply](bool complete) {
        if (complete)
            ++reply.fieldsRead;
        return complete;
    };
    const bool shortFieldsRead = field(in.SkipString()) && field(in.String(reply.name)) &&
                                 field(in.String(reply.map)) && field(in.String(reply.game)) &&
                                 field(in.SkipString()) && field(in.U8(reply.players)) &&
                                 field(in.U8(reply.maxPlayers));
    if (!shortFieldsRead || !extended)
        return reply;
    uint8_t protocol;
    static_cast<void>(field(in.U8(protocol)) && field(in.Char(reply.serverType)) &&
                      field(in.Char(reply.os)) && field(in.U8(reply.password)));
    return reply;
}

// The app id of The Ship, whose servers put three bytes of their game's
// rules before the version.
constexpr uint16_t kAppIdWithShipFields = 2400;

InfoReply DecodeInfo(std::span<const uint8_t> payload) {
    InfoReply reply;
    Cursor in(payload);
    auto field = [&reply](bool complete) {
        if (complete)
            ++reply.fieldsRead;
        return complete;
    };
    const bool fixedFieldsRead =
        field(in.U8(reply.protocol)) && field(in.String(reply.name)) &&
        field(in.String(reply.map)) && field(in.String(reply.folder)) &&
        field(in.String(reply.game)) && field(in.U16(reply.appId)) && field(in.U8(reply.players)) &&
        field(in.U8(reply.maxPlayers)) && field(in.U8(reply.bots)) &&
        field(in.Char(reply.serverType)) && field(in.Char(reply.environment)) &&
        field(in.U8(reply.visibility)) && field(in.U8(reply.vac)) &&
        field((reply.appId != kAppIdWithShipFields || in.Skip(3)) && in.String(reply.version)) &&
        field(in.U8(reply.extraFlags));
    if (!fixedFieldsRead)
        return reply;
    // Each extra field only where its bit is set.
    const uint8_t flags = reply.extraFlags;
    static_cast<void>(((flags & kInfoGamePort) == 0 || field(in.U16(reply.gamePort))) &&
                      ((flags & kInfoSteamId) == 0 || field(in.U64(reply.steamId))) &&
                      ((flags & kInfoSpectator) == 0 || (field(in.U16(reply.spectatorPort)) &&
                                                         field(in.String(reply.spectatorName)))) &&
                      ((flags & kInfoKeywords) == 0 || field(in.String(reply.keywords))) &&
                      ((flags & kInfoGameId) == 0 || field(in.U64(reply.gameId))));
    return reply;
}

PlayersReply DecodePlayers(std::span<const uint8_t> payload) {
    PlayersReply reply;
    Cursor in(payload);
    uint8_t count;
    if (!in.U8(count)) {
        reply.truncated = true;
        return reply;
    }
    reply.players.reserve(std::min<size_t>(count, in.Left() / kMinPlayerEntrySize));
    for (unsigned i = 0; i < count; ++i) {
        PlayerEntry& entry = reply.players.emplace_back();
        float seconds;
        if (!in.U8(entry.index) || !in.String(entry.name) || !in.I32(entry.frags) ||
            !in.F32(seconds)) {
            reply.players.pop_back();
            reply.truncated = true;
            break;
        }
        SplitConnectedTime(seconds, entry.minutes, entry.seconds);
    }
    return reply;
}

RulesReply DecodeRules(std::span<const uint8_t> payload) {
    RulesReply reply;
    Cursor in(payload);
    uint16_t count;
    if (!in.U16(count)) {
        reply.truncated = true;
        return reply;
    }
    reply.rules.reserve(std::min<size_t>(count, in.Left() / kMinRuleEntrySize));
    for (unsigned i = 0; i < count; ++i) {
        auto& rule = reply.rules.emplace_back();
        if (!in.String(rule.first) || !in.String(rule.second)) {
            reply.rules.pop_back();
            reply.truncated = true;
            break;
        }
    }
    return reply;
}

DecodedReply DecodeMasterList(std::span<const uint8_t> payload) {
    if (payload.size() < kMasterHeaderSize)
        return MalformedReply{'f'};
    MasterListReply reply;
    Cursor in(payload.subspan(1, 4));
    in.U32(reply.nextBatchId);
    const std::span<const uint8_t> list = payload.subspan(kMasterHeaderSize);
    const size_t count = list.size() / kMasterEntrySize;
    reply.strayBytes = static_cast<int>(list.size() % kMasterEntrySize);
    reply.entries.resize(count);
    const uint8_t* p = list.data();
    for (MasterEntry& entry : reply.entries) {
        entry.address = (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
                        (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
        entry.port = static_cast<uint16_t>((p[4] << 8) | p[5]);
        p += kMasterEntrySize;
    }
    return reply;
}

} // namespace

bool HasReplyPrefix(std::span<const uint8_t> datagram) {
    return datagram.size() >= kPrefixSize && datagram[0] == 0xFF && datagram[1] == 0xFF &&
           datagram[2] == 0xFF && datagram[3] == 0xFF;
}

uint8_t ReplyType(std::span<const uint8_t> datagram) {
    return datagram.size() >= kHeaderSize ? datagram[4] : 0;
}

std::span<const uint8_t> ReplyPayload(std::span<const uint8_t> datagram) {
    if (datagram.size() <= kHeaderSize)
        return {};
    return datagram.subspan(kHeaderSize);
}

DecodedReply DecodePayload(uint8_t type, std::span<const uint8_t> payload) {
    switch (type) {
    case 'C':
        return DecodeDetails(false, payload);
    case 'm':
        return DecodeDetails(true, payload);
    case 'I':
        return DecodeInfo(payload);
    case 'A': {
        ChallengeReply reply;
        Cursor in(payload);
        if (!in.U32(reply.challenge))
            return MalformedReply{type};
        return reply;
    }
    case 'D':
        return DecodePlayers(payload);
    case 'E':
        return DecodeRules(payload);
    case 'l': {
        Cursor in(payload);
        return MessageReply{in.Text()};
    }
    case 'f':
        return DecodeMasterList(payload);
    case 'd':
    case 'j':
        return IgnoredReply{type};
    default:
        return UnsupportedReply{type};
    }
}

std::string UnsupportedReplyText(uint8_t type, const std::string& endpoint) {
    const char shown = (type >= 0x20 && type <= 0x7E) ? static_cast<char>(type) : '.';
    char head[48];
    std::snprintf(head, sizeof head, "Unsupported command 0x%02x ('%c') on ",
                  static_cast<unsigned>(type), shown);
    return head + endpoint;
}

void SplitConnectedTime(float seconds, int32_t& minutes, int32_t& secondsLeft) {
    // Converting a float that does not fit to an integer is undefined, and a
    // server may send any bit pattern: clamp before truncating.
    constexpr double kAboveMax = 2147483648.0;  // 2^31
    constexpr double kBelowMin = -2147483649.0; // -2^31 - 1
    const double value = seconds;
    int32_t whole;
    if (std::isnan(value))
        whole = 0;
    else if (value >= kAboveMax)
        whole = std::numeric_limits<int32_t>::max();
    else if (value <= kBelowMin)
        whole = std::numeric_limits<int32_t>::min();
    else
        whole = static_cast<int32_t>(value);
    minutes = whole / 60;
    secondsLeft = whole % 60;
}
