#include "net/CMasterExchange.h"

#include "net/IMasterListOwner.h"
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

std::unique_ptr<CMasterSocket> CMasterExchange::OpenMasterSocket(
    CMasterSocket::DatagramHandler onDatagram, const std::string& connectError) {
    auto socket = std::make_unique<CMasterSocket>(
        std::move(onDatagram),
        [this](const std::string& context) { m_owner.OnMasterSocketError(context); });
    const char* failure = nullptr;
    if (!socket->Create())
        failure = "Error creating socket";
    else if (!socket->Connect(m_query.host, m_query.port))
        failure = connectError.c_str();
    if (!failure)
        return socket;
    m_owner.OnMasterSocketError(failure);
    m_owner.OnMasterListFailed("");
    return nullptr;
}
