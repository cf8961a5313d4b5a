#pragma once

#include "core/ServerInfo.h"
#include "core/SortedObArray.h"

// Columns: 1 address then port, 2 name, 3 ping (unknown last), 4 game,
// 5 map, 6 players then player-list size (larger first), 7 maximum players
// (larger first), 8 password, type, OS, 9 annotation, 10 host name,
// 11 protocol.
struct ServerColumns {
    static int CompareColumn(const ServerInfo& a, const ServerInfo& b, int column);
};

// The document's list owns every record; all other lists only point.
using OwningServerList = SortedObArray<ServerInfo, ServerColumns, true>;
using ServerList = SortedObArray<ServerInfo, ServerColumns, false>;
