#include "SteamMasterServer.h"

#include "A2sEncoder.h"
#include "Fleet.h"
#include "LabOptions.h"
#include "MasterFilter.h"

#include <arpa/inet.h>
#include <chrono>
#include <vector>

namespace lab {

std::optional<SteamMasterRequest> SteamMasterRequest::Parse(const uint8_t* data, size_t length) {
    if (length < 3 || data[0] != 0x31)
        return std::nullopt;
    SteamMasterRequest request;
    request.region = data[1];
    size_t at = 2;
    uint32_t address = 0;
    for (int octet = 0; octet < 4; ++octet) {
        uint32_t value = 0;
        size_t digits = 0;
        while (at < length && data[at] >= '0' && data[at] <= '9' && digits < 3) {
            value = value * 10 + uint32_t(data[at++] - '0');
            ++digits;
        }
        if (digits == 0 || value > 255 || at >= length || data[at] != (octet < 3 ? '.' : ':'))
            return std::nullopt;
        ++at;
        address = address << 8 | value;
    }
    // The port takes digits while it stays a port, so a stray digit after
    // it is left alone like any other stray byte.
    uint32_t port = 0;
    size_t digits = 0;
    while (at < length && data[at] >= '0' && data[at] <= '9' &&
           port * 10 + uint32_t(data[at] - '0') <= 65535) {
        port = port * 10 + uint32_t(data[at++] - '0');
        ++digits;
    }
    if (digits == 0)
        return std::nullopt;
    request.seedAddress = address;
    request.seedPort = static_cast<uint16_t>(port);
    while (at < length && data[at] != 0)
        ++at;
    if (at < length) {
        const size_t start = ++at;
        while (at < length && data[at] != 0)
            ++at;
        request.filter.assign(reinterpret_cast<const char*>(data + start), at - start);
    }
    return request;
}

SteamMasterServer::SteamMasterServer(const Fleet& fleet, const LabOptions& options, QObject* parent)
    : MasterEndpoint(options, parent), m_fleet(fleet) {}

SteamMasterServer::~SteamMasterServer() = default;

bool SteamMasterServer::Start(QString& error) {
    return Listen(m_options.steamMasterPort, QStringLiteral("the Steam master"), error);
}

void SteamMasterServer::Answer(const uint8_t* data, size_t length, const sockaddr_in& from) {
    const std::optional<SteamMasterRequest> request = SteamMasterRequest::Parse(data, length);
    if (!request)
        return;
    if (m_options.steamMasterLimit > 0) {
        const auto now = std::chrono::steady_clock::now();
        Window& window = m_windows[ntohl(from.sin_addr.s_addr)];
        if (window.requests == 0 ||
            now - window.start >= std::chrono::milliseconds(m_options.steamMasterWindowMs))
            window = {now, 0};
        if (++window.requests > m_options.steamMasterLimit)
            return;
    }
    if (m_options.dropFirstMasterRequest &&
        m_droppedOnce.emplace(request->seedAddress, request->seedPort, request->filter).second)
        return;

    const bool listed = m_fleet.ListedCount() > 0;
    const int size = listed ? m_fleet.ListedCount() : m_fleet.Size();
    const bool first = request->seedAddress == 0 && request->seedPort == 0;
    const bool endless = m_options.masterMode == MasterMode::Endless;
    // Where the list goes on: after the seed's position. A seed that is no
    // server of the list continues after the addresses below it.
    int start = 0;
    if (!first && m_options.masterMode != MasterMode::Repeat) {
        if (listed) {
            const int position = m_fleet.ListedPosition(request->seedAddress);
            start = position < 0 ? size : position + 1;
        } else if (request->seedAddress >= m_fleet.AddressOf(0)) {
            const uint64_t after = uint64_t(request->seedAddress) - m_fleet.AddressOf(0) + 1;
            start = int(std::min<uint64_t>(after, uint64_t(size)));
        }
    }
    if (endless && start >= size)
        start = 0;

    const MasterFilter filter(request->filter, MasterFilter::Keys::Steam);
    const auto now = std::chrono::steady_clock::now();
    std::vector<A2sEncoder::SteamEntry> entries;
    const int batch = m_options.batchSize;
    int i = start;
    // An endless master wraps round, but looks at each server once a batch,
    // so a filter nothing passes still gets an (empty) answer.
    for (int looked = 0; int(entries.size()) < batch && (endless ? looked < size : i < size);
         ++looked, i = endless ? (i + 1) % size : i + 1) {
        if (listed)
            entries.push_back({m_fleet.ListedAddress(i), m_fleet.Port()});
        else if (m_fleet.SpeaksA2s(i) &&
                 filter.Matches(m_fleet.Summary(i), m_fleet.PlayersNow(i, now)))
            entries.push_back({m_fleet.AddressOf(i), m_fleet.Port()});
    }
    if (!endless && i >= size && int(entries.size()) < batch)
        entries.push_back({0, 0});
    const A2sEncoder::Bytes reply = A2sEncoder::SteamMasterBatch(entries);
    Reply(reply, from);
}

} // namespace lab
