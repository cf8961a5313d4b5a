#include <QMainWindow>
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
        dlg.findChild<QPushButton*>()->click();
        dlg.findChild<QPushButton*>()->click();
        EXPECT_TRUE(dlg.CheckCancelButton());
        EXPECT_FALSE(dlg.CheckCancelButton()) << "the flag is cleared when read";
    }
    EXPECT_TRUE(owner.isEnabled()) << "destroying the dialog enables the owner again";
}
