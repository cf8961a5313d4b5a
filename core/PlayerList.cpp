#include "core/PlayerList.h"

#include "core/TextCompare.h"

int PlayerColumns::CompareColumn(const PlayerInfo& a, const PlayerInfo& b, int column) {
    switch (column) {
    case 1:
        return CompareValues(a.m_nIndex, b.m_nIndex);
    case 2:
        return CompareNoCase(a.m_strName, b.m_strName);
    case 3:
        return CompareValues(b.m_nFrags, a.m_nFrags);
    case 4:
        return CompareValues(int64_t{b.m_nFrags} - b.m_nPrevFrags,
                             int64_t{a.m_nFrags} - a.m_nPrevFrags);
    case 5:
        return CompareValues(int64_t{a.m_nMinutes} * 60 + a.m_nSeconds,
                             int64_t{b.m_nMinutes} * 60 + b.m_nSeconds);
    default:
        return 0;
    }
}
