#pragma once

#include <memory>
#include <vector>

#include "core/FoundPlayer.h"
#include "core/ServerList.h"
#include "search/ExpressionMatcher.h"
#include "search/Query.h"

// A player query with the results of its last run.
class SearchQuery : public Query {
public:
    using Query::Query;
    SearchQuery() = default;
    SearchQuery(const SearchQuery&) = delete;
    SearchQuery& operator=(const SearchQuery&) = delete;

    // "%s  (%d/%d):  \"%s\"  " with the name (or "<no name>"), the number of
    // servers, the number of players and the expression.
    std::string GetLabel() const override;
    void ClearResults();
    // Searches every player of every server that has a player list, in list
    // order, with the compiled expression; the results replace the old ones.
    void Run(const ExpressionMatcher& matcher, const OwningServerList& servers);

    std::vector<ServerInfo*> m_servers;                 // in the order first found
    std::vector<std::unique_ptr<FoundPlayer>> m_players; // owned
};
