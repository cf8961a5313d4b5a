#pragma once

#include <cstddef>
#include <string>

#include "core/FoundPlayer.h"
#include "core/RuleInfo.h"
#include "core/ServerInfo.h"
#include "search/SearchQuery.h"

// Type-ahead in a details list looks the typed text up by binary search: it
// is read into a probe record of the row type, in the field that the primary
// sort key compares; every other field stays empty or 0.
void FillServerProbe(ServerInfo& probe, const std::string& text, int key);
void FillPlayerProbe(PlayerInfo& probe, const std::string& text, int key);
// Counts are held below countLimit, so a large number typed does not make
// a probe with that many entries.
void FillQueryProbe(SearchQuery& probe, const std::string& text, int key, size_t countLimit);
void FillResultProbe(FoundPlayer& probe, ServerInfo& probeServer, const std::string& text, int key);
void FillRuleProbe(RuleInfo& probe, const std::string& text, int key);

// The row a search of [start, size) answers: the index of an equal row, else
// the insertion point, and -1 when that is the end of the list.
template <class List>
int FindTypedRow(const List& list, const typename List::Element& probe, int start) {
    const int size = list.GetSize();
    start = start < 0 ? 0 : (start > size ? size : start);
    const int found = list.Find(probe, start, size);
    if (found >= 0)
        return found;
    const int insertAt = -1 - found;
    return insertAt == size ? -1 : insertAt;
}
