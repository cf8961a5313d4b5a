#pragma once

#include <QString>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

class QBoxLayout;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QWidget;

// Building blocks shared by the modal dialogs. Every control gets an object
// name, so that tests drive the very widgets the user sees.

// A label whose "&" mnemonic moves the focus to its buddy.
QLabel* MnemonicLabel(const QString& text, QWidget* buddy, QWidget* parent);
// A plain label without a mnemonic.
QLabel* HintLabel(const QString& text, QWidget* parent);
QLineEdit* LineEdit(const char* name, QWidget* parent);
QLineEdit* ReadOnlyEdit(const char* name, QWidget* parent);
// Accepts digits only as typed characters; text set by the program is shown
// as it is, a sign included.
QLineEdit* DigitsEdit(const char* name, QWidget* parent);
QCheckBox* CheckBox(const QString& text, const char* name, QWidget* parent);
QRadioButton* RadioButton(const QString& text, const char* name, QWidget* parent);
QPushButton* PushButton(const QString& text, const char* name, QWidget* parent);
// An editable combo box; typed text never becomes a list item.
QComboBox* DropDownCombo(const char* name, QWidget* parent);
// A selection-only list, filled by the caller.
QComboBox* ChoiceCombo(const char* name, QWidget* parent);
// A selection-only "No" / "Yes" list (index 0 / 1).
QComboBox* YesNoCombo(const char* name, QWidget* parent);
QFrame* EtchedLine(QWidget* parent);

// The focus moves through the widgets in the order given.
void SetTabChain(std::initializer_list<QWidget*> widgets);

// Items keep the record's bytes they were made from.
void AddItems(QComboBox* combo, const std::vector<std::string>& items);

// The bytes to store for a field's text. A text that still shows the
// record's bytes, or an item of the list, gives those very bytes back, so
// that a name received as UTF-8 is not re-encoded just by passing through a
// dialog; only typed text goes through StoredText.
std::string RecordText(const QString& text, const std::string& original);
std::string RecordText(const QComboBox* combo, const std::string& original);

// The framework's message for a field that must hold an integer.
QString IntegerMessage();
// A warning box over the dialog; the text is shown as it is, never as markup.
void ReportToUser(QWidget* dialog, const QString& text);
// A signed field: its number, or 0 when it is empty. A text that is no
// 32-bit number is not stored as anything: the user is told with the integer
// message, the field gets the focus, and the answer is false.
bool ReadSignedInt(QLineEdit* edit, int32_t& value);

inline void SetBit(uint32_t& flags, uint32_t bit, bool on) {
    if (on)
        flags |= bit;
    else
        flags &= ~bit;
}

// Horizontal dialog units of the old templates in pixels of the widget's
// font, so that fields keep their proportions.
int DluX(const QWidget* widget, int units);

// A row of buttons, right-aligned, in the order given.
QBoxLayout* ButtonRow(std::initializer_list<QPushButton*> buttons);
