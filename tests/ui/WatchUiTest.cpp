#include <QCheckBox>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QToolButton>
#include <QVariantMap>
#include <gtest/gtest.h>

#include "core/WatchAlert.h"
#include "search/SearchQuery.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/CAlertPopup.h"
#include "ui/CDesktopNotifier.h"
#include "ui/CQtUserInterface.h"
#include "ui/CQueryDlg.h"
#include "ui/CTrayIcon.h"

// The desktop's notification service, played by the test on its own bus
// connection: it records what it is asked to show and sends the user's
// answers back as the real service would.
class NotificationService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Shown {
        QString summary, body;
        QStringList actions;
        uint replaces;
    };
    explicit NotificationService(const QDBusConnection& bus) : m_bus(bus) {}
    void Emit(const char* signal, uint id, const QVariant& argument) {
        QDBusMessage message = QDBusMessage::createSignal(
            CDesktopNotifier::kPath, CDesktopNotifier::kService, QLatin1String(signal));
        message << id << argument;
        m_bus.send(message);
    }
    std::vector<Shown> shown;

public slots:
    uint Notify(const QString&, uint replaces, const QString&, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap&, int) {
        shown.push_back({summary, body, actions, replaces});
        return replaces ? replaces : static_cast<uint>(shown.size());
    }
    QStringList GetCapabilities() { return {QStringLiteral("actions"), QStringLiteral("body")}; }

private:
    QDBusConnection m_bus;
};

class WatchUiTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
            GTEST_SKIP() << "dbus-daemon is not installed (Debian package dbus-daemon)";
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--session"), QStringLiteral("--print-address"),
                        QStringLiteral("--nofork")});
        ASSERT_TRUE(WaitUntil([this] { return m_daemon.canReadLine(); }));
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        ASSERT_TRUE(h.Start());
        ui.SetMainWindow(&h.Frame());
        server = h.Doc().AddFavourite(0x7F000105, 27015, true);
        server->m_strName = "Lab \xC4rena";
        alert = {WatchAlert::Kind::Appeared, "Bob", "friends", server->m_dwAddress,
                 server->m_wPort, server->m_strName, "de_dust2", 5, 16};
    }
    void TearDown() override {
        h.Exit();
        for (const QString& name : m_names)
            QDBusConnection::disconnectFromBus(name);
        m_daemon.terminate();
        m_daemon.waitForFinished();
    }
    QDBusConnection Bus(const QString& name) {
        m_names << name;
        return QDBusConnection::connectToBus(m_address, name);
    }
    const ServerInfo* Selected() {
        return h.Tree().SelectedItem() ? h.Tree().SelectedItem()->Data().Server() : nullptr;
    }
    AppHarness h;
    CQtUserInterface ui;
    ServerInfo* server = nullptr;
    WatchAlert alert;
    QProcess m_daemon;
    QString m_address;
    QStringList m_names;
};

TEST_F(WatchUiTest, AnAlertReachesTheNotificationServiceAndItsShowButtonTheWindow) {
    QDBusConnection serviceBus = Bus(QStringLiteral("service"));
    NotificationService service(serviceBus);
    ASSERT_TRUE(serviceBus.registerService(CDesktopNotifier::kService));
    ASSERT_TRUE(serviceBus.registerObject(CDesktopNotifier::kPath, &service,
                                          QDBusConnection::ExportAllSlots));
    CDesktopNotifier& notifier = h.Frame().Notifier();
    notifier.SetBus(Bus(QStringLiteral("program")));
    h.Tree().setCurrentItem(h.Tree().QueriesItem());
    h.Frame().hide(); // kept in the tray
    ui.ShowWatchAlert(alert);
    EXPECT_EQ(h.Frame().MessageText(), DisplayText(alert.Text())) << "at once, in the status bar";
    ASSERT_TRUE(WaitUntil([&] { return notifier.OpenCount() == 1; }));
    ASSERT_EQ(service.shown.size(), 1u);
    EXPECT_EQ(service.shown[0].summary, "Bob is playing");
    EXPECT_EQ(service.shown[0].body,
              QString::fromUtf8("Bob joined Lab \xC3\x84rena (de_dust2, 5/16)"));
    EXPECT_EQ(service.shown[0].actions, QStringList({"join", "Join", "show", "Show"}));
    EXPECT_FALSE(h.Frame().AlertPopup().isVisible()) << "the service showed it";
    service.Emit("ActionInvoked", 1, QStringLiteral("show"));
    EXPECT_TRUE(WaitUntil([&] { return Selected() == server && h.Frame().isVisible(); }));
    // Bob's next alert replaces his notification rather than adding one.
    alert.kind = WatchAlert::Kind::Left;
    ui.ShowWatchAlert(alert);
    ASSERT_TRUE(WaitUntil([&] { return service.shown.size() == 2; }));
    EXPECT_EQ(service.shown[1].replaces, 1u);
    service.Emit("NotificationClosed", 1, 2u);
    EXPECT_TRUE(WaitUntil([&] { return notifier.OpenCount() == 0; })) << "a closed one is forgotten";
}

TEST_F(WatchUiTest, WithoutTheServiceTheAlertStaysInTheWindowAndOpensNoBox) {
    h.Frame().Notifier().SetBus(Bus(QStringLiteral("lonely")));
    ui.ShowWatchAlert(alert);
    CAlertPopup& popup = h.Frame().AlertPopup();
    // Offscreen there is no tray either: the window's own popup shows it.
    ASSERT_TRUE(WaitUntil([&] { return popup.isVisible(); }));
    EXPECT_EQ(popup.Body(), DisplayText(alert.Text()));
    EXPECT_TRUE(h.ui.messages.empty()) << "no box";
    h.Tree().setCurrentItem(h.Tree().QueriesItem());
    for (QPushButton* button : popup.findChildren<QPushButton*>())
        if (button->text() == "Show")
            button->click();
    EXPECT_EQ(Selected(), server);
    EXPECT_FALSE(popup.isVisible());
}

TEST_F(WatchUiTest, QueriesServersAndTheBackgroundJoin) {
    SearchQuery* query = h.Doc().AddQuery(std::make_unique<SearchQuery>("friends", "Bob", 0));
    {
        CQueryDlg dlg(*query);
        Control<QCheckBox>(dlg, "watch")->setChecked(true);
        Control<QCheckBox>(dlg, "watchLeaving")->setChecked(true);
        Control<QPushButton>(dlg, "ok")->click();
    }
    EXPECT_TRUE(query->m_bWatch && query->m_bWatchLeaving);
    h.Tree().setCurrentItem(h.Tree().FindQueryItem(query));
    h.Frame().RouteCommand(ID_WATCH_QUERY);
    EXPECT_FALSE(query->m_bWatch || query->m_bWatchLeaving) << "the menu's Watch toggles";
    h.Frame().ShowServer(server->m_dwAddress, server->m_wPort);
    h.Tree().m_askWatchCount = [](const QString&, int& count) { return (count = 3); };
    h.Frame().RouteCommand(ID_WATCH_PLAYERS);
    EXPECT_TRUE(server->m_nWatchKind == WATCH_MIN_PLAYERS && server->m_nWatchCount == 3);
    EXPECT_TRUE(h.Frame().IsAutoRefresh()) << "a watch needs refreshes";

    // The background join shows with its cancel, in the window and the tray.
    CTrayIcon& tray = h.Frame().Tray();
    ui.OnWatchesChanged(2);
    ui.OnBackgroundJoinChanged(server, "Waiting for free spot on server Lab \xC4rena");
    auto* cancel = h.Frame().findChild<QToolButton*>("cancelBackgroundJoin");
    EXPECT_TRUE(cancel->isVisible());
    EXPECT_EQ(tray.ToolTip(), QString::fromUtf8("Scoutwire: 2 watches match\n"
                                                "Waiting for free spot on server Lab \xC3\x84rena"));
    ui.OnBackgroundJoinChanged(nullptr, "Cancelled");
    EXPECT_FALSE(cancel->isVisible() || tray.CancelJoinAction()->isVisible());
}

#include "WatchUiTest.moc"
