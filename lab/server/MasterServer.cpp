#include "MasterServer.h"

#include "Fleet.h"
#include "LabOptions.h"
#include "MasterFilter.h"
#include "MasterRequest.h"
#include "ReplyEncoder.h"

namespace lab {

MasterServer::MasterServer(const Fleet& fleet, const LabOptions& options, QObject* parent)
    : QObject(parent), m_fleet(fleet), m_options(options) {}

MasterServer::~MasterServer() = default;

bool MasterServer::Start(QString& error) {
    if (!m_socket.Open(m_options.masterAddress, m_options.masterPort, false, error)) {
        error = QStringLiteral("cannot bind the master server to %1:%2: %3")
                    .arg(FormatIPv4(m_options.masterAddress))
                    .arg(m_options.masterPort)
                    .arg(error);
        return false;
    }
    m_readable = std::make_unique<QSocketNotifier>(m_socket.Fd(), QSocketNotifier::Read);
    connect(m_readable.get(), &QSocketNotifier::activated, this, &MasterServer::OnReadable);
    return true;
}

void MasterServer::OnReadable() {
    uint8_t buffer[2048];
    for (int i = 0; i < 256; ++i) {
        sockaddr_in from{};
        uint32_t destination = 0;
        const ssize_t length = m_socket.Receive(buffer, sizeof buffer, from, destination);
        if (length < 0)
            return;
        Answer(buffer, size_t(length), from);
    }
}

void MasterServer::Answer(const uint8_t* data, size_t length, const sockaddr_in& from) {
    const std::optional<MasterRequest> request = MasterRequest::Parse(data, length);
    if (!request)
        return;
    // Id 0 starts the list; any other id must be one this master handed out.
    const uint32_t id = request->batchId;
    if (id != 0 && (id % 4 != 3 || id / 4 >= uint32_t(m_fleet.Size())))
        return;
    if (m_options.dropFirstMasterRequest && m_droppedOnce.emplace(id, request->filter).second)
        return;

    const MasterFilter filter(request->filter);
    const auto now = std::chrono::steady_clock::now();
    std::vector<ReplyEncoder::MasterEntry> entries;
    uint32_t next = 0;
    for (int i = int(id / 4); i < m_fleet.Size(); ++i) {
        if (!filter.Matches(m_fleet.Summary(i), m_fleet.PlayersNow(i, now)))
            continue;
        if (int(entries.size()) == m_options.batchSize) {
            next = BatchIdOf(i);
            break;
        }
        entries.push_back({m_fleet.AddressOf(i), m_fleet.Port()});
    }
    const ReplyEncoder::Bytes reply = ReplyEncoder::MasterBatch(next, entries);
    m_socket.Send(reply.data(), reply.size(), from, 0);
}

} // namespace lab
