#include "ui/CIpAddressEdit.h"

#include <QEvent>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>

#include <algorithm>

CIpAddressEdit::CIpAddressEdit(QWidget* parent) : QWidget(parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    static const QRegularExpression octet(QStringLiteral("[0-9]{0,3}"));
    const int width = fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 8;
    for (int i = 0; i < 4; ++i) {
        if (i > 0)
            layout->addWidget(new QLabel(QStringLiteral("."), this));
        auto* field = new QLineEdit(this);
        field->setObjectName(QStringLiteral("ipField%1").arg(i + 1));
        field->setValidator(new QRegularExpressionValidator(octet, field));
        field->setMaxLength(3);
        field->setAlignment(Qt::AlignCenter);
        field->setFixedWidth(width);
        field->installEventFilter(this);
        connect(field, &QLineEdit::textEdited, this, [this, i] { OnEdited(i); });
        layout->addWidget(field);
        m_fields[static_cast<size_t>(i)] = field;
    }
    setFocusProxy(m_fields[0]);
}

void CIpAddressEdit::SetAddress(uint32_t address) {
    for (int i = 0; i < 4; ++i)
        Field(i)->setText(QString::number((address >> (24 - 8 * i)) & 0xFF));
}

int CIpAddressEdit::GetAddress(uint32_t& address) const {
    int filled = 0;
    address = 0;
    for (int i = 0; i < 4; ++i) {
        const QString text = Field(i)->text();
        address <<= 8;
        if (text.isEmpty())
            continue;
        ++filled;
        address |= static_cast<uint32_t>(std::min(text.toInt(), 255));
    }
    return filled;
}

void CIpAddressEdit::ClearAddress() {
    for (QLineEdit* field : m_fields)
        field->clear();
}

void CIpAddressEdit::OnEdited(int index) {
    QLineEdit* field = Field(index);
    if (field->text().toInt() > 255)
        field->setText(QStringLiteral("255"));
    if (field->text().size() == 3 && field->cursorPosition() == 3 && index < 3)
        FocusField(index + 1);
}

void CIpAddressEdit::FocusField(int index) {
    Field(index)->setFocus(Qt::OtherFocusReason);
    Field(index)->selectAll();
}

bool CIpAddressEdit::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    const auto it = std::find(m_fields.begin(), m_fields.end(), watched);
    if (it == m_fields.end())
        return QWidget::eventFilter(watched, event);
    const int index = static_cast<int>(it - m_fields.begin());
    QLineEdit* field = *it;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->text() == QLatin1String(".")) {
        if (index < 3 && !field->text().isEmpty())
            FocusField(index + 1);
        return true;
    }
    // Backspace in an empty field and the arrow keys at a field's edge cross
    // into the neighbouring field, as one address edit would.
    if (key->key() == Qt::Key_Backspace && field->text().isEmpty() && index > 0) {
        FocusField(index - 1);
        Field(index - 1)->end(false);
        return true;
    }
    if (key->key() == Qt::Key_Left && field->cursorPosition() == 0 && index > 0) {
        Field(index - 1)->setFocus(Qt::OtherFocusReason);
        Field(index - 1)->end(false);
        return true;
    }
    if (key->key() == Qt::Key_Right && field->cursorPosition() == field->text().size() &&
        index < 3) {
        Field(index + 1)->setFocus(Qt::OtherFocusReason);
        Field(index + 1)->home(false);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
