#include "WebListServer.h"

#include "Fleet.h"
#include "LabOptions.h"
#include "MasterFilter.h"

#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>

#include <chrono>

namespace lab {

namespace {

constexpr qsizetype kMaxRequestBytes = 16 * 1024;
constexpr int kRequestTimeoutMs = 10000;
constexpr int kDefaultLimit = 100;

const char* StatusText(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    }
    return "Error";
}

WebListServer::Response Page(int status, const QByteArray& text) {
    const QByteArray title = StatusText(status);
    return {status, "text/html; charset=UTF-8",
            "<html><head><title>" + title + "</title></head><body><h1>" + title + "</h1>" + text +
                "</body></html>"};
}

QString Text(const std::string& bytes) {
    return QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
}

} // namespace

WebListServer::WebListServer(const Fleet& fleet, const LabOptions& options, QObject* parent)
    : QObject(parent), m_fleet(fleet), m_options(options) {}

WebListServer::~WebListServer() = default;

bool WebListServer::Start(QString& error) {
    if (!m_server.listen(QHostAddress(m_options.masterAddress), m_options.webPort)) {
        error = QStringLiteral("cannot listen for the web list on %1:%2: %3")
                    .arg(FormatIPv4(m_options.masterAddress))
                    .arg(m_options.webPort)
                    .arg(m_server.errorString());
        return false;
    }
    connect(&m_server, &QTcpServer::newConnection, this, &WebListServer::OnNewConnection);
    return true;
}

void WebListServer::OnNewConnection() {
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        auto* timer = new QTimer(socket);
        timer->setSingleShot(true);
        connect(timer, &QTimer::timeout, socket, &QTcpSocket::abort);
        timer->start(kRequestTimeoutMs);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, timer] {
            // Only the request line matters; the headers are read to their end
            // so that the answer does not cut a client off mid-request.
            QByteArray request = socket->property("request").toByteArray() + socket->readAll();
            if (socket->property("answered").toBool())
                return;
            if (request.size() > kMaxRequestBytes) {
                socket->abort();
                return;
            }
            socket->setProperty("request", request);
            if (!request.contains("\r\n\r\n") && !request.contains("\n\n"))
                return;
            timer->stop();
            socket->setProperty("answered", true);
            const QByteArray line = request.left(request.indexOf('\n')).trimmed();
            const QList<QByteArray> parts = line.split(' ');
            const Response response = parts.size() == 3 && parts[2].startsWith("HTTP/")
                                          ? Answer(parts[0], parts[1])
                                          : Page(400, "The request line is not HTTP.");
            QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + " " +
                              StatusText(response.status) +
                              "\r\nContent-Type: " + response.contentType +
                              "\r\nContent-Length: " + QByteArray::number(response.body.size()) +
                              "\r\nConnection: close\r\n\r\n";
            socket->write(head);
            if (parts.value(0) != "HEAD")
                socket->write(response.body);
            socket->disconnectFromHost();
        });
    }
}

WebListServer::Response WebListServer::Answer(const QByteArray& method,
                                              const QByteArray& target) const {
    if (method != "GET" && method != "HEAD")
        return Page(405, "Only GET is served here.");
    const QUrl url(QStringLiteral("http://lab") + QString::fromLatin1(target));
    QString path = url.path();
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    if (!url.isValid() || path != QLatin1String("/IGameServersService/GetServerList/v1/"))
        return Page(404, "Not Found");
    const QUrlQuery query(url);
    if (!query.hasQueryItem(QStringLiteral("key")) ||
        query.queryItemValue(QStringLiteral("key"), QUrl::FullyDecoded) != m_options.webKey)
        return Page(403, "Access is denied. Retrying will not help. Please verify your "
                         "<pre>key=</pre> parameter.");
    int limit = kDefaultLimit;
    if (query.hasQueryItem(QStringLiteral("limit"))) {
        bool ok = false;
        const int value = query.queryItemValue(QStringLiteral("limit")).toInt(&ok);
        if (ok && value > 0)
            limit = value;
    }
    const std::string filterText =
        query.queryItemValue(QStringLiteral("filter"), QUrl::FullyDecoded).toStdString();
    const MasterFilter filter(filterText, MasterFilter::Keys::Steam);

    const auto now = std::chrono::steady_clock::now();
    QJsonArray servers;
    for (int i = 0; i < m_fleet.Size() && servers.size() < limit; ++i) {
        const ServerSummary& s = m_fleet.Summary(i);
        const int players = m_fleet.PlayersNow(i, now);
        if (!filter.Matches(s, players))
            continue;
        const ServerContent c = m_fleet.Content(i);
        const A2sInfo a2s = m_fleet.A2s(i);
        servers.append(QJsonObject{
            {"addr",
             QStringLiteral("%1:%2").arg(FormatIPv4(m_fleet.AddressOf(i))).arg(m_fleet.Port())},
            {"gameport", a2s.gamePort},
            {"steamid", QString::number(a2s.steamId)},
            {"name", Text(c.name)},
            {"appid", a2s.appId},
            {"gamedir", Text(c.game)},
            {"version", Text(a2s.version)},
            {"product", Text(c.game)},
            {"region", 255},
            {"players", players},
            {"max_players", c.maxPlayers},
            {"bots", c.bots},
            {"map", Text(c.map)},
            {"secure", c.secure != 0},
            {"dedicated", c.type == 'd'},
            {"os", QString(QLatin1Char(c.os))},
            {"gametype", (a2s.extraFlags & 0x20) ? Text(a2s.keywords) : QString()},
        });
    }
    // The real service leaves "servers" out when none passes the filter.
    QJsonObject response;
    if (!servers.isEmpty())
        response["servers"] = servers;
    return {200, "application/json; charset=UTF-8",
            QJsonDocument(QJsonObject{{"response", response}}).toJson(QJsonDocument::Compact)};
}

} // namespace lab
