#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTcpServer>

namespace lab {

class Fleet;
struct LabOptions;

// The web service's server list over plain HTTP on loopback:
//   GET /IGameServersService/GetServerList/v1/?key=K&filter=F&limit=N
// answers {"response": {"servers": [...]}} with the first N servers that pass
// the filter (100 without a limit), as the real service does; a wrong or
// missing key is a 403 with a small HTML page. One request per connection,
// answered and closed; a client that sends no whole request in time or too
// much of one is dropped.
class WebListServer : public QObject {
public:
    WebListServer(const Fleet& fleet, const LabOptions& options, QObject* parent = nullptr);
    ~WebListServer() override;

    bool Start(QString& error);

    // The status line's code and the body for one request target.
    struct Response {
        int status = 200;
        QByteArray contentType;
        QByteArray body;
    };
    Response Answer(const QByteArray& method, const QByteArray& target) const;

private:
    void OnNewConnection();

    const Fleet& m_fleet;
    const LabOptions& m_options;
    QTcpServer m_server;
};

} // namespace lab
