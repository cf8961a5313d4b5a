#include <QLineEdit>
#include <QPushButton>
#include <gtest/gtest.h>

#include "tests/ui/DialogTestSupport.h"
#include "ui/CAddServerDlg.h"
#include "ui/CIpAddressEdit.h"

namespace {

struct AddServer {
    explicit AddServer(uint32_t address = 0, int port = 27015) : dlg(address, port, "") {
        dlg.SetReporter([this](const QString& text) { messages.push_back(text.toStdString()); });
    }
    QLineEdit* Port() { return Control<QLineEdit>(dlg, "port"); }
    QLineEdit* HostName() { return Control<QLineEdit>(dlg, "hostName"); }
    QLineEdit* Field(int i) { return dlg.AddressEdit()->Field(i); }
    bool PressOk() {
        Control<QPushButton>(dlg, "ok")->click();
        return dlg.result() == QDialog::Accepted;
    }

    CAddServerDlg dlg;
    std::vector<std::string> messages;
};

} // namespace

TEST(AddServerDlg, NoAddressShowsFourZerosThatCountAsFilled) {
    AddServer add;
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(add.Field(i)->text(), "0");
    EXPECT_EQ(add.Port()->text(), "27015");
    EXPECT_TRUE(add.dlg.AddressEdit()->isEnabled());
    EXPECT_TRUE(add.PressOk()) << "the document, not the dialog, stops at address 0";
    EXPECT_EQ(add.dlg.Address(), 0u);
    EXPECT_EQ(add.dlg.Port(), 27015);
    EXPECT_TRUE(add.messages.empty());
}

TEST(AddServerDlg, PortMustBeAnIntegerFromOneTo65535) {
    AddServer add(0x7F000001);
    const std::string range = "Please enter an integer between 1 and 65535.";
    const std::string integer = "Please enter an integer.";
    const std::pair<const char*, std::string> refused[] = {{"0", range},  {"65536", range},
                                                           {"-1", range}, {"abc", integer},
                                                           {"", integer}, {"80x", integer}};
    for (const auto& [text, message] : refused) {
        add.messages.clear();
        add.HostName()->setFocus();
        add.Port()->setText(text);
        EXPECT_FALSE(add.PressOk()) << text;
        ASSERT_EQ(add.messages.size(), 1u) << text;
        EXPECT_EQ(add.messages[0], message) << text;
        EXPECT_EQ(add.dlg.focusWidget(), add.Port()) << "the port field gets the focus back";
    }
    add.messages.clear();
    add.Port()->setText(" 65535 ");
    EXPECT_TRUE(add.PressOk());
    EXPECT_TRUE(add.messages.empty());
    EXPECT_EQ(add.dlg.Port(), 65535);
    EXPECT_EQ(add.dlg.Address(), 0x7F000001u);
}

TEST(AddServerDlg, ABlankAddressFieldSilentlyBlocksOk) {
    AddServer add(0x0A000001);
    add.Field(2)->clear();
    uint32_t address = 0;
    EXPECT_EQ(add.dlg.AddressEdit()->GetAddress(address), 3);
    EXPECT_FALSE(add.PressOk());
    EXPECT_TRUE(add.messages.empty());
    add.Port()->setText("0");
    EXPECT_FALSE(add.PressOk());
    EXPECT_TRUE(add.messages.empty()) << "the address is checked before the port";
    add.Field(2)->setText("7");
    add.Port()->setText("27016");
    EXPECT_TRUE(add.PressOk());
    EXPECT_EQ(add.dlg.Address(), 0x0A000701u);
}

TEST(AddServerDlg, AHostNameDisablesTheAddressWhichKeepsItsContent) {
    AddServer add(0xC0A80105, 27016);
    add.HostName()->setText("hl.example.org");
    EXPECT_FALSE(add.dlg.AddressEdit()->isEnabled());
    EXPECT_EQ(add.Field(3)->text(), "5");
    add.HostName()->clear();
    EXPECT_TRUE(add.dlg.AddressEdit()->isEnabled());
    uint32_t address = 0;
    EXPECT_EQ(add.dlg.AddressEdit()->GetAddress(address), 4);
    EXPECT_EQ(address, 0xC0A80105u);

    add.HostName()->setText("hl.example.org");
    EXPECT_TRUE(add.PressOk());
    EXPECT_EQ(add.dlg.HostName(), "hl.example.org");
    EXPECT_EQ(add.dlg.Port(), 27016);
}

TEST(AddServerDlg, TypingAnAddressMovesOnAndCutsNumbersAbove255) {
    AddServer add;
    add.dlg.AddressEdit()->ClearAddress();
    add.Field(0)->setFocus();
    TypeKeys(add.dlg, "10.x1.300");
    EXPECT_EQ(add.Field(0)->text(), "10");
    EXPECT_EQ(add.Field(1)->text(), "1") << "only digits are taken";
    EXPECT_EQ(add.Field(2)->text(), "255");
    EXPECT_EQ(add.dlg.focusWidget(), add.Field(3)) << "a third digit moves on";
    uint32_t address = 0;
    EXPECT_EQ(add.dlg.AddressEdit()->GetAddress(address), 3);
    TypeKeys(add.dlg, "4");
    EXPECT_EQ(add.dlg.AddressEdit()->GetAddress(address), 4);
    EXPECT_EQ(address, 0x0A01FF04u);
}
