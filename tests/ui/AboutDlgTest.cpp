#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextDocument>
#include <QTimer>
#include <gtest/gtest.h>

#include "tests/ScriptedUI.h"
#include "ui/CAboutDlg.h"

TEST(AboutDlg, ShowsNameVersionAndCopyright) {
    ScriptedUI ui;
    CAboutDlg dlg(ui);
    // Close with OK as soon as the box runs.
    QTimer::singleShot(0, &dlg, [&] {
        for (QPushButton* button : dlg.findChildren<QPushButton*>())
            if (button->text() == "OK")
                button->click();
    });
    EXPECT_EQ(dlg.exec(), QDialog::Accepted);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(dlg.findChild<QLabel*>("version")->text(),
              "Scoutwire Application Version 1, 0, 29, 1 (Apr 17 2003)");
    EXPECT_TRUE(dlg.findChild<QLabel*>("copyright")->text().startsWith("Copyright"));
    auto* description = dlg.findChild<QPlainTextEdit*>("description");
    EXPECT_TRUE(description->isReadOnly());
    // CR LF ends a line; it is not two of them.
    EXPECT_EQ(description->document()->blockCount(), 7);
}

TEST(AboutDlg, WithoutVersionDataItEndsAtOnce) {
    ScriptedUI ui;
    CAboutDlg dlg(ui, nullptr, "/nonexistent/other-program");
    EXPECT_EQ(dlg.exec(), CAboutDlg::Aborted);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0], "Error reading version resource");
    EXPECT_FALSE(dlg.isVisible());
}
