#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextDocument>
#include <gtest/gtest.h>

#include "core/CSettings.h"
#include "core/ServerInfo.h"
#include "launch/GameCommandLine.h"
#include "tests/ui/DialogTestSupport.h"
#include "ui/CQtUserInterface.h"

// The dialogs as the program opens them: modal over the main window, their
// refusals in real message boxes.
class UserInterfaceDialogs : public ::testing::Test {
protected:
    void SetUp() override {
        m_ui.SetMainWindow(&m_main);
        m_ui.SetSettings(&m_settings);
    }
    QTemporaryDir m_dir;
    CSettings m_settings{m_dir.filePath(QStringLiteral("settings.ini")).toStdString()};
    QWidget m_main;
    CQtUserInterface m_ui;
};

TEST_F(UserInterfaceDialogs, AddServerReportsARefusedPortOverItselfAndHandsBackOnOkOnly) {
    uint32_t address = 0x7F000001;
    int port = 27015;
    std::string hostName;
    QString reported;
    OnModal([&](QWidget& dlg) {
        EXPECT_EQ(dlg.parentWidget(), &m_main);
        Control<QLineEdit>(dlg, "port")->setText("65536");
        OnModal([&](QWidget& box) {
            reported = Control<QLabel>(box, "qt_msgbox_label")->text();
            qobject_cast<QDialog*>(&box)->accept();
            OnModal([](QWidget& again) { // the dialog is still open
                Control<QLineEdit>(again, "port")->setText("27016");
                Control<QPushButton>(again, "cancel")->click();
            });
        });
        Control<QPushButton>(dlg, "ok")->click();
    });
    EXPECT_FALSE(m_ui.EditAddServer(address, port, hostName));
    EXPECT_EQ(reported, "Please enter an integer between 1 and 65535.");
    EXPECT_EQ(port, 27015);
    OnModal([](QWidget& dlg) {
        Control<QLineEdit>(dlg, "hostName")->setText("hl.example.org");
        Control<QPushButton>(dlg, "ok")->click();
    });
    EXPECT_TRUE(m_ui.EditAddServer(address, port, hostName));
    EXPECT_EQ(hostName, "hl.example.org");
}

TEST_F(UserInterfaceDialogs, ServerTextInAMessageBoxIsNeverMarkup) {
    ServerInfo server(0x7F000001, 27015);
    server.m_strGame = "<b>x</b>";
    QStringList arguments;
    std::string refusal;
    ASSERT_FALSE(GameArguments("", server, nullptr, arguments, refusal));
    QString shown;
    Qt::TextFormat format = Qt::AutoText;
    OnModal([&](QWidget& box) {
        if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
            shown = label->text();
            format = label->textFormat();
        }
        qobject_cast<QDialog*>(&box)->accept();
    });
    m_ui.MessageBox(refusal, IUserInterface::Buttons::Ok, IUserInterface::Icon::Error);
    EXPECT_TRUE(shown.contains("\"<b>x</b>\"")) << shown.toStdString();
    EXPECT_TRUE(Qt::mightBeRichText(shown)) << "a text Qt would read as markup";
    EXPECT_EQ(format, Qt::PlainText);
}
