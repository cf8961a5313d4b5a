// The A2S replies: one payload decoded as an info, challenge, players and
// rules reply. The input is a whole reply datagram (its payload is used) or
// a bare payload.
#include <cstddef>
#include <cstdint>
#include <span>

#include "net/ReplyDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::span<const uint8_t> payload(data, size);
    if (HasReplyPrefix(payload))
        payload = ReplyPayload(payload);
    // Every string a decoder returns was read with its terminator, and no
    // byte twice: together they fit in the payload.
    size_t text = 0;
    const DecodedReply info = DecodePayload('I', payload);
    if (const auto* r = std::get_if<InfoReply>(&info)) {
        if (r->fieldsRead < 0 || r->fieldsRead > 21)
            __builtin_trap();
        text = r->name.size() + r->map.size() + r->folder.size() + r->game.size() +
               r->version.size() + r->spectatorName.size() + r->keywords.size();
        if (text > size)
            __builtin_trap();
    } else {
        __builtin_trap();
    }
    const DecodedReply challenge = DecodePayload('A', payload);
    if (std::holds_alternative<ChallengeReply>(challenge) != (payload.size() >= 4))
        __builtin_trap();
    const DecodedReply players = DecodePayload('D', payload);
    if (const auto* r = std::get_if<PlayersReply>(&players)) {
        text = 0;
        for (const PlayerEntry& p : r->players)
            text += p.name.size() + 10;
        if (text > size)
            __builtin_trap();
    }
    const DecodedReply rules = DecodePayload('E', payload);
    if (const auto* r = std::get_if<RulesReply>(&rules)) {
        text = 0;
        for (const auto& [key, value] : r->rules)
            text += key.size() + value.size() + 2;
        if (text > size)
            __builtin_trap();
    }
    return 0;
}
