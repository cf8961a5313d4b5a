#pragma once

#include <QByteArray>
#include <memory>

#include "net/CMasterExchange.h"

class QNetworkAccessManager;
class QNetworkReply;

// Steam's web service list: one HTTP GET, answered with the whole list as
// JSON, names, maps and player counts included. It runs in the event loop
// like the sockets do; every way it can go wrong ends it with a message.
class CSteamWebExchange : public CMasterExchange {
public:
    // A bigger answer is not a server list (one server takes a few hundred
    // bytes, and the limit asks for tens of thousands at most).
    static constexpr qint64 kMaxBodyBytes = 64 * 1024 * 1024;

    CSteamWebExchange(IMasterListOwner& owner, MasterListQuery query);
    ~CSteamWebExchange() override;

    MasterSource Source() const override { return MasterSource::SteamWeb; }
    void Start() override;
    // The transfer time-out is the network layer's; nothing to do here.
    void OnCleaningPass(uint64_t) override {}
    void Close() override;
    std::string PeerText() const override { return m_query.apiUrl; }

    // The filter text this exchange sends.
    const std::string& FilterText() const { return m_strFilter; }
    // The time-out for a transfer that stalls: the time a UDP master is
    // given for all its tries.
    int TransferTimeoutMs() const;

private:
    void OnFinished();
    std::string FailureText() const;

    std::string m_strFilter;
    std::unique_ptr<QNetworkAccessManager> m_pNetwork;
    QNetworkReply* m_pReply = nullptr; // owned by m_pNetwork until finished
    bool m_bTooLarge = false;
};
