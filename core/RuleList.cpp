#include "core/RuleList.h"

#include "core/TextCompare.h"

int RuleColumns::CompareColumn(const RuleInfo& a, const RuleInfo& b, int column) {
    switch (column) {
    case 1:
        return CompareNoCase(a.m_strKey, b.m_strKey);
    case 2:
        return CompareNoCase(a.m_strValue, b.m_strValue);
    default:
        return 0;
    }
}
