#include "ui/CPasswordDlg.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "core/DisplayText.h"
#include "ui/DialogControls.h"

CPasswordDlg::CPasswordDlg(const std::string& password, QWidget* parent)
    : QDialog(parent), m_strOriginal(password) {
    setWindowTitle(tr("Password Required"));
    m_pPassword = LineEdit("password", this);
    m_pPassword->setMinimumWidth(DluX(this, 70));
    QLabel* label = MnemonicLabel(tr("Enter &password:"), m_pPassword, this);
    QPushButton* ok = PushButton(tr("OK"), "ok", this);
    QPushButton* cancel = PushButton(tr("Cancel"), "cancel", this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* grid = new QGridLayout(this);
    grid->addWidget(label, 0, 0);
    grid->addWidget(m_pPassword, 1, 0, Qt::AlignTop);
    grid->addWidget(ok, 0, 1);
    grid->addWidget(cancel, 1, 1, Qt::AlignTop);
    grid->setColumnMinimumWidth(0, DluX(this, 100));
    grid->setSizeConstraint(QLayout::SetFixedSize);
    SetTabChain({m_pPassword, ok, cancel});

    m_pPassword->setText(DisplayText(password));
    m_pPassword->setFocus();
}

std::string CPasswordDlg::Password() const {
    return RecordText(m_pPassword->text(), m_strOriginal);
}
