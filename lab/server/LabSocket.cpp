#include "LabSocket.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <ctime>
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
    // Best effort: without stamps a reply is timed from when it is read.
    setsockopt(m_fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
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
                           uint32_t& destination, std::chrono::steady_clock::time_point* arrival) {
    iovec io{buffer, capacity};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo)) + CMSG_SPACE(sizeof(timespec))];
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
    const auto readAt = std::chrono::steady_clock::now();
    if (arrival != nullptr)
        *arrival = readAt;
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
            in_pktinfo info;
            std::memcpy(&info, CMSG_DATA(c), sizeof info);
            destination = ntohl(info.ipi_addr.s_addr);
        } else if (arrival != nullptr && c->cmsg_level == SOL_SOCKET &&
                   c->cmsg_type == SO_TIMESTAMPNS) {
            // The stamp is on the wall clock; its age carries over to the
            // steady one.
            timespec stamp{};
            std::memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
            timespec wall{};
            clock_gettime(CLOCK_REALTIME, &wall);
            const auto age = std::chrono::seconds(wall.tv_sec - stamp.tv_sec) +
                             std::chrono::nanoseconds(wall.tv_nsec - stamp.tv_nsec);
            if (age > std::chrono::nanoseconds::zero() && age < std::chrono::seconds(1))
                *arrival = readAt - age;
        }
    }
    // A request that did not fit is no request of ours.
    if (message.msg_flags & MSG_TRUNC)
        return 0;
    return length;
}

namespace {

using SourceControl = char[CMSG_SPACE(sizeof(in_pktinfo))];

void PrepareMessage(msghdr& message, iovec& io, SourceControl& control,
                    const LabSocket::Outgoing& out) {
    io = iovec{const_cast<uint8_t*>(out.data), out.length};
    message = msghdr{};
    message.msg_name = const_cast<sockaddr_in*>(out.to);
    message.msg_namelen = sizeof *out.to;
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    if (out.source != 0) {
        std::memset(control, 0, sizeof control);
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        cmsghdr* c = CMSG_FIRSTHDR(&message);
        c->cmsg_level = IPPROTO_IP;
        c->cmsg_type = IP_PKTINFO;
        c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
        in_pktinfo info{};
        info.ipi_spec_dst.s_addr = htonl(out.source);
        std::memcpy(CMSG_DATA(c), &info, sizeof info);
    }
}

} // namespace

bool LabSocket::Send(const uint8_t* data, size_t length, const sockaddr_in& to, uint32_t source) {
    const Outgoing out{data, length, &to, source};
    return SendMany(&out, 1) == 1;
}

int LabSocket::SendMany(const Outgoing* datagrams, int count) {
    constexpr int kBatch = 64;
    mmsghdr messages[kBatch];
    iovec io[kBatch];
    alignas(cmsghdr) SourceControl controls[kBatch];
    int sent = 0;
    while (sent < count) {
        const int n = std::min(kBatch, count - sent);
        for (int i = 0; i < n; ++i) {
            PrepareMessage(messages[i].msg_hdr, io[i], controls[i], datagrams[sent + i]);
            messages[i].msg_len = 0;
        }
        const int done = ::sendmmsg(m_fd, messages, static_cast<unsigned>(n), 0);
        if (done < 0)
            return sent > 0 ? sent : -1;
        sent += done;
        if (done < n)
            break; // the buffer is full; the caller waits for room
    }
    return sent;
}

} // namespace lab
