#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>

#include "net/CUdpSocket.h"

// The one exchange with the master server: batches of the server list,
// asked for one after the other, each re-sent up to WONRetries times.
class CMasterSocket : public CUdpSocket {
public:
    using CUdpSocket::CUdpSocket;

    // A master controls every batch id: one exchange follows at most this
    // many batches and takes at most this many entries, far more than any
    // real list (a few tens of thousands of servers), then counts as complete.
    static constexpr int kMaxBatches = 10000;
    static constexpr int kMaxEntries = 1000000;

    bool SendListRequest(int32_t batchId);
    // Re-sends the last batch request while retries are left.
    bool Retry();

    int32_t m_nBatchId = -1; // the last batch asked for; -1 before any
    int32_t m_nRetriesLeft = 0;
    std::string m_strGame;
    std::string m_strMap;
    uint8_t m_bEmpty = 0;
    uint8_t m_bHasEmpty = 0;
    uint8_t m_bDedicated = 0;
    uint8_t m_bHasType = 0;

    // Every id asked for in this exchange: a reply that names one of them
    // again is a late copy or a master going round in circles.
    std::unordered_set<uint32_t> m_requestedIds;
    int m_nEntriesTaken = 0;
    // The "Unsupported command" box is shown once per exchange.
    bool m_bUnsupportedShown = false;
};
