#include "net/CSteamWebExchange.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>
#include <algorithm>
#include <utility>

#include "net/IMasterListOwner.h"
#include "net/SteamWebList.h"

namespace {

const char kNoKey[] = "Enter your Steam web API key in Options.";

} // namespace

CSteamWebExchange::CSteamWebExchange(IMasterListOwner& owner, MasterListQuery query)
    : CMasterExchange(owner, std::move(query)), m_strFilter(SteamFilterText(m_query)) {}

CSteamWebExchange::~CSteamWebExchange() {
    Close();
}

int CSteamWebExchange::TransferTimeoutMs() const {
    const int64_t total = static_cast<int64_t>(m_query.timeoutMs) * (m_query.retries + 1);
    return static_cast<int>(std::clamp<int64_t>(total, 1, 600000));
}

void CSteamWebExchange::Start() {
    Busy busy(*this);
    if (m_query.apiKey.empty()) {
        m_owner.OnMasterListFailed(kNoKey);
        return;
    }
    const QUrl url(QString::fromStdString(BuildSteamWebListUrl(m_query.apiUrl, m_query.apiKey,
                                                               m_strFilter, m_query.limit)),
                   QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() || (scheme != "http" && scheme != "https")) {
        m_owner.OnMasterListFailed("The Steam web service address is not valid: " + m_query.apiUrl);
        return;
    }
    m_pNetwork = std::make_unique<QNetworkAccessManager>();
    QNetworkRequest request(url);
    // Counted while nothing arrives: a long list that keeps coming is not
    // cut off, a service that stalls is.
    request.setTransferTimeout(TransferTimeoutMs());
    m_pReply = m_pNetwork->get(request);
    ++m_nRequestsSent;
    QObject::connect(m_pReply, &QNetworkReply::downloadProgress, [this](qint64 received, qint64) {
        Busy busy(*this);
        if (received > kMaxBodyBytes && m_pReply && !m_bTooLarge) {
            m_bTooLarge = true;
            m_pReply->abort();
        }
    });
    QObject::connect(m_pReply, &QNetworkReply::finished, [this] { OnFinished(); });
    m_owner.OnMasterRequestSent(0);
}

std::string CSteamWebExchange::FailureText() const {
    const QNetworkReply& reply = *m_pReply;
    const int status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const std::string service = "The Steam web service at " + m_query.apiUrl;
    if (m_bTooLarge)
        return service + " sent more than " + std::to_string(kMaxBodyBytes >> 20) +
               " MB: that is not a server list.";
    if (status == 401 || status == 403)
        return service + " refused the web API key (HTTP " + std::to_string(status) +
               "). Check the key in Options.";
    const QNetworkReply::NetworkError error = reply.error();
    if (error == QNetworkReply::OperationCanceledError || error == QNetworkReply::TimeoutError) {
        const int seconds = (TransferTimeoutMs() + 999) / 1000;
        return service + " did not answer within " + std::to_string(seconds) +
               (seconds == 1 ? " second." : " seconds.");
    }
    if (error != QNetworkReply::NoError && status == 0) {
        // The network layer's text may quote the whole address, key and all.
        QString why = reply.errorString();
        why.replace(QString::fromStdString(m_query.apiKey), "...");
        return "Cannot reach the Steam web service at " + m_query.apiUrl + ": " + why.toStdString();
    }
    if (status != 200)
        return service + " answered with HTTP status " + std::to_string(status) + ".";
    return {};
}

void CSteamWebExchange::OnFinished() {
    Busy busy(*this);
    if (!m_pReply)
        return;
    std::string failure = FailureText();
    QByteArray body;
    if (failure.empty())
        body = m_pReply->readAll();
    std::exchange(m_pReply, nullptr)->deleteLater();
    if (!failure.empty()) {
        m_owner.OnMasterListFailed(failure);
        return;
    }
    SteamWebListResult list = ParseSteamWebList(std::span<const uint8_t>(
        reinterpret_cast<const uint8_t*>(body.constData()), static_cast<size_t>(body.size())));
    if (!list.ok) {
        m_owner.OnMasterListFailed("The answer of the Steam web service at " + m_query.apiUrl +
                                   " is not a server list (" + list.error + ").");
        return;
    }
    if (m_query.limit > 0 && list.servers.size() > static_cast<size_t>(m_query.limit))
        list.servers.resize(static_cast<size_t>(m_query.limit));
    m_owner.OnMasterServers(list.servers);
    m_owner.OnMasterListComplete();
}

void CSteamWebExchange::Close() {
    if (!m_pReply)
        return;
    QNetworkReply* reply = std::exchange(m_pReply, nullptr);
    QObject::disconnect(reply, nullptr, nullptr, nullptr);
    reply->abort();
    reply->deleteLater();
}
