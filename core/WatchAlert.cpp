#include "core/WatchAlert.h"

#include "net/Address.h"

std::string WatchAlert::Text() const {
    const std::string where = serverName.empty() ? FormatAddress(address, port) : serverName;
    const std::string state =
        " (" + map + ", " + std::to_string(players) + "/" + std::to_string(maxPlayers) + ")";
    switch (kind) {
    case Kind::Present:
        return player + " is on " + where + state;
    case Kind::Appeared:
        return player + " joined " + where + state;
    case Kind::Moved:
        return player + " moved to " + where + state;
    case Kind::Left:
        return player + " left " + where;
    case Kind::ServerHasRoom:
        return where + " has a free place" + state;
    case Kind::ServerHasPlayers:
        return where + " has " + std::to_string(players) + " players" + state;
    }
    return {};
}
