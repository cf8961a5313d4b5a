#include "ui/CQtUserInterface.h"

#include <QApplication>
#include <QClipboard>
#include <QMessageBox>
#include <utility>

#include "core/DisplayText.h"
#include "ui/CAddServerDlg.h"
#include "ui/CMainFrame.h"
#include "ui/CPasswordDlg.h"
#include "ui/CProgressDlg.h"
#include "ui/CQueryDlg.h"
#include "ui/CServerFilterDlg.h"
#include "ui/CServerPropertiesDlg.h"
#include "ui/CUpdateListDlg.h"

IUserInterface::Answer CQtUserInterface::MessageBox(const std::string& text, Buttons buttons,
                                                    Icon icon) {
    QMessageBox box(m_pMainWindow);
    box.setWindowTitle(QStringLiteral("Scoutwire"));
    // The text may carry what a server, a master or a file said: it is shown
    // as it is, never read as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(DisplayText(text));
    switch (icon) {
    case Icon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case Icon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case Icon::Error:
        box.setIcon(QMessageBox::Critical);
        break;
    case Icon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    case Icon::None:
        break;
    }
    if (buttons == Buttons::OkCancel)
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
    else if (buttons == Buttons::YesNoCancel)
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    else
        box.setStandardButtons(QMessageBox::Ok);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    case QMessageBox::Cancel:
        return Answer::Cancel;
    default:
        return Answer::Ok;
    }
}

void CQtUserInterface::SetStatusMessage(const std::string& text) {
    if (m_statusSink)
        m_statusSink(text);
}

void CQtUserInterface::CopyToClipboard(const std::string& text) {
    QGuiApplication::clipboard()->setText(DisplayText(text));
}

std::string CQtUserInterface::GetClipboardText() {
    return StoredText(QGuiApplication::clipboard()->text());
}

void CQtUserInterface::BeginWaitCursor() {
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}
void CQtUserInterface::EndWaitCursor() {
    QGuiApplication::restoreOverrideCursor();
}

bool CQtUserInterface::IsShiftDown() {
    return QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ShiftModifier);
}

namespace {

// The progress of a refresh while the window waits in the tray: the watches'
// refreshes go on there without a dialog popping up each time.
class CQuietProgress : public IProgress {
public:
    void SetStatus(const std::string&) override {}
    void SetRange(int, int) override {}
    void SetStep(int) override {}
    int SetPos(int pos) override {
        PumpMessages();
        return std::exchange(m_nPos, pos);
    }
    void PumpMessages() override { QCoreApplication::processEvents(); }
    bool CheckCancelButton() override {
        PumpMessages();
        return false;
    }

private:
    int m_nPos = 0;
};

} // namespace

std::unique_ptr<IProgress> CQtUserInterface::CreateProgress() {
    if (auto* frame = qobject_cast<CMainFrame*>(m_pMainWindow.data()); frame && frame->IsInTray())
        return std::make_unique<CQuietProgress>();
    auto dlg = std::make_unique<CProgressDlg>(m_pMainWindow);
    if (!dlg->Create())
        return nullptr;
    return dlg;
}

bool CQtUserInterface::EditQuery(Query& query) {
    CQueryDlg dlg(query, m_pMainWindow);
    return dlg.exec() == QDialog::Accepted;
}

bool CQtUserInterface::EditAddServer(uint32_t& address, int& port, std::string& hostName) {
    CAddServerDlg dlg(address, port, hostName, m_pMainWindow);
    if (dlg.exec() != QDialog::Accepted)
        return false;
    address = dlg.Address();
    port = dlg.Port();
    hostName = dlg.HostName();
    return true;
}

bool CQtUserInterface::EditPassword(std::string& password) {
    CPasswordDlg dlg(password, m_pMainWindow);
    if (dlg.exec() != QDialog::Accepted)
        return false;
    password = dlg.Password();
    return true;
}

bool CQtUserInterface::EditServerFilter(ServerFilter& filter, const std::vector<std::string>& games,
                                        const std::vector<std::string>& maps) {
    CServerFilterDlg dlg(filter, games, maps, m_pMainWindow);
    return dlg.exec() == QDialog::Accepted;
}

bool CQtUserInterface::EditMasterFilter(ServerFilter& filter, const std::vector<std::string>& games,
                                        const std::vector<std::string>& maps) {
    if (!m_pSettings)
        return false;
    CUpdateListDlg dlg(filter, *m_pSettings, games, maps, m_pMainWindow);
    return dlg.exec() == QDialog::Accepted;
}

bool CQtUserInterface::EditServerProperties(ServerInfo& server) {
    CServerPropertiesDlg dlg(server, *this, m_pMainWindow);
    return dlg.exec() == QDialog::Accepted;
}

void CQtUserInterface::ShowWatchAlert(const WatchAlert& alert) {
    if (auto* frame = qobject_cast<CMainFrame*>(m_pMainWindow.data()))
        frame->ShowWatchAlert(alert);
    else
        IUserInterface::ShowWatchAlert(alert);
}

void CQtUserInterface::OnWatchesChanged(int matchingWatches) {
    if (auto* frame = qobject_cast<CMainFrame*>(m_pMainWindow.data()))
        frame->OnWatchesChanged(matchingWatches);
}

void CQtUserInterface::OnBackgroundJoinChanged(const ServerInfo* server,
                                               const std::string& status) {
    if (auto* frame = qobject_cast<CMainFrame*>(m_pMainWindow.data()))
        frame->OnBackgroundJoinChanged(server, status);
}
