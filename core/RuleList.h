#pragma once

#include "core/RuleInfo.h"
#include "core/SortedObArray.h"

// Columns: 1 rule name, 2 value; any other column compares equal.
struct RuleColumns {
    static int CompareColumn(const RuleInfo& a, const RuleInfo& b, int column);
};

using RuleList = SortedObArray<RuleInfo, RuleColumns, true>;
using RuleRefList = SortedObArray<RuleInfo, RuleColumns, false>;
