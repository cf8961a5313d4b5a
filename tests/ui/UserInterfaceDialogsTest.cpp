#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextDocument>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

#include "core/CSettings.h"
#include "core/ServerInfo.h"
#include "launch/GameCommandLine.h"
#include "search/ServerFilter.h"
#include "tests/ui/DialogTestSupport.h"
#include "ui/CQtUserInterface.h"

namespace {

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

} // namespace

TEST_F(UserInterfaceDialogs, AddServerHandsBackTheValuesOnOkOnly) {
    uint32_t address = 0x7F000001;
    int port = 27015;
    std::string hostName;
    OnModal([this](QWidget& dlg) {
        EXPECT_EQ(dlg.parentWidget(), &m_main);
        EXPECT_EQ(dlg.windowTitle(), "Add Server");
        Control<QLineEdit>(dlg, "port")->setText("27020");
        Control<QLineEdit>(dlg, "hostName")->setText("hl.example.org");
        Control<QPushButton>(dlg, "ok")->click();
    });
    ASSERT_TRUE(m_ui.EditAddServer(address, port, hostName));
    EXPECT_EQ(address, 0x7F000001u);
    EXPECT_EQ(port, 27020);
    EXPECT_EQ(hostName, "hl.example.org");

    OnModal([](QWidget& dlg) {
        Control<QLineEdit>(dlg, "port")->setText("1");
        Control<QPushButton>(dlg, "cancel")->click();
    });
    EXPECT_FALSE(m_ui.EditAddServer(address, port, hostName));
    EXPECT_EQ(port, 27020);
}

TEST_F(UserInterfaceDialogs, ARefusedPortIsReportedInAMessageBoxOverTheDialog) {
    uint32_t address = 0x7F000001;
    int port = 27015;
    std::string hostName;
    std::string reported;
    OnModal([&](QWidget& dlg) {
        Control<QLineEdit>(dlg, "port")->setText("65536");
        OnModal([&](QWidget& box) {
            auto* message = qobject_cast<QMessageBox*>(&box);
            if (!message) {
                ADD_FAILURE() << "no message box";
                qobject_cast<QDialog*>(&box)->reject();
                return;
            }
            reported = message->text().toStdString();
            message->accept();
            OnModal([](QWidget& again) {
                EXPECT_TRUE(qobject_cast<QDialog*>(&again)->isVisible()) << "still open";
                Control<QLineEdit>(again, "port")->setText("27016");
                Control<QPushButton>(again, "ok")->click();
            });
        });
        Control<QPushButton>(dlg, "ok")->click();
    });
    ASSERT_TRUE(m_ui.EditAddServer(address, port, hostName));
    EXPECT_EQ(reported, "Please enter an integer between 1 and 65535.");
    EXPECT_EQ(port, 27016);
}

TEST_F(UserInterfaceDialogs, PasswordAndFiltersReportOkAndCancel) {
    std::string password = "old";
    OnModal([](QWidget& dlg) {
        Control<QLineEdit>(dlg, "password")->setText("typed");
        Control<QPushButton>(dlg, "cancel")->click();
    });
    EXPECT_FALSE(m_ui.EditPassword(password));
    EXPECT_EQ(password, "old");
    OnModal([](QWidget& dlg) {
        Control<QLineEdit>(dlg, "password")->setText("typed");
        Control<QPushButton>(dlg, "ok")->click();
    });
    EXPECT_TRUE(m_ui.EditPassword(password));
    EXPECT_EQ(password, "typed");

    ServerFilter filter;
    OnModal([](QWidget& dlg) { Control<QPushButton>(dlg, "cancel")->click(); });
    EXPECT_FALSE(m_ui.EditMasterFilter(filter, {"valve"}, {}));
    OnModal([](QWidget& dlg) {
        EXPECT_EQ(dlg.windowTitle(), "Server Filter");
        Control<QLineEdit>(dlg, "maxPlayers")->setText("8");
        Control<QPushButton>(dlg, "ok")->click();
    });
    EXPECT_TRUE(m_ui.EditServerFilter(filter, {}, {"de_dust"}));
    EXPECT_EQ(filter.m_nMaxPlayers, 8);
}

TEST_F(UserInterfaceDialogs, ServerPropertiesEditsTheRecordOnOk) {
    ServerInfo server(0x7F000001, 27015);
    OnModal([](QWidget& dlg) {
        Control<QPlainTextEdit>(dlg, "annotation")->setPlainText("a\nb");
        Control<QPushButton>(dlg, "ok")->click();
    });
    EXPECT_TRUE(m_ui.EditServerProperties(server));
    EXPECT_EQ(server.m_strAnnotation, "a\r\nb");
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
        auto* message = qobject_cast<QMessageBox*>(&box);
        if (!message) {
            ADD_FAILURE() << "no message box";
            qobject_cast<QDialog*>(&box)->reject();
            return;
        }
        shown = message->text();
        if (auto* label = message->findChild<QLabel*>(QStringLiteral("qt_msgbox_label")))
            format = label->textFormat();
        message->accept();
    });
    m_ui.MessageBox(refusal, IUserInterface::Buttons::Ok, IUserInterface::Icon::Error);
    EXPECT_TRUE(shown.contains("\"<b>x</b>\"")) << shown.toStdString();
    EXPECT_TRUE(Qt::mightBeRichText(shown)) << "a text Qt would read as markup";
    EXPECT_EQ(format, Qt::PlainText);
}
