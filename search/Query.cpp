#include "search/Query.h"

namespace {

const std::string& NameOrNoName(const std::string& name) {
    static const std::string kNoName = "<no name>";
    return name.empty() ? kNoName : name;
}

} // namespace

std::string Query::GetLabel() const {
    return NameOrNoName(m_strName) + ":  \"" + m_strExpression + "\"  ";
}

const std::string& Query::GetDisplayName() const {
    return m_strName.empty() ? m_strExpression : m_strName;
}

std::string SearchQueryLabel(const std::string& name, size_t servers, size_t players,
                             const std::string& expression) {
    return NameOrNoName(name) + "  (" + std::to_string(servers) + "/" + std::to_string(players) +
           "):  \"" + expression + "\"  ";
}
