#include "ui/CScoutwireDialogBar.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>

#include "core/DisplayText.h"
#include "ui/IMainFrame.h"

namespace {

constexpr int kStatusLineId = 1003;

} // namespace

CScoutwireDialogBar::CScoutwireDialogBar(IMainFrame& frame, QWidget* parent)
    : QWidget(parent), m_frame(frame), m_pEdit(new QLineEdit(this)) {
    m_pEdit->setObjectName(QStringLiteral("statusLine%1").arg(kStatusLineId));
    m_pEdit->setReadOnly(true);
    m_pEdit->installEventFilter(this);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(m_pEdit);
}

void CScoutwireDialogBar::SetText(const QString& text) {
    m_pEdit->setText(text);
    // Long texts show their beginning, as the edit box always did.
    m_pEdit->setCursorPosition(0);
}

QString CScoutwireDialogBar::Text() const {
    return m_pEdit->text();
}

bool CScoutwireDialogBar::IsCopyKey(const QKeyEvent& key) {
    if ((key.modifiers() & ~Qt::KeypadModifier) != Qt::ControlModifier)
        return false;
    return key.key() == Qt::Key_C || key.key() == Qt::Key_Insert || key.key() == Qt::Key_Pause ||
           key.key() == Qt::Key_Cancel;
}

bool CScoutwireDialogBar::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_pEdit &&
        (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress)) {
        const auto& key = static_cast<const QKeyEvent&>(*event);
        if (IsCopyKey(key)) {
            // Claim the key from the Edit menu's Copy, then copy the whole line.
            event->accept();
            if (event->type() == QEvent::KeyPress)
                m_frame.CopyToClipboard(StoredText(m_pEdit->text()));
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
