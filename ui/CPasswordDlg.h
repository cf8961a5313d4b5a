#pragma once

#include <QDialog>
#include <string>

class QLineEdit;

// "Password Required": the password to join with, shown as typed.
class CPasswordDlg : public QDialog {
    Q_OBJECT
public:
    explicit CPasswordDlg(const std::string& password, QWidget* parent = nullptr);

    // The text as typed, possibly empty.
    std::string Password() const;

private:
    QLineEdit* m_pPassword;
    std::string m_strOriginal;
};
