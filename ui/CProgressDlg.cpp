#include "ui/CProgressDlg.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/DisplayText.h"

CProgressDlg::CProgressDlg(QWidget* owner)
    : QDialog(owner), m_pOwner(owner ? owner : QApplication::activeWindow()) {
    setWindowTitle(tr("Progress"));
    setModal(false);
    m_pStatus = new QLabel(this);
    m_pStatus->setTextFormat(Qt::PlainText);
    m_pStatus->setWordWrap(true);
    m_pStatus->setMinimumSize(340, 50);
    m_pStatus->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_pPercent = new QLabel(QStringLiteral(" 0 %"), this);
    m_pPercent->setAlignment(Qt::AlignHCenter);
    m_pBar = new QProgressBar(this);
    m_pBar->setTextVisible(false);
    auto* cancel = new QPushButton(tr("Cancel"), this);
    cancel->setDefault(true);
    connect(cancel, &QPushButton::clicked, this, [this] { m_bCancelled = true; });
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pStatus);
    layout->addWidget(m_pPercent);
    layout->addWidget(m_pBar);
    layout->addWidget(cancel, 0, Qt::AlignHCenter);
    m_pBar->setRange(m_nLower, m_nUpper);
    m_pBar->setValue(m_nLower);
}

CProgressDlg::~CProgressDlg() { ReEnableOwner(); }

bool CProgressDlg::Create() {
    if (m_pOwner && m_pOwner->isEnabled()) {
        m_pOwner->setEnabled(false);
        m_bOwnerDisabled = true;
    }
    // The dialog itself stays enabled while its owner is not.
    setEnabled(true);
    show();
    return true;
}

void CProgressDlg::ReEnableOwner() {
    if (m_bOwnerDisabled && m_pOwner)
        m_pOwner->setEnabled(true);
    m_bOwnerDisabled = false;
}

void CProgressDlg::SetStatus(const std::string& text) { m_pStatus->setText(DisplayText(text)); }

void CProgressDlg::SetRange(int lower, int upper) {
    m_nLower = lower;
    m_nUpper = upper;
    m_pBar->setRange(lower, upper);
    const bool visible = lower != upper;
    m_pBar->setVisible(visible);
    m_pPercent->setVisible(visible);
}

void CProgressDlg::SetStep(int step) { m_nStep = step; }

QString CProgressDlg::PercentText(int lower, int upper, int pos) {
    if (upper == lower)
        return QStringLiteral("0%");
    int percent = static_cast<int>((static_cast<long long>(pos) - lower) * 100 /
                                   (static_cast<long long>(upper) - lower));
    if (percent != 100)
        percent %= 100;
    return QString::number(percent) + QLatin1Char('%');
}

int CProgressDlg::SetPos(int pos) {
    PumpMessages();
    const int old = m_pBar->value();
    m_pBar->setValue(pos);
    const QString text = PercentText(m_nLower, m_nUpper, pos);
    if (m_pPercent->text() != text)
        m_pPercent->setText(text);
    return old;
}

void CProgressDlg::PumpMessages() { QCoreApplication::processEvents(); }

bool CProgressDlg::CheckCancelButton() {
    PumpMessages();
    const bool cancelled = m_bCancelled;
    m_bCancelled = false;
    return cancelled;
}

void CProgressDlg::reject() {
    // Escape and the close box act as the Cancel button; the owner decides.
    m_bCancelled = true;
}
