#include <QApplication>
#include <QStandardPaths>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true);
    // No session bus, so no desktop keyring: the tests never read or write
    // the user's secrets, and the Steam key takes its settings-file road.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/scoutwire-tests-bus");
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
