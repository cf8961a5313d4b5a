#include "net/CMasterSocket.h"

#include <cerrno>
#include <cstring>

#include "net/Address.h"
#include "net/Clock.h"
#include "net/SocketErrors.h"

CMasterSocket::CMasterSocket(DatagramHandler onDatagram, ErrorHandler onError)
    : CUdpSocket(nullptr), m_onDatagram(std::move(onDatagram)), m_onError(std::move(onError)),
      m_buffer(kMaxUdpDatagram) {}

bool CMasterSocket::SendRequest(std::span<const uint8_t> request) {
    BusyScope busy(*this);
    m_liSent = NowTicks();
    return Send(request.data(), static_cast<int>(request.size())) >= 0;
}

void CMasterSocket::OnReceive(int errorCode) {
    BusyScope busy(*this);
    if (errorCode != 0)
        return;
    // Zero-filled, as every receive buffer is: a short datagram never shows
    // the bytes of a longer one before it.
    std::memset(m_buffer.data(), 0, m_buffer.size());
    int error = 0;
    const int n = Receive(m_buffer.data(), static_cast<int>(m_buffer.size()), error);
    if (n < 0) {
        // Nothing to read, or an ICMP port-unreachable: the request times out.
        if (error != ECONNREFUSED && error != EAGAIN && error != EWOULDBLOCK && error != EINTR) {
            errno = error;
            m_onError("OnReceiveSocket: error receiving packet");
        }
        return;
    }
    std::string peer;
    uint16_t port = 0;
    if (!GetPeerName(peer, port)) {
        m_onError("OnReceiveSocket: cannot retrieve peer address");
        return;
    }
    m_onDatagram(std::span<const uint8_t>(m_buffer.data(), static_cast<size_t>(n)), ParseIP(peer),
                 port);
}
