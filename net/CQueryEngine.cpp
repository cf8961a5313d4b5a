#include "net/CQueryEngine.h"

#include <algorithm>
#include <cerrno>

#include "net/CUdpSocket.h"
#include "net/Clock.h"
#include "net/IQueryEngineOwner.h"
#include "net/IQueryTransport.h"
#include "net/SocketErrors.h"

namespace {

// Datagrams read per readiness event: the socket stays readable, so the rest
// come on the next loop turn, after the window had its share.
constexpr int kMaxDatagramsPerEvent = 256;
constexpr int kQueriesPerSocket = 512;
constexpr int kMinSockets = 4;
constexpr int kMaxSockets = 16;
// Replies of thousands of servers may arrive between two loop turns.
constexpr int kReceiveQueueBytes = 4 * 1024 * 1024;
constexpr int kRetryMs = 1;
constexpr uint64_t kNsPerMs = 1000000u;

bool IsTransientSendError(int error) {
    return error == EAGAIN || error == EWOULDBLOCK || error == ENOBUFS || error == EINTR;
}

} // namespace

// One shared socket: its readiness drains it into the engine.
class CQueryEngine::SharedSocket : public CUdpSocket {
public:
    SharedSocket(CQueryEngine& engine, int index)
        : CUdpSocket(nullptr), m_engine(engine), m_index(index) {}
    void OnReceive(int) override { m_engine.Drain(m_index); }

private:
    CQueryEngine& m_engine;
    int m_index;
};

// What one slot's sequence sends and delivers through, for one call.
class CQueryEngine::SlotLink final : public IQueryTransport {
public:
    SlotLink(CQueryEngine& engine, uint32_t slot)
        : m_engine(engine), m_slot(slot), m_generation(engine.SlotAt(slot).generation) {}
    bool SendRequest(QuerySequence&, std::span<const uint8_t> request) override {
        return m_engine.SendFor(m_slot, m_generation, request);
    }
    bool DeliverReply(QuerySequence&, std::span<const uint8_t> reply) override {
        return m_engine.DeliverFor(m_slot, m_generation, reply);
    }

private:
    CQueryEngine& m_engine;
    uint32_t m_slot;
    uint32_t m_generation;
};

CQueryEngine::CQueryEngine(IQueryEngineOwner& owner, int bufferSize)
    : m_owner(owner), m_buffer(static_cast<size_t>(bufferSize > 0 ? bufferSize : 65507)) {
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { OnDeadline(); });
    m_retryTimer.setSingleShot(true);
    m_retryTimer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_retryTimer, &QTimer::timeout, [this] { OnRetry(); });
}

CQueryEngine::~CQueryEngine() = default;

bool CQueryEngine::Open(int maxInFlight) {
    const int wanted = std::clamp((maxInFlight + kQueriesPerSocket - 1) / kQueriesPerSocket,
                                  kMinSockets, kMaxSockets);
    if (!m_sockets.empty() && (SocketCount() == wanted || PendingCount() > 0 || m_nBusy > 0))
        return true;
    m_sockets.clear();
    m_nNextSocket = 0;
    for (int i = 0; i < wanted; ++i) {
        auto socket = std::make_unique<SharedSocket>(*this, i);
        if (!socket->Create()) {
            ReportLastError(m_owner.GetReporter(), "Error creating socket");
            m_sockets.clear();
            return false;
        }
        socket->SetReceiveBufferSize(kReceiveQueueBytes);
        m_sockets.push_back(std::move(socket));
    }
    return true;
}

bool CQueryEngine::Start(uint32_t address, uint16_t port, uint8_t protocol, unsigned steps,
                         int timeoutMs) {
    if (m_sockets.empty() && !Open(1))
        return false;
    const auto [entry, added] = m_byEndpoint.try_emplace(Key(address, port), 0);
    if (!added)
        return false;
    uint32_t index;
    if (!m_free.empty()) {
        index = m_free.back();
        m_free.pop_back();
    } else {
        index = m_nSlots++;
        if (index % kSlotsPerChunk == 0)
            m_chunks.push_back(std::make_unique<Slot[]>(kSlotsPerChunk));
    }
    entry->second = index;
    Slot& slot = SlotAt(index);
    slot.sequence = QuerySequence();
    slot.sequence.SetProtocol(protocol);
    slot.deadline = 0;
    slot.address = address;
    slot.port = port;
    slot.timeoutMs = static_cast<uint32_t>(std::max(timeoutMs, 0));
    slot.socket = static_cast<uint8_t>(m_nNextSocket);
    m_nNextSocket = (m_nNextSocket + 1) % SocketCount();
    slot.live = true;
    SlotLink link(*this, index);
    slot.sequence.Start(steps, link);
    // Nothing to ask: done at once.
    if (slot.sequence.Finished())
        End(index);
    return true;
}

bool CQueryEngine::IsPending(uint32_t address, uint16_t port) const {
    return m_byEndpoint.count(Key(address, port)) != 0;
}

uint16_t CQueryEngine::LocalPort(int socket) const {
    return socket >= 0 && socket < SocketCount()
               ? m_sockets[static_cast<size_t>(socket)]->LocalPort()
               : 0;
}

bool CQueryEngine::SendFor(uint32_t index, uint32_t generation, std::span<const uint8_t> request) {
    const Slot& slot = SlotAt(index);
    if (!slot.live || slot.generation != generation)
        return false;
    // Behind requests already waiting for the kernel, in their order.
    if (m_retries.empty()) {
        const SendResult result = TrySend(index, request);
        if (result != SendResult::Blocked)
            return result == SendResult::Sent;
    }
    m_retries.push_back({index, generation, {request.begin(), request.end()}});
    if (!m_retryTimer.isActive())
        m_retryTimer.start(kRetryMs);
    return true;
}

CQueryEngine::SendResult CQueryEngine::TrySend(uint32_t index, std::span<const uint8_t> request) {
    Slot& slot = SlotAt(index);
    slot.sequence.MarkSent(NowTicks());
    const int n = m_sockets[slot.socket]->SendTo(request.data(), static_cast<int>(request.size()),
                                                 slot.address, slot.port);
    const int error = errno;
    // The clock runs from the last request, whatever became of it: a
    // request that never left ends as a time-out like an unanswered one.
    slot.deadline = slot.sequence.SentAt() + slot.timeoutMs * kNsPerMs;
    m_deadlines.push({slot.deadline, index, slot.generation});
    ArmTimer();
    if (n >= 0) {
        ++m_counters.sent;
        return SendResult::Sent;
    }
    if (IsTransientSendError(error)) {
        ++m_counters.sendRetries;
        return SendResult::Blocked;
    }
    ++m_counters.sendFailures;
    return SendResult::Failed;
}

void CQueryEngine::OnRetry() {
    while (!m_retries.empty()) {
        Retry& retry = m_retries.front();
        const Slot& slot = SlotAt(retry.slot);
        if (slot.live && slot.generation == retry.generation &&
            TrySend(retry.slot, retry.request) == SendResult::Blocked) {
            m_retryTimer.start(kRetryMs);
            return;
        }
        m_retries.pop_front();
    }
}

bool CQueryEngine::DeliverFor(uint32_t index, uint32_t generation, std::span<const uint8_t> reply) {
    const Slot& slot = SlotAt(index);
    if (!slot.live || slot.generation != generation)
        return false;
    m_owner.OnQueryReply(slot.address, slot.port, SlotAt(index).sequence, reply);
    return slot.live && slot.generation == generation;
}

void CQueryEngine::Drain(int socket) {
    for (int i = 0; i < kMaxDatagramsPerEvent; ++i) {
        if (socket >= SocketCount())
            return;
        int error = 0;
        uint32_t address = 0;
        uint16_t port = 0;
        uint64_t arrival = 0;
        const int n = m_sockets[static_cast<size_t>(socket)]->ReceiveFrom(
            m_buffer.data(), static_cast<int>(m_buffer.size()), error, address, port, &arrival);
        if (n < 0)
            return; // EAGAIN: drained. Nothing else concerns one query.
        ++m_counters.received;
        // The decoders read only the bytes received: no need to clear the
        // rest of the buffer.
        OnDatagram(socket, address, port, std::span<const uint8_t>(m_buffer.data(), size_t(n)),
                   arrival);
    }
}

void CQueryEngine::OnDatagram(int socket, uint32_t address, uint16_t port,
                              std::span<const uint8_t> datagram, uint64_t arrival) {
    const auto it = m_byEndpoint.find(Key(address, port));
    if (it == m_byEndpoint.end() || SlotAt(it->second).socket != socket) {
        ++m_counters.unasked;
        return;
    }
    const uint32_t index = it->second;
    Slot& slot = SlotAt(index);
    ++slot.busy;
    ++m_nBusy;
    SlotLink link(*this, index);
    slot.sequence.NoteArrival(arrival);
    if (!datagram.empty())
        slot.sequence.OnDatagram(datagram, link);
    --slot.busy;
    --m_nBusy;
    if (slot.live && slot.sequence.Finished()) {
        End(index);
        m_owner.OnQueryEnded(address, port, false);
    } else if (!slot.live && slot.busy == 0) {
        m_free.push_back(index); // ended while its handler ran
    }
    ReleaseIfIdle();
}

void CQueryEngine::End(uint32_t index) {
    Slot& slot = SlotAt(index);
    if (!slot.live)
        return;
    slot.live = false;
    ++slot.generation;
    m_byEndpoint.erase(Key(slot.address, slot.port));
    if (slot.busy == 0)
        m_free.push_back(index);
    ReleaseIfIdle();
}

void CQueryEngine::ReleaseIfIdle() {
    // Once nothing runs, the memory of the largest refresh goes back.
    if (!m_byEndpoint.empty() || m_nBusy > 0)
        return;
    m_chunks.clear();
    m_nSlots = 0;
    m_free.clear();
    m_retries.clear();
    m_deadlines = {};
    m_timer.stop();
    m_retryTimer.stop();
    m_byEndpoint.rehash(0);
}

std::vector<CQueryEngine::Endpoint> CQueryEngine::DropAll() {
    std::vector<Endpoint> dropped;
    std::vector<uint32_t> indices;
    dropped.reserve(m_byEndpoint.size());
    indices.reserve(m_byEndpoint.size());
    for (const auto& [key, index] : m_byEndpoint) {
        dropped.push_back({SlotAt(index).address, SlotAt(index).port});
        indices.push_back(index);
    }
    for (const uint32_t index : indices)
        End(index);
    m_retries.clear();
    m_retryTimer.stop();
    return dropped;
}

bool CQueryEngine::IsCurrent(const Deadline& deadline) const {
    if (deadline.slot >= m_nSlots)
        return false;
    const Slot& slot = SlotAt(deadline.slot);
    return slot.live && slot.generation == deadline.generation && slot.deadline == deadline.at;
}

void CQueryEngine::OnDeadline() {
    m_armedFor = 0;
    const uint64_t now = NowTicks();
    while (!m_deadlines.empty() && m_deadlines.top().at <= now) {
        const Deadline due = m_deadlines.top();
        m_deadlines.pop();
        if (!IsCurrent(due))
            continue;
        Slot& slot = SlotAt(due.slot);
        if (slot.busy > 0) {
            // Its reply is being handled under a nested event loop: ask
            // again once that is over.
            slot.deadline = now + kNsPerMs;
            m_deadlines.push({slot.deadline, due.slot, slot.generation});
            continue;
        }
        const uint32_t address = slot.address;
        const uint16_t port = slot.port;
        const unsigned step = slot.sequence.Step();
        End(due.slot);
        ++m_counters.timeouts;
        m_owner.OnQueryTimedOut(address, port, step);
        m_owner.OnQueryEnded(address, port, true);
    }
    ArmTimer();
}

void CQueryEngine::ArmTimer() {
    // Entries of ended queries, or of requests sent again since, wait in
    // the heap until they come to the top; they never wake the timer.
    while (!m_deadlines.empty() && !IsCurrent(m_deadlines.top()))
        m_deadlines.pop();
    if (m_deadlines.empty()) {
        m_timer.stop();
        m_armedFor = 0;
        return;
    }
    const uint64_t due = m_deadlines.top().at;
    if (m_timer.isActive() && m_armedFor != 0 && m_armedFor <= due)
        return;
    const uint64_t now = NowTicks();
    const uint64_t wait = due > now ? (due - now + kNsPerMs - 1) / kNsPerMs : 0;
    m_armedFor = due;
    m_timer.start(static_cast<int>(std::min<uint64_t>(wait, 3600000)));
}
