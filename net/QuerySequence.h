#pragma once

#include <cstdint>
#include <span>

#include "net/A2sRequest.h"
#include "net/QueryCommands.h"
#include "net/SplitReassembler.h"

class IQueryTransport;

// One query sequence to one game server, whatever carries its datagrams: the
// steps ("details", "players", "rules") go out one at a time, each after its
// answer came back, in the form of the server's protocol: the old text
// commands, A2S with its challenges and split replies, or, while the protocol
// is not known yet, both at once until a reply tells which one the server
// speaks. It owns no socket: every send and every reply passes through the
// IQueryTransport given to the call.
class QuerySequence {
public:
    // A server that answers every request of a step with a new challenge is
    // asked again this many times, then the step runs into its time-out.
    static constexpr int kMaxChallengeResends = 3;

    // QUERY_LEGACY, QUERY_A2S, or QUERY_UNKNOWN until a reply decides.
    uint8_t Protocol() const { return m_nProtocol; }
    void SetProtocol(uint8_t protocol) { m_nProtocol = protocol; }

    // Stores the steps (CMD_ bits, asked in bit order) and sends the first.
    void Start(unsigned steps, IQueryTransport& transport);
    // Every datagram's arrival time, before OnDatagram and even when it is
    // empty or could not be read (then the time it failed): the first one
    // after a request ends the round trip.
    void NoteArrival(uint64_t arrival);
    // A datagram from the server, not empty.
    void OnDatagram(std::span<const uint8_t> datagram, IQueryTransport& transport);
    // Called by the transport right before it sends.
    void MarkSent(uint64_t now) { m_liSent = now; }

    // When the last request went out; 0 once the last step was answered.
    uint64_t SentAt() const { return m_liSent; }
    bool Finished() const { return m_liSent == 0; }
    // The step asked last: a CMD_ bit, 0 before the first.
    unsigned Step() const { return m_nStep; }
    // Its command word, "" before the first.
    const char* StepName() const;
    // Milliseconds from the first request to the first datagram (at least
    // 1); 0 until one came. A challenge restarts the clock.
    uint32_t RoundTrip() const { return m_nRoundTrip; }
    // Challenges received, for the hostile-server checks.
    int ChallengeCount() const { return m_nChallenges; }
    const SplitReassembler& Splits() const { return m_split; }

    // The "Unsupported command" box is shown once per query: a server that
    // floods us with replies of unknown types gets one box, not one each.
    bool m_bUnsupportedShown = false;

private:
    void SendNextStep(IQueryTransport& transport);
    // Sends the step in the form(s) the protocol calls for.
    void SendStep(IQueryTransport& transport);
    bool SendA2sStep(IQueryTransport& transport);
    void OnChallenge(std::span<const uint8_t> payload, IQueryTransport& transport);
    // Hands a whole reply on and moves the sequence on.
    void Deliver(std::span<const uint8_t> reply, bool advances, IQueryTransport& transport);

    uint64_t m_liSent = 0;
    uint32_t m_nRoundTrip = 0;
    uint32_t m_challenge = kA2sAskChallenge;
    int m_nChallenges = 0;
    int m_nStepChallenges = 0; // challenges answered in the current step
    uint8_t m_nProtocol = QUERY_LEGACY;
    uint8_t m_nStep = 0;
    uint8_t m_nPending = 0; // CMD_ bits of the steps still to ask
    bool m_bHaveChallenge = false;
    bool m_bAnswered = false; // a reply other than a challenge came back
    SplitReassembler m_split;
};
