#include <gtest/gtest.h>

#include <QJsonArray>

#include "tests/LabTestSupport.h"

namespace {

class MasterClientTest : public ::testing::Test, public LabDocFixture {
protected:
    void StartMaster(const QStringList& args) {
        Start(args, 500);
        settings->m_dwFlags = OPT_CLEAR_BEFORE_UPDATE | OPT_REFRESH_NEW_SERVERS;
    }
};

} // namespace

TEST_F(MasterClientTest, FilterAsksForAGameAndMapAndFillsTheNewRecords) {
    StartMaster({"--servers", "300", "--seed", "22"});
    settings->m_dwFlags = OPT_SHOW_UPDATE_DIALOG; // no refresh, so the records stay as made
    ui.onMasterFilter = [](ServerFilter& f) {
        f.m_dwFlags = FILTER_GAME | FILTER_MAP | FILTER_TYPE;
        f.m_strGame = "CSTRIKE";
        f.m_strMap = "DE_";
        f.m_strServerType = "dedicated";
        return true;
    };
    UpdateAndWait();
    int expected = 0;
    for (int i = 0; i < lab.ServerCount(); ++i) {
        const QJsonObject d = lab.ServerAt(i).value("details").toObject();
        const bool match = d.value("game").toString().toLower() == "cstrike" &&
                           d.value("map").toString().toLower().startsWith("de_");
        expected += match;
        EXPECT_EQ(doc->FindServer(lab.AddressAt(i), lab.ServerPort()) != nullptr, match) << i;
    }
    ASSERT_GT(expected, 0);
    EXPECT_EQ(doc->GetServerList().GetSize(), expected);
    const ServerInfo* s = doc->GetServerList()[0];
    EXPECT_EQ(std::tie(s->m_strGame, s->m_strMap, s->m_cServerType, s->m_nPing),
              std::make_tuple("CSTRIKE", "DE_", 'd', 0u));
    EXPECT_EQ(view.Count(HINT_MASTER_FILTER_CHANGED), 1);
}

// A cancelled filter dialog starts nothing; a silent master without retries
// ends at the first time-out.
TEST_F(MasterClientTest, CancelledDialogAndSilentMaster) {
    StartMaster({"--servers", "5", "--seed", "23"});
    settings->m_dwFlags |= OPT_SHOW_UPDATE_DIALOG;
    ui.onMasterFilter = [](ServerFilter&) { return false; };
    Server(0, GROUP_WON);
    doc->UpdateServerList();
    EXPECT_FALSE(doc->IsUpdatingServerList());
    EXPECT_EQ(doc->GetServerList().GetSize(), 1) << "nothing was cleared either";

    settings->m_dwFlags &= ~OPT_SHOW_UPDATE_DIALOG;
    settings->m_nWONRetries = 0;
    settings->m_wWONPort = static_cast<uint16_t>(lab.MasterPort() + 1000); // nobody listens
    UpdateAndWait();
    ASSERT_FALSE(view.entries.empty());
    EXPECT_EQ(std::make_pair(view.entries.back().hint, view.entries.back().hasObject),
              std::make_pair(int(HINT_MASTER_PROGRESS), false))
        << "the time-out comes without an object";
    EXPECT_EQ(BatchIds().size(), 1u) << "the request was not sent again";
    EXPECT_EQ(doc->GetActiveSocketCount(), 0);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(MasterClientTest, ResetDuringAnUpdateNeverRefreshesAFreedRecord) {
    StartMaster({"--servers", "120", "--seed", "25", "--batch-size", "40",
           "--drop-first-master-request"});
    settings->m_nWONTimeout = 300;
    doc->UpdateServerList();
    ASSERT_TRUE(WaitUntil([this] { return doc->GetServerList().GetSize() >= 40; }));
    ASSERT_TRUE(doc->IsUpdatingServerList());
    doc->DeleteContents(); // the first batch's records are gone
    ASSERT_TRUE(WaitUntil([this] { return !doc->IsUpdatingServerList(); }, 60000));
    EXPECT_EQ(doc->GetServerList().GetSize(), 120 - 40);
    for (const auto& s : doc->GetServerList()) {
        const int index = static_cast<int>(s->m_dwAddress - lab.BaseAddress());
        if (lab.ServerAt(index).value("behaviour").toString() == "normal") {
            EXPECT_NE(s->m_nPing, 0u);
        }
    }
}
