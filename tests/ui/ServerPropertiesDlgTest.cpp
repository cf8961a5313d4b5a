#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <gtest/gtest.h>

#include "core/ServerInfo.h"
#include "tests/ScriptedUI.h"
#include "tests/ui/DialogTestSupport.h"
#include "ui/CServerPropertiesDlg.h"

namespace {

void FillServer(ServerInfo& server) {
    server.m_dwAddress = 0xC0A80A14;
    server.m_wPort = 27016;
    server.m_strName = "Dust \xc2\xa7 Bowl";
    server.m_cServerType = 'd';
    server.m_cOS = 'w';
    server.m_nMaxPlayers = 20;
    server.m_bPassword = 1;
    server.m_strGame = "cstrike";
    server.m_strPassword = "pw";
    server.m_strHostName = "dust.example.org";
    server.m_bConnectByHostName = 1;
    server.m_nProtocol = PROTOCOL_A2S;
}

} // namespace

TEST(ServerPropertiesDlg, ShowsTheRecordWithTheErrorRowOnlyForAnError) {
    ScriptedUI ui;
    ServerInfo server;
    FillServer(server);
    {
        CServerPropertiesDlg dlg(server, ui);
        const std::pair<const char*, QString> shown[] = {
            {"name", QString::fromUtf8("Dust \xc2\xa7 Bowl")}, {"address", "192.168.10.20"},
            {"port", "27016"}, {"serverType", "Dedicated"}, {"os", "Windows"}, {"maxPlayers", "20"},
            {"passwordRequired", "Yes"}, {"mod", "cstrike"}, {"protocol", "A2S (Steam)"}};
        for (const auto& [name, text] : shown)
            EXPECT_EQ(Control<QLineEdit>(dlg, name)->text(), text) << name;
        for (const char* name : {"name", "address", "port", "hostName", "protocol", "serverType",
                                 "os", "maxPlayers", "passwordRequired", "mod", "error"})
            EXPECT_TRUE(Control<QLineEdit>(dlg, name)->isReadOnly()) << name;
        EXPECT_FALSE(Control<QLineEdit>(dlg, "password")->isReadOnly());
        EXPECT_EQ(Control<QLineEdit>(dlg, "password")->echoMode(), QLineEdit::Normal);
        EXPECT_TRUE(Control<QLabel>(dlg, "errorLabel")->isHidden());
        EXPECT_TRUE(Control<QLineEdit>(dlg, "error")->isHidden());
        EXPECT_EQ(dlg.focusWidget(), Control<QWidget>(dlg, "annotation"))
            << "an empty annotation takes the focus";
    }
    server.m_strError = "Server is full";
    server.m_strAnnotation = "clan server";
    CServerPropertiesDlg dlg(server, ui);
    EXPECT_FALSE(Control<QLabel>(dlg, "errorLabel")->isHidden());
    EXPECT_FALSE(Control<QLineEdit>(dlg, "error")->isHidden());
    EXPECT_EQ(Control<QLineEdit>(dlg, "error")->text(), "Server is full");
    EXPECT_EQ(dlg.focusWidget(), Control<QWidget>(dlg, "name"));
}

TEST(ServerPropertiesDlg, ClearingTheHostNameDisablesConnectByHostNameAndOkStoresZero) {
    ScriptedUI ui;
    ServerInfo server;
    FillServer(server);
    CServerPropertiesDlg dlg(server, ui);
    auto* connect = Control<QCheckBox>(dlg, "connectByHostName");
    EXPECT_TRUE(connect->isEnabled());
    EXPECT_TRUE(connect->isChecked());
    Control<QPushButton>(dlg, "clearHostName")->click();
    EXPECT_EQ(Control<QLineEdit>(dlg, "hostName")->text(), "");
    EXPECT_FALSE(connect->isEnabled());
    EXPECT_TRUE(connect->isChecked()) << "clearing unchecks nothing by itself";
    Control<QLineEdit>(dlg, "password")->setText("new");
    Control<QPushButton>(dlg, "ok")->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(server.m_strHostName, "");
    EXPECT_EQ(server.m_bConnectByHostName, 0);
    EXPECT_EQ(server.m_strPassword, "new");
    EXPECT_EQ(server.m_strName, "Dust \xc2\xa7 Bowl") << "read-only fields are not stored";
}

TEST(ServerPropertiesDlg, CancelAfterClearOrLookupChangesNothing) {
    ScriptedUI ui;
    ServerInfo server;
    FillServer(server);
    server.m_dwAddress = 0x7F000001;
    server.m_bConnectByHostName = 0;
    CServerPropertiesDlg dlg(server, ui);
    auto* hostName = Control<QLineEdit>(dlg, "hostName");
    Control<QPushButton>(dlg, "clearHostName")->click();
    Control<QPushButton>(dlg, "lookupHostName")->click();
    EXPECT_TRUE(ui.messages.empty()) << (ui.messages.empty() ? "" : ui.messages[0]);
    EXPECT_FALSE(hostName->text().isEmpty()) << "loopback has a name";
    EXPECT_TRUE(Control<QCheckBox>(dlg, "connectByHostName")->isEnabled());
    EXPECT_EQ(ui.waitCursorDepth, 0);
    Control<QCheckBox>(dlg, "connectByHostName")->setChecked(true);
    Control<QPlainTextEdit>(dlg, "annotation")->setPlainText("changed");
    Control<QPushButton>(dlg, "cancel")->click();
    EXPECT_NE(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(server.m_strHostName, "dust.example.org");
    EXPECT_EQ(server.m_bConnectByHostName, 0);
    EXPECT_EQ(server.m_strAnnotation, "");
}

TEST(ServerPropertiesDlg, AnnotationLinesAreStoredWithCarriageReturns) {
    ScriptedUI ui;
    ServerInfo server;
    FillServer(server);
    server.m_strAnnotation = "first\r\nsecond";
    CServerPropertiesDlg dlg(server, ui);
    auto* annotation = Control<QPlainTextEdit>(dlg, "annotation");
    EXPECT_EQ(annotation->toPlainText(), "first\nsecond");
    annotation->setFocus();
    annotation->moveCursor(QTextCursor::End);
    PressKey(annotation, Qt::Key_Return);
    TypeKeys(dlg, "third");
    EXPECT_NE(dlg.result(), QDialog::Accepted) << "Enter starts a new line";
    EXPECT_EQ(annotation->toPlainText(), "first\nsecond\nthird");
    Control<QPushButton>(dlg, "ok")->click();
    EXPECT_EQ(server.m_strAnnotation, "first\r\nsecond\r\nthird");
}
