#pragma once

#include "LabSocket.h"

#include <QObject>
#include <QSocketNotifier>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <tuple>

namespace lab {

class Fleet;
struct LabOptions;

// A Steam master request: 31, region, the seed "a.b.c.d:port" 00, the filter
// 00. Read leniently: qstat sends its continuation seed with a stray byte
// after the port and leaves off the filter's 00, so the seed is the leading
// dotted quad and port, and the filter whatever follows the first 00.
struct SteamMasterRequest {
    uint8_t region = 0xFF;
    uint32_t seedAddress = 0; // host order
    uint16_t seedPort = 0;
    std::string filter;

    static std::optional<SteamMasterRequest> Parse(const uint8_t* data, size_t length);
};

// The Steam master: lists the fleet (or the --servers-listed addresses) in
// address order, batchSize entries a datagram, each batch starting after the
// seed, the last ending with 0.0.0.0:0. Every batch is a pure function of
// (seed, filter), so a retry gets the same answer. Regions are not told
// apart: every lab server is in all of them. The hostile master modes:
// endless wraps round the list and never sends the end marker, repeat
// answers every continuation with the first batch again (so its last
// address, the next seed, repeats).
class SteamMasterServer : public QObject {
public:
    SteamMasterServer(const Fleet& fleet, const LabOptions& options, QObject* parent = nullptr);
    ~SteamMasterServer() override;

    bool Start(QString& error);

private:
    void OnReadable();
    void Answer(const uint8_t* data, size_t length, const sockaddr_in& from);

    const Fleet& m_fleet;
    const LabOptions& m_options;
    LabSocket m_socket;
    std::unique_ptr<QSocketNotifier> m_readable;
    // (seed, port, filter) already dropped once under --drop-first-master-request.
    std::set<std::tuple<uint32_t, uint16_t, std::string>> m_droppedOnce;
};

} // namespace lab
