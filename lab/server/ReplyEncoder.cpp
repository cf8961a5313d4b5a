#include "ReplyEncoder.h"

#include "ByteWriter.h"

#include <cstring>

namespace lab::ReplyEncoder {

namespace {

// A whole reply: the header, then its type byte.
class Writer : public ByteWriter {
public:
    explicit Writer(char type) { U8(static_cast<uint8_t>(type)); }
};

} // namespace

Bytes Details(const ServerContent& c, const std::string& addressText, int players) {
    Writer w('m');
    w.String(addressText);
    w.String(c.name);
    w.String(c.map);
    w.String(c.game);
    w.String(c.description);
    w.U8(static_cast<uint8_t>(players));
    w.U8(c.maxPlayers);
    w.U8(c.protocol);
    w.U8(static_cast<uint8_t>(c.type));
    w.U8(static_cast<uint8_t>(c.os));
    w.U8(c.password ? 1 : 0);
    if (c.trailer != Trailer::None) {
        w.U8(c.trailer == Trailer::Mod ? 1 : 0);
        if (c.trailer == Trailer::Mod) {
            w.String(c.mod.infoUrl);
            w.String(c.mod.downloadUrl);
            w.String("");
            w.I32(c.mod.version);
            w.I32(c.mod.size);
            w.U8(c.mod.serverOnly);
            w.U8(c.mod.customDll);
        }
        w.U8(c.secure);
        w.U8(c.bots);
    }
    return w.Take();
}

int32_t FragsOfAnswer(const LabPlayer& player, uint32_t answerNumber) {
    const int64_t frags = int64_t{player.frags} + int64_t{player.fragsDelta} * answerNumber;
    return static_cast<int32_t>(frags);
}

Bytes Players(const std::vector<LabPlayer>& players, int count, uint32_t answerNumber) {
    Writer w('D');
    w.U8(static_cast<uint8_t>(count));
    for (int i = 0; i < count; ++i) {
        const LabPlayer& player = players[static_cast<size_t>(i)];
        w.U8(player.index);
        w.String(player.name);
        w.I32(FragsOfAnswer(player, answerNumber));
        w.F32(static_cast<float>(player.timeTenths / 10.0));
    }
    return w.Take();
}

Bytes Rules(const std::vector<LabRule>& rules) {
    Writer w('E');
    w.U16(static_cast<uint16_t>(rules.size()));
    for (const LabRule& rule : rules) {
        w.String(rule.key);
        w.String(rule.value);
    }
    return w.Take();
}

Bytes Message(const std::string& text) {
    Writer w('l');
    w.String(text);
    return w.Take();
}

Bytes MasterBatch(uint32_t nextBatchId, const std::vector<MasterEntry>& entries) {
    Writer w('f');
    w.U8(0x0D);
    w.U32(nextBatchId);
    for (const MasterEntry& entry : entries) {
        w.U8(static_cast<uint8_t>(entry.address >> 24));
        w.U8(static_cast<uint8_t>(entry.address >> 16));
        w.U8(static_cast<uint8_t>(entry.address >> 8));
        w.U8(static_cast<uint8_t>(entry.address));
        w.U8(static_cast<uint8_t>(entry.port >> 8));
        w.U8(static_cast<uint8_t>(entry.port));
    }
    return w.Take();
}

Bytes Unsupported(char type) {
    Writer w(type);
    w.U8(0);
    return w.Take();
}

Bytes DetailsUnterminated(const ServerContent& c, const std::string& addressText) {
    Writer w('m');
    w.String(addressText);
    w.Raw(c.name);
    return w.Take();
}

Bytes PlayersUnterminated(const std::vector<LabPlayer>& players, int count, uint32_t answerNumber) {
    if (count < 1) {
        Writer w('D');
        w.U8(1);
        w.U8(1);
        w.Raw("Nameless");
        return w.Take();
    }
    Bytes reply = Players(players, count - 1, answerNumber);
    reply[5] = static_cast<uint8_t>(count);
    const LabPlayer& last = players[static_cast<size_t>(count - 1)];
    reply.push_back(last.index);
    reply.insert(reply.end(), last.name.begin(), last.name.end());
    if (last.name.empty())
        reply.push_back('x');
    return reply;
}

Bytes RulesUnterminated(const std::vector<LabRule>& rules) {
    Bytes reply = Rules(rules);
    if (!rules.empty())
        reply.pop_back();
    return reply;
}

void RaiseCount(Bytes& reply) {
    if (reply.size() > 5 && reply[4] == 'D')
        reply[5] = 0xFF;
    if (reply.size() > 6 && reply[4] == 'E')
        reply[5] = reply[6] = 0xFF;
}

namespace {

constexpr size_t kMaxDatagram = 65507;

} // namespace

Bytes DetailsOversize(const ServerContent& c, const std::string& addressText, int players) {
    const size_t rest = Details(c, addressText, players).size() - c.name.size();
    ServerContent padded = c;
    padded.name.resize(kMaxDatagram - rest, '.');
    return Details(padded, addressText, players);
}

Bytes PlayersOversize() {
    constexpr int kCount = 255;
    constexpr size_t kFixed = 1 + 1 + 4 + 4; // index, terminator, frags, time
    const size_t room = kMaxDatagram - 6;    // header and count
    Writer w('D');
    w.U8(kCount);
    for (int i = 0; i < kCount; ++i) {
        const size_t left = room - (w.Size() - 6);
        const size_t share = i + 1 == kCount ? left : room / kCount;
        std::string name = "Big player " + std::to_string(i + 1) + " ";
        name.resize(share - kFixed, '.');
        w.U8(static_cast<uint8_t>(i + 1));
        w.String(name);
        w.I32(i);
        w.F32(static_cast<float>(i));
    }
    return w.Take();
}

Bytes RulesOversize() {
    constexpr size_t kRule = 64;          // bytes per rule, terminators included
    const size_t room = kMaxDatagram - 7; // header and count
    const size_t count = room / kRule;
    Writer w('E');
    w.U16(static_cast<uint16_t>(count));
    for (size_t i = 0; i < count; ++i) {
        const std::string key = "big_rule_" + std::to_string(100000 + i);
        const size_t share = i + 1 == count ? room - (w.Size() - 7) : kRule;
        w.String(key);
        w.String(std::string(share - key.size() - 2, 'v'));
    }
    return w.Take();
}

} // namespace lab::ReplyEncoder
