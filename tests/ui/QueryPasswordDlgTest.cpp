#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <gtest/gtest.h>

#include "search/Query.h"
#include "tests/ui/DialogTestSupport.h"
#include "ui/CPasswordDlg.h"
#include "ui/CQueryDlg.h"

TEST(QueryDlg, StoresOnlyOnOkAndOnlyWithASearchString) {
    Query query("friends", "^\\[TAG\\]", QF_REGEX | 0x100);
    CQueryDlg dlg(query);
    auto* expression = Control<QLineEdit>(dlg, "searchString");
    EXPECT_EQ(expression->text(), "^\\[TAG\\]");
    expression->clear();
    Control<QLineEdit>(dlg, "queryName")->clear();
    Control<QCheckBox>(dlg, "regularExpression")->setChecked(false);
    Control<QCheckBox>(dlg, "matchCase")->setChecked(true);
    Control<QPushButton>(dlg, "ok")->click();
    EXPECT_NE(dlg.result(), QDialog::Accepted) << "an empty search string blocks OK";
    Control<QPushButton>(dlg, "cancel")->click();
    EXPECT_EQ(query.m_strName, "friends") << "Cancel writes nothing";
    expression->setText("   ");
    Control<QPushButton>(dlg, "ok")->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted) << "spaces do not";
    EXPECT_EQ(query.m_strExpression, "   ");
    EXPECT_EQ(query.m_strName, "");
    EXPECT_EQ(query.m_dwFlags, QF_MATCHCASE | 0x100u) << "bits the dialog does not show stay";

    // Text in UTF-8 or the old code page is not re-encoded on its way through.
    Query bytes("caf\xc3\xa9", "J\xf6rg", 0);
    CQueryDlg untouched(bytes);
    Control<QPushButton>(untouched, "ok")->click();
    EXPECT_EQ(bytes.m_strName, "caf\xc3\xa9");
    EXPECT_EQ(bytes.m_strExpression, "J\xf6rg");
}

TEST(PasswordDlg, ShowsThePasswordAsTypedAndAnEmptyOneIsAnAnswer) {
    CPasswordDlg dlg("s3cret");
    auto* edit = Control<QLineEdit>(dlg, "password");
    EXPECT_EQ(edit->echoMode(), QLineEdit::Normal);
    edit->clear();
    EXPECT_EQ(dlg.Password(), "");
}
