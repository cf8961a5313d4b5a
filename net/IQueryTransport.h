#pragma once

#include <cstdint>
#include <span>

class QuerySequence;

// What carries one query sequence's datagrams: a connected socket of its own,
// or a socket shared by many queries. The sequence decides what to send and
// what a reply means; the transport only moves bytes and hands replies on.
class IQueryTransport {
public:
    virtual ~IQueryTransport() = default;

    // Sends one request of the sequence. The transport stamps the send time
    // (QuerySequence::MarkSent) as close to the send call as it can.
    virtual bool SendRequest(QuerySequence& query, std::span<const uint8_t> request) = 0;
    // Hands a whole reply to whoever asked. False when the query ended while
    // the reply was handled (a nested event loop may end it): the sequence
    // then touches nothing of itself any more.
    virtual bool DeliverReply(QuerySequence& query, std::span<const uint8_t> reply) = 0;
};
