#pragma once

#include "A2sEncoder.h"
#include "LabOptions.h"
#include "ServerContent.h"
#include "ServerSummary.h"

#include <chrono>
#include <string>
#include <vector>

namespace lab {

// The simulated game servers: their addresses, behaviour and content. Every
// server's content is a pure function of (seed, its index), so a seed gives
// the same fleet whatever the number of servers, and nothing but a small
// summary is kept per server.
class Fleet {
public:
    using Clock = std::chrono::steady_clock;

    explicit Fleet(const LabOptions& options);

    int Size() const { return static_cast<int>(m_summaries.size()); }
    uint32_t AddressOf(int index) const { return m_options.baseAddress + uint32_t(index); }
    // -1 when the address is not one of the fleet's.
    int IndexOf(uint32_t address) const;
    uint16_t Port() const { return m_options.port; }
    const LabOptions& Options() const { return m_options; }
    const ServerSummary& Summary(int index) const { return m_summaries[size_t(index)]; }
    // The content as the lab starts; draining servers lose players later.
    ServerContent Content(int index) const;
    // A draining server loses its last player every drain interval; a
    // server gains the wanderers that stand on it.
    int PlayersNow(int index, Clock::time_point now) const;
    // The player list at that moment: the content's, then the wanderers.
    std::vector<LabPlayer> PlayerListNow(int index, const ServerContent& content,
                                         Clock::time_point now) const;

    // Under --player-churn, kWanderers players named "Wanderer1".. go from
    // server to server: in the churn period number `epoch` since the lab
    // started, each is offline (a quarter of the time) or on one normal
    // server with room, drawn from the seed alone. They come last in their
    // server's player list.
    static constexpr int kWanderers = 4;
    static std::string WandererName(int wanderer);
    int64_t ChurnEpoch(Clock::time_point now) const;
    // The server index of each wanderer in that period, -1 when offline.
    std::vector<int> WanderersAt(int64_t epoch) const;
    // The wall clock (ms since 1970) of the lab's start, in the manifest:
    // churn period n runs from StartWallMs() + n * churnPeriodMs, and so on.
    int64_t StartWallMs() const { return m_startWallMs; }
    // Silent servers never are; flapping ones are up for every other period.
    bool IsUp(int index, Clock::time_point now) const;
    // The i-th of the made-up addresses the master lists under --servers-listed.
    int ListedCount() const { return m_options.serversListed; }
    uint32_t ListedAddress(int i) const;
    static constexpr uint32_t kListedBase = 0x7FC80000; // 127.200.0.0
    // Whether the lossy network swallows the n-th request to a server.
    bool DropsRequest(int index, uint32_t requestNumber) const;

    // Whether the server speaks A2S: a steam fleet's, unless it is one of
    // its old-protocol servers.
    bool SpeaksA2s(int index) const { return m_options.Steam() && !Summary(index).legacy; }
    // What an A2S server says beyond the old content.
    A2sInfo A2s(int index) const;
    // The challenge a server hands one client address (host order); stable,
    // so a client may keep it, and never all ones.
    uint32_t ChallengeFor(int index, uint32_t clientAddress) const;
    // The position of a made-up address in the --servers-listed list, -1
    // when it is none of them.
    int ListedPosition(uint32_t address) const;
    static uint16_t AppIdOf(const char* gameDir);

    static int GameCount();
    static const char* GameDir(int game);
    static int MapCount();
    static const char* MapName(int map);

private:
    ServerSummary DrawSummary(int index) const;

    LabOptions m_options;
    std::vector<ServerSummary> m_summaries;
    Clock::time_point m_start;
    int64_t m_startWallMs = 0;
    // The last period's placement: every request asks for it.
    mutable int64_t m_cachedEpoch = -1;
    mutable std::vector<int> m_cachedWanderers;
};

} // namespace lab
