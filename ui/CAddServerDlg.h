#pragma once

#include <QDialog>
#include <cstdint>
#include <functional>
#include <string>

class CIpAddressEdit;
class QLineEdit;

// "Add Server": an address and port, or a host name in place of the address.
class CAddServerDlg : public QDialog {
    Q_OBJECT
public:
    CAddServerDlg(uint32_t address, int port, const std::string& hostName,
                  QWidget* parent = nullptr);

    // OK does nothing while the address has a blank field; a port that is
    // not an integer from 1 to 65535 is reported and gets the focus back.
    void accept() override;

    // The values taken on OK.
    uint32_t Address() const { return m_dwAddress; }
    int Port() const { return m_nPort; }
    const std::string& HostName() const { return m_strHostName; }

    // Where a refused port is reported; a warning box unless replaced.
    void SetReporter(std::function<void(const QString&)> reporter) {
        m_reporter = std::move(reporter);
    }

    CIpAddressEdit* AddressEdit() const { return m_pAddress; }

private:
    bool ReadPort();
    void Report(const QString& text);

    CIpAddressEdit* m_pAddress;
    QLineEdit* m_pPort;
    QLineEdit* m_pHostName;
    uint32_t m_dwAddress;
    int m_nPort;
    std::string m_strHostName;
    std::function<void(const QString&)> m_reporter;
};
