// Every reply a game server could send, decoded and applied to a record.
#include <cstddef>
#include <cstdint>
#include <span>

#include "net/ReplyDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> datagram(data, size);
    if (!HasReplyPrefix(datagram))
        return 0;
    const DecodedReply reply = DecodePayload(ReplyType(datagram), ReplyPayload(datagram));
    // Touch what was decoded so that nothing is optimised away.
    volatile size_t sink = 0;
    if (const auto* players = std::get_if<PlayersReply>(&reply))
        for (const PlayerEntry& p : players->players)
            sink = sink + p.name.size() + static_cast<size_t>(p.minutes);
    if (const auto* rules = std::get_if<RulesReply>(&reply))
        for (const auto& [key, value] : rules->rules)
            sink = sink + key.size() + value.size();
    if (const auto* details = std::get_if<DetailsReply>(&reply))
        sink = sink + details->name.size() + static_cast<size_t>(details->fieldsRead);
    (void)sink;
    return 0;
}
