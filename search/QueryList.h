#pragma once

#include "core/SortedObArray.h"
#include "search/SearchQuery.h"

// Columns: 1 name, 2 expression, 3 found players (larger first), 4 servers
// with a match (larger first).
struct QueryColumns {
    static int CompareColumn(const SearchQuery& a, const SearchQuery& b, int column);
};

using QueryList = SortedObArray<SearchQuery, QueryColumns, false>;
