#include "LabSocket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace lab {

namespace {

// Bursts of thousands of requests must not overflow the kernel's queue; the
// forced size needs privileges, the plain one is capped by rmem_max.
void EnlargeBuffers(int fd) {
    const int size = 8 * 1024 * 1024;
    if (setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) != 0)
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    if (setsockopt(fd, SOL_SOCKET, SO_SNDBUFFORCE, &size, sizeof size) != 0)
        setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
}

} // namespace

LabSocket::~LabSocket() {
    if (m_fd >= 0)
        ::close(m_fd);
}

bool LabSocket::Open(uint32_t address, uint16_t port, bool withDestination, QString& error) {
    m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_fd < 0) {
        error = QStringLiteral("cannot create a UDP socket: %1").arg(strerror(errno));
        return false;
    }
    const int on = 1;
    if (withDestination && setsockopt(m_fd, IPPROTO_IP, IP_PKTINFO, &on, sizeof on) != 0) {
        error = QStringLiteral("cannot ask for destination addresses: %1").arg(strerror(errno));
        return false;
    }
    EnlargeBuffers(m_fd);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(address);
    local.sin_port = htons(port);
    if (::bind(m_fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        error = QString::fromLocal8Bit(strerror(errno));
        return false;
    }
    return true;
}

ssize_t LabSocket::Receive(uint8_t* buffer, size_t capacity, sockaddr_in& from,
                           uint32_t& destination) {
    iovec io{buffer, capacity};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))];
    msghdr message{};
    message.msg_name = &from;
    message.msg_namelen = sizeof from;
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t length = ::recvmsg(m_fd, &message, 0);
    destination = 0;
    if (length < 0)
        return -1;
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
            in_pktinfo info;
            std::memcpy(&info, CMSG_DATA(c), sizeof info);
            destination = ntohl(info.ipi_addr.s_addr);
        }
    }
    // A request that did not fit is no request of ours.
    if (message.msg_flags & MSG_TRUNC)
        return 0;
    return length;
}

bool LabSocket::Send(const uint8_t* data, size_t length, const sockaddr_in& to, uint32_t source) {
    iovec io{const_cast<uint8_t*>(data), length};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    msghdr message{};
    message.msg_name = const_cast<sockaddr_in*>(&to);
    message.msg_namelen = sizeof to;
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    if (source != 0) {
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        cmsghdr* c = CMSG_FIRSTHDR(&message);
        c->cmsg_level = IPPROTO_IP;
        c->cmsg_type = IP_PKTINFO;
        c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
        in_pktinfo info{};
        info.ipi_spec_dst.s_addr = htonl(source);
        std::memcpy(CMSG_DATA(c), &info, sizeof info);
    }
    return ::sendmsg(m_fd, &message, 0) == static_cast<ssize_t>(length);
}

} // namespace lab
