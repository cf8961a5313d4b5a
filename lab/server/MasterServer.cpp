#include "MasterServer.h"

#include "Fleet.h"
#include "LabOptions.h"
#include "MasterFilter.h"
#include "MasterRequest.h"
#include "ReplyEncoder.h"

#include <algorithm>

namespace lab {

MasterServer::MasterServer(const Fleet& fleet, const LabOptions& options, QObject* parent)
    : MasterEndpoint(options, parent), m_fleet(fleet) {}

MasterServer::~MasterServer() = default;

bool MasterServer::Start(QString& error) {
    return Listen(m_options.masterPort, QStringLiteral("the master server"), error);
}

void MasterServer::Answer(const uint8_t* data, size_t length, const sockaddr_in& from) {
    const std::optional<MasterRequest> request = MasterRequest::Parse(data, length);
    if (!request)
        return;
    const bool listed = m_fleet.ListedCount() > 0;
    const int size = listed ? m_fleet.ListedCount() : m_fleet.Size();
    const bool endless = m_options.masterMode == MasterMode::Endless;
    // Id 0 starts the list; any other id must be one this master handed out
    // (an endless master hands out ids past the end and wraps them round).
    const uint32_t id = request->batchId;
    if (id != 0 && (id % 4 != 3 || (!endless && id / 4 >= uint32_t(size))))
        return;
    if (m_options.dropFirstMasterRequest && m_droppedOnce.emplace(id, request->filter).second)
        return;

    // An endless master's ids count on past the end of the list, lap after
    // lap: every batch it hands out is new, and still a pure function of
    // its id.
    const uint32_t virtualStart = id / 4;
    const int start = int(virtualStart % uint32_t(size));
    std::vector<ReplyEncoder::MasterEntry> entries;
    int end = size; // one past the last index looked at
    if (listed) {
        // Made-up addresses: no fleet behind them, so no filter either.
        end = std::min(size, start + m_options.batchSize);
        for (int i = start; i < end; ++i)
            entries.push_back({m_fleet.ListedAddress(i), m_fleet.Port()});
    } else {
        const MasterFilter filter(request->filter);
        const auto now = std::chrono::steady_clock::now();
        for (int i = start; i < size; ++i) {
            // A steam fleet's old master knows only its old-protocol servers.
            if (m_fleet.SpeaksA2s(i) ||
                !filter.Matches(m_fleet.Summary(i), m_fleet.PlayersNow(i, now)))
                continue;
            if (int(entries.size()) == m_options.batchSize) {
                end = i;
                break;
            }
            entries.push_back({m_fleet.AddressOf(i), m_fleet.Port()});
        }
    }
    uint32_t next = end < size ? BatchIdOf(end) : 0;
    if (m_options.masterMode == MasterMode::Repeat && id != 0)
        next = id;
    else if (endless)
        next = (virtualStart + uint32_t(end - start)) * 4 + 3;
    const ReplyEncoder::Bytes reply = ReplyEncoder::MasterBatch(next, entries);
    Reply(reply, from);
}

} // namespace lab
