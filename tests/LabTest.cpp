// The lab is what every network test and benchmark talks to. Its replies
// are checked against its manifest by the client's own tests and, with a
// reader of its own, by qstat (QstatTest); here: that the manifest is
// reproducible and holds the awkward cases the other tests rely on, and that
// a lab that cannot bind says so (LabProcess then moves to other ports).

#include "LabProcess.h"

#include <QJsonArray>
#include <QProcess>
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

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

TEST(LabTest, ManifestIsDeterministicAndCoversTheHardCases) {
    // Two labs at once also shows that LabProcess keeps them apart.
    LabProcess first, again, other;
    ASSERT_TRUE(first.Start({"--servers", "80", "--seed", "7"})) << first.Error().toStdString();
    ASSERT_TRUE(again.Start({"--servers", "80", "--seed", "7"})) << again.Error().toStdString();
    ASSERT_TRUE(other.Start({"--servers", "80", "--seed", "8"})) << other.Error().toStdString();
    EXPECT_NE(first.ServerPort(), again.ServerPort());
    EXPECT_NE(first.MasterPort(), again.MasterPort());
    EXPECT_EQ(WithoutPorts(first.Servers()), WithoutPorts(again.Servers()));
    EXPECT_NE(WithoutPorts(first.Servers()), WithoutPorts(other.Servers()));

    // The awkward cases, each on some server: a Latin-1 name, one with regular
    // expression characters, a full and an empty server, a password, a game
    // in capitals, an empty and a repeated player name, the votes in
    // sv_contact, reserve_slots.
    std::set<QString> seen;
    std::set<QByteArray> playerNames;
    for (int i = 0; i < first.ServerCount(); ++i) {
        const QJsonObject server = first.ServerAt(i);
        const QJsonObject d = server["details"].toObject();
        const QByteArray name = LabProcess::Bytes(d, "name");
        EXPECT_EQ(server["address"].toString(), LabProcess::FormatIP(first.AddressAt(i)));
        const int players = d["players"].toInt(), max = d["maxPlayers"].toInt();
        EXPECT_TRUE(max >= 8 && max <= 32) << max;
        const std::pair<const char*, bool> cases[] = {
            {"latin1", std::any_of(name.begin(), name.end(), [](char c) { return c & 0x80; })},
            {"regex", name.contains('[') || name.contains('(') || name.contains('|')},
            {"full", players == max}, {"empty", players == 0}, {"password", d["password"].toBool()},
            {"capital game", d["game"].toString() != d["game"].toString().toLower()}};
        for (const auto& [what, holds] : cases)
            if (holds)
                seen.insert(what);
        // qstat relies on slots numbered 1, 2, 3... without gaps.
        const QJsonArray list = server["players"].toArray();
        ASSERT_EQ(list.size(), players);
        for (int k = 0; k < list.size(); ++k) {
            EXPECT_EQ(list[k]["index"].toInt(), k + 1);
            const QByteArray playerName = LabProcess::Bytes(list[k].toObject(), "name");
            if (playerName.isEmpty())
                seen.insert("empty player");
            if (!playerNames.insert(playerName).second)
                seen.insert("repeated player");
        }
        std::set<QString> keys;
        for (const QJsonValue& rule : server["rules"].toArray()) {
            keys.insert(rule["key"].toString());
            const QString value = rule["value"].toString();
            if (rule["key"] == "sv_contact" && value.startsWith("votes:") && value.contains('\t'))
                seen.insert("votes");
        }
        EXPECT_TRUE(keys.count("mp_timelimit") && keys.count("mp_timeleft"));
        if (keys.count("reserve_slots"))
            seen.insert("reserve_slots");
    }
    EXPECT_EQ(seen.size(), 10u) << QStringList(seen.begin(), seen.end()).join(", ").toStdString();
}

TEST(LabTest, ExitsWithAMessageWhenItCannotStart) {
    LabProcess lab;
    ASSERT_TRUE(lab.Start({"--servers", "2"})) << lab.Error().toStdString();
    QProcess second;
    second.start(SCOUTWIRE_LAB_PATH,
                 {"--servers", "2", "--port", QString::number(lab.ServerPort()), "--master",
                  "127.0.0.1:" + QString::number(lab.MasterPort() + 2)});
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitCode(), 3);
    EXPECT_TRUE(second.readAllStandardError().contains("cannot bind"));
    EXPECT_TRUE(second.readAllStandardOutput().isEmpty());
}
