#include "LabProcess.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kStartTimeoutMs = 60000;
constexpr int kAttempts = 24;
// Below Linux's ephemeral range, so the lab never races a client socket.
constexpr int kFirstPort = 20000;
constexpr int kPortSpan = 12000;
// A Steam lab's master (UDP) and web list (TCP) share a number of their own.
constexpr int kFirstSteamPort = kFirstPort - kPortSpan / 2;
// The lab's exit code when it cannot bind a socket.
constexpr int kBindFailure = 3;

bool CanBind(uint32_t address, uint16_t port, int type = SOCK_DGRAM) {
    const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(address);
    local.sin_port = htons(port);
    const bool ok = ::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
    ::close(fd);
    return ok;
}

} // namespace

LabProcess::LabProcess() {
    // Only the ports have to differ; an octet per process keeps captures readable.
    const auto pid = static_cast<uint32_t>(QCoreApplication::applicationPid());
    m_baseAddress = (127u << 24) | ((32 + pid % 160) << 16) | 1;
}

LabProcess::~LabProcess() {
    Stop();
}

QByteArray LabProcess::Bytes(const QJsonObject& object, const QString& key) {
    const QJsonValue hex = object.value(key + QStringLiteral("Hex"));
    return hex.isString() ? QByteArray::fromHex(hex.toString().toLatin1())
                          : object.value(key).toString().toLatin1();
}

bool LabProcess::Start(const QStringList& arguments) {
    Stop();
    if (!m_dir.isValid())
        return m_error = QStringLiteral("no temporary folder for the manifest"), false;
    const auto pid = static_cast<int>(QCoreApplication::applicationPid());
    const int first = (pid * 37) % (kPortSpan / 2);
    const qsizetype protocol = arguments.indexOf(QStringLiteral("--protocol"));
    m_steam = protocol >= 0 && arguments.value(protocol + 1) == QStringLiteral("steam");
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const int slot = (first + attempt * 101) % (kPortSpan / 2);
        m_serverPort = static_cast<uint16_t>(kFirstPort + 2 * slot);
        m_masterPort = static_cast<uint16_t>(m_serverPort + 1);
        if (!CanBind(0, m_serverPort) || !CanBind(m_masterAddress, m_masterPort))
            continue;
        if (m_steam) {
            m_steamMasterPort = static_cast<uint16_t>(kFirstSteamPort + slot);
            m_webPort = m_steamMasterPort;
            if (!CanBind(m_masterAddress, m_steamMasterPort) ||
                !CanBind(m_masterAddress, m_webPort, SOCK_STREAM))
                continue;
        }
        switch (Launch(arguments)) {
        case Outcome::Ready:
            return true;
        case Outcome::PortTaken:
            continue;
        case Outcome::Failed:
            return false;
        }
    }
    m_error =
        QStringLiteral("no free pair of ports after %1 attempts (%2)").arg(kAttempts).arg(m_error);
    return false;
}

LabProcess::Outcome LabProcess::Launch(const QStringList& arguments) {
    const QString manifestPath = m_dir.filePath(QStringLiteral("manifest.json"));
    QFile::remove(manifestPath);
    m_process = std::make_unique<QProcess>();
    m_process->setProgram(QStringLiteral(SCOUTWIRE_LAB_PATH));
    QStringList chosen{"--base", FormatIP(m_baseAddress), "--port", QString::number(m_serverPort),
                       "--master", MasterText(), "--manifest", manifestPath};
    if (m_steam)
        chosen << "--steam-master-port" << QString::number(m_steamMasterPort) << "--web-port"
               << QString::number(m_webPort);
    m_process->setArguments(arguments + chosen);
    m_process->start();
    if (!m_process->waitForStarted(kStartTimeoutMs)) {
        m_error = QStringLiteral("cannot start %1: %2")
                      .arg(QStringLiteral(SCOUTWIRE_LAB_PATH), m_process->errorString());
        return Outcome::Failed;
    }

    const QDeadlineTimer deadline(kStartTimeoutMs);
    while (!m_process->canReadLine()) {
        if (m_process->state() != QProcess::Running ||
            !m_process->waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
            m_process->waitForFinished(1000);
            const QString stderrText = QString::fromLocal8Bit(m_process->readAllStandardError());
            const bool exited = m_process->state() == QProcess::NotRunning;
            m_error = exited ? QStringLiteral("the lab exited (%1): %2")
                                   .arg(m_process->exitCode())
                                   .arg(stderrText.trimmed())
                             : QStringLiteral("the lab did not get ready in time");
            const bool portTaken = exited && m_process->exitCode() == kBindFailure;
            Stop();
            return portTaken ? Outcome::PortTaken : Outcome::Failed;
        }
    }
    const QString readyLine = QString::fromLocal8Bit(m_process->readLine()).trimmed();
    QFile file(manifestPath);
    QJsonParseError parseError{};
    const QJsonDocument document = file.open(QIODevice::ReadOnly)
                                       ? QJsonDocument::fromJson(file.readAll(), &parseError)
                                       : QJsonDocument();
    if (!readyLine.startsWith(QStringLiteral("scoutwire-lab ready:")) || !document.isObject()) {
        m_error = QStringLiteral("no ready line (%1) or manifest %2 (%3)")
                      .arg(readyLine, manifestPath, parseError.errorString());
        Stop();
        return Outcome::Failed;
    }
    m_manifest = document.object();
    return Outcome::Ready;
}

void LabProcess::Stop() {
    if (!m_process)
        return;
    if (m_process->state() != QProcess::NotRunning) {
        m_process->terminate();
        if (!m_process->waitForFinished(5000)) {
            m_process->kill();
            m_process->waitForFinished(5000);
        }
    }
    m_process.reset();
}
