#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <gtest/gtest.h>

#include "search/Query.h"
#include "tests/ui/DialogTestSupport.h"
#include "ui/CPasswordDlg.h"
#include "ui/CQueryDlg.h"

TEST(QueryDlg, ShowsTheQueryAndStoresOnlyOnOk) {
    Query query("friends", "^\\[TAG\\]", QF_REGEX | 0x100);
    CQueryDlg dlg(query);
    auto* expression = Control<QLineEdit>(dlg, "searchString");
    auto* name = Control<QLineEdit>(dlg, "queryName");
    auto* regex = Control<QCheckBox>(dlg, "regularExpression");
    auto* matchCase = Control<QCheckBox>(dlg, "matchCase");
    EXPECT_EQ(expression->text(), "^\\[TAG\\]");
    EXPECT_EQ(name->text(), "friends");
    EXPECT_TRUE(regex->isChecked());
    EXPECT_FALSE(matchCase->isChecked());
    EXPECT_EQ(dlg.focusWidget(), expression);

    expression->setText("bob");
    name->clear();
    regex->setChecked(false);
    matchCase->setChecked(true);
    Control<QPushButton>(dlg, "cancel")->click();
    EXPECT_EQ(query.m_strExpression, "^\\[TAG\\]") << "Cancel writes nothing";
    EXPECT_EQ(query.m_strName, "friends");

    Control<QPushButton>(dlg, "ok")->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(query.m_strExpression, "bob");
    EXPECT_EQ(query.m_strName, "");
    EXPECT_EQ(query.m_dwFlags, QF_MATCHCASE | 0x100u) << "bits the dialog does not show stay";
}

TEST(QueryDlg, AnEmptySearchStringBlocksOkButSpacesDoNot) {
    Query query("", "", QF_REGEX);
    CQueryDlg dlg(query);
    auto* ok = Control<QPushButton>(dlg, "ok");
    Control<QLineEdit>(dlg, "queryName")->setText("unnamed");
    ok->click();
    EXPECT_NE(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(query.m_strName, "") << "nothing is stored while OK is refused";

    Control<QLineEdit>(dlg, "searchString")->setText("   ");
    ok->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(query.m_strExpression, "   ");
    EXPECT_EQ(query.m_strName, "unnamed");
}

TEST(QueryDlg, UntouchedTextKeepsItsBytes) {
    // A player name copied from a server arrives as UTF-8; another in the
    // old code page. Neither may be re-encoded by passing through the dialog.
    Query query("caf\xc3\xa9", "J\xf6rg", 0);
    CQueryDlg dlg(query);
    Control<QPushButton>(dlg, "ok")->click();
    EXPECT_EQ(query.m_strName, "caf\xc3\xa9");
    EXPECT_EQ(query.m_strExpression, "J\xf6rg");
}

TEST(PasswordDlg, ShowsThePasswordAsTypedAndReturnsWhatIsTyped) {
    CPasswordDlg dlg("s3cret");
    auto* edit = Control<QLineEdit>(dlg, "password");
    EXPECT_EQ(edit->echoMode(), QLineEdit::Normal);
    EXPECT_EQ(edit->text(), "s3cret");
    EXPECT_EQ(dlg.Password(), "s3cret");
    edit->clear();
    TypeKeys(dlg, "ab");
    EXPECT_EQ(dlg.Password(), "ab");
    edit->clear();
    EXPECT_EQ(dlg.Password(), "") << "an empty password is a valid answer";
}
