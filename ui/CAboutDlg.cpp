#include "ui/CAboutDlg.h"

#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include "core/CVersionInfo.h"
#include "core/DisplayText.h"
#include "core/HomePage.h"
#include "core/IUserInterface.h"

CAboutDlg::CAboutDlg(IUserInterface& ui, QWidget* parent, std::string versionFile)
    : QDialog(parent), m_ui(ui), m_strVersionFile(std::move(versionFile)) {
    setWindowTitle(tr("About Scoutwire"));
    auto* ok = new QPushButton(tr("OK"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    m_pIcon = new QLabel(this);
    const QIcon icon = QApplication::windowIcon();
    if (!icon.isNull())
        m_pIcon->setPixmap(icon.pixmap(32, 32));
    m_pIcon->setFixedSize(32, 32);

    m_pVersion = new QLabel(this);
    m_pVersion->setObjectName(QStringLiteral("version"));
    m_pVersion->setTextFormat(Qt::PlainText);
    m_pCopyright = new QLabel(this);
    m_pCopyright->setObjectName(QStringLiteral("copyright"));
    m_pCopyright->setTextFormat(Qt::PlainText);

    m_pDescription = new QPlainTextEdit(this);
    m_pDescription->setObjectName(QStringLiteral("description"));
    m_pDescription->setReadOnly(true);
    m_pDescription->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_pDescription->setMinimumSize(400, 90);

    auto* layout = new QGridLayout(this);
    layout->addWidget(m_pIcon, 0, 0, 2, 1, Qt::AlignTop);
    layout->addWidget(m_pVersion, 0, 1);
    layout->addWidget(ok, 0, 2, Qt::AlignTop);
    layout->addWidget(m_pCopyright, 1, 1, 1, 2);
    layout->addWidget(m_pDescription, 2, 0, 1, 3);
    layout->setColumnStretch(1, 1);
}

bool CAboutDlg::InitDialog() {
    CVersionInfo version;
    if (!version.Open(m_strVersionFile)) {
        m_ui.MessageBox("Error reading version resource", IUserInterface::Buttons::Ok,
                        IUserInterface::Icon::Error);
        return false;
    }
    m_pVersion->setText(DisplayText(version.GetProductName() + " Version " +
                                    version.GetFileVersion() + " (Apr 17 2003)"));
    m_pCopyright->setText(DisplayText(version.GetLegalCopyright()));
    m_pDescription->setPlainText(DescriptionText());
    return true;
}

int CAboutDlg::exec() {
    if (!InitDialog()) {
        setResult(Aborted);
        return Aborted;
    }
    return QDialog::exec();
}

QString CAboutDlg::DescriptionText() {
    const QString crlf = QStringLiteral("\r\n");
    return QStringLiteral("Scoutwire helps you find players on the Half-Life servers that are "
                          "registered with WON.") +
           crlf + crlf +
           QStringLiteral("Many thanks to everyone who tested the program and suggested how to "
                          "make it better.") +
           crlf + crlf +
           QStringLiteral("Regular expressions are matched by the Boost.Regex library (formerly "
                          "Regex++) by John Maddock.") +
           crlf + crlf +
           QStringLiteral("Please read %1 for more information, and visit the home page at %2.")
               .arg(QLatin1String(kReadMeFile), QLatin1String(kHomePageUrl));
}
