#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "core/CSettings.h"
#include "search/ServerFilter.h"
#include "tests/ui/DialogTestSupport.h"
#include "ui/CServerFilterDlg.h"
#include "ui/CUpdateListDlg.h"

namespace {

QStringList Items(const QComboBox* combo) {
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    return items;
}

const std::vector<std::string> kGames = {"cstrike", "valve", "caf\xc3\xa9"};
const std::vector<std::string> kMaps = {"de_dust", "crossfire"};

// The update dialog writes the list source to a settings record of its own.
class UpdateListDlgTest : public ::testing::Test {
protected:
    QTemporaryDir m_dir;
    CSettings m_settings{m_dir.filePath(QStringLiteral("settings.ini")).toStdString()};
};

} // namespace

TEST(ServerFilterDlg, ShowsTheFilterWithTheListsHandedIn) {
    ServerFilter filter;
    filter.m_dwFlags = FILTER_GAME | FILTER_FULL | FILTER_FULL_YES | FILTER_PASSWORD_YES;
    filter.m_strGame = "valve";
    filter.m_strOS = "solaris";
    filter.m_nMaxPing = 0xFFFFFFFF;
    CServerFilterDlg dlg(filter, kGames, kMaps);
    EXPECT_EQ(dlg.windowTitle(), "Server Filter");
    EXPECT_EQ(Items(Control<QComboBox>(dlg, "game")),
              (QStringList{"cstrike", "valve", QString::fromUtf8("caf\xc3\xa9")}));
    EXPECT_EQ(Items(Control<QComboBox>(dlg, "map")), (QStringList{"de_dust", "crossfire"}));
    EXPECT_EQ(Items(Control<QComboBox>(dlg, "serverType")), (QStringList{"Dedicated", "Listen"}));
    EXPECT_EQ(Items(Control<QComboBox>(dlg, "os")), (QStringList{"Linux", "Win32"}));
    EXPECT_EQ(Items(Control<QComboBox>(dlg, "emptyValue")), (QStringList{"No", "Yes"}));
    EXPECT_EQ(Control<QComboBox>(dlg, "game")->currentText(), "valve");
    EXPECT_EQ(Control<QComboBox>(dlg, "map")->currentText(), "");
    EXPECT_EQ(Control<QComboBox>(dlg, "os")->currentText(), "solaris");
    EXPECT_EQ(Control<QLineEdit>(dlg, "maxPing")->text(), "-1") << "shown as a signed number";
    EXPECT_EQ(Control<QLineEdit>(dlg, "maxPlayers")->text(), "16");
    EXPECT_TRUE(Control<QCheckBox>(dlg, "gameCheck")->isChecked());
    EXPECT_TRUE(Control<QCheckBox>(dlg, "fullCheck")->isChecked());
    EXPECT_FALSE(Control<QCheckBox>(dlg, "passwordCheck")->isChecked());
    EXPECT_EQ(Control<QComboBox>(dlg, "fullValue")->currentIndex(), 1);
    EXPECT_EQ(Control<QComboBox>(dlg, "passwordValue")->currentIndex(), 1)
        << "a value shows even while its criterion is off";
    EXPECT_EQ(Control<QComboBox>(dlg, "emptyValue")->currentIndex(), 0);
    for (QWidget* w : dlg.findChildren<QWidget*>())
        EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
}

TEST(ServerFilterDlg, OkStoresEveryControl) {
    ServerFilter filter;
    filter.m_dwFlags = FILTER_PING | FILTER_EMPTY_YES | 0x1000000;
    CServerFilterDlg dlg(filter, kGames, kMaps);
    Control<QCheckBox>(dlg, "pingCheck")->setChecked(false);
    Control<QCheckBox>(dlg, "maxPlayersCheck")->setChecked(true);
    Control<QCheckBox>(dlg, "passwordCheck")->setChecked(true);
    Control<QCheckBox>(dlg, "osCheck")->setChecked(true);
    Control<QLineEdit>(dlg, "maxPing")->clear();
    Control<QLineEdit>(dlg, "maxPlayers")->setText("300");
    Control<QComboBox>(dlg, "emptyValue")->setCurrentIndex(0);
    Control<QComboBox>(dlg, "passwordValue")->setCurrentIndex(1);
    Control<QComboBox>(dlg, "game")->setCurrentIndex(2);
    Control<QComboBox>(dlg, "map")->setCurrentText("de_");
    Control<QComboBox>(dlg, "os")->setCurrentText("w");
    Control<QPushButton>(dlg, "ok")->click();

    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(filter.m_dwFlags,
              FILTER_MAXPLAYERS | FILTER_PASSWORD | FILTER_OS | FILTER_PASSWORD_YES | 0x1000000u);
    EXPECT_EQ(filter.m_nMaxPing, 0u) << "an emptied field stores 0";
    EXPECT_EQ(filter.m_nMaxPlayers, 44) << "300 keeps its low eight bits";
    EXPECT_EQ(filter.m_strGame, "caf\xc3\xa9") << "a game chosen from the list keeps its bytes";
    EXPECT_EQ(filter.m_strMap, "de_");
    EXPECT_EQ(filter.m_strOS, "w");
    EXPECT_EQ(filter.m_strServerType, "");
}

TEST(ServerFilterDlg, NumberFieldsTakeDigitsRefuseWhatIsNot32BitsAndCancelChangesNothing) {
    ServerFilter filter;
    const ServerFilter before = filter;
    CServerFilterDlg dlg(filter, {}, {});
    auto* ping = Control<QLineEdit>(dlg, "maxPing");
    ping->clear();
    ping->setFocus();
    TypeKeys(dlg, "2-5x0");
    EXPECT_EQ(ping->text(), "250");
    Control<QCheckBox>(dlg, "fullCheck")->setChecked(true);

    Control<QLineEdit>(dlg, "maxPlayers")->setText("4294967296");
    QString reported;
    OnModal([&](QWidget& box) {
        if (auto* message = qobject_cast<QMessageBox*>(&box))
            reported = message->text();
        qobject_cast<QDialog*>(&box)->accept();
    });
    Control<QPushButton>(dlg, "ok")->click();
    QCoreApplication::processEvents();
    EXPECT_EQ(reported, "Please enter an integer.");
    EXPECT_EQ(filter, before) << "refused, not stored as 0";
    EXPECT_EQ(dlg.result(), QDialog::Rejected);

    Control<QPushButton>(dlg, "cancel")->click();
    EXPECT_EQ(filter, before);
}

TEST_F(UpdateListDlgTest, TheSourceRegionAndAppIdGoToTheSettings) {
    ServerFilter filter;
    {
        CUpdateListDlg dlg(filter, m_settings, kGames, kMaps);
        EXPECT_TRUE(Control<QRadioButton>(dlg, "sourceWon")->isChecked()) << "by default";
        auto* region = Control<QComboBox>(dlg, "region");
        auto* appId = Control<QComboBox>(dlg, "appId");
        EXPECT_EQ(region->currentText(), "All regions");
        EXPECT_EQ(appId->currentText(), "None");
        EXPECT_EQ(Items(region),
                  (QStringList{"All regions", "US east", "US west", "South America", "Europe",
                               "Asia", "Australia", "Middle East", "Africa"}));
        EXPECT_EQ(appId->count(), 9);
        EXPECT_FALSE(region->isEnabled());
        EXPECT_FALSE(appId->isEnabled()) << "the WON master takes neither";
        Control<QRadioButton>(dlg, "sourceSteamWeb")->setChecked(true);
        EXPECT_FALSE(region->isEnabled()) << "the web service takes no region";
        EXPECT_TRUE(appId->isEnabled());
        Control<QRadioButton>(dlg, "sourceSteamMaster")->setChecked(true);
        EXPECT_TRUE(region->isEnabled());
        region->setCurrentText("Europe");
        appId->setCurrentText("Counter-Strike (10)");
        Control<QCheckBox>(dlg, "gameCheck")->setChecked(true);
        Control<QComboBox>(dlg, "game")->setCurrentText("cstrike");
        Control<QPushButton>(dlg, "ok")->click();
    }
    EXPECT_EQ(m_settings.m_nListSource, 2);
    EXPECT_EQ(m_settings.m_nSteamRegion, 3);
    EXPECT_EQ(m_settings.m_nSteamAppId, 10);
    EXPECT_EQ(filter.m_dwFlags, FILTER_GAME);
    EXPECT_EQ(filter.m_strGame, "cstrike");

    // An app id the list does not offer, set elsewhere, is shown and kept.
    m_settings.m_nSteamAppId = 240;
    CUpdateListDlg dlg(filter, m_settings, kGames, kMaps);
    EXPECT_TRUE(Control<QRadioButton>(dlg, "sourceSteamMaster")->isChecked());
    EXPECT_EQ(Control<QComboBox>(dlg, "region")->currentText(), "Europe");
    EXPECT_EQ(Control<QComboBox>(dlg, "appId")->currentText(), "240");
    Control<QRadioButton>(dlg, "sourceSteamWeb")->setChecked(true);
    Control<QPushButton>(dlg, "ok")->click();
    EXPECT_EQ(m_settings.m_nListSource, 1);
    EXPECT_EQ(m_settings.m_nSteamAppId, 240);
}

TEST_F(UpdateListDlgTest, GreyedControlsShowAndKeepTheStoredValues) {
    ServerFilter filter;
    filter.m_dwFlags = FILTER_EMPTY | FILTER_EMPTY_YES | FILTER_TYPE | FILTER_PING;
    filter.m_strServerType = "d";
    filter.m_strGame = "cstrike";
    filter.m_nMaxPing = 123;
    filter.m_strOS = "Linux";
    CUpdateListDlg dlg(filter, m_settings, kGames, kMaps);
    EXPECT_EQ(dlg.windowTitle(), "Update server list");
    auto* update = Control<QPushButton>(dlg, "ok");
    EXPECT_EQ(update->text(), "Update");
    EXPECT_TRUE(update->isDefault());
    for (const char* name : {"emptyCheck", "emptyValue", "typeCheck", "serverType"})
        EXPECT_FALSE(Control<QWidget>(dlg, name)->isEnabled()) << name;
    for (const char* name : {"gameCheck", "game", "mapCheck", "map"})
        EXPECT_TRUE(Control<QWidget>(dlg, name)->isEnabled()) << name;
    EXPECT_TRUE(Control<QCheckBox>(dlg, "emptyCheck")->isChecked());
    EXPECT_EQ(Control<QComboBox>(dlg, "emptyValue")->currentIndex(), 1);
    EXPECT_TRUE(Control<QCheckBox>(dlg, "typeCheck")->isChecked());
    EXPECT_EQ(Control<QComboBox>(dlg, "serverType")->currentText(), "d");
    EXPECT_EQ(Items(Control<QComboBox>(dlg, "map")), (QStringList{"de_dust", "crossfire"}));

    Control<QCheckBox>(dlg, "gameCheck")->setChecked(true);
    Control<QComboBox>(dlg, "map")->setCurrentText("crossfire");
    Control<QCheckBox>(dlg, "mapCheck")->setChecked(true);
    update->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(filter.m_dwFlags, FILTER_GAME | FILTER_MAP | FILTER_EMPTY | FILTER_EMPTY_YES |
                                    FILTER_TYPE | FILTER_PING);
    EXPECT_EQ(filter.m_strServerType, "d");
    EXPECT_EQ(filter.m_strGame, "cstrike");
    EXPECT_EQ(filter.m_strMap, "crossfire");
    EXPECT_EQ(filter.m_nMaxPing, 123u) << "what the dialog does not show is not touched";
    EXPECT_EQ(filter.m_strOS, "Linux");
}

TEST_F(UpdateListDlgTest, CancelChangesNothing) {
    ServerFilter filter;
    filter.m_dwFlags = FILTER_GAME;
    const ServerFilter before = filter;
    CUpdateListDlg dlg(filter, m_settings, kGames, kMaps);
    Control<QCheckBox>(dlg, "gameCheck")->setChecked(false);
    Control<QComboBox>(dlg, "map")->setCurrentText("x");
    Control<QRadioButton>(dlg, "sourceSteamWeb")->setChecked(true);
    Control<QPushButton>(dlg, "cancel")->click();
    EXPECT_EQ(filter, before);
    EXPECT_EQ(m_settings.m_nListSource, 0);
}
