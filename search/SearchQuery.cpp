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

void SearchQuery::Run(const ExpressionMatcher& matcher, const OwningServerList& servers) {
    ClearResults();
    // Deleted servers take part too: they still hold their last players.
    for (const auto& slot : servers) {
        ServerInfo* server = slot.get();
        if (!server->m_pPlayers)
            continue;
        for (const auto& player : *server->m_pPlayers) {
            if (!matcher.Search(player->m_strName))
                continue;
            // The list is walked server by server, so a server seen before
            // can only be the last one appended.
            if (m_servers.empty() || m_servers.back() != server)
                m_servers.push_back(server);
            m_players.push_back(std::make_unique<FoundPlayer>(server, *player));
        }
    }
}
