#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "net/CUdpSocket.h"

// The UDP socket of one master exchange: what it sends is built by the
// exchange, every datagram it receives goes straight back to the exchange.
class CMasterSocket : public CUdpSocket {
public:
    // peer address and port in host order; the datagram is valid for the
    // call only.
    using DatagramHandler =
        std::function<void(std::span<const uint8_t> datagram, uint32_t address, uint16_t port)>;
    // A receive failed for a reason other than silence; errno tells why.
    using ErrorHandler = std::function<void(const std::string& context)>;

    CMasterSocket(DatagramHandler onDatagram, ErrorHandler onError);

    // A master controls every batch and every entry: one exchange follows at
    // most this many batches and takes at most this many entries, far more
    // than any real list (a few tens of thousands of servers), then counts
    // as complete.
    static constexpr int kMaxBatches = 10000;
    static constexpr int kMaxEntries = 1000000;

    // Sends one request and stamps m_liSent; false with errno set.
    bool SendRequest(std::span<const uint8_t> request);
    void OnReceive(int errorCode) override;

private:
    DatagramHandler m_onDatagram;
    ErrorHandler m_onError;
    std::vector<uint8_t> m_buffer;
};
