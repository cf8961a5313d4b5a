#pragma once

#include <cstdint>
#include <span>

class INetReporter;
class QuerySequence;

// Whoever runs queries through a CQueryEngine: it takes the replies and hears
// of the time-outs, each named by the address and port the query went to.
class IQueryEngineOwner {
public:
    virtual ~IQueryEngineOwner() = default;

    virtual INetReporter& GetReporter() = 0;
    // A whole reply to the query to address:port (host order).
    virtual void OnQueryReply(uint32_t address, uint16_t port, QuerySequence& query,
                              std::span<const uint8_t> reply) = 0;
    // The query waited too long for the answer to step (a CMD_ bit); it has
    // ended already.
    virtual void OnQueryTimedOut(uint32_t address, uint16_t port, unsigned step) = 0;
    // The query to address:port is over: every step answered, or timed out
    // (after OnQueryTimedOut). Not called for queries dropped by DropAll.
    virtual void OnQueryEnded(uint32_t address, uint16_t port, bool timedOut) = 0;
};
