#pragma once

#include "MasterEndpoint.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
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
// address, the next seed, repeats). Like the real one, it can stop answering
// a client that asks too often (--steam-master-limit) until a window ends.
class SteamMasterServer : public MasterEndpoint {
public:
    SteamMasterServer(const Fleet& fleet, const LabOptions& options, QObject* parent = nullptr);
    ~SteamMasterServer() override;

    bool Start(QString& error);

private:
    void Answer(const uint8_t* data, size_t length, const sockaddr_in& from) override;

    const Fleet& m_fleet;
    // (seed, port, filter) already dropped once under --drop-first-master-request.
    std::set<std::tuple<uint32_t, uint16_t, std::string>> m_droppedOnce;
    // Per client address: when its window began and the requests in it.
    struct Window {
        std::chrono::steady_clock::time_point start;
        int requests = 0;
    };
    std::map<uint32_t, Window> m_windows;
};

} // namespace lab
