#include "ui/CTrayIcon.h"

#include <QIcon>
#include <QMenu>
#include <QSystemTrayIcon>

CTrayIcon::CTrayIcon(QObject* parent) : QObject(parent), m_pMenu(std::make_unique<QMenu>()) {
    m_pIcon = new QSystemTrayIcon(QIcon(QStringLiteral(":/images/scoutwire.svg")), this);
    m_pMenu->addAction(QStringLiteral("&Show"), this, &CTrayIcon::ShowRequested);
    m_pCancelJoin = m_pMenu->addAction(QStringLiteral("&Cancel background join"), this,
                                       &CTrayIcon::CancelJoinRequested);
    m_pCancelJoin->setVisible(false);
    m_pMenu->addSeparator();
    m_pMenu->addAction(QStringLiteral("&Quit"), this, &CTrayIcon::QuitRequested);
    m_pIcon->setContextMenu(m_pMenu.get());
    connect(m_pIcon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
                    emit ShowRequested();
            });
    connect(m_pIcon, &QSystemTrayIcon::messageClicked, this, &CTrayIcon::MessageClicked);
    UpdateToolTip();
}

// The icon goes before the menu it shows.
CTrayIcon::~CTrayIcon() {
    delete m_pIcon;
}

bool CTrayIcon::Available() {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void CTrayIcon::SetMatchingCount(int count) {
    m_nMatching = count;
    UpdateToolTip();
}

void CTrayIcon::SetBackgroundJoin(const QString& text) {
    m_strJoin = text;
    m_pCancelJoin->setVisible(!text.isEmpty());
    UpdateToolTip();
}

void CTrayIcon::SetShown(bool shown) {
    if (shown && !Available())
        return;
    m_pIcon->setVisible(shown);
}

bool CTrayIcon::IsShown() const {
    return m_pIcon->isVisible();
}

bool CTrayIcon::ShowMessage(const QString& title, const QString& body) {
    if (!IsShown() || !QSystemTrayIcon::supportsMessages())
        return false;
    m_pIcon->showMessage(title, body, QSystemTrayIcon::Information);
    return true;
}

void CTrayIcon::UpdateToolTip() {
    m_strToolTip = m_nMatching == 1
                       ? QStringLiteral("Scoutwire: 1 watch matches")
                       : QStringLiteral("Scoutwire: %1 watches match").arg(m_nMatching);
    if (!m_strJoin.isEmpty())
        m_strToolTip += QLatin1Char('\n') + m_strJoin;
    m_pIcon->setToolTip(m_strToolTip);
}
