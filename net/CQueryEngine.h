#pragma once

#include <QTimer>
#include <cstdint>
#include <deque>
#include <memory>
#include <queue>
#include <span>
#include <unordered_map>
#include <vector>

#include "net/QuerySequence.h"

class IQueryEngineOwner;

// Thousands of query sequences at once over a few shared, unconnected UDP
// sockets. A datagram belongs to the query sent to its source address and
// port (one query per endpoint at a time); what it means is the business of
// that query's sequence, the same code a server socket of its own runs. A
// datagram nobody asked for is dropped and counted. A query's slot is free
// the moment its last step is answered or it times out, and a datagram
// arriving after that counts as unasked. The time-outs come from one
// min-heap of deadlines behind one timer armed for the earliest; nothing
// ever walks all queries but DropAll.
//
// Unconnected sockets hear no ICMP "port unreachable", so a closed port ends
// as a time-out. A send the kernel cannot take now (EAGAIN, ENOBUFS) goes out
// again a millisecond later, stamped when it really leaves; any other send
// failure is counted and the query runs into its time-out, so a refresh of
// thousands never opens a box per server.
//
// Memory per query in flight (x86-64, libstdc++): its slot, sizeof(Slot) =
// 336 bytes (the sequence 304, of which its split reassembler 264), in
// chunks of 256 that stay allocated until no query runs; the endpoint map's
// node, 24 bytes (32 with the allocator's header), and a bucket pointer, 8;
// a 16-byte heap entry for each request sent, until its deadline passes or
// it comes to the top stale. About 410 bytes a query with two requests.
class CQueryEngine {
public:
    struct Counters {
        uint64_t sent = 0;
        uint64_t received = 0;
        uint64_t unasked = 0;      // datagrams from endpoints with no query
        uint64_t sendRetries = 0;  // sends the kernel could not take at once
        uint64_t sendFailures = 0; // sends that failed for good
        uint64_t timeouts = 0;
    };
    struct Endpoint {
        uint32_t address = 0;
        uint16_t port = 0;
    };

    explicit CQueryEngine(IQueryEngineOwner& owner, int bufferSize = 65507);
    ~CQueryEngine();
    CQueryEngine(const CQueryEngine&) = delete;
    CQueryEngine& operator=(const CQueryEngine&) = delete;

    // Opens the shared sockets, a few for every thousand queries in flight
    // (4 to 16). Open sockets stay unless the count changes while nothing
    // runs. Reports and returns false when a socket cannot be made.
    bool Open(int maxInFlight);
    // Starts a query of the steps (CMD_ bits) to address:port (host order),
    // opening the sockets if needed. False when one to that endpoint is
    // running already, or no socket could be opened.
    bool Start(uint32_t address, uint16_t port, uint8_t protocol, unsigned steps, int timeoutMs);
    bool IsPending(uint32_t address, uint16_t port) const;
    int PendingCount() const { return static_cast<int>(m_byEndpoint.size()); }
    // Ends every query at once: nothing more is sent, no time-out reported.
    // Returns the endpoints that were still being asked.
    std::vector<Endpoint> DropAll();

    int SocketCount() const { return static_cast<int>(m_sockets.size()); }
    uint16_t LocalPort(int socket) const;
    const Counters& GetCounters() const { return m_counters; }

private:
    class SharedSocket;
    class SlotLink;
    struct Slot {
        QuerySequence sequence;
        uint64_t deadline = 0;
        uint32_t address = 0;
        uint32_t generation = 0; // moves on each time the slot ends
        uint32_t timeoutMs = 0;
        uint16_t port = 0;
        uint8_t socket = 0;
        uint8_t busy = 0; // handlers of this slot on the call stack
        bool live = false;
    };
    struct Deadline {
        uint64_t at = 0;
        uint32_t slot = 0;
        uint32_t generation = 0;
        bool operator>(const Deadline& other) const { return at > other.at; }
    };
    struct Retry {
        uint32_t slot = 0;
        uint32_t generation = 0;
        std::vector<uint8_t> request;
    };
    enum class SendResult { Sent, Blocked, Failed };

    static uint64_t Key(uint32_t address, uint16_t port) {
        return (static_cast<uint64_t>(address) << 16) | port;
    }
    bool SendFor(uint32_t slot, uint32_t generation, std::span<const uint8_t> request);
    SendResult TrySend(uint32_t slot, std::span<const uint8_t> request);
    bool DeliverFor(uint32_t slot, uint32_t generation, std::span<const uint8_t> reply);
    void Drain(int socket);
    void OnDatagram(int socket, uint32_t address, uint16_t port, std::span<const uint8_t> datagram,
                    uint64_t arrival);
    void End(uint32_t slot);
    void ReleaseIfIdle();
    bool IsCurrent(const Deadline& deadline) const;
    void OnDeadline();
    void ArmTimer();
    void OnRetry();

    IQueryEngineOwner& m_owner;
    std::vector<uint8_t> m_buffer;
    std::vector<std::unique_ptr<SharedSocket>> m_sockets;
    int m_nNextSocket = 0;
    static constexpr uint32_t kSlotsPerChunk = 256;
    Slot& SlotAt(uint32_t index) {
        return m_chunks[index / kSlotsPerChunk][index % kSlotsPerChunk];
    }
    const Slot& SlotAt(uint32_t index) const {
        return m_chunks[index / kSlotsPerChunk][index % kSlotsPerChunk];
    }
    // Slots keep their place while handlers run: more chunks never move them.
    std::vector<std::unique_ptr<Slot[]>> m_chunks;
    uint32_t m_nSlots = 0;
    std::vector<uint32_t> m_free;
    std::unordered_map<uint64_t, uint32_t> m_byEndpoint;
    std::priority_queue<Deadline, std::vector<Deadline>, std::greater<Deadline>> m_deadlines;
    QTimer m_timer;
    uint64_t m_armedFor = 0;
    std::deque<Retry> m_retries;
    QTimer m_retryTimer;
    int m_nBusy = 0; // datagram handlers on the call stack
    Counters m_counters;
};
