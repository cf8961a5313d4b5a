#include "ReplyQueue.h"

#include "LabSocket.h"

#include <algorithm>
#include <cerrno>

namespace lab {

ReplyQueue::ReplyQueue(LabSocket& socket, QObject* parent)
    : QObject(parent), m_socket(socket), m_writable(socket.Fd(), QSocketNotifier::Write) {
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &ReplyQueue::Flush);
    m_writable.setEnabled(false);
    connect(&m_writable, &QSocketNotifier::activated, this, [this] {
        m_writable.setEnabled(false);
        Flush();
    });
}

bool ReplyQueue::Later(const Pending& a, const Pending& b) {
    return a.due != b.due ? a.due > b.due : a.order > b.order;
}

void ReplyQueue::Schedule(Clock::time_point due, uint32_t source, const sockaddr_in& to,
                          std::vector<uint8_t> bytes) {
    const uint64_t order = m_nextOrder++;
    m_heap.push_back(Pending{due, order, source, to, std::move(bytes)});
    std::push_heap(m_heap.begin(), m_heap.end(), Later);
    if (m_writable.isEnabled())
        return; // the socket is full; everything goes when it drains
    if (due <= Clock::now())
        Flush();
    else if (m_heap.front().order == order || !m_timer.isActive())
        ArmTimer();
}

void ReplyQueue::Flush() {
    const Clock::time_point now = Clock::now();
    while (!m_heap.empty() && m_heap.front().due <= now) {
        const Pending& next = m_heap.front();
        if (!m_socket.Send(next.bytes.data(), next.bytes.size(), next.to, next.source) &&
            (errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOBUFS)) {
            m_timer.stop();
            m_writable.setEnabled(true);
            return;
        }
        // Any other failure (the client went away) loses the reply, as the
        // network would.
        std::pop_heap(m_heap.begin(), m_heap.end(), Later);
        m_heap.pop_back();
    }
    ArmTimer();
}

void ReplyQueue::ArmTimer() {
    if (m_heap.empty()) {
        m_timer.stop();
        return;
    }
    const auto wait = m_heap.front().due - Clock::now();
    // Round up: a timer that fires early finds nothing due and spins.
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(wait).count();
    m_timer.start(static_cast<int>(std::max<long long>(0, ms)));
}

} // namespace lab
