#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>

#include <map>

#include "tests/LabProcess.h"

namespace {

struct CliRun {
    int exitCode;
    QByteArray out;
    QByteArray err;
};

class CliTest : public ::testing::Test {
protected:
    virtual QStringList LabArguments() const {
        return {"--servers", "30", "--seed", "31", "--silent", "0.1"};
    }
    void SetUp() override {
        ASSERT_TRUE(lab.Start(LabArguments())) << lab.Error().toStdString();
        QSettings ini(dir.filePath("cli.ini"), QSettings::IniFormat);
        ini.setValue("Settings/WONTimeout", 150);
        ini.setValue("Settings/WONRetries", 1);
    }
    CliRun Cli(QStringList args) {
        args << "--settings" << dir.filePath("cli.ini") << "--clean-interval" << "20"
             << "--send-interval" << "1" << "--timeout" << "500";
        QProcess p;
        p.start(SCOUTWIRE_CLI_PATH, args);
        p.waitForFinished(60000);
        return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
    }
    QString Doc() const { return dir.filePath("servers.scw"); }

    LabProcess lab;
    QTemporaryDir dir;
};

class CliSteamTest : public CliTest {
protected:
    QStringList LabArguments() const override {
        return {"--protocol", "steam", "--servers", "200", "--seed", "33", "--silent", "0.05"};
    }
};

} // namespace

TEST_F(CliTest, UpdateListPlayersAndFind) {
    const CliRun update = Cli({"update", Doc(), "--master", lab.MasterText(), "--quiet"});
    ASSERT_EQ(update.exitCode, 0) << update.err.toStdString();

    const CliRun list = Cli({"list", Doc(), "--json"});
    ASSERT_EQ(list.exitCode, 0);
    const QJsonArray servers = QJsonDocument::fromJson(list.out).array();
    ASSERT_EQ(servers.size(), 30);

    const QJsonObject first = lab.ServerAt(0);
    const CliRun players = Cli({"players", Doc(), lab.EndpointAt(0), "--json"});
    ASSERT_EQ(players.exitCode, 0) << players.err.toStdString();
    const QJsonObject server = QJsonDocument::fromJson(players.out).object();
    EXPECT_EQ(server["playerList"].toArray().size(), first["players"].toArray().size());

    // A name that the lab gives several players, found again after a refresh.
    const QString name = first["players"].toArray().at(0).toObject()["name"].toString();
    const CliRun find = Cli({"find", Doc(), QRegularExpression::escape(name).replace("\\ ", " "),
                          "--regex", "--json", "--quiet"});
    ASSERT_EQ(find.exitCode, 0) << find.err.toStdString();
    const QJsonArray found = QJsonDocument::fromJson(find.out).array();
    ASSERT_FALSE(found.isEmpty());
    EXPECT_EQ(found.at(0).toObject()["name"].toString(), name);

    // The fastest settings: thousands in flight, unpaced.
    const CliRun fast = Cli({"refresh", Doc(), "--max-sockets", "8192", "--rate", "0", "--quiet"});
    EXPECT_EQ(fast.exitCode, 0) << fast.err.toStdString();
}

TEST_F(CliTest, ErrorsGoToStandardErrorWithAFailingExit) {
    const CliRun missing = Cli({"list", dir.filePath("nothing.scw")});
    EXPECT_NE(missing.exitCode, 0);
    EXPECT_TRUE(missing.err.contains("Cannot find this file"));
    EXPECT_TRUE(missing.out.isEmpty());

    const CliRun badOption = Cli({"list", Doc(), "--bogus"});
    EXPECT_NE(badOption.exitCode, 0);
    EXPECT_TRUE(badOption.err.contains("unknown option --bogus"));
    EXPECT_TRUE(Cli({"list", Doc(), "--rate", "fast"}).err.contains("bad number for --rate"));

    // A master nobody answers: retries run out.
    const CliRun silent = Cli({"update", Doc(), "--master", "127.0.0.1:9", "--quiet"});
    EXPECT_NE(silent.exitCode, 0);
    EXPECT_TRUE(silent.err.contains("Timed out waiting for response from master server"));

    ASSERT_EQ(Cli({"new", Doc()}).exitCode, 0);
    const CliRun badExpression = Cli({"find", Doc(), "(", "--regex", "--quiet"});
    EXPECT_NE(badExpression.exitCode, 0);
    EXPECT_TRUE(badExpression.err.contains("Bad expression:"));
}

// query finds each server's protocol by itself: an old server and A2S servers
// behind challenges and split rules, in one call.
TEST_F(CliTest, QueryFindsTheProtocolOfEachServer) {
    LabProcess steam;
    ASSERT_TRUE(steam.Start({"--protocol", "steam", "--servers", "20", "--seed", "35",
                             "--challenge-fraction", "1", "--split-size", "150"}))
        << steam.Error().toStdString();
    QStringList endpoints;
    std::vector<QJsonObject> expected;
    for (int i = 0; i < steam.ServerCount() && endpoints.size() < 3; ++i)
        if (steam.ServerAt(i)["behaviour"].toString() == "normal" &&
            steam.ServerAt(i)["rulesSplit"].toBool()) {
            endpoints << steam.EndpointAt(i);
            expected.push_back(steam.ServerAt(i));
        }
    for (int i = 0; i < lab.ServerCount() && endpoints.size() < 4; ++i)
        if (lab.ServerAt(i)["behaviour"].toString() == "normal") {
            endpoints << lab.EndpointAt(i);
            expected.push_back(lab.ServerAt(i));
        }
    ASSERT_EQ(endpoints.size(), 4);
    const CliRun query = Cli(QStringList{"query"} + endpoints + QStringList{"--json", "--quiet"});
    ASSERT_EQ(query.exitCode, 0) << query.err.toStdString();
    const QJsonArray rows = QJsonDocument::fromJson(query.out).array();
    ASSERT_EQ(rows.size(), 4);
    for (int i = 0; i < 4; ++i) {
        const QJsonObject row = rows.at(i).toObject();
        SCOPED_TRACE(endpoints.at(i).toStdString());
        EXPECT_EQ(row["protocol"].toString(), i < 3 ? "a2s" : "legacy");
        EXPECT_EQ(row["playerList"].toArray().size(), expected[i]["players"].toArray().size());
        EXPECT_EQ(row["rules"].toArray().size(), expected[i]["rules"].toArray().size());
    }
}

TEST_F(CliSteamTest, UpdateFromEitherSteamSourceFillsNamesPlayersAndPings) {
    struct Case {
        const char* name;
        QStringList arguments;
    };
    const Case cases[] = {
        {"Steam master", {"--source", "steam", "--master", lab.SteamMasterText()}},
        {"web service", {"--source", "web", "--key", lab.WebKey(), "--api-url", lab.WebUrl()}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(Doc());
        const CliRun update = Cli(QStringList{"update", Doc(), "--json", "--quiet"} + c.arguments);
        ASSERT_EQ(update.exitCode, 0) << update.err.toStdString();
        std::map<QString, QJsonObject> rows;
        for (const QJsonValue& row : QJsonDocument::fromJson(update.out).array())
            rows[row.toObject()["address"].toString()] = row.toObject();
        EXPECT_EQ(rows.size(), static_cast<size_t>(lab.ServerCount()));
        int answering = 0;
        int filled = 0;
        for (int i = 0; i < lab.ServerCount(); ++i) {
            const QJsonObject server = lab.ServerAt(i);
            if (server["behaviour"].toString() == "silent")
                continue;
            ++answering;
            const QJsonObject details = server["details"].toObject();
            const QJsonObject row = rows[lab.EndpointAt(i)];
            filled += row["name"].toString() == details["name"].toString() &&
                      row["players"].toInt() == details["players"].toInt() &&
                      row["ping"].toInt() > 0 && row["protocol"].toString() == "a2s" &&
                      row["groups"].toArray().contains(QJsonValue("Steam"));
        }
        ASSERT_GT(answering, 0);
        EXPECT_GE(filled * 100, answering * 98) << filled << " of " << answering;
    }

    // A key the service refuses is an error the user can act on.
    const CliRun refused = Cli({"update", Doc(), "--source", "web", "--key", "not-the-lab-key",
                                "--api-url", lab.WebUrl(), "--quiet"});
    EXPECT_NE(refused.exitCode, 0);
    EXPECT_TRUE(refused.err.contains("refused the web API key (HTTP 403)"))
        << refused.err.toStdString();
    EXPECT_FALSE(refused.err.contains("not-the-lab-key"));
    EXPECT_FALSE(refused.err.contains("Timed out"));
    const CliRun noKey = Cli({"update", Doc(), "--source", "web", "--api-url", lab.WebUrl()});
    EXPECT_NE(noKey.exitCode, 0);
    EXPECT_TRUE(noKey.err.contains("--source web needs --key")) << noKey.err.toStdString();
}
