#pragma once

#include "core/FoundPlayer.h"
#include "core/SortedObArray.h"

// Columns: 1 slot index, 2 player name, 3 frags (larger first), 4 connected
// time, 5 server address then port, 6 server name.
struct FoundPlayerColumns {
    static int CompareColumn(const FoundPlayer& a, const FoundPlayer& b, int column);
};

using FoundPlayerList = SortedObArray<FoundPlayer, FoundPlayerColumns, false>;
