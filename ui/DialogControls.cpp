#include "ui/DialogControls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>

#include "core/DisplayText.h"

QLabel* MnemonicLabel(const QString& text, QWidget* buddy, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setBuddy(buddy);
    return label;
}

QLabel* HintLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QLineEdit* LineEdit(const char* name, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    return edit;
}

QLineEdit* ReadOnlyEdit(const char* name, QWidget* parent) {
    QLineEdit* edit = LineEdit(name, parent);
    edit->setReadOnly(true);
    return edit;
}

QLineEdit* DigitsEdit(const char* name, QWidget* parent) {
    QLineEdit* edit = LineEdit(name, parent);
    static const QRegularExpression digits(QStringLiteral("[0-9]*"));
    edit->setValidator(new QRegularExpressionValidator(digits, edit));
    return edit;
}

QCheckBox* CheckBox(const QString& text, const char* name, QWidget* parent) {
    auto* box = new QCheckBox(text, parent);
    box->setObjectName(QString::fromLatin1(name));
    return box;
}

QRadioButton* RadioButton(const QString& text, const char* name, QWidget* parent) {
    auto* button = new QRadioButton(text, parent);
    button->setObjectName(QString::fromLatin1(name));
    return button;
}

QPushButton* PushButton(const QString& text, const char* name, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::fromLatin1(name));
    return button;
}

QComboBox* DropDownCombo(const char* name, QWidget* parent) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(QString::fromLatin1(name));
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    return combo;
}

QComboBox* ChoiceCombo(const char* name, QWidget* parent) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(QString::fromLatin1(name));
    return combo;
}

QComboBox* YesNoCombo(const char* name, QWidget* parent) {
    QComboBox* combo = ChoiceCombo(name, parent);
    combo->addItem(QObject::tr("No"));
    combo->addItem(QObject::tr("Yes"));
    return combo;
}

QFrame* EtchedLine(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

void SetTabChain(std::initializer_list<QWidget*> widgets) {
    QWidget* previous = nullptr;
    for (QWidget* widget : widgets) {
        if (previous)
            QWidget::setTabOrder(previous, widget);
        previous = widget;
    }
}

void AddItems(QComboBox* combo, const std::vector<std::string>& items) {
    for (const std::string& item : items)
        combo->addItem(DisplayText(item),
                       QByteArray(item.data(), static_cast<qsizetype>(item.size())));
}

std::string RecordText(const QString& text, const std::string& original) {
    if (text == DisplayText(original))
        return original;
    return StoredText(text);
}

std::string RecordText(const QComboBox* combo, const std::string& original) {
    const QString text = combo->currentText();
    if (text == DisplayText(original))
        return original;
    const int index = combo->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0) {
        const QVariant bytes = combo->itemData(index);
        if (bytes.typeId() == QMetaType::QByteArray) {
            const QByteArray data = bytes.toByteArray();
            return std::string(data.constData(), static_cast<size_t>(data.size()));
        }
    }
    return StoredText(text);
}

QString IntegerMessage() {
    return QObject::tr("Please enter an integer.");
}

void ReportToUser(QWidget* dialog, const QString& text) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Scoutwire"), text, QMessageBox::Ok,
                    dialog);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

bool ReadSignedInt(QLineEdit* edit, int32_t& value) {
    const QString text = edit->text().trimmed();
    bool ok = text.isEmpty();
    const int read = ok ? 0 : text.toInt(&ok);
    if (ok) {
        value = read;
        return true;
    }
    ReportToUser(edit->window(), IntegerMessage());
    edit->setFocus();
    edit->selectAll();
    return false;
}

int DluX(const QWidget* widget, int units) {
    return units * widget->fontMetrics().averageCharWidth() / 4;
}

QBoxLayout* ButtonRow(std::initializer_list<QPushButton*> buttons) {
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    for (QPushButton* button : buttons)
        row->addWidget(button);
    return row;
}
