#include "ui/CAddServerDlg.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/DisplayText.h"
#include "ui/CIpAddressEdit.h"
#include "ui/DialogControls.h"

CAddServerDlg::CAddServerDlg(uint32_t address, int port, const std::string& hostName,
                             QWidget* parent)
    : QDialog(parent), m_dwAddress(address), m_nPort(port), m_strHostName(hostName) {
    setWindowTitle(tr("Add Server"));
    m_pAddress = new CIpAddressEdit(this);
    m_pAddress->setObjectName(QStringLiteral("address"));
    QLabel* addressLabel = MnemonicLabel(tr("Enter &IP address:"), m_pAddress, this);
    m_pPort = LineEdit("port", this);
    m_pPort->setFixedWidth(DluX(this, 40));
    QLabel* colon = MnemonicLabel(tr("&:"), m_pPort, this);
    m_pHostName = LineEdit("hostName", this);
    QLabel* hostLabel = MnemonicLabel(tr("Or a host &name:"), m_pHostName, this);
    QPushButton* ok = PushButton(tr("OK"), "ok", this);
    QPushButton* cancel = PushButton(tr("Cancel"), "cancel", this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* grid = new QGridLayout;
    grid->addWidget(addressLabel, 0, 0, 1, 3);
    grid->addWidget(m_pAddress, 1, 0);
    grid->addWidget(colon, 1, 1);
    grid->addWidget(m_pPort, 1, 2);
    grid->addWidget(hostLabel, 2, 0, 1, 3);
    grid->addWidget(m_pHostName, 3, 0, 1, 3);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addSpacing(DluX(this, 6));
    layout->addLayout(ButtonRow({ok, cancel}));
    layout->setSizeConstraint(QLayout::SetFixedSize);
    SetTabChain({m_pAddress->Field(0), m_pAddress->Field(1), m_pAddress->Field(2),
                 m_pAddress->Field(3), m_pPort, m_pHostName, ok, cancel});

    m_pAddress->SetAddress(address);
    m_pPort->setText(QString::number(port));
    m_pHostName->setText(DisplayText(hostName));
    // A host name stands in for the address; the address keeps what it
    // holds in case the name is taken away again.
    const auto enableAddress = [this] { m_pAddress->setEnabled(m_pHostName->text().isEmpty()); };
    connect(m_pHostName, &QLineEdit::textChanged, this, enableAddress);
    enableAddress();
    if (m_pAddress->isEnabled())
        m_pAddress->Field(0)->setFocus();
    else
        m_pPort->setFocus();
}

void CAddServerDlg::accept() {
    uint32_t address = 0;
    if (m_pAddress->GetAddress(address) < 4)
        return;
    if (!ReadPort())
        return;
    m_dwAddress = address;
    m_strHostName = StoredText(m_pHostName->text());
    QDialog::accept();
}

bool CAddServerDlg::ReadPort() {
    bool ok = false;
    const qlonglong value = m_pPort->text().trimmed().toLongLong(&ok);
    QString problem;
    if (!ok)
        problem = IntegerMessage();
    else if (value < 1 || value > 65535)
        problem = tr("Please enter an integer between %1 and %2.").arg(1).arg(65535);
    if (problem.isEmpty()) {
        m_nPort = static_cast<int>(value);
        return true;
    }
    Report(problem);
    m_pPort->setFocus();
    m_pPort->selectAll();
    return false;
}

void CAddServerDlg::Report(const QString& text) {
    if (m_reporter) {
        m_reporter(text);
        return;
    }
    ReportToUser(this, text);
}
