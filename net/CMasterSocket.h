#pragma once

#include <cstdint>
#include <string>

#include "net/CUdpSocket.h"

// The one exchange with the master server: batches of the server list,
// asked for one after the other, each re-sent up to WONRetries times.
class CMasterSocket : public CUdpSocket {
public:
    using CUdpSocket::CUdpSocket;

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
};
