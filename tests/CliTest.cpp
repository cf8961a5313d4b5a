#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>

#include "tests/LabProcess.h"

namespace {

struct CliRun {
    int exitCode;
    QByteArray out;
    QByteArray err;
};

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(lab.Start({"--servers", "30", "--seed", "31", "--silent", "0.1"}))
            << lab.Error().toStdString();
        QSettings ini(dir.filePath("cli.ini"), QSettings::IniFormat);
        ini.setValue("Settings/WONTimeout", 150);
        ini.setValue("Settings/WONRetries", 1);
    }
    CliRun Cli(QStringList args) {
        args << "--settings" << dir.filePath("cli.ini") << "--clean-interval"
             << "20"
             << "--send-interval"
             << "1"
             << "--timeout"
             << "500";
        QProcess p;
        p.start(SCOUTWIRE_CLI_PATH, args);
        p.waitForFinished(60000);
        return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
    }
    QString Doc() const { return dir.filePath("servers.scw"); }

    LabProcess lab;
    QTemporaryDir dir;
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

    // query asks servers that are in no document, finding their protocol.
    const CliRun query = Cli({"query", lab.EndpointAt(0), "--json", "--quiet"});
    ASSERT_EQ(query.exitCode, 0) << query.err.toStdString();
    const QJsonObject asked = QJsonDocument::fromJson(query.out).array().at(0).toObject();
    EXPECT_EQ(asked["protocol"].toString(), "legacy");
    EXPECT_EQ(asked["playerList"].toArray().size(), first["players"].toArray().size());

    // The fastest settings: thousands in flight, unpaced.
    const CliRun fast = Cli({"refresh", Doc(), "--max-sockets", "8192", "--rate", "0", "--quiet"});
    EXPECT_EQ(fast.exitCode, 0) << fast.err.toStdString();
}

TEST_F(CliTest, ErrorsGoToStandardErrorWithAFailingExit) {
    ASSERT_EQ(Cli({"new", Doc()}).exitCode, 0);
    const std::pair<QStringList, const char*> cases[] = {
        {{"list", dir.filePath("nothing.scw")}, "Cannot find this file"},
        {{"list", Doc(), "--bogus"}, "unknown option --bogus"},
        {{"list", Doc(), "--rate", "fast"}, "bad number for --rate"},
        {{"update", Doc(), "--master", "127.0.0.1:9", "--quiet"}, // retries run out
         "Timed out waiting for response from master server"},
        {{"find", Doc(), "(", "--regex", "--quiet"}, "Bad expression:"},
        {{"update", Doc(), "--source", "web", "--api-url", "http://127.0.0.1:9"},
         "--source web needs --key"}};
    for (const auto& [arguments, error] : cases) {
        const CliRun run = Cli(arguments);
        EXPECT_NE(run.exitCode, 0) << error;
        EXPECT_TRUE(run.err.contains(error)) << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty()) << error;
    }
}

// Each Steam source reaches the document: a source option that fell back to
// the WON master would list nothing from this lab, which has no WON servers.
TEST(CliSteamTest, UpdateFromEitherSteamSource) {
    LabProcess steam;
    ASSERT_TRUE(steam.Start({"--protocol", "steam", "--servers", "20", "--seed", "33"}));
    QTemporaryDir dir;
    const QString doc = dir.filePath("steam.scw");
    for (const QStringList& source :
         {QStringList{"--source", "steam", "--master", steam.SteamMasterText()},
          QStringList{"--source", "web", "--key", steam.WebKey(), "--api-url", steam.WebUrl()}}) {
        SCOPED_TRACE(source.join(' ').toStdString());
        QFile::remove(doc);
        QProcess p;
        p.start(SCOUTWIRE_CLI_PATH, QStringList{"update", doc, "--json", "--quiet", "--timeout",
                                                "500", "--settings", dir.filePath("cli.ini")} +
                                        source);
        ASSERT_TRUE(p.waitForFinished(60000));
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        EXPECT_EQ(QJsonDocument::fromJson(p.readAllStandardOutput()).array().size(), 20);
    }
}
