#include <QPlainTextEdit>
#include <QTextDocument>
#include <QTimer>
#include <gtest/gtest.h>

#include "tests/ScriptedUI.h"
#include "ui/CAboutDlg.h"

TEST(AboutDlg, ShowsTheDescriptionByLinesAndWithoutVersionDataEndsAtOnce) {
    ScriptedUI ui;
    CAboutDlg dlg(ui);
    QTimer::singleShot(0, &dlg, &QDialog::accept);
    EXPECT_EQ(dlg.exec(), QDialog::Accepted);
    // CR LF ends a line; it is not two of them.
    EXPECT_EQ(dlg.findChild<QPlainTextEdit*>("description")->document()->blockCount(), 7);
    CAboutDlg other(ui, nullptr, "/nonexistent/other-program");
    EXPECT_EQ(other.exec(), CAboutDlg::Aborted);
    EXPECT_EQ(ui.messages, std::vector<std::string>{"Error reading version resource"});
}
