#include "ui/CQtUserInterface.h"

#include <QApplication>
#include <QClipboard>
#include <QMessageBox>

#include "core/DisplayText.h"
#include "ui/CProgressDlg.h"

// Placeholder dialogs until the real ones are built: message boxes, the
// clipboard, the cursor and the progress dialog are real.

IUserInterface::Answer CQtUserInterface::MessageBox(const std::string& text, Buttons buttons,
                                                    Icon icon) {
    QMessageBox box(m_pMainWindow);
    box.setWindowTitle(QStringLiteral("Scoutwire"));
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

void CQtUserInterface::BeginWaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
void CQtUserInterface::EndWaitCursor() { QGuiApplication::restoreOverrideCursor(); }

bool CQtUserInterface::IsShiftDown() {
    return QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ShiftModifier);
}

std::unique_ptr<IProgress> CQtUserInterface::CreateProgress() {
    auto dlg = std::make_unique<CProgressDlg>(m_pMainWindow);
    if (!dlg->Create())
        return nullptr;
    return dlg;
}

bool CQtUserInterface::EditQuery(Query&) { return false; }
bool CQtUserInterface::EditAddServer(uint32_t&, int&, std::string&) { return false; }
bool CQtUserInterface::EditPassword(std::string&) { return false; }
bool CQtUserInterface::EditServerFilter(ServerFilter&, const std::vector<std::string>&,
                                        const std::vector<std::string>&) {
    return false;
}
bool CQtUserInterface::EditMasterFilter(ServerFilter&, const std::vector<std::string>&,
                                        const std::vector<std::string>&) {
    return true;
}
bool CQtUserInterface::EditServerProperties(ServerInfo&) { return false; }
