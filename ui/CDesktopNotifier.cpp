#include "ui/CDesktopNotifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>

#include "core/DisplayText.h"
#include "core/WatchAlert.h"
#include "net/Address.h"

namespace {

constexpr const char* kInterface = "org.freedesktop.Notifications";

QDBusMessage Call(const char* method) {
    return QDBusMessage::createMethodCall(QLatin1String(CDesktopNotifier::kService),
                                          QLatin1String(CDesktopNotifier::kPath),
                                          QLatin1String(kInterface), QLatin1String(method));
}

} // namespace

// The session bus is only reached for the first alert: a window that never
// alerts never talks to it.
CDesktopNotifier::CDesktopNotifier(QObject* parent)
    : QObject(parent), m_bus(QStringLiteral("scoutwire-none")) {}

void CDesktopNotifier::SetBus(const QDBusConnection& bus) {
    const QString service = QLatin1String(kService);
    const QString path = QLatin1String(kPath);
    const QString iface = QLatin1String(kInterface);
    m_bus.disconnect(service, path, iface, QStringLiteral("ActionInvoked"), this,
                     SLOT(OnActionInvoked(uint, QString)));
    m_bus.disconnect(service, path, iface, QStringLiteral("NotificationClosed"), this,
                     SLOT(OnClosed(uint, uint)));
    m_open.clear();
    m_byWho.clear();
    m_bMarkup = false;
    m_bus = bus;
    m_bBusChosen = true;
    if (!m_bus.isConnected())
        return;
    m_bus.connect(service, path, iface, QStringLiteral("ActionInvoked"), this,
                  SLOT(OnActionInvoked(uint, QString)));
    m_bus.connect(service, path, iface, QStringLiteral("NotificationClosed"), this,
                  SLOT(OnClosed(uint, uint)));
    AskCapabilities();
}

void CDesktopNotifier::AskCapabilities() {
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(Call("GetCapabilities")), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        const QDBusPendingReply<QStringList> reply = *w;
        if (reply.isValid())
            m_bMarkup = reply.value().contains(QStringLiteral("body-markup"));
        w->deleteLater();
    });
}

QString CDesktopNotifier::Summary(const WatchAlert& alert) {
    const QString player = DisplayText(alert.player);
    const QString server = DisplayText(alert.serverName);
    switch (alert.kind) {
    case WatchAlert::Kind::Present:
    case WatchAlert::Kind::Appeared:
        return QStringLiteral("%1 is playing").arg(player);
    case WatchAlert::Kind::Moved:
        return QStringLiteral("%1 moved to another server").arg(player);
    case WatchAlert::Kind::Left:
        return QStringLiteral("%1 left").arg(player);
    case WatchAlert::Kind::ServerHasRoom:
        return QStringLiteral("A place is free on %1").arg(server);
    case WatchAlert::Kind::ServerHasPlayers:
        return QStringLiteral("Players on %1").arg(server);
    }
    return server;
}

void CDesktopNotifier::Notify(const WatchAlert& alert) {
    if (!m_bBusChosen)
        SetBus(QDBusConnection::sessionBus());
    if (!m_bus.isConnected()) {
        if (m_fallback)
            m_fallback(alert);
        return;
    }
    QString body = DisplayText(alert.Text());
    if (m_bMarkup)
        body = body.toHtmlEscaped();
    QDBusMessage call = Call("Notify");
    const std::string who = alert.player.empty()
                                ? "server " + FormatAddress(alert.address, alert.port)
                                : "player " + alert.player;
    const auto open = m_byWho.find(who);
    const uint replaces = open == m_byWho.end() ? 0 : open->second;
    call << QStringLiteral("Scoutwire") << replaces << QStringLiteral("scoutwire") << Summary(alert)
         << body
         << QStringList{QStringLiteral("join"), QStringLiteral("Join"), QStringLiteral("show"),
                        QStringLiteral("Show")}
         << QVariantMap{{QStringLiteral("desktop-entry"), QStringLiteral("scoutwire")}} << int(-1);
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    const Target target{alert.address, alert.port, who};
    // The alert itself is kept for the fallback: the service may answer
    // with an error only after the caller has gone on.
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, target, alert](QDBusPendingCallWatcher* w) {
                const QDBusPendingReply<uint> reply = *w;
                if (reply.isValid()) {
                    m_open[reply.value()] = target;
                    m_byWho[target.who] = reply.value();
                } else if (m_fallback)
                    m_fallback(alert);
                w->deleteLater();
            });
}

void CDesktopNotifier::OnActionInvoked(uint id, const QString& action) {
    const auto it = m_open.find(id);
    if (it == m_open.end())
        return;
    const Target target = it->second;
    emit ActionChosen(action, target.address, target.port);
}

void CDesktopNotifier::OnClosed(uint id, uint) {
    const auto it = m_open.find(id);
    if (it == m_open.end())
        return;
    if (const auto who = m_byWho.find(it->second.who); who != m_byWho.end() && who->second == id)
        m_byWho.erase(who);
    m_open.erase(it);
}
