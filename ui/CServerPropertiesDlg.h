#pragma once

#include <QDialog>
#include <cstdint>

class IUserInterface;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class ServerInfo;

// "Server Properties": what is known of one server, with its join password,
// annotation and host name editable. The record changes only on OK.
class CServerPropertiesDlg : public QDialog {
    Q_OBJECT
public:
    // The look-up reports its failures through ui.
    CServerPropertiesDlg(ServerInfo& server, IUserInterface& ui, QWidget* parent = nullptr);

    void accept() override;

    // The server type and OS bytes as shown: 0 is empty, the known letters
    // are spelt out, any other byte stands for itself.
    static QString TypeText(char type);
    static QString OSText(char os);
    // How the server is queried, with the list that goes with it.
    static QString ProtocolText(uint8_t protocol);

private:
    void LookupHostName();

    ServerInfo& m_server;
    IUserInterface& m_ui;
    QLineEdit* m_pHostName;
    QCheckBox* m_pConnectByHostName;
    QLineEdit* m_pPassword;
    QPlainTextEdit* m_pAnnotation;
};
