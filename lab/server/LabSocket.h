#pragma once

#include <QString>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <netinet/in.h>
#include <sys/types.h>

namespace lab {

// A non-blocking UDP socket. The fleet's socket also learns the address each
// request was sent to (IP_PKTINFO) and answers from that address, so one
// socket stands for any number of servers and every reply comes from the
// exact address the client is connected to.
class LabSocket {
public:
    LabSocket() = default;
    ~LabSocket();
    LabSocket(const LabSocket&) = delete;
    LabSocket& operator=(const LabSocket&) = delete;

    // address and port in host order. On failure the text says what failed.
    bool Open(uint32_t address, uint16_t port, bool withDestination, QString& error);
    int Fd() const { return m_fd; }

    // One datagram, -1 when none is waiting (or on error). destination (host
    // order) is 0 unless the socket was opened withDestination. arrival,
    // when asked, is when the kernel took the datagram in, on the steady
    // clock: a reply timed from it does not count how long the request
    // waited in the queue.
    ssize_t Receive(uint8_t* buffer, size_t capacity, sockaddr_in& from, uint32_t& destination,
                    std::chrono::steady_clock::time_point* arrival = nullptr);
    // Sends with `source` (host order, 0 = let the kernel choose) as the
    // datagram's source address. Returns false with errno set on failure.
    bool Send(const uint8_t* data, size_t length, const sockaddr_in& to, uint32_t source);

    struct Outgoing {
        const uint8_t* data;
        size_t length;
        const sockaddr_in* to;
        uint32_t source;
    };
    // Sends the datagrams in order with as few system calls as it can: the
    // number sent, or -1 with errno set when not even the first went.
    int SendMany(const Outgoing* datagrams, int count);

private:
    int m_fd = -1;
};

} // namespace lab
