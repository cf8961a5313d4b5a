#include "ui/CQueryDlg.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/DisplayText.h"
#include "search/SearchQuery.h"
#include "ui/DialogControls.h"

CQueryDlg::CQueryDlg(Query& query, QWidget* parent) : QDialog(parent), m_query(query) {
    setWindowTitle(tr("Query"));
    m_pExpression = LineEdit("searchString", this);
    m_pExpression->setMinimumWidth(DluX(this, 268));
    QLabel* expressionLabel = MnemonicLabel(tr("&Search String:"), m_pExpression, this);
    m_pName = LineEdit("queryName", this);
    QLabel* nameLabel = MnemonicLabel(tr("Query &Name (optional):"), m_pName, this);
    m_pRegex = CheckBox(tr("&Regular Expression"), "regularExpression", this);
    m_pMatchCase = CheckBox(tr("Match &Case"), "matchCase", this);
    QPushButton* ok = PushButton(tr("OK"), "ok", this);
    QPushButton* cancel = PushButton(tr("Cancel"), "cancel", this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* grid = new QGridLayout;
    grid->addWidget(expressionLabel, 0, 0, 1, 2);
    grid->addWidget(m_pExpression, 1, 0, 1, 2);
    grid->addWidget(nameLabel, 2, 0);
    grid->addWidget(m_pName, 3, 0);
    grid->addWidget(m_pRegex, 2, 1);
    grid->addWidget(m_pMatchCase, 3, 1);
    grid->setColumnStretch(0, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    // Find Servers searches once; only a player query stays to be watched.
    const bool watchable = dynamic_cast<const SearchQuery*>(&query) != nullptr;
    if (watchable) {
        m_pWatch = CheckBox(tr("&Watch: tell me when they play"), "watch", this);
        m_pWatchLeaving = CheckBox(tr("Also when they &leave"), "watchLeaving", this);
        auto* watch = new QHBoxLayout;
        watch->addWidget(m_pWatch);
        watch->addWidget(m_pWatchLeaving);
        watch->addStretch(1);
        layout->addLayout(watch);
        m_pWatch->setChecked(query.m_bWatch);
        m_pWatchLeaving->setChecked(query.m_bWatchLeaving);
        m_pWatchLeaving->setEnabled(query.m_bWatch);
        connect(m_pWatch, &QCheckBox::toggled, m_pWatchLeaving, &QWidget::setEnabled);
    }
    layout->addWidget(EtchedLine(this));
    layout->addLayout(ButtonRow({ok, cancel}));
    layout->setSizeConstraint(QLayout::SetFixedSize);
    if (watchable)
        SetTabChain({m_pExpression, m_pName, m_pRegex, m_pMatchCase, m_pWatch, m_pWatchLeaving, ok,
                     cancel});
    else
        SetTabChain({m_pExpression, m_pName, m_pRegex, m_pMatchCase, ok, cancel});

    m_pExpression->setText(DisplayText(query.m_strExpression));
    m_pName->setText(DisplayText(query.m_strName));
    m_pMatchCase->setChecked((query.m_dwFlags & QF_MATCHCASE) != 0);
    m_pRegex->setChecked((query.m_dwFlags & QF_REGEX) != 0);
    m_pExpression->setFocus();
}

void CQueryDlg::accept() {
    const QString expression = m_pExpression->text();
    if (expression.isEmpty())
        return;
    m_query.m_strExpression = RecordText(expression, m_query.m_strExpression);
    m_query.m_strName = RecordText(m_pName->text(), m_query.m_strName);
    SetBit(m_query.m_dwFlags, QF_MATCHCASE, m_pMatchCase->isChecked());
    SetBit(m_query.m_dwFlags, QF_REGEX, m_pRegex->isChecked());
    if (m_pWatch) {
        m_query.m_bWatch = m_pWatch->isChecked();
        m_query.m_bWatchLeaving = m_pWatch->isChecked() && m_pWatchLeaving->isChecked();
    }
    QDialog::accept();
}
