#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <QString>

#include <array>
#include <chrono>
#include <cstdint>
#include <netinet/in.h>
#include <vector>

namespace lab {

class LabSocket;

// Replies wait here until their server's latency has passed. One timer is
// armed for the earliest reply, to the nanosecond, so a quiet lab sleeps and
// a busy one answers on time; everything due goes out in one pass. When the
// socket's send buffer is full the queue waits for the socket to become
// writable instead of dropping replies.
class ReplyQueue : public QObject {
public:
    using Clock = std::chrono::steady_clock;

    explicit ReplyQueue(LabSocket& socket, QObject* parent = nullptr);
    ~ReplyQueue() override;

    void Schedule(Clock::time_point due, uint32_t source, const sockaddr_in& to,
                  std::vector<uint8_t> bytes);
    // Sends what is due now; a long burst of requests calls it between them
    // so that replies already due do not wait for the burst to end.
    void SendDue();
    // How late the replies left, against the time they were due: the lab's
    // own share of every ping error a client measures. Empty before the
    // first reply.
    QString LatenessSummary() const;

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
    std::vector<Pending> m_due; // taken off the heap, in order, not yet sent
    uint64_t m_nextOrder = 0;
    int m_timerFd = -1;
    Clock::time_point m_armedFor = Clock::time_point::max();
    QSocketNotifier* m_timer = nullptr;
    QSocketNotifier m_writable;
    // Lateness in tenths of a millisecond, the last bucket for 100 ms and more.
    std::array<uint64_t, 1001> m_lateness{};
    uint64_t m_sent = 0;
    double m_latenessSumMs = 0;
};

} // namespace lab
