// The lab's replies are checked against its manifest by the client's tests
// and by qstat; here: that the manifest is reproducible and holds the awkward
// cases the other tests rely on, and that a lab that cannot bind says so
// (LabProcess then moves to other ports).

#include "LabProcess.h"

#include <QJsonArray>
#include <QProcess>
#include <gtest/gtest.h>

#include <algorithm>

namespace {

QJsonArray WithoutPorts(QJsonArray servers) {
    for (auto&& value : servers) {
        QJsonObject server = value.toObject();
        server.remove("port");
        value = server;
    }
    return servers;
}

} // namespace

TEST(LabTest, ManifestIsDeterministicAndCoversTheHardCasesAndABoundPortIsReported) {
    // Two labs at once also shows that LabProcess keeps them apart.
    LabProcess first, again, other;
    ASSERT_TRUE(first.Start({"--servers", "80", "--seed", "7"})) << first.Error().toStdString();
    ASSERT_TRUE(again.Start({"--servers", "80", "--seed", "7"})) << again.Error().toStdString();
    ASSERT_TRUE(other.Start({"--servers", "80", "--seed", "8"})) << other.Error().toStdString();
    EXPECT_NE(first.ServerPort(), again.ServerPort());
    EXPECT_NE(first.MasterPort(), again.MasterPort());
    EXPECT_EQ(WithoutPorts(first.Servers()), WithoutPorts(again.Servers()));
    EXPECT_NE(WithoutPorts(first.Servers()), WithoutPorts(other.Servers()));

    // qstat relies on slots numbered 1, 2, 3... without gaps; the other tests
    // on the awkward cases being there (LabTestSupport.h, QstatTest).
    bool latin1 = false, full = false, empty = false;
    for (int i = 0; i < first.ServerCount(); ++i) {
        const QJsonObject server = first.ServerAt(i);
        const QJsonObject d = server["details"].toObject();
        const QByteArray name = LabProcess::Bytes(d, "name");
        EXPECT_EQ(server["address"].toString(), LabProcess::FormatIP(first.AddressAt(i)));
        latin1 |= std::any_of(name.begin(), name.end(), [](char c) { return c & 0x80; });
        full |= d["players"].toInt() == d["maxPlayers"].toInt();
        empty |= d["players"].toInt() == 0;
        const QJsonArray list = server["players"].toArray();
        ASSERT_EQ(list.size(), d["players"].toInt());
        for (int k = 0; k < list.size(); ++k)
            EXPECT_EQ(list[k]["index"].toInt(), k + 1);
    }
    EXPECT_TRUE(latin1 && full && empty);

    QProcess second; // on the first lab's port
    second.start(SCOUTWIRE_LAB_PATH,
                 {"--servers", "2", "--port", QString::number(first.ServerPort()), "--master",
                  "127.0.0.1:" + QString::number(first.MasterPort() + 2)});
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitCode(), 3);
    EXPECT_TRUE(second.readAllStandardError().contains("cannot bind"));
    EXPECT_TRUE(second.readAllStandardOutput().isEmpty());
}
