#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <string>
#include <tuple>

#include "core/CSettings.h"

namespace {

class SettingsTest : public ::testing::Test {
protected:
    std::string IniPath() const { return m_dir.filePath("Scoutwire.ini").toStdString(); }
    QSettings Raw() const {
        return QSettings(m_dir.filePath("Scoutwire.ini"), QSettings::IniFormat);
    }

    QTemporaryDir m_dir;
};

// A value as stored, and what a load makes of it.
struct Limit {
    const char* key;
    int32_t CSettings::*field;
    QVariant stored;
    int32_t loaded;
};

void PrintTo(const Limit& limit, std::ostream* os) {
    *os << limit.key;
}

class SettingsLimitTest : public SettingsTest, public ::testing::WithParamInterface<Limit> {};

void WriteFile(const QString& path, const QByteArray& content) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
}

} // namespace

TEST_P(SettingsLimitTest, AppliesOnLoad) {
    Raw().setValue(QString("Settings/") + GetParam().key, GetParam().stored);
    CSettings settings(IniPath());
    settings.Load();
    EXPECT_EQ(settings.*GetParam().field, GetParam().loaded);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, SettingsLimitTest,
    ::testing::Values(
        Limit{"SocketTimeout", &CSettings::m_nSocketTimeout, 5, 11},
        Limit{"MaxOpenSockets", &CSettings::m_nMaxOpenSockets, 9000,
              CSettings::kMaxQueriesInFlight},
        Limit{"RefreshInterval", &CSettings::m_nRefreshInterval, 0, 1000},
        Limit{"CleanInterval", &CSettings::m_nCleanInterval, -7, 11},
        Limit{"SendInterval", &CSettings::m_nSendInterval, -4, 0},
        Limit{"QueriesPerSecond", &CSettings::m_nQueriesPerSecond, -9, -1},
        Limit{"WONTimeout", &CSettings::m_nWONTimeout, 10, 11},
        Limit{"WONRetries", &CSettings::m_nWONRetries, -1, 0},
        Limit{"SteamRegion", &CSettings::m_nSteamRegion, 256, 0xFF},
        Limit{"SteamListLimit", &CSettings::m_nSteamListLimit, 0, 1},
        Limit{"ListSource", &CSettings::m_nListSource, 3, LIST_SOURCE_WON},
        Limit{"SteamAppId", &CSettings::m_nSteamAppId, -5, -1},
        Limit{"UnreadableKeepsTheDefault", &CSettings::m_nSocketTimeout, "soon", 2000},
        Limit{"Beyond32BitsKeepsTheDefault", &CSettings::m_nWONTimeout, "99999999999", 4000}),
    [](const ::testing::TestParamInfo<Limit>& info) { return std::string(info.param.key); });

TEST_F(SettingsTest, StoredValuesBeyondTheLimitsTable) {
    Raw().setValue("Settings/Flags", "4294967295"); // 32 bits, as the registry kept them
    Raw().setValue("Settings/HLParams", "");        // a value, not a missing one
    CSettings settings(IniPath());
    settings.Load();
    EXPECT_EQ(settings.m_dwFlags, 0xFFFFFFFFu);
    EXPECT_EQ(settings.m_strHLParams, "");
    // No lower limit on the number of open sockets; the limits hold on the
    // way out as well.
    settings.m_nMaxOpenSockets = -3;
    settings.m_nRefreshInterval = 0;
    settings.Save();
    EXPECT_EQ(Raw().value("Settings/MaxOpenSockets").toInt(), -3);
    EXPECT_EQ(Raw().value("Settings/RefreshInterval").toInt(), 1000);
}

// Every stored field, as one tuple to compare.
auto Fields(const CSettings& s) {
    return std::tuple(s.m_nCleanInterval, s.m_nRefreshInterval, s.m_nSendInterval,
                      s.m_nSocketTimeout, s.m_nMaxOpenSockets, s.m_nQueriesPerSecond,
                      s.m_nWONTimeout, s.m_nWONRetries, s.m_strWONMaster, s.m_strHLPath,
                      s.m_strHLParams, s.m_dwFlags, s.m_strLastDoc, s.m_strSteamMaster,
                      s.m_nSteamRegion, s.m_strSteamApiUrl, s.m_nSteamListLimit, s.m_nListSource,
                      s.m_nSteamAppId, s.m_strSteamApiKey);
}

TEST_F(SettingsTest, RoundTripKeepsEveryByteAndTheWebKeyNeverReachesTheFile) {
    const std::string latin1Path("c:\\Spiele\\Half-Life \xC4\xD6\\hl.exe");
    const std::string utf8Doc("/home/j\xC3\xB6rg/maps \xE2\x82\xAC.scw");
    CSettings saved(IniPath());
    std::tie(saved.m_nCleanInterval, saved.m_nRefreshInterval, saved.m_nSendInterval,
             saved.m_nSocketTimeout, saved.m_nMaxOpenSockets, saved.m_nQueriesPerSecond,
             saved.m_nWONTimeout, saved.m_nWONRetries, saved.m_nSteamRegion,
             saved.m_nSteamListLimit, saved.m_nSteamAppId) =
        std::tuple(123, 30000, 7, 999, 20, 3000, 1234, 9, 3, 250, 70);
    saved.m_strWONMaster = CSettings::kMasterHosts[0];
    saved.m_strHLPath = latin1Path;
    saved.m_strHLParams = std::string("\x01\xFF\xFE\"=;[x]\\\n\r\t\x7F", 14);
    saved.m_dwFlags = OPT_UPDATE_QUERIES | OPT_KEEP_PLAYERS | OPT_LOAD_LAST_DOC;
    saved.m_strLastDoc = utf8Doc;
    saved.m_strSteamMaster = "127.0.0.1:4000";
    saved.m_strSteamApiUrl = "http://127.0.0.1:8080";
    saved.m_nListSource = LIST_SOURCE_STEAM_MASTER;
    saved.m_strSteamApiKey = "SECRET";
    saved.Save();
    saved.WriteString("Recent File List", "File1", latin1Path);
    saved.Sync();

    CSettings settings(IniPath());
    settings.Load();
    saved.m_strSteamApiKey.clear();
    EXPECT_EQ(Fields(settings), Fields(saved));
    EXPECT_EQ(settings.ReadString("Recent File List", "File1", ""), latin1Path);
    EXPECT_EQ(settings.ReadString("Recent File List", "File2", "none"), "none");
    // Valid UTF-8 stays readable text in the file; the web key stays out.
    QSettings raw = Raw();
    EXPECT_EQ(raw.value("Settings/LastDoc").toString(), QString::fromUtf8(utf8Doc.c_str()));
    for (const QString& key : raw.allKeys())
        EXPECT_FALSE(raw.value(key).toString().contains("SECRET")) << key.toStdString();

    // Reset of the advanced group: its defaults back, the rest kept.
    settings.ResetAdvanced();
    const CSettings defaults(IniPath());
    EXPECT_EQ(std::tuple(settings.m_nCleanInterval, settings.m_nSocketTimeout,
                         settings.m_nMaxOpenSockets, settings.m_nSendInterval),
              std::tuple(defaults.m_nCleanInterval, defaults.m_nSocketTimeout,
                         defaults.m_nMaxOpenSockets, defaults.m_nSendInterval));
    EXPECT_EQ(settings.m_nRefreshInterval, 30000);
}

TEST_F(SettingsTest, PacingAndEngineChoice) {
    struct Case {
        int inFlight, intervalMs, qps;
        int64_t periodMicros;
        bool fast;
    };
    const Case cases[] = {{50, 50, -1, 50000, false}, {99, 1, -1, 1000, false},
                          {100, 50, -1, 50000, true}, {50, 0, -1, 0, true},
                          {50, 50, 0, 0, true},       {50, 50, 1000, 1000, false},
                          {50, 50, 4000, 250, true},  {0, 50, -1, 50000, false}};
    for (const Case& c : cases) {
        CSettings settings(IniPath());
        settings.m_nMaxOpenSockets = c.inFlight;
        settings.m_nSendInterval = c.intervalMs;
        settings.m_nQueriesPerSecond = c.qps;
        SCOPED_TRACE(testing::Message()
                     << c.inFlight << " in flight, " << c.intervalMs << " ms, " << c.qps << " qps");
        EXPECT_EQ(SendPeriodMicros(settings), c.periodMicros);
        EXPECT_EQ(UsesFastEngine(settings), c.fast);
        EXPECT_EQ(EffectiveMaxSockets(settings), c.inFlight > 0 ? c.inFlight : 1);
    }
}

TEST(SettingsGamePathTest, SteamInstallationsAndBrokenLibraryLists) {
    QTemporaryDir home;
    const std::string homePath = home.path().toStdString();
    const std::string oldDefault = "c:\\games\\sierra\\half-life\\hl.exe";
    EXPECT_EQ(CSettings::DefaultGamePath(homePath), oldDefault) << "nothing installed";

    // A second library listed by Steam, with a relative path that must be
    // ignored.
    QTemporaryDir library;
    const QString libraryGame = library.filePath("steamapps/common/Half-Life/hl.sh");
    WriteFile(libraryGame, "#!/bin/sh\n");
    WriteFile(home.filePath(".local/share/Steam/steamapps/libraryfolders.vdf"),
              "\"libraryfolders\"\n{\n\t\"0\"\n\t{\n\t\t\"path\"\t\t\"" +
                  home.filePath(".local/share/Steam").toUtf8() +
                  "\"\n\t}\n\t\"1\"\n\t{\n\t\t\"path\"\t\t\"relative\"\n\t}\n\t\"2\"\n\t{\n"
                  "\t\t\"path\"\t\t\"" +
                  library.path().toUtf8() + "\"\n\t\t\"apps\"\n\t\t{\n\t\t\t\"70\"\t\t\"1\"\n" +
                  "\t\t}\n\t}\n}\n");
    WriteFile(home.filePath("relative/steamapps/common/Half-Life/hl.sh"), "");
    EXPECT_EQ(CSettings::DefaultGamePath(homePath), libraryGame.toStdString());

    // The game in Steam's own folder comes first.
    const QString ownGame = home.filePath(".steam/steam/steamapps/common/Half-Life/hl.sh");
    WriteFile(ownGame, "#!/bin/sh\n");
    EXPECT_EQ(CSettings::DefaultGamePath(homePath), ownGame.toStdString());
}
