#include "search/SearchQuery.h"

std::string SearchQueryLabel(const std::string& name, size_t servers, size_t players,
                             const std::string& expression);

std::string SearchQuery::GetLabel() const {
    return SearchQueryLabel(m_strName, m_servers.size(), m_players.size(), m_strExpression);
}

void SearchQuery::ClearResults() {
    m_players.clear();
    m_servers.clear();
}
