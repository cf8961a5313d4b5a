#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdint>
#include <memory>

// Runs scoutwire-lab for one test. It chooses the fleet's base address, the
// servers' port and the master's port so that labs started by test processes
// running in parallel do not collide, asks for a manifest, waits for the
// ready line, and stops the lab when destroyed. With "--protocol", "steam"
// among the arguments it also chooses the Steam master's and the web list's
// ports.
class LabProcess {
public:
    LabProcess();
    ~LabProcess();
    LabProcess(const LabProcess&) = delete;
    LabProcess& operator=(const LabProcess&) = delete;

    // Starts the lab with these arguments (not --base, --port, --master,
    // --manifest, --steam-master-port or --web-port, which are chosen here).
    // False with Error() on failure.
    bool Start(const QStringList& arguments = {});
    void Stop();
    QString Error() const { return m_error; }

    // Host order.
    uint32_t BaseAddress() const { return m_baseAddress; }
    uint16_t ServerPort() const { return m_serverPort; }
    uint32_t MasterAddress() const { return m_masterAddress; }
    uint16_t MasterPort() const { return m_masterPort; }
    // "127.0.0.1:27010"
    QString MasterText() const;
    // A lab started with --protocol steam: its Steam master ("127.0.0.1:P")
    // and web list (base "http://127.0.0.1:P", the key it accepts).
    bool Steam() const { return m_steam; }
    uint16_t SteamMasterPort() const { return m_steamMasterPort; }
    QString SteamMasterText() const;
    uint16_t WebPort() const { return m_webPort; }
    QString WebUrl() const;
    QString WebKey() const;

    const QJsonObject& Manifest() const { return m_manifest; }
    QJsonArray Servers() const { return m_manifest.value("servers").toArray(); }
    int ServerCount() const { return static_cast<int>(Servers().size()); }
    QJsonObject ServerAt(int index) const { return Servers().at(index).toObject(); }
    uint32_t AddressAt(int index) const { return m_baseAddress + static_cast<uint32_t>(index); }
    // "127.x.y.z:port" of the index-th server.
    QString EndpointAt(int index) const;

    // The raw bytes of a manifest string: from key + "Hex" when the manifest
    // gives one (names may hold Latin-1), else the text as Latin-1.
    static QByteArray Bytes(const QJsonObject& object, const QString& key);
    static QString FormatIP(uint32_t address);

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
