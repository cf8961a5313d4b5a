#pragma once

#include <QHostAddress>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdint>
#include <memory>

// Runs scoutwire-lab for one test, on addresses and ports that labs of test
// processes running in parallel do not collide on; reads its manifest, stops
// it when destroyed.
class LabProcess {
public:
    LabProcess();
    ~LabProcess();
    LabProcess(const LabProcess&) = delete;
    LabProcess& operator=(const LabProcess&) = delete;

    // The addresses, ports and manifest path are chosen here. False with Error() on failure.
    bool Start(const QStringList& arguments = {});
    void Stop();
    QString Error() const { return m_error; }

    // Host order.
    uint32_t BaseAddress() const { return m_baseAddress; }
    uint16_t ServerPort() const { return m_serverPort; }
    uint32_t MasterAddress() const { return m_masterAddress; }
    uint16_t MasterPort() const { return m_masterPort; }
    QString MasterText() const { return Endpoint(m_masterAddress, m_masterPort); }
    // Of a lab started with --protocol steam.
    bool Steam() const { return m_steam; }
    uint16_t SteamMasterPort() const { return m_steamMasterPort; }
    QString SteamMasterText() const { return Endpoint(m_masterAddress, m_steamMasterPort); }
    QString WebUrl() const { return "http://" + Endpoint(m_masterAddress, m_webPort); }
    QString WebKey() const { return m_manifest["web"].toObject()["key"].toString(); }

    const QJsonObject& Manifest() const { return m_manifest; }
    QJsonArray Servers() const { return m_manifest.value("servers").toArray(); }
    int ServerCount() const { return static_cast<int>(Servers().size()); }
    QJsonObject ServerAt(int index) const { return Servers().at(index).toObject(); }
    uint32_t AddressAt(int index) const { return m_baseAddress + static_cast<uint32_t>(index); }
    QString EndpointAt(int index) const { return Endpoint(AddressAt(index), m_serverPort); }

    // The raw bytes of a manifest string: from key + "Hex" when the manifest
    // gives one (names may hold Latin-1), else the text as Latin-1.
    static QByteArray Bytes(const QJsonObject& object, const QString& key);
    static QString FormatIP(uint32_t address) { return QHostAddress(address).toString(); }
    static QString Endpoint(uint32_t address, uint16_t port) {
        return FormatIP(address) + ':' + QString::number(port);
    }

private:
    enum class Outcome { Ready, PortTaken, Failed };
    Outcome Launch(const QStringList& arguments);

    std::unique_ptr<QProcess> m_process;
    QTemporaryDir m_dir;
    QString m_error;
    uint32_t m_baseAddress = 0;
    uint16_t m_serverPort = 0;
    uint32_t m_masterAddress = 0x7F000001;
    uint16_t m_masterPort = 0;
    bool m_steam = false;
    uint16_t m_steamMasterPort = 0;
    uint16_t m_webPort = 0;
    QJsonObject m_manifest;
};
