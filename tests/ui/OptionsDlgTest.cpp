#include <QCheckBox>
#include <QComboBox>
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
    // The store starts with values that differ from every default.
    void SetUp() override {
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

TEST_F(OptionsDlgTest, OpensWithTheStoredValuesResetRestoresThemAndDefaultsLastTheRun) {
    CSettings settings(IniPath());
    {
        COptionsDlg dlg(settings);
        Click(dlg, "defaults");
        SetText(dlg, "wonRetries", "9");
        Control<QCheckBox>(dlg, "loadLastDoc")->setChecked(true);
        Click(dlg, "reset");
        EXPECT_EQ(Text(dlg, "socketTimeout"), "3000");
        EXPECT_EQ(Text(dlg, "wonRetries"), "1");
        EXPECT_FALSE(Control<QCheckBox>(dlg, "loadLastDoc")->isChecked());

        // Defaults then Cancel: the defaults hold for this run, not in the store.
        SetText(dlg, "hlParams", "-typed");
        Click(dlg, "defaults");
        EXPECT_EQ(Text(dlg, "socketTimeout"), "2000") << "the one place a user sees a default";
        Click(dlg, "cancel");
    }
    EXPECT_EQ(settings.m_nSocketTimeout, 2000);
    EXPECT_EQ(settings.m_strHLParams, "-typed") << "Defaults stored every field";
    CSettings store(IniPath());
    store.Load();
    EXPECT_EQ(store.m_nSocketTimeout, 3000) << "nothing was saved";
}

// The test program has no session bus, so no keyring: the Steam key goes to
// the settings file.
TEST_F(OptionsDlgTest, OkStoresAndSavesWithinTheLimits) {
    const auto fileKey = [this] {
        return QSettings(QString::fromStdString(IniPath()), QSettings::IniFormat)
            .value("Settings/SteamKey");
    };
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
        SetText(dlg, "steamKey", " 0123456789ABCDEF\n");
        Control<QComboBox>(dlg, "steamRegion")->setCurrentText("Asia");
        Click(dlg, "ok");
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
    EXPECT_EQ(settings.m_nSteamRegion, 4);
    EXPECT_EQ(fileKey().toString(), "0123456789ABCDEF") << "what was pasted around it goes";
    COptionsDlg again(settings);
    EXPECT_EQ(Text(again, "refreshInterval"), "1");
    EXPECT_EQ(Text(again, "steamKey"), "0123456789ABCDEF");
    SetText(again, "refreshInterval", "3000000");
    SetText(again, "steamKey", "");
    Click(again, "ok");
    EXPECT_EQ(settings.m_nRefreshInterval, 2147483647) << "a huge interval does not wrap";
    EXPECT_FALSE(fileKey().isValid()) << "an emptied key leaves nothing behind";
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
