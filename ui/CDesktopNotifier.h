#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <string>

struct WatchAlert;

// Shows watch alerts through the desktop's notification service on the
// session bus, with "Join" and "Show" buttons. Every call is asynchronous:
// a notification service that hangs must not stop the window. When no
// service answers, the alert goes to the fallback instead.
class CDesktopNotifier : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kService = "org.freedesktop.Notifications";
    static constexpr const char* kPath = "/org/freedesktop/Notifications";

    explicit CDesktopNotifier(QObject* parent = nullptr);

    // The bus to talk to; the session bus unless told otherwise.
    void SetBus(const QDBusConnection& bus);
    // Called with the alert when the service is missing or refuses it.
    void SetFallback(std::function<void(const WatchAlert&)> fallback) {
        m_fallback = std::move(fallback);
    }

    void Notify(const WatchAlert& alert);

    // The notifications the service shows for us now.
    int OpenCount() const { return static_cast<int>(m_open.size()); }

    static QString Summary(const WatchAlert& alert);

signals:
    // The user pressed "join" or "show" on the notification of this server.
    void ActionChosen(const QString& action, quint32 address, quint16 port);

private slots:
    void OnActionInvoked(uint id, const QString& action);
    void OnClosed(uint id, uint reason);

private:
    struct Target {
        uint32_t address = 0;
        uint16_t port = 0;
        std::string who;
    };

    void AskCapabilities();

    QDBusConnection m_bus;
    std::function<void(const WatchAlert&)> m_fallback;
    std::map<uint, Target> m_open;
    // The open notification of each player (or watched server): a new alert
    // about them replaces it instead of piling up beside it.
    std::map<std::string, uint> m_byWho;
    // Whether the service reads the body as markup: names come from game
    // servers, and a "<" in one must show as itself.
    bool m_bMarkup = false;
    bool m_bBusChosen = false;
};
