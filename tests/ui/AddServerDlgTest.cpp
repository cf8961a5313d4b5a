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
    EXPECT_EQ(add.dlg.Port(), 65535);
    EXPECT_EQ(add.dlg.Address(), 0x7F000001u);

    // No address shows four zeros that count as filled: the document, not
    // the dialog, stops at address 0.
    AddServer none;
    EXPECT_EQ(none.Field(0)->text(), "0");
    EXPECT_TRUE(none.PressOk());
    EXPECT_EQ(none.dlg.Address(), 0u);
}

TEST(AddServerDlg, TypingAnAddressMovesOnCutsNumbersAbove255AndABlankFieldBlocksOk) {
    AddServer add;
    add.dlg.AddressEdit()->ClearAddress();
    add.Field(0)->setFocus();
    TypeKeys(add.dlg, "10.x1.300");
    EXPECT_EQ(add.dlg.focusWidget(), add.Field(3)) << "a third digit moves on";
    add.Port()->setText("0");
    EXPECT_FALSE(add.PressOk());
    EXPECT_TRUE(add.messages.empty()) << "the blank field is checked first, silently";
    add.Field(3)->setFocus();
    TypeKeys(add.dlg, "4");
    add.Port()->setText("27016");
    EXPECT_TRUE(add.PressOk());
    EXPECT_EQ(add.dlg.Address(), 0x0A01FF04u);
}
