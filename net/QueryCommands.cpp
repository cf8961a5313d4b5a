#include "net/QueryCommands.h"

#include <string_view>

namespace {
const char* const kWords[] = {kStepDetails, kStepPlayers, kStepRules};
} // namespace

std::string CommandsFromMask(unsigned mask) {
    std::string list;
    for (unsigned bit = 0; bit < 3; ++bit) {
        if (!(mask & (1u << bit)))
            continue;
        if (!list.empty())
            list += ';';
        list += kWords[bit];
    }
    return list;
}

unsigned MaskFromCommands(const std::string& commands) {
    unsigned mask = 0;
    size_t start = 0;
    while (start <= commands.size()) {
        size_t end = commands.find(';', start);
        if (end == std::string::npos)
            end = commands.size();
        const std::string_view word(commands.data() + start, end - start);
        for (unsigned bit = 0; bit < 3; ++bit)
            if (word == kWords[bit])
                mask |= 1u << bit;
        start = end + 1;
    }
    return mask;
}
