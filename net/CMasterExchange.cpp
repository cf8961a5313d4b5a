#include "net/CMasterExchange.h"

#include "net/SteamMasterProtocol.h"

std::string SteamFilterText(const MasterListQuery& query) {
    SteamListFilter filter;
    filter.appId = query.appId;
    filter.game = query.game;
    filter.map = query.map;
    filter.dedicated = query.hasType && query.dedicated;
    filter.notEmpty = query.hasEmpty && !query.empty;
    filter.notFull = query.hasFull && !query.full;
    filter.noPassword = query.hasPassword && !query.password;
    filter.linux = query.os == 'l';
    return BuildSteamFilter(filter);
}

std::string CMasterExchange::PeerText() const {
    return m_query.host + ":" + std::to_string(m_query.port);
}
