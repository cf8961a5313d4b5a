#pragma once

#include <cstdint>
#include <span>

class CServerSocket;
class CUdpSocket;
class INetReporter;

// The owner of a set of sockets (the document, or anything else that runs
// queries): it lends them the receive buffer, takes what they received and
// hears about what went wrong. Sockets never know more of it than this.
class ISocketOwner {
public:
    virtual ~ISocketOwner() = default;

    // The buffer every socket receives into, zero-filled before each receive.
    virtual std::span<uint8_t> GetRecvBuffer() = 0;
    virtual INetReporter& GetReporter() = 0;
    // A datagram of count bytes in the receive buffer, on a socket other
    // than a server socket (the master exchange).
    virtual void OnReceiveSocket(CUdpSocket& socket, int count) = 0;
    // A whole reply on a server socket: one datagram, or the pieces of a
    // split reply joined.
    virtual bool OnReceiveServerSocket(CServerSocket& socket, std::span<const uint8_t> reply) = 0;
    // The periodic pass that frees finished sockets and times out the rest.
    virtual void CleanSockets() = 0;
};
