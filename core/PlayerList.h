#pragma once

#include "core/PlayerInfo.h"
#include "core/SortedObArray.h"

// Columns: 1 slot index, 2 name, 3 frags (larger first), 4 frags gained
// since the previous answer (larger first), 5 connected time.
struct PlayerColumns {
    static int CompareColumn(const PlayerInfo& a, const PlayerInfo& b, int column);
};

// A server's own player list owns its records; a view's list only points.
using PlayerList = SortedObArray<PlayerInfo, PlayerColumns, true>;
using PlayerRefList = SortedObArray<PlayerInfo, PlayerColumns, false>;
