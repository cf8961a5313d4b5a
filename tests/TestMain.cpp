#include <QCoreApplication>
#include <QStandardPaths>
#include <gtest/gtest.h>

// Sockets, timers and the refresh engine need an event loop on this thread.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
