#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "core/CSettings.h"
#include "tests/ui/DialogTestSupport.h"
#include "ui/COptionsDlg.h"

namespace {

class OptionsDlgTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The store starts with values that differ from every default.
        CSettings stored(IniPath());
        stored.m_nCleanInterval = 700;
        stored.m_nSocketTimeout = 3000;
        stored.m_nMaxOpenSockets = 20;
        stored.m_nSendInterval = 10;
        stored.m_nRefreshInterval = 25500;
        stored.m_nWONTimeout = 5000;
        stored.m_nWONRetries = 1;
        stored.m_strWONMaster = "master.example.org";
        stored.m_strHLPath = "/opt/hl/hl.sh";
        stored.m_strHLParams = "-dev";
        stored.m_dwFlags = OPT_KEEP_PLAYERS | OPT_SHOW_UPDATE_DIALOG | 0x400;
        stored.Save();
    }

    std::string IniPath() const { return m_dir.filePath("Scoutwire.ini").toStdString(); }
    static QString Text(const COptionsDlg& dlg, const char* name) {
        return Control<QLineEdit>(dlg, name)->text();
    }
    static void SetText(const COptionsDlg& dlg, const char* name, const QString& text) {
        Control<QLineEdit>(dlg, name)->setText(text);
    }
    static void Click(const COptionsDlg& dlg, const char* name) {
        Control<QPushButton>(dlg, name)->click();
    }

    QTemporaryDir m_dir;
};

} // namespace

TEST_F(OptionsDlgTest, OpensWithTheStoredValuesAndResetDiscardsWhatWasNotSaved) {
    CSettings settings(IniPath());
    COptionsDlg dlg(settings);
    const std::pair<const char*, const char*> shown[] = {
        {"hlPath", "/opt/hl/hl.sh"}, {"hlParams", "-dev"},      {"refreshInterval", "25"},
        {"cleanInterval", "700"},    {"socketTimeout", "3000"}, {"maxOpenSockets", "20"},
        {"sendInterval", "10"},      {"wonTimeout", "5000"},    {"wonRetries", "1"}};
    for (const auto& [name, text] : shown)
        EXPECT_EQ(Text(dlg, name), text) << name;
    EXPECT_EQ(Control<QComboBox>(dlg, "wonMaster")->currentText(), "master.example.org");
    EXPECT_TRUE(Control<QCheckBox>(dlg, "keepPlayers")->isChecked());
    EXPECT_TRUE(Control<QCheckBox>(dlg, "showUpdateDialog")->isChecked());
    for (const char* name :
         {"loadLastDoc", "updateQueries", "clearBeforeUpdate", "refreshNewServers", "keepInTray"})
        EXPECT_FALSE(Control<QCheckBox>(dlg, name)->isChecked()) << name;

    Click(dlg, "defaults");
    SetText(dlg, "wonRetries", "9");
    Control<QCheckBox>(dlg, "loadLastDoc")->setChecked(true);
    Click(dlg, "reset");
    EXPECT_EQ(Text(dlg, "socketTimeout"), "3000");
    EXPECT_EQ(Text(dlg, "wonRetries"), "1");
    EXPECT_FALSE(Control<QCheckBox>(dlg, "loadLastDoc")->isChecked());
    EXPECT_EQ(settings.m_nSocketTimeout, 3000);
}

TEST_F(OptionsDlgTest, DefaultsThenCancelKeepsTheDefaultsForTheRunButNotInTheStore) {
    CSettings settings(IniPath());
    {
        COptionsDlg dlg(settings);
        SetText(dlg, "hlParams", "-typed");
        Click(dlg, "defaults");
        // The one place a user sees the defaults.
        EXPECT_EQ(Text(dlg, "cleanInterval"), "500");
        EXPECT_EQ(Text(dlg, "socketTimeout"), "2000");
        EXPECT_EQ(Text(dlg, "maxOpenSockets"), "50");
        EXPECT_EQ(Text(dlg, "sendInterval"), "50");
        Click(dlg, "cancel");
    }
    EXPECT_EQ(settings.m_nSocketTimeout, 2000);
    EXPECT_EQ(settings.m_strHLParams, "-typed") << "Defaults stored every field";
    EXPECT_EQ(settings.m_nWONTimeout, 5000);
    CSettings store(IniPath());
    store.Load();
    EXPECT_EQ(store.m_nSocketTimeout, 3000) << "nothing was saved";
    EXPECT_EQ(store.m_strHLParams, "-dev");
}

TEST_F(OptionsDlgTest, OkStoresAndSavesWithinTheLimits) {
    {
        CSettings settings(IniPath());
        COptionsDlg dlg(settings);
        SetText(dlg, "refreshInterval", "0");
        SetText(dlg, "socketTimeout", "5");
        SetText(dlg, "maxOpenSockets", "");
        SetText(dlg, "wonRetries", "4");
        Control<QComboBox>(dlg, "wonMaster")->setCurrentIndex(0);
        Control<QCheckBox>(dlg, "keepPlayers")->setChecked(false);
        Control<QCheckBox>(dlg, "refreshNewServers")->setChecked(true);
        Control<QCheckBox>(dlg, "keepInTray")->setChecked(true);
        Click(dlg, "ok");
        EXPECT_EQ(dlg.result(), QDialog::Accepted);
    }
    CSettings settings(IniPath());
    settings.Load();
    EXPECT_EQ(settings.m_nRefreshInterval, 1000) << "0 s is saved as the least interval";
    EXPECT_EQ(settings.m_nSocketTimeout, 11);
    EXPECT_EQ(settings.m_nMaxOpenSockets, 0) << "an empty field is 0, which has no limit";
    EXPECT_EQ(settings.m_nWONRetries, 4);
    EXPECT_EQ(settings.m_strWONMaster, CSettings::kMasterHosts[0]);
    EXPECT_EQ(settings.m_dwFlags,
              OPT_SHOW_UPDATE_DIALOG | OPT_REFRESH_NEW_SERVERS | OPT_KEEP_IN_TRAY | 0x400u);
    COptionsDlg again(settings);
    EXPECT_EQ(Text(again, "refreshInterval"), "1");
    SetText(again, "refreshInterval", "3000000");
    Click(again, "ok");
    EXPECT_EQ(settings.m_nRefreshInterval, 2147483647) << "a huge interval does not wrap";
}

TEST_F(OptionsDlgTest, SpeedPresetsFillTheFieldsAndAreStored) {
    struct Case {
        const char* preset;
        int32_t inFlight, rate, sendInterval;
    };
    const Case cases[] = {
        {"Default (50 in flight, 20 per second)", 50, -1, 50},
        {"DSL (150 in flight, 300 per second)", 150, 300, 10},
        {"Cable (500 in flight, 1,000 per second)", 500, 1000, 10},
        {"Fibre (1,500 in flight, 5,000 per second)", 1500, 5000, 10},
        {"LAN (4,000 in flight, as fast as possible)", 4000, 0, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.preset);
        {
            CSettings settings(IniPath());
            COptionsDlg dlg(settings);
            auto* preset = Control<QComboBox>(dlg, "speedPreset");
            EXPECT_EQ(preset->currentText(), "Custom") << "20 in flight match no preset";
            preset->setCurrentText(c.preset);
            EXPECT_EQ(Text(dlg, "maxOpenSockets"), Text(dlg, "queriesInFlight"));
            Click(dlg, "ok");
        }
        CSettings stored(IniPath());
        stored.Load();
        EXPECT_EQ(stored.m_nMaxOpenSockets, c.inFlight);
        EXPECT_EQ(stored.m_nQueriesPerSecond, c.rate);
        EXPECT_EQ(stored.m_nSendInterval, c.sendInterval);
        COptionsDlg again(stored);
        EXPECT_EQ(Control<QComboBox>(again, "speedPreset")->currentText(), c.preset);
        SetUp(); // back to the stored values that match no preset
    }
    // Typed values beyond the classic limits are kept, and 0 ms is unpaced.
    CSettings settings(IniPath());
    COptionsDlg dlg(settings);
    SetText(dlg, "queriesInFlight", "9000");
    SetText(dlg, "sendInterval", "0");
    Click(dlg, "ok");
    EXPECT_EQ(settings.m_nMaxOpenSockets, CSettings::kMaxQueriesInFlight);
    EXPECT_EQ(settings.m_nSendInterval, 0);
    EXPECT_EQ(settings.m_nQueriesPerSecond, -1) << "an empty rate paces by the interval";
}

TEST_F(OptionsDlgTest, ANumberBeyond32BitsIsRefusedNotStoredAsZero) {
    CSettings settings(IniPath());
    COptionsDlg dlg(settings);
    SetText(dlg, "hlParams", "-typed");
    SetText(dlg, "socketTimeout", "4294967296");
    std::vector<QString> reported;
    AnswerMessageBox(reported);
    Click(dlg, "ok");
    AnswerMessageBox(reported);
    Click(dlg, "defaults");
    QCoreApplication::processEvents();
    EXPECT_EQ(reported, (std::vector<QString>(2, "Please enter an integer.")));
    EXPECT_EQ(dlg.result(), QDialog::Rejected) << "the dialog stays open";
    EXPECT_EQ(settings.m_nSocketTimeout, 3000) << "nothing is stored";
    EXPECT_EQ(settings.m_strHLParams, "-dev");
    EXPECT_EQ(settings.m_nCleanInterval, 700) << "Defaults did not go on";
    EXPECT_EQ(dlg.focusWidget(), Control<QWidget>(dlg, "socketTimeout"));
}

TEST_F(OptionsDlgTest, BrowseStartsAtTheFieldAndTakesTheChosenFile) {
    CSettings settings(IniPath());
    COptionsDlg dlg(settings);
    std::vector<QString> asked;
    QString answer = "/games/Half-Life/hl.sh";
    dlg.SetFileChooser([&](const QString& initial) {
        asked.push_back(initial);
        return answer;
    });
    Click(dlg, "browse");
    answer.clear();
    Click(dlg, "browse");
    EXPECT_EQ(asked, (std::vector<QString>{"/opt/hl/hl.sh", "/games/Half-Life/hl.sh"}));
    Click(dlg, "ok");
    EXPECT_EQ(settings.m_strHLPath, "/games/Half-Life/hl.sh") << "a cancelled choice changes nothing";
}

// The test program has no session bus, so no keyring: the key goes to the
// settings file, and the dialog says so.
TEST_F(OptionsDlgTest, WithoutAKeyringTheSteamKeyIsKeptInTheSettingsFile) {
    const auto fileKey = [this] {
        return QSettings(QString::fromStdString(IniPath()), QSettings::IniFormat)
            .value("Settings/SteamKey");
    };
    CSettings settings(IniPath());
    {
        COptionsDlg dlg(settings);
        EXPECT_FALSE(Control<QLabel>(dlg, "steamKeyNote")->isHidden());
        SetText(dlg, "steamKey", " 0123456789ABCDEF\n");
        SetText(dlg, "steamMaster", "127.0.0.1:27011");
        Control<QComboBox>(dlg, "steamRegion")->setCurrentText("Asia");
        Click(dlg, "ok");
    }
    EXPECT_EQ(settings.m_strSteamApiKey, "0123456789ABCDEF") << "what was pasted around it goes";
    EXPECT_EQ(settings.m_strSteamMaster, "127.0.0.1:27011");
    EXPECT_EQ(settings.m_nSteamRegion, 4);
    EXPECT_EQ(fileKey().toString(), "0123456789ABCDEF");

    CSettings restarted(IniPath());
    restarted.Load();
    {
        COptionsDlg dlg(restarted);
        EXPECT_EQ(Text(dlg, "steamKey"), "0123456789ABCDEF");
        SetText(dlg, "steamKey", "");
        Click(dlg, "ok");
    }
    EXPECT_EQ(restarted.m_strSteamApiKey, "");
    EXPECT_FALSE(fileKey().isValid()) << "an emptied key leaves nothing behind";
}
