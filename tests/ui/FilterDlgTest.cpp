#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
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

const std::vector<std::string> kGames = {"cstrike", "valve", "caf\xc3\xa9"};
const std::vector<std::string> kMaps = {"de_dust", "crossfire"};

// A criterion: its check box, its bit, and the bit of its Yes/No value.
struct Criterion {
    const char* check;
    uint32_t flag;
    const char* value = nullptr;
    uint32_t yes = 0;
};

void PrintTo(const Criterion& c, std::ostream* os) { *os << c.check; }

class FilterCriterionTest : public ::testing::TestWithParam<Criterion> {};

// The update dialog writes the list source to a settings record of its own.
class UpdateListDlgTest : public ::testing::Test {
protected:
    QTemporaryDir m_dir;
    CSettings m_settings{m_dir.filePath(QStringLiteral("settings.ini")).toStdString()};
};

} // namespace

// Each criterion is shown from its own bit and stored to it, its value
// showing even while the criterion is off; bits no control shows are kept.
TEST_P(FilterCriterionTest, ShowsAndStoresItsOwnBits) {
    const Criterion& c = GetParam();
    ServerFilter filter;
    filter.m_dwFlags = c.flag | c.yes | 0x1000000;
    {
        CServerFilterDlg dlg(filter, kGames, kMaps);
        for (QCheckBox* box : dlg.findChildren<QCheckBox*>())
            EXPECT_EQ(box->isChecked(), box->objectName() == c.check) << box->objectName().toStdString();
        if (c.value) {
            EXPECT_EQ(Control<QComboBox>(dlg, c.value)->currentIndex(), 1);
            Control<QComboBox>(dlg, c.value)->setCurrentIndex(0);
        }
        Control<QCheckBox>(dlg, c.check)->setChecked(false);
        Control<QPushButton>(dlg, "ok")->click();
    }
    EXPECT_EQ(filter.m_dwFlags, 0x1000000u);
    CServerFilterDlg dlg(filter, kGames, kMaps);
    Control<QCheckBox>(dlg, c.check)->setChecked(true);
    if (c.value)
        Control<QComboBox>(dlg, c.value)->setCurrentIndex(1);
    Control<QPushButton>(dlg, "ok")->click();
    EXPECT_EQ(filter.m_dwFlags, c.flag | c.yes | 0x1000000);
}

INSTANTIATE_TEST_SUITE_P(
    ServerFilterDlg, FilterCriterionTest,
    ::testing::Values(Criterion{"gameCheck", FILTER_GAME}, Criterion{"mapCheck", FILTER_MAP},
                      Criterion{"pingCheck", FILTER_PING},
                      Criterion{"maxPlayersCheck", FILTER_MAXPLAYERS},
                      Criterion{"typeCheck", FILTER_TYPE}, Criterion{"osCheck", FILTER_OS},
                      Criterion{"emptyCheck", FILTER_EMPTY, "emptyValue", FILTER_EMPTY_YES},
                      Criterion{"fullCheck", FILTER_FULL, "fullValue", FILTER_FULL_YES},
                      Criterion{"passwordCheck", FILTER_PASSWORD, "passwordValue",
                                FILTER_PASSWORD_YES}),
    [](const ::testing::TestParamInfo<Criterion>& info) { return std::string(info.param.check); });

TEST(ServerFilterDlg, FieldsShowAndStoreTheirValues) {
    ServerFilter filter;
    filter.m_strGame = "valve";
    filter.m_strOS = "solaris";
    filter.m_nMaxPing = 0xFFFFFFFF;
    CServerFilterDlg dlg(filter, kGames, kMaps);
    EXPECT_EQ(Control<QComboBox>(dlg, "game")->currentText(), "valve");
    EXPECT_EQ(Control<QComboBox>(dlg, "map")->count(), 2);
    EXPECT_EQ(Control<QComboBox>(dlg, "os")->currentText(), "solaris");
    EXPECT_EQ(Control<QLineEdit>(dlg, "maxPing")->text(), "-1") << "shown as a signed number";
    Control<QLineEdit>(dlg, "maxPing")->clear();
    Control<QLineEdit>(dlg, "maxPlayers")->setText("300");
    Control<QComboBox>(dlg, "game")->setCurrentIndex(2);
    Control<QComboBox>(dlg, "map")->setCurrentText("de_");
    Control<QComboBox>(dlg, "os")->setCurrentText("w");
    Control<QPushButton>(dlg, "ok")->click();
    EXPECT_EQ(filter.m_nMaxPing, 0u) << "an emptied field stores 0";
    EXPECT_EQ(filter.m_nMaxPlayers, 44) << "300 keeps its low eight bits";
    EXPECT_EQ(filter.m_strGame, "caf\xc3\xa9") << "a game chosen from the list keeps its bytes";
    EXPECT_EQ(filter.m_strMap, "de_");
    EXPECT_EQ(filter.m_strOS, "w");
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
    std::vector<QString> reported;
    AnswerMessageBox(reported);
    Control<QPushButton>(dlg, "ok")->click();
    QCoreApplication::processEvents();
    EXPECT_EQ(reported, std::vector<QString>{"Please enter an integer."});
    EXPECT_EQ(filter, before) << "refused, not stored as 0";
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
    EXPECT_EQ(m_settings.m_nListSource, LIST_SOURCE_STEAM_MASTER);
    EXPECT_EQ(m_settings.m_nSteamRegion, 3);
    EXPECT_EQ(m_settings.m_nSteamAppId, 10);
    EXPECT_EQ(filter.m_dwFlags, FILTER_GAME);
    EXPECT_EQ(filter.m_strGame, "cstrike");

    // An app id the list does not offer, set elsewhere, is shown and kept.
    m_settings.m_nSteamAppId = 240;
    CUpdateListDlg dlg(filter, m_settings, kGames, kMaps);
    EXPECT_EQ(Control<QComboBox>(dlg, "region")->currentText(), "Europe");
    EXPECT_EQ(Control<QComboBox>(dlg, "appId")->currentText(), "240");
    Control<QRadioButton>(dlg, "sourceSteamWeb")->setChecked(true);
    Control<QPushButton>(dlg, "ok")->click();
    EXPECT_EQ(m_settings.m_nListSource, LIST_SOURCE_STEAM_WEB);
    EXPECT_EQ(m_settings.m_nSteamAppId, 240);
}

TEST_F(UpdateListDlgTest, GreyedControlsKeepTheStoredValuesAndCancelChangesNothing) {
    ServerFilter filter;
    filter.m_dwFlags = FILTER_EMPTY | FILTER_EMPTY_YES | FILTER_TYPE | FILTER_PING;
    filter.m_strServerType = "d";
    filter.m_strGame = "cstrike";
    filter.m_nMaxPing = 123;
    filter.m_strOS = "Linux";
    const ServerFilter before = filter;
    {
        CUpdateListDlg dlg(filter, m_settings, kGames, kMaps);
        Control<QCheckBox>(dlg, "gameCheck")->setChecked(true);
        Control<QRadioButton>(dlg, "sourceSteamWeb")->setChecked(true);
        Control<QPushButton>(dlg, "cancel")->click();
    }
    EXPECT_EQ(filter, before);
    EXPECT_EQ(m_settings.m_nListSource, LIST_SOURCE_WON);

    CUpdateListDlg dlg(filter, m_settings, kGames, kMaps);
    for (const char* name : {"emptyCheck", "emptyValue", "typeCheck", "serverType"})
        EXPECT_FALSE(Control<QWidget>(dlg, name)->isEnabled()) << name;
    EXPECT_TRUE(Control<QCheckBox>(dlg, "emptyCheck")->isChecked());
    EXPECT_EQ(Control<QComboBox>(dlg, "serverType")->currentText(), "d");
    Control<QCheckBox>(dlg, "gameCheck")->setChecked(true);
    Control<QComboBox>(dlg, "map")->setCurrentText("crossfire");
    Control<QCheckBox>(dlg, "mapCheck")->setChecked(true);
    Control<QPushButton>(dlg, "ok")->click();
    EXPECT_EQ(filter.m_dwFlags, FILTER_GAME | FILTER_MAP | FILTER_EMPTY | FILTER_EMPTY_YES |
                                    FILTER_TYPE | FILTER_PING);
    EXPECT_EQ(filter.m_strServerType, "d");
    EXPECT_EQ(filter.m_strMap, "crossfire");
    EXPECT_EQ(filter.m_nMaxPing, 123u) << "what the dialog does not show is not touched";
    EXPECT_EQ(filter.m_strOS, "Linux");
}
