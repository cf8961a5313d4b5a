#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <netinet/in.h>
#include <vector>

namespace lab {

class LabSocket;

// Replies wait here until their server's latency has passed. One timer is
// armed for the earliest reply, so a quiet lab sleeps; when the socket's send
// buffer is full the queue waits for the socket to become writable instead
// of dropping replies.
class ReplyQueue : public QObject {
public:
    using Clock = std::chrono::steady_clock;

    explicit ReplyQueue(LabSocket& socket, QObject* parent = nullptr);

    void Schedule(Clock::time_point due, uint32_t source, const sockaddr_in& to,
                  std::vector<uint8_t> bytes);

private:
    struct Pending {
        Clock::time_point due;
        uint64_t order; // keeps replies due at the same moment in arrival order
        uint32_t source;
        sockaddr_in to;
        std::vector<uint8_t> bytes;
    };
    static bool Later(const Pending& a, const Pending& b);

    void Flush();
    void ArmTimer();

    LabSocket& m_socket;
    std::vector<Pending> m_heap;
    uint64_t m_nextOrder = 0;
    QTimer m_timer;
    QSocketNotifier m_writable;
};

} // namespace lab
