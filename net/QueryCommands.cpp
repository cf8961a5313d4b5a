#include "net/QueryCommands.h"

std::string CommandsFromMask(unsigned mask) {
    static const char* const kWords[] = {"details", "players", "rules"};
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
