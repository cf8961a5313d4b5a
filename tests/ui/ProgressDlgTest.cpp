#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <gtest/gtest.h>

#include "ui/CProgressDlg.h"

TEST(ProgressDlg, DisablesItsOwnerWhileItLivesAndCancelIsReadOnce) {
    QMainWindow owner;
    owner.show();
    {
        CProgressDlg dlg(&owner);
        ASSERT_TRUE(dlg.Create());
        EXPECT_FALSE(owner.isEnabled());
        EXPECT_TRUE(dlg.isEnabled());
        auto* cancel = dlg.findChild<QPushButton*>();
        ASSERT_TRUE(cancel);
        cancel->click();
        cancel->click();
        EXPECT_TRUE(dlg.CheckCancelButton());
        EXPECT_FALSE(dlg.CheckCancelButton()) << "the flag is cleared when read";
        dlg.SetRange(0, 250);
        dlg.SetPos(125);
        bool sawPercent = false;
        for (QLabel* label : dlg.findChildren<QLabel*>())
            sawPercent |= label->text() == "50%";
        EXPECT_TRUE(sawPercent);
    }
    EXPECT_TRUE(owner.isEnabled()) << "destroying the dialog enables the owner again";
}

TEST(ProgressDlg, EqualEndsHideTheBarAndThePercentage) {
    CProgressDlg dlg;
    dlg.Create();
    dlg.SetRange(0, 0);
    dlg.SetStatus("Waiting for free spot on server x...");
    EXPECT_FALSE(dlg.findChild<QProgressBar*>()->isVisible());
    dlg.SetRange(0, 10);
    EXPECT_TRUE(dlg.findChild<QProgressBar*>()->isVisible());
}
