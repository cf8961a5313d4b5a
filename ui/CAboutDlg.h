#pragma once

#include <QDialog>
#include <string>

class IUserInterface;
class QLabel;
class QPlainTextEdit;

// The About box: the program's name, version and copyright from its own
// version data, and a few words about it.
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    // The result of a box that could not read the version data and so never
    // showed itself.
    static constexpr int Aborted = 3;

    // versionFile names the file whose version is shown; the program's own
    // when empty.
    explicit CAboutDlg(IUserInterface& ui, QWidget* parent = nullptr, std::string versionFile = {});

    // Fills the box from the version data, then runs it. Without version
    // data the user is told and the box ends at once with Aborted.
    int exec() override;
    // The filling alone; false after the message when there is no version
    // data.
    bool InitDialog();

    // Four paragraphs, lines ending in CR LF.
    static QString DescriptionText();

private:
    IUserInterface& m_ui;
    std::string m_strVersionFile;
    QLabel* m_pIcon;
    QLabel* m_pVersion;
    QLabel* m_pCopyright;
    QPlainTextEdit* m_pDescription;
};
