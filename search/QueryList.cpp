#include "search/QueryList.h"

#include "core/TextCompare.h"

int QueryColumns::CompareColumn(const SearchQuery& a, const SearchQuery& b, int column) {
    switch (column) {
    case 1:
        return CompareNoCase(a.m_strName, b.m_strName);
    case 2:
        return CompareNoCase(a.m_strExpression, b.m_strExpression);
    case 3:
        return CompareValues(b.m_players.size(), a.m_players.size());
    case 4:
        return CompareValues(b.m_servers.size(), a.m_servers.size());
    default:
        return 0;
    }
}
