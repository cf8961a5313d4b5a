// An independent client (Debian's quakestat) must read the lab, WON and Steam,
// exactly as its manifest says. A missing quakestat fails these tests: CI installs it.

#include "LabProcess.h"

#include <QJsonArray>
#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

// No name, rule or number contains it, so splitting the raw output is exact.
const QString kDelimiter = QStringLiteral("<|>");

// Where Debian's qstat keeps the server types beyond its built-in ones.
const QString kSystemConfig = QStringLiteral("/etc/qstat.cfg");

struct QstatServer {
    QStringList fields; // type, address, name (hex), map (hex), max, players, ping, retries
    QStringList rules;  // key=value
    std::vector<QStringList> players; // name (hex), frags, seconds
};

class QstatTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_qstat = QStandardPaths::findExecutable("quakestat");
        if (m_qstat.isEmpty())
            m_qstat = QStandardPaths::findExecutable("qstat");
        ASSERT_FALSE(m_qstat.isEmpty()) << "quakestat is not installed (Debian package qstat)";
        ASSERT_TRUE(m_lab.Start(LabArguments())) << m_lab.Error().toStdString();
    }

    virtual QStringList LabArguments() const {
        return {"--servers", "30", "--seed", "11", "--batch-size", "7"};
    }

    // The types qstat.cfg defines (hla2s) want that file; no user's file may change the output.
    QString Run(const QStringList& arguments, bool systemConfig = false) {
        QProcess qstat;
        const QStringList config =
            systemConfig ? QStringList{"-cfg", kSystemConfig} : QStringList{"-nocfg"};
        qstat.start(m_qstat, config + QStringList{"-raw", kDelimiter, "-hsn", "-hpn"} + arguments);
        EXPECT_TRUE(qstat.waitForFinished(120000));
        EXPECT_EQ(qstat.exitCode(), 0) << qstat.readAllStandardError().toStdString();
        return QString::fromLatin1(qstat.readAllStandardOutput());
    }

    // Servers by address. With rules (-R) a rules line follows each server
    // line; player lines follow until an empty line.
    static std::map<QString, QstatServer> Parse(const QString& output, bool withRules,
                                                const QString& type = "HLS") {
        std::map<QString, QstatServer> servers;
        QstatServer* current = nullptr;
        bool rulesNext = false;
        for (const QString& line : output.split('\n')) {
            if (line.isEmpty()) {
                current = nullptr;
            } else if (line.startsWith(type + kDelimiter)) {
                const QStringList fields = line.split(kDelimiter);
                current = &servers[fields.value(1)];
                current->fields = fields;
                rulesNext = withRules;
            } else if (current != nullptr && rulesNext) {
                current->rules = line.split(kDelimiter);
                rulesNext = false;
            } else if (current != nullptr) {
                current->players.push_back(line.split(kDelimiter));
            }
        }
        return servers;
    }

    // Everything qstat read from the details, players and rules replies.
    void ExpectServer(const std::map<QString, QstatServer>& seen, int index, bool withPlayers) {
        const QString endpoint = m_lab.EndpointAt(index);
        SCOPED_TRACE(endpoint.toStdString());
        const auto found = seen.find(endpoint);
        ASSERT_NE(found, seen.end()) << "qstat did not report the server";
        const QstatServer& server = found->second;
        const QJsonObject expected = m_lab.ServerAt(index);
        const QJsonObject d = expected["details"].toObject();
        ASSERT_EQ(server.fields.size(), 8) << server.fields.join(' ').toStdString();
        EXPECT_EQ(std::make_tuple(QByteArray::fromHex(server.fields[2].toLatin1()),
                                  QByteArray::fromHex(server.fields[3].toLatin1()),
                                  server.fields[4].toInt(), server.fields[5].toInt()),
                  std::make_tuple(LabProcess::Bytes(d, "name"), d["map"].toString().toLatin1(),
                                  d["maxPlayers"].toInt(), d["players"].toInt()));
        if (!withPlayers)
            return;

        // qstat lists what it read from the details or info reply, then the server's rules.
        const QStringList& rules = server.rules;
        EXPECT_TRUE(rules.contains("gamedir=" + d["game"].toString()));
        EXPECT_TRUE(rules.contains(
            QString("sv_os=%1").arg(d["os"].toString() == "l" ? "linux" : "windows")));
        if (!m_lab.Steam()) {
            EXPECT_TRUE(
                rules.contains(QString("sv_password=%1").arg(d["password"].toBool() ? 1 : 0)));
        }
        if (!m_lab.Steam() && d["trailer"].toString() == "mod") {
            EXPECT_TRUE(
                rules.contains(QString("modsize=%1").arg(d["mod"].toObject()["size"].toInt())));
            EXPECT_TRUE(rules.contains(QString("secure=%1").arg(d["secure"].toBool() ? 1 : 0)));
        }
        const QJsonArray manifestRules = expected["rules"].toArray();
        QStringList serverRules;
        for (const QJsonValue& rule : manifestRules)
            serverRules << rule["key"].toString() + "=" + rule["value"].toString();
        EXPECT_EQ(rules.mid(rules.size() - serverRules.size()), serverRules);

        // Asked once, so qstat sees the first answer's frags.
        std::vector<std::string> seen, wanted;
        for (const QStringList& line : server.players)
            seen.push_back(line.join(' ').toLower().toStdString());
        for (const QJsonValue& value : expected["players"].toArray()) {
            const QJsonObject p = value.toObject();
            wanted.push_back(QStringList{QString::fromLatin1(LabProcess::Bytes(p, "name").toHex()),
                                         QString::number(p["frags"].toInt()),
                                         QString::number(int(float(p["time"].toDouble())))}
                                 .join(' ')
                                 .toStdString());
        }
        if (m_lab.Steam()) { // qstat lists an A2S server's players in an order of its own
            std::sort(seen.begin(), seen.end());
            std::sort(wanted.begin(), wanted.end());
        }
        EXPECT_EQ(seen, wanted);
    }

    QString m_qstat;
    LabProcess m_lab;
};

TEST_F(QstatTest, ListsEveryServerOfTheMaster) {
    // Seven per batch: qstat walks five batches, then asks every server for everything.
    const QString output = Run({"-hlm", m_lab.MasterText(), "-P", "-R"});
    EXPECT_TRUE(output.startsWith("HLM" + kDelimiter + m_lab.MasterText() + kDelimiter + "30\n"))
        << output.left(200).toStdString();
    const auto seen = Parse(output, true);
    EXPECT_EQ(seen.size(), size_t(m_lab.ServerCount()));
    for (int i = 0; i < m_lab.ServerCount(); ++i)
        ExpectServer(seen, i, true);

    std::set<QString> expected;
    for (int i = 0; i < m_lab.ServerCount(); ++i) {
        const QJsonObject d = m_lab.ServerAt(i)["details"].toObject();
        if (d["game"].toString().toLower() == "cstrike" &&
            d["map"].toString().toLower().startsWith("de_"))
            expected.insert(m_lab.EndpointAt(i));
    }
    ASSERT_FALSE(expected.empty());
    std::set<QString> filtered;
    for (const auto& entry : Parse(Run({"-hlm,game=CStrike,map=de_", m_lab.MasterText()}), false))
        filtered.insert(entry.first);
    EXPECT_EQ(filtered, expected);
}

// Half of the servers want an info challenge; rules replies above 160 bytes
// come split the Half-Life way, as Half-Life servers split them.
class QstatSteamTest : public QstatTest {
protected:
    QStringList LabArguments() const override {
        return {"--protocol", "steam",        "--servers",   "30",           "--seed",
                "11",         "--batch-size", "7",           "--split-size", "160",
                "--info-old", "0.2",          "--info-both", "0.2"};
    }
};

// qstat follows five seeds to the end marker and queries every server as A2S;
// then one server of each kind with players and rules.
TEST_F(QstatSteamTest, ListsTheSteamMasterAndReadsEveryKindOfServer) {
    const QString output = Run({"-stm", m_lab.SteamMasterText()});
    EXPECT_TRUE(
        output.startsWith("STM" + kDelimiter + m_lab.SteamMasterText() + kDelimiter + "30\n"))
        << output.left(200).toStdString();
    const auto seen = Parse(output, false, "A2S");
    EXPECT_EQ(seen.size(), size_t(m_lab.ServerCount()));
    for (int i = 0; i < m_lab.ServerCount(); ++i)
        ExpectServer(seen, i, false);

    std::map<QString, int> kinds;
    for (int i = 0; i < m_lab.ServerCount(); ++i) {
        const QJsonObject s = m_lab.ServerAt(i);
        ASSERT_EQ(s["splitForm"], "halflife");
        kinds.emplace(QStringList{s["infoForm"].toString(),
                                  s["wantsChallenge"].toBool() ? "challenge" : "-",
                                  s["rulesSplit"].toBool() ? "split" : "whole"}
                          .join(' '),
                      i);
    }
    QStringList arguments{"-P", "-R"};
    for (const char* needed :
         {"I challenge split", "I challenge whole", "I - split", "m - split", "mI challenge split"}) {
        ASSERT_TRUE(kinds.count(needed)) << needed;
        arguments << "-hla2s" << m_lab.EndpointAt(kinds[needed]);
    }
    const auto read = Parse(Run(arguments, true), true, "HLA2S");
    for (const auto& [kind, index] : kinds) {
        SCOPED_TRACE(kind.toStdString());
        if (arguments.contains(m_lab.EndpointAt(index)))
            ExpectServer(read, index, true);
    }
}

} // namespace
