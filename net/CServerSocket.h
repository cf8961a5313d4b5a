#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "net/CUdpSocket.h"
#include "net/IQueryTransport.h"
#include "net/QuerySequence.h"

// A connected socket of its own for one query sequence to one game server
// (see QuerySequence): the engine that asks a handful of servers at a time.
class CServerSocket : public CUdpSocket, private IQueryTransport {
public:
    using CUdpSocket::CUdpSocket;

    static constexpr int kMaxChallengeResends = QuerySequence::kMaxChallengeResends;

    // Creates and connects the socket; reports and returns false on failure.
    virtual bool ConnectTo(uint32_t address, uint16_t port);
    virtual void GetAddress(uint32_t& address, uint16_t& port) const;
    // Stores the ';'-separated steps and sends the first.
    void QueueCommands(const std::string& commands);
    void OnReceive(int errorCode) override;

    uint8_t Protocol() const { return m_sequence.Protocol(); }
    void SetProtocol(uint8_t protocol) { m_sequence.SetProtocol(protocol); }
    QuerySequence& Sequence() { return m_sequence; }
    const QuerySequence& Sequence() const { return m_sequence; }

    uint32_t m_dwAddress = 0;
    uint16_t m_wPort = 0;

private:
    bool SendRequest(QuerySequence& query, std::span<const uint8_t> request) override;
    bool DeliverReply(QuerySequence& query, std::span<const uint8_t> reply) override;

    QuerySequence m_sequence;
};
