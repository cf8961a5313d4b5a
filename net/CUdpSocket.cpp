#include "net/CUdpSocket.h"

#include <QSocketNotifier>
#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "net/Clock.h"
#include "net/INetReporter.h"
#include "net/ISocketOwner.h"
#include "net/MasterRequest.h"
#include "net/SocketErrors.h"

CUdpSocket::CUdpSocket(ISocketOwner* owner) : m_pOwner(owner) {}

CUdpSocket::~CUdpSocket() {
    Close();
}

bool CUdpSocket::Create() {
    Close();
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return false;
    }
#ifdef SO_TIMESTAMPNS
    // The kernel stamps each datagram as it arrives, so a busy event loop
    // does not inflate the measured round trip.
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
#endif
    m_fd = fd;
    m_pReadNotifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    QObject::connect(m_pReadNotifier.get(), &QSocketNotifier::activated,
                     [this](QSocketDescriptor, QSocketNotifier::Type) { OnReceive(0); });
    return true;
}

bool CUdpSocket::Connect(const std::string& host, uint16_t port) {
    if (m_fd < 0) {
        errno = EBADF;
        return false;
    }
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    if (::inet_pton(AF_INET, host.c_str(), &peer.sin_addr) != 1) {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_DGRAM;
        addrinfo* result = nullptr;
        if (::getaddrinfo(host.c_str(), nullptr, &hints, &result) != 0 || !result) {
            if (result)
                ::freeaddrinfo(result);
            errno = ENXIO;
            return false;
        }
        sockaddr_in resolved;
        std::memcpy(&resolved, result->ai_addr, sizeof resolved);
        peer.sin_addr = resolved.sin_addr;
        ::freeaddrinfo(result);
    }
    return ::connect(m_fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0;
}

int CUdpSocket::Send(const void* data, int length) {
    if (m_fd < 0) {
        errno = EBADF;
        return -1;
    }
    const ssize_t n = ::send(m_fd, data, static_cast<size_t>(length), 0);
    return n < 0 ? -1 : static_cast<int>(n);
}

int CUdpSocket::Receive(void* buffer, int size, int& error, uint64_t* arrival) {
    return ReceiveMessage(buffer, size, error, nullptr, arrival);
}

int CUdpSocket::ReceiveFrom(void* buffer, int size, int& error, uint32_t& address, uint16_t& port,
                            uint64_t* arrival) {
    sockaddr_in peer{};
    const int n = ReceiveMessage(buffer, size, error, &peer, arrival);
    address = n >= 0 ? ntohl(peer.sin_addr.s_addr) : 0;
    port = n >= 0 ? ntohs(peer.sin_port) : 0;
    return n;
}

int CUdpSocket::ReceiveMessage(void* buffer, int size, int& error, void* peer, uint64_t* arrival) {
    error = 0;
    if (m_fd < 0) {
        error = EBADF;
        return -1;
    }
    iovec io{buffer, static_cast<size_t>(size)};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
    msghdr message{};
    message.msg_name = peer;
    message.msg_namelen = peer ? sizeof(sockaddr_in) : 0;
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t n = ::recvmsg(m_fd, &message, 0);
    if (n < 0) {
        error = errno;
        return -1;
    }
    if (arrival)
        *arrival = ArrivalTicks(message);
    return static_cast<int>(n);
}

int CUdpSocket::SendTo(const void* data, int length, uint32_t address, uint16_t port) {
    if (m_fd < 0) {
        errno = EBADF;
        return -1;
    }
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    peer.sin_addr.s_addr = htonl(address);
    const ssize_t n = ::sendto(m_fd, data, static_cast<size_t>(length), 0,
                               reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
    return n < 0 ? -1 : static_cast<int>(n);
}

void CUdpSocket::SetReceiveBufferSize(int bytes) {
    if (m_fd >= 0)
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
}

uint16_t CUdpSocket::LocalPort() const {
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (m_fd < 0 || ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&local), &length) != 0)
        return 0;
    return ntohs(local.sin_port);
}

uint64_t CUdpSocket::ArrivalTicks(const msghdr& message) {
    const uint64_t now = NowTicks();
#ifdef SCM_TIMESTAMPNS
    for (const cmsghdr* c = CMSG_FIRSTHDR(&message); c;
         c = CMSG_NXTHDR(const_cast<msghdr*>(&message), const_cast<cmsghdr*>(c))) {
        if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_TIMESTAMPNS)
            continue;
        timespec stamp;
        std::memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
        timespec wall;
        ::clock_gettime(CLOCK_REALTIME, &wall);
        // The stamp is on the wall clock: step back from now on the
        // monotonic clock by the time the datagram has waited.
        const int64_t waited = (static_cast<int64_t>(wall.tv_sec) - stamp.tv_sec) * 1000000000LL +
                               (wall.tv_nsec - stamp.tv_nsec);
        if (waited > 0 && static_cast<uint64_t>(waited) < now)
            return (now - static_cast<uint64_t>(waited)) | 1u;
        return now;
    }
#else
    (void)message;
#endif
    return now;
}

bool CUdpSocket::GetPeerName(std::string& address, uint16_t& port) const {
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    if (m_fd < 0 || ::getpeername(m_fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0)
        return false;
    char text[INET_ADDRSTRLEN];
    if (!::inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text))
        return false;
    address = text;
    port = ntohs(peer.sin_port);
    return true;
}

void CUdpSocket::Close() {
    m_pReadNotifier.reset();
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

int CUdpSocket::ReceiveIntoBuffer(int& error, uint64_t& arrival) {
    std::span<uint8_t> buffer = m_pOwner->GetRecvBuffer();
    std::memset(buffer.data(), 0, buffer.size());
    const int n = Receive(buffer.data(), static_cast<int>(buffer.size()), error, &arrival);
    if (n < 0)
        arrival = NowTicks();
    return n;
}

int CUdpSocket::ReceiveIntoBuffer(const char* errorContext) {
    int error = 0;
    uint64_t arrival = 0;
    const int n = ReceiveIntoBuffer(error, arrival);
    // The round trip of the first request runs to the arrival of the first
    // datagram. A ping of 0 means "no answer": an answer faster than a
    // millisecond counts as 1 ms.
    if (m_nRoundTrip == 0 && m_liSent != 0)
        m_nRoundTrip = std::max<uint32_t>(1, static_cast<uint32_t>(RoundedMs(m_liSent, arrival)));
    if (n < 0)
        ReportSocketFailure(m_pOwner->GetReporter(), errorContext, error);
    return n;
}

void CUdpSocket::OnReceive(int errorCode) {
    BusyScope busy(*this);
    if (errorCode != 0) {
        ReportSocketCode(m_pOwner->GetReporter(), "Error receiving", errorCode);
        return;
    }
    const int n = ReceiveIntoBuffer("OnReceiveSocket: error receiving packet");
    if (n >= 0)
        m_pOwner->OnReceiveSocket(*this, n);
}

void CUdpSocket::OnSend(int errorCode) {
    BusyScope busy(*this);
    if (errorCode != 0)
        ReportSocketCode(m_pOwner->GetReporter(), "Error sending", errorCode);
}

bool CUdpSocket::SendCommand(const std::string& command) {
    BusyScope busy(*this);
    m_strCommand = command;
    const std::vector<uint8_t> request = BuildServerRequest(command);
    m_liSent = NowTicks();
    if (Send(request.data(), static_cast<int>(request.size())) < 0) {
        ReportSocketFailure(m_pOwner->GetReporter(), "Error sending command", errno);
        return false;
    }
    return true;
}
