#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <string>

#include "core/CSettings.h"

namespace {

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    std::string IniPath() const { return m_dir.filePath("Scoutwire.ini").toStdString(); }
    QSettings Raw() const {
        return QSettings(m_dir.filePath("Scoutwire.ini"), QSettings::IniFormat);
    }

    QTemporaryDir m_dir;
};

const char* const kAllValues[] = {
    "CleanInterval",  "RefreshInterval", "SendInterval", "SocketTimeout",   "MaxOpenSockets",
    "WONTimeout",     "WONRetries",      "WONMaster",    "HLPath",          "HLParams",
    "Flags",          "LastDoc",         "SteamMaster",  "SteamRegion",     "SteamApiUrl",
    "SteamListLimit", "ListSource",      "SteamAppId",   "QueriesPerSecond"};

void WriteFile(const QString& path, const QByteArray& content) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
}

} // namespace

TEST_F(SettingsTest, MissingSectionGivesDefaultsAndFirstSaveWritesThemAll) {
    CSettings settings(IniPath());
    settings.Load();
    EXPECT_EQ(settings.m_nCleanInterval, 500);
    EXPECT_EQ(settings.m_nRefreshInterval, 10000);
    EXPECT_EQ(settings.m_nSendInterval, 50);
    EXPECT_EQ(settings.m_nSocketTimeout, 2000);
    EXPECT_EQ(settings.m_nMaxOpenSockets, 50);
    EXPECT_EQ(settings.m_nWONTimeout, 4000);
    EXPECT_EQ(settings.m_nWONRetries, 3);
    EXPECT_EQ(settings.m_wWONPort, 27010);
    EXPECT_EQ(settings.m_strWONMaster, CSettings::kMasterHosts[2]);
    EXPECT_EQ(settings.m_strHLPath, CSettings::DefaultGamePath());
    EXPECT_EQ(settings.m_strHLParams, "-console -numericping");
    EXPECT_EQ(settings.m_dwFlags,
              OPT_SHOW_UPDATE_DIALOG | OPT_CLEAR_BEFORE_UPDATE | OPT_REFRESH_NEW_SERVERS);
    EXPECT_EQ(settings.m_strLastDoc, "");
    EXPECT_EQ(settings.m_strSteamMaster, "hl2master.steampowered.com:27011");
    EXPECT_EQ(settings.m_nSteamRegion, 0xFF);
    EXPECT_EQ(settings.m_strSteamApiUrl, "https://api.steampowered.com");
    EXPECT_EQ(settings.m_nSteamListLimit, 50000);
    EXPECT_EQ(settings.m_nListSource, LIST_SOURCE_WON);
    EXPECT_EQ(settings.m_nSteamAppId, -1);

    settings.m_strSteamApiKey = "SECRET";
    settings.Save();
    QSettings raw = Raw();
    for (const char* name : kAllValues)
        EXPECT_TRUE(raw.contains(QString("Settings/") + name)) << name;
    EXPECT_EQ(raw.value("Settings/Flags").toInt(), 0x38);
    EXPECT_EQ(raw.value("Settings/WONMaster").toString(), "half-life.central.won.net");
    EXPECT_FALSE(raw.contains("Settings/WONPort"));
    // The web key stays in memory: nothing of it reaches the store.
    for (const QString& key : raw.allKeys())
        EXPECT_FALSE(raw.value(key).toString().contains("SECRET")) << key.toStdString();
}

TEST_F(SettingsTest, LimitsApplyOnLoad) {
    {
        QSettings raw = Raw();
        raw.setValue("Settings/SocketTimeout", 5);
        raw.setValue("Settings/MaxOpenSockets", 9000);
        raw.setValue("Settings/QueriesPerSecond", -9);
        raw.setValue("Settings/RefreshInterval", 0);
        raw.setValue("Settings/CleanInterval", -7);
        raw.setValue("Settings/SendInterval", -4);
        raw.setValue("Settings/WONTimeout", 10);
        raw.setValue("Settings/WONRetries", -1);
        raw.setValue("Settings/HLParams", "");
        raw.setValue("Settings/SteamRegion", 256);
        raw.setValue("Settings/SteamListLimit", 0);
        raw.setValue("Settings/ListSource", 3);
        raw.setValue("Settings/SteamAppId", -5);
    }
    CSettings settings(IniPath());
    settings.Load();
    EXPECT_EQ(settings.m_nSocketTimeout, 11);
    EXPECT_EQ(settings.m_nMaxOpenSockets, CSettings::kMaxQueriesInFlight);
    EXPECT_EQ(settings.m_nQueriesPerSecond, -1);
    EXPECT_EQ(settings.m_nRefreshInterval, 1000);
    EXPECT_EQ(settings.m_nCleanInterval, 11);
    EXPECT_EQ(settings.m_nSendInterval, 0);
    EXPECT_EQ(settings.m_nWONTimeout, 11);
    EXPECT_EQ(settings.m_nWONRetries, 0);
    // A stored empty string is a value, not a missing one.
    EXPECT_EQ(settings.m_strHLParams, "");
    EXPECT_EQ(settings.m_nSteamRegion, 0xFF);
    EXPECT_EQ(settings.m_nSteamListLimit, 1);
    EXPECT_EQ(settings.m_nListSource, LIST_SOURCE_WON);
    EXPECT_EQ(settings.m_nSteamAppId, -1);

    // No lower limit on the number of open sockets; and the limits hold on
    // the way out as well.
    settings.m_nMaxOpenSockets = -3;
    settings.m_nRefreshInterval = 0;
    settings.Save();
    EXPECT_EQ(Raw().value("Settings/MaxOpenSockets").toInt(), -3);
    EXPECT_EQ(Raw().value("Settings/RefreshInterval").toInt(), 1000);
}

TEST_F(SettingsTest, UnreadableValuesKeepTheDefault) {
    {
        QSettings raw = Raw();
        raw.setValue("Settings/SocketTimeout", "soon");
        raw.setValue("Settings/WONTimeout", "99999999999");
        // 32 bits, as the registry keeps them.
        raw.setValue("Settings/Flags", "4294967295");
    }
    CSettings settings(IniPath());
    settings.Load();
    EXPECT_EQ(settings.m_nSocketTimeout, 2000);
    EXPECT_EQ(settings.m_nWONTimeout, 4000);
    EXPECT_EQ(settings.m_dwFlags, 0xFFFFFFFFu);
}

TEST_F(SettingsTest, RoundTrip) {
    const std::string latin1Path("c:\\Spiele\\Half-Life \xC4\xD6\\hl.exe");
    const std::string utf8Doc("/home/j\xC3\xB6rg/maps \xE2\x82\xAC.scw");
    const std::string binary("\x01\xFF\xFE\"=;[x]\\\n\r\t\x7F", 14);
    {
        CSettings settings(IniPath());
        settings.m_nCleanInterval = 123;
        settings.m_nRefreshInterval = 30000;
        settings.m_nSendInterval = 7;
        settings.m_nSocketTimeout = 999;
        settings.m_nMaxOpenSockets = 20;
        settings.m_nQueriesPerSecond = 3000;
        settings.m_nWONTimeout = 1234;
        settings.m_nWONRetries = 9;
        settings.m_strWONMaster = CSettings::kMasterHosts[0];
        settings.m_strHLPath = latin1Path;
        settings.m_strHLParams = binary;
        settings.m_dwFlags = OPT_UPDATE_QUERIES | OPT_KEEP_PLAYERS | OPT_LOAD_LAST_DOC;
        settings.m_strLastDoc = utf8Doc;
        settings.m_strSteamMaster = "127.0.0.1:4000";
        settings.m_nSteamRegion = 3;
        settings.m_strSteamApiUrl = "http://127.0.0.1:8080";
        settings.m_nSteamListLimit = 250;
        settings.m_nListSource = LIST_SOURCE_STEAM_MASTER;
        settings.m_nSteamAppId = 70;
        settings.Save();
        settings.WriteInt("Settings", "DefQuery_Flags", 3);
        settings.WriteInt("Settings", "SplitWidthServers", 240);
        settings.WriteString("Recent File List", "File1", utf8Doc);
        settings.WriteString("Recent File List", "File2", latin1Path);
        settings.Sync();
    }
    CSettings settings(IniPath());
    settings.Load();
    EXPECT_EQ(settings.m_nCleanInterval, 123);
    EXPECT_EQ(settings.m_nRefreshInterval, 30000);
    EXPECT_EQ(settings.m_nSendInterval, 7);
    EXPECT_EQ(settings.m_nSocketTimeout, 999);
    EXPECT_EQ(settings.m_nMaxOpenSockets, 20);
    EXPECT_EQ(settings.m_nQueriesPerSecond, 3000);
    EXPECT_EQ(settings.m_nWONTimeout, 1234);
    EXPECT_EQ(settings.m_nWONRetries, 9);
    EXPECT_EQ(settings.m_strWONMaster, "half-life.east.won.net");
    EXPECT_EQ(settings.m_strHLPath, latin1Path);
    EXPECT_EQ(settings.m_strHLParams, binary);
    EXPECT_EQ(settings.m_dwFlags, 0x7u);
    EXPECT_EQ(settings.m_strLastDoc, utf8Doc);
    EXPECT_EQ(settings.m_strSteamMaster, "127.0.0.1:4000");
    EXPECT_EQ(settings.m_nSteamRegion, 3);
    EXPECT_EQ(settings.m_strSteamApiUrl, "http://127.0.0.1:8080");
    EXPECT_EQ(settings.m_nSteamListLimit, 250);
    EXPECT_EQ(settings.m_nListSource, LIST_SOURCE_STEAM_MASTER);
    EXPECT_EQ(settings.m_nSteamAppId, 70);
    EXPECT_EQ(settings.ReadInt("Settings", "DefQuery_Flags", 1), 3);
    EXPECT_EQ(settings.ReadInt("Settings", "SplitWidthServers", 0), 240);
    EXPECT_EQ(settings.ReadInt("Settings", "SplitHeightDetails", 77), 77);
    EXPECT_EQ(settings.ReadString("Recent File List", "File1", ""), utf8Doc);
    EXPECT_EQ(settings.ReadString("Recent File List", "File2", ""), latin1Path);
    EXPECT_EQ(settings.ReadString("Recent File List", "File3", "none"), "none");

    // Valid UTF-8 stays readable text in the file.
    EXPECT_EQ(Raw().value("Settings/LastDoc").toString(),
              QString::fromUtf8("/home/j\xC3\xB6rg/maps \xE2\x82\xAC.scw"));
}

TEST_F(SettingsTest, ResetAdvanced) {
    CSettings settings(IniPath());
    settings.m_nCleanInterval = 1;
    settings.m_nSocketTimeout = 2;
    settings.m_nMaxOpenSockets = 3;
    settings.m_nSendInterval = 4;
    settings.m_nRefreshInterval = 5000;
    settings.m_nWONTimeout = 6;
    settings.ResetAdvanced();
    EXPECT_EQ(settings.m_nCleanInterval, 500);
    EXPECT_EQ(settings.m_nSocketTimeout, 2000);
    EXPECT_EQ(settings.m_nMaxOpenSockets, 50);
    EXPECT_EQ(settings.m_nSendInterval, 50);
    // Outside the "Advanced" group nothing changes.
    EXPECT_EQ(settings.m_nRefreshInterval, 5000);
    EXPECT_EQ(settings.m_nWONTimeout, 6);
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

TEST(SettingsGamePathTest, SteamInstallations) {
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const std::string homePath = home.path().toStdString();

    // Nothing installed: the old default.
    EXPECT_EQ(CSettings::DefaultGamePath(homePath), "c:\\games\\sierra\\half-life\\hl.exe");

    // A second library listed by Steam, with a quoted backslash and a
    // relative path that must be ignored.
    QTemporaryDir library;
    ASSERT_TRUE(library.isValid());
    const QString libraryGame = library.filePath("steamapps/common/Half-Life/hl.sh");
    WriteFile(libraryGame, "#!/bin/sh\n");
    WriteFile(home.filePath(".local/share/Steam/steamapps/libraryfolders.vdf"),
              "\"libraryfolders\"\n{\n\t\"0\"\n\t{\n\t\t\"path\"\t\t\"" +
                  home.filePath(".local/share/Steam").toUtf8() +
                  "\"\n\t\t\"label\"\t\t\"\"\n\t}\n\t\"1\"\n\t{\n\t\t\"path\"\t\t\"relative\"\n"
                  "\t}\n\t\"2\"\n\t{\n\t\t\"path\"\t\t\"" +
                  library.path().toUtf8() + "\"\n\t\t\"apps\"\n\t\t{\n\t\t\t\"70\"\t\t\"1\"\n" +
                  "\t\t}\n\t}\n}\n");
    WriteFile(home.filePath("relative/steamapps/common/Half-Life/hl.sh"), "");
    EXPECT_EQ(CSettings::DefaultGamePath(homePath), libraryGame.toStdString());

    // The game in Steam's own folder comes first.
    const QString ownGame = home.filePath(".steam/steam/steamapps/common/Half-Life/hl.sh");
    WriteFile(ownGame, "#!/bin/sh\n");
    EXPECT_EQ(CSettings::DefaultGamePath(homePath), ownGame.toStdString());
}

TEST(SettingsGamePathTest, BrokenLibraryListIsHarmless) {
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    for (const QByteArray& content :
         {QByteArray("\"path\""), QByteArray("\"path\" \"/nowhere"), QByteArray("\"path\" \"\\"),
          QByteArray("\"\""), QByteArray("\x00\xFF\"path\"\"\"", 10), QByteArray()}) {
        WriteFile(home.filePath(".steam/steam/steamapps/libraryfolders.vdf"), content);
        EXPECT_EQ(CSettings::DefaultGamePath(home.path().toStdString()),
                  "c:\\games\\sierra\\half-life\\hl.exe");
    }
}
