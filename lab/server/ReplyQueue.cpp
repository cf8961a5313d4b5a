#include "ReplyQueue.h"

#include "LabSocket.h"

#include <algorithm>
#include <cerrno>
#include <sys/timerfd.h>
#include <unistd.h>

namespace lab {

ReplyQueue::ReplyQueue(LabSocket& socket, QObject* parent)
    : QObject(parent), m_socket(socket), m_writable(socket.Fd(), QSocketNotifier::Write) {
    // The steady clock is CLOCK_MONOTONIC, so its time points arm the timer
    // as they are.
    m_timerFd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    m_timer = new QSocketNotifier(m_timerFd, QSocketNotifier::Read, this);
    connect(m_timer, &QSocketNotifier::activated, this, [this] {
        uint64_t expirations = 0;
        while (::read(m_timerFd, &expirations, sizeof expirations) > 0) {
        }
        m_armedFor = Clock::time_point::max();
        Flush();
    });
    m_writable.setEnabled(false);
    connect(&m_writable, &QSocketNotifier::activated, this, [this] {
        m_writable.setEnabled(false);
        Flush();
    });
}

ReplyQueue::~ReplyQueue() {
    delete m_timer;
    if (m_timerFd >= 0)
        ::close(m_timerFd);
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
    else if (due < m_armedFor)
        ArmTimer();
}

void ReplyQueue::SendDue() {
    if (!m_writable.isEnabled() && !m_heap.empty() && m_heap.front().due <= Clock::now())
        Flush();
}

void ReplyQueue::Flush() {
    const Clock::time_point now = Clock::now();
    while (!m_heap.empty() && m_heap.front().due <= now) {
        std::pop_heap(m_heap.begin(), m_heap.end(), Later);
        m_due.push_back(std::move(m_heap.back()));
        m_heap.pop_back();
    }
    std::vector<LabSocket::Outgoing> out;
    out.reserve(m_due.size());
    for (const Pending& p : m_due)
        out.push_back({p.bytes.data(), p.bytes.size(), &p.to, p.source});
    const auto recordLateness = [this, now](const Pending& p) {
        const double ms = std::chrono::duration<double, std::milli>(now - p.due).count();
        ++m_sent;
        m_latenessSumMs += ms;
        ++m_lateness[std::min<size_t>(m_lateness.size() - 1, static_cast<size_t>(ms * 10))];
    };
    size_t done = 0;
    while (done < out.size()) {
        const int sent = m_socket.SendMany(out.data() + done, static_cast<int>(out.size() - done));
        if (sent > 0) {
            for (size_t i = done; i < done + static_cast<size_t>(sent); ++i)
                recordLateness(m_due[i]);
            done += static_cast<size_t>(sent);
            continue;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOBUFS) {
            m_due.erase(m_due.begin(), m_due.begin() + static_cast<std::ptrdiff_t>(done));
            m_writable.setEnabled(true);
            return;
        }
        // Any other failure (the client went away) loses the reply, as the
        // network would.
        ++done;
    }
    m_due.clear();
    ArmTimer();
}

QString ReplyQueue::LatenessSummary() const {
    if (m_sent == 0)
        return {};
    const uint64_t p99Rank = (m_sent * 99 + 99) / 100;
    uint64_t seen = 0;
    size_t bucket = 0;
    while (bucket + 1 < m_lateness.size() && (seen += m_lateness[bucket]) < p99Rank)
        ++bucket;
    return QStringLiteral("%1 replies sent, late by %2 ms on average, p99 under %3 ms")
        .arg(m_sent)
        .arg(m_latenessSumMs / static_cast<double>(m_sent), 0, 'f', 3)
        .arg(static_cast<double>(bucket + 1) / 10.0, 0, 'f', 1);
}

void ReplyQueue::ArmTimer() {
    itimerspec wakeUp{};
    if (m_heap.empty()) {
        m_armedFor = Clock::time_point::max();
        timerfd_settime(m_timerFd, 0, &wakeUp, nullptr);
        return;
    }
    m_armedFor = m_heap.front().due;
    const auto since = m_armedFor.time_since_epoch();
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(since);
    wakeUp.it_value.tv_sec = seconds.count();
    wakeUp.it_value.tv_nsec =
        std::chrono::duration_cast<std::chrono::nanoseconds>(since - seconds).count();
    // A time point of zero would disarm the timer.
    if (wakeUp.it_value.tv_sec == 0 && wakeUp.it_value.tv_nsec == 0)
        wakeUp.it_value.tv_nsec = 1;
    timerfd_settime(m_timerFd, TFD_TIMER_ABSTIME, &wakeUp, nullptr);
}

} // namespace lab
