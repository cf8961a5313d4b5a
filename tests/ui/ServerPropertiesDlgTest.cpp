#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <gtest/gtest.h>

#include "core/ServerInfo.h"
#include "tests/ScriptedUI.h"
#include "tests/ui/DialogTestSupport.h"
#include "ui/CServerPropertiesDlg.h"

class ServerPropertiesDlgTest : public ::testing::Test {
protected:
    ServerPropertiesDlgTest() : server(0xC0A80A14, 27016) {
        server.m_strName = "Dust \xc2\xa7 Bowl";
        server.m_cServerType = 'd';
        server.m_strPassword = "pw";
        server.m_strHostName = "dust.example.org";
        server.m_bConnectByHostName = 1;
        server.m_nProtocol = PROTOCOL_A2S;
        server.m_strAnnotation = "first\r\nsecond";
    }
    ScriptedUI ui;
    ServerInfo server;
};

TEST_F(ServerPropertiesDlgTest, OkStoresTheEditableFieldsAndClearedHostNameConnectsByAddress) {
    CServerPropertiesDlg dlg(server, ui);
    EXPECT_EQ(Control<QLineEdit>(dlg, "name")->text(), QString::fromUtf8("Dust \xc2\xa7 Bowl"));
    EXPECT_EQ(Control<QLineEdit>(dlg, "protocol")->text(), "A2S (Steam)");
    EXPECT_TRUE(Control<QLineEdit>(dlg, "error")->isHidden()) << "no error, no error row";
    auto* connect = Control<QCheckBox>(dlg, "connectByHostName");
    Control<QPushButton>(dlg, "clearHostName")->click();
    EXPECT_FALSE(connect->isEnabled());
    EXPECT_TRUE(connect->isChecked()) << "clearing unchecks nothing by itself";
    Control<QLineEdit>(dlg, "password")->setText("new");
    // Enter in the annotation starts a new line; lines are stored with CR LF.
    auto* annotation = Control<QPlainTextEdit>(dlg, "annotation");
    annotation->setFocus();
    annotation->moveCursor(QTextCursor::End);
    PressKey(annotation, Qt::Key_Return);
    TypeKeys(dlg, "third");
    EXPECT_NE(dlg.result(), QDialog::Accepted);
    Control<QPushButton>(dlg, "ok")->click();
    EXPECT_EQ(server.m_strHostName, "");
    EXPECT_EQ(server.m_bConnectByHostName, 0);
    EXPECT_EQ(server.m_strPassword, "new");
    EXPECT_EQ(server.m_strAnnotation, "first\r\nsecond\r\nthird");
}

TEST_F(ServerPropertiesDlgTest, CancelAfterClearOrLookupChangesNothing) {
    server.m_dwAddress = 0x7F000001;
    server.m_bConnectByHostName = 0;
    server.m_strError = "Server is full";
    CServerPropertiesDlg dlg(server, ui);
    EXPECT_EQ(Control<QLineEdit>(dlg, "error")->text(), "Server is full");
    Control<QPushButton>(dlg, "clearHostName")->click();
    Control<QPushButton>(dlg, "lookupHostName")->click();
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_FALSE(Control<QLineEdit>(dlg, "hostName")->text().isEmpty()) << "loopback has a name";
    EXPECT_TRUE(Control<QCheckBox>(dlg, "connectByHostName")->isEnabled());
    Control<QCheckBox>(dlg, "connectByHostName")->setChecked(true);
    Control<QPlainTextEdit>(dlg, "annotation")->setPlainText("changed");
    Control<QPushButton>(dlg, "cancel")->click();
    EXPECT_EQ(server.m_strHostName, "dust.example.org");
    EXPECT_EQ(server.m_bConnectByHostName, 0);
    EXPECT_EQ(server.m_strAnnotation, "first\r\nsecond");
}
