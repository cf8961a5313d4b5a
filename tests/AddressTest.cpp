#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cerrno>
#include <cstring>

#include "net/Address.h"
#include "net/QueryCommands.h"
#include "net/SocketErrors.h"
#include "tests/LocaleTestSupport.h"
#include "tests/ScriptedUI.h"

// Like scanf: white space before a number is skipped but not before a dot,
// no range check (300 spills into the third octet), numbers beyond int are
// clamped rather than undefined.
TEST(Address, ParseIPAndScanEndpoint) {
    const std::pair<const char*, uint32_t> addresses[] = {
        {"1.2.3.4", 0x01020304u}, {"1.2.3", 0},  {"1.2.3.4abc", 0x01020304u},
        {" 1. 2. 3. 4", 0x01020304u}, {"1 .2.3.4", 0}, {"1.2.3.300", (0x010203u << 8) | 300u},
        {"", 0}, {"99999999999.1.1.1", (0x7FFFFFFFu << 24) | 0x010101u}};
    for (const auto& [text, address] : addresses)
        EXPECT_EQ(ParseIP(text), address) << text;
    int n[5] = {};
    EXPECT_EQ(ScanEndpoint("10.0.0.1:27016", n), 5);
    EXPECT_EQ(n[4], 27016);
    EXPECT_EQ(ScanEndpoint("10.0.0.1:x", n), 4);
    EXPECT_EQ(ScanEndpoint("hello", n), 0);
}

TEST(Address, ResolvesNumericNamesAndReportsFailures) {
    ScriptedUI ui;
    EXPECT_EQ(ResolveHostName(ui, "127.0.0.1"), 0x7F000001u);
    EXPECT_EQ(ui.waitCursorDepth, 0);
    EXPECT_TRUE(ui.messages.empty());
    // A name without an IPv4 address would give a record nobody can query.
    for (const std::string name : {"no-such-host.invalid", "::1"}) {
        ui.messages.clear();
        EXPECT_EQ(ResolveHostName(ui, name), 0u);
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].rfind("Could not resolve hostname '" + name + "': ", 0), 0u);
    }
}

// A name that answers IPv6 first and IPv4 second comes from a hosts file of
// the test's own: this test runs again inside a private mount namespace in
// which that file lies over /etc/hosts.
TEST(Address, ResolvesTheFirstIPv4AnswerBehindAnIPv6One) {
    if (qEnvironmentVariableIsSet("SCOUTWIRE_DUAL_HOSTS")) {
        // The system lists ::1 as 127.0.0.1 to an IPv4 question, and sorts
        // the loopback answers its own way: any of them will do.
        ScriptedUI ui;
        EXPECT_EQ(ResolveHostName(ui, "dual.test") >> 24, 127u);
        EXPECT_TRUE(ui.messages.empty());
        return;
    }
    QTemporaryDir dir;
    const QString hosts = dir.filePath("hosts");
    QFile file(hosts);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("::1 dual.test\n127.0.0.7 dual.test\n");
    file.close();
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("SCOUTWIRE_DUAL_HOSTS", "1");
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start("sh", {"-c",
                       "unshare -rm true 2>/dev/null || exit 77; exec unshare -rm sh -c 'mount "
                       "--bind \"$0\" /etc/hosts || exit 77; exec \"$1\" --gtest_filter=$2' \"$@\"",
                       "sh", hosts, QCoreApplication::applicationFilePath(),
                       "Address.ResolvesTheFirstIPv4AnswerBehindAnIPv6One"});
    ASSERT_TRUE(child.waitForFinished(30000));
    if (child.exitCode() == 77)
        GTEST_SKIP() << "no private mount namespace here to lay a hosts file over /etc/hosts";
    EXPECT_EQ(child.exitCode(), 0) << child.readAll().toStdString();
}

TEST(SocketErrors, ReportTexts) {
    // The system's text is in the user's language.
    EXPECT_EQ(FormatErrorReport("Error creating socket", EACCES),
              std::string("Error creating socket: (0x0000000d) ") + std::strerror(EACCES) + "\n");
    EXPECT_EQ(FormatErrorReport("ctx", 0x7654321), "ctx: last error = 0x07654321");
    if (GermanLocale german; german.Available()) {
        EXPECT_EQ(FormatErrorReport("ctx", 0x7654321), "ctx: last error = 0x07654321")
            << "an unknown code in any language";
    }
    ScriptedUI ui;
    ReportSocketCode(ui, "Error receiving", -5);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0], "Error receiving: -5\n");
}
