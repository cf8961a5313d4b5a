#pragma once

#include <cstdint>
#include <memory>
#include <string>

class ISocketOwner;
class QSocketNotifier;
struct msghdr;

// A connected, non-blocking UDP socket owned by an ISocketOwner (the document). Readiness
// arrives through a QSocketNotifier on the UI thread, so no handler ever runs
// concurrently with another. m_nBusy counts this socket's own operations on
// the call stack: a socket is never destroyed while it is above zero.
class CUdpSocket {
public:
    explicit CUdpSocket(ISocketOwner* owner);
    virtual ~CUdpSocket();
    CUdpSocket(const CUdpSocket&) = delete;
    CUdpSocket& operator=(const CUdpSocket&) = delete;

    // A datagram socket bound to any local address and an ephemeral port.
    bool Create();
    // Sets the default peer; a host name is resolved first (blocking).
    // errno tells why it failed.
    bool Connect(const std::string& host, uint16_t port);
    // One datagram to the peer: its length, or -1 (errno set).
    int Send(const void* data, int length);
    // One datagram from the peer into buffer: its length, 0, or -1 with the
    // error code in error. arrival, when given, receives the time the
    // datagram reached this machine.
    int Receive(void* buffer, int size, int& error, uint64_t* arrival = nullptr);
    // Unconnected use, one socket shared by many peers (host-order
    // addresses): one datagram to address:port, its length or -1 (errno
    // set); one datagram with its sender, as Receive.
    int SendTo(const void* data, int length, uint32_t address, uint16_t port);
    int ReceiveFrom(void* buffer, int size, int& error, uint32_t& address, uint16_t& port,
                    uint64_t* arrival);
    // Asks the kernel for a receive queue of this many bytes (it may cap it).
    void SetReceiveBufferSize(int bytes);
    // The local port the socket is bound to, 0 when closed.
    uint16_t LocalPort() const;
    // The peer's dotted address and port.
    bool GetPeerName(std::string& address, uint16_t& port) const;
    // Closes the socket; no notification arrives after this.
    void Close();
    bool IsOpen() const { return m_fd >= 0; }
    bool IsBusy() const { return m_nBusy > 0; }

    virtual void OnReceive(int errorCode);
    virtual void OnSend(int errorCode);
    // Sends "\xFF\xFF\xFF\xFF<command>\0" and stamps m_liSent.
    virtual bool SendCommand(const std::string& command);

    uint64_t m_liSent = 0;     // when the last request was sent; 0 = finished
    uint32_t m_nRoundTrip = 0; // ms from the first request to the first datagram
    std::string m_strCommand;  // the last command sent
    int m_nBusy = 0;

protected:
    // Stamps the round trip of the first request, then receives one
    // datagram into the owner's zero-filled buffer: its length, or -1
    // after reporting the failure (a refused connection stays silent).
    int ReceiveIntoBuffer(const char* errorContext);
    // The same without the round trip and the report: error and arrival
    // (the time of the failure when it failed) are for the caller.
    int ReceiveIntoBuffer(int& error, uint64_t& arrival);

    ISocketOwner* m_pOwner;

private:
    static uint64_t ArrivalTicks(const msghdr& message);
    int ReceiveMessage(void* buffer, int size, int& error, void* peer, uint64_t* arrival);

    int m_fd = -1;
    std::unique_ptr<QSocketNotifier> m_pReadNotifier;
};

// Holds a socket's busy counter above zero for a scope.
class BusyScope {
public:
    explicit BusyScope(CUdpSocket& socket) : m_socket(socket) { ++m_socket.m_nBusy; }
    ~BusyScope() { --m_socket.m_nBusy; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    CUdpSocket& m_socket;
};
