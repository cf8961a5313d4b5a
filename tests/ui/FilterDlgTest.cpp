#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
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

TEST(ServerFilterDlg, FieldsShowAndStoreTheirValuesAndRefuseWhatIsNot32Bits) {
    ServerFilter filter;
    filter.m_strOS = "solaris";
    filter.m_nMaxPing = 0xFFFFFFFF;
    const ServerFilter before = filter;
    CServerFilterDlg dlg(filter, kGames, kMaps);
    EXPECT_EQ(Control<QComboBox>(dlg, "os")->currentText(), "solaris");
    auto* ping = Control<QLineEdit>(dlg, "maxPing");
    EXPECT_EQ(ping->text(), "-1") << "shown as a signed number";
    Control<QLineEdit>(dlg, "maxPlayers")->setText("4294967296");
    QString reported;
    OnModal([&](QWidget& box) {
        reported = Control<QLabel>(box, "qt_msgbox_label")->text();
        qobject_cast<QDialog*>(&box)->accept();
    });
    Control<QPushButton>(dlg, "ok")->click();
    EXPECT_EQ(reported, "Please enter an integer.");
    EXPECT_EQ(filter, before) << "refused, not stored as 0";
    ping->clear();
    Control<QLineEdit>(dlg, "maxPlayers")->setText("300");
    Control<QComboBox>(dlg, "game")->setCurrentIndex(2);
    Control<QComboBox>(dlg, "map")->setCurrentText("de_");
    Control<QPushButton>(dlg, "ok")->click();
    EXPECT_EQ(filter.m_nMaxPing, 0u) << "an emptied field stores 0";
    EXPECT_EQ(filter.m_nMaxPlayers, 44) << "300 keeps its low eight bits";
    EXPECT_EQ(filter.m_strGame, "caf\xc3\xa9") << "a game chosen from the list keeps its bytes";
    EXPECT_EQ(filter.m_strMap, "de_");
}

TEST_F(UpdateListDlgTest, SourceRegionAndAppIdGoToTheSettingsAndGreyedControlsKeepTheirValues) {
    ServerFilter filter;
    filter.m_dwFlags = FILTER_EMPTY | FILTER_EMPTY_YES | FILTER_PING;
    filter.m_nMaxPing = 123;
    {
        CUpdateListDlg dlg(filter, m_settings, kGames, kMaps);
        auto* region = Control<QComboBox>(dlg, "region");
        auto* appId = Control<QComboBox>(dlg, "appId");
        Control<QRadioButton>(dlg, "sourceSteamMaster")->setChecked(true);
        region->setCurrentText("Europe");
        appId->setCurrentText("Counter-Strike (10)");
        Control<QCheckBox>(dlg, "gameCheck")->setChecked(true);
        Control<QComboBox>(dlg, "game")->setCurrentText("cstrike");
        Control<QPushButton>(dlg, "ok")->click();
    }
    EXPECT_EQ(m_settings.m_nListSource, LIST_SOURCE_STEAM_MASTER);
    EXPECT_EQ(m_settings.m_nSteamRegion, 3);
    EXPECT_EQ(m_settings.m_nSteamAppId, 10);
    EXPECT_EQ(filter.m_dwFlags, FILTER_GAME | FILTER_EMPTY | FILTER_EMPTY_YES | FILTER_PING);
    EXPECT_EQ(filter.m_strGame, "cstrike");
    EXPECT_EQ(filter.m_nMaxPing, 123u) << "what the dialog does not show is not touched";

    // An app id the list does not offer, set elsewhere, is shown and kept.
    m_settings.m_nSteamAppId = 240;
    CUpdateListDlg dlg(filter, m_settings, kGames, kMaps);
    EXPECT_EQ(Control<QComboBox>(dlg, "appId")->currentText(), "240");
    Control<QPushButton>(dlg, "ok")->click();
    EXPECT_EQ(m_settings.m_nSteamAppId, 240);
}
