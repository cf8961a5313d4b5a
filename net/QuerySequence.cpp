#include "net/QuerySequence.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "net/Clock.h"
#include "net/IQueryTransport.h"
#include "net/MasterRequest.h"
#include "net/ReplyDecoder.h"

void QuerySequence::Start(unsigned steps, IQueryTransport& transport) {
    m_nPending = static_cast<uint8_t>(steps & (CMD_DETAILS | CMD_PLAYERS | CMD_RULES));
    SendNextStep(transport);
}

const char* QuerySequence::StepName() const {
    switch (m_nStep) {
    case CMD_DETAILS:
        return kStepDetails;
    case CMD_PLAYERS:
        return kStepPlayers;
    case CMD_RULES:
        return kStepRules;
    default:
        return "";
    }
}

void QuerySequence::SendNextStep(IQueryTransport& transport) {
    if (m_nPending == 0)
        return;
    m_nStep = static_cast<uint8_t>(m_nPending & -m_nPending); // the lowest bit left
    m_nPending = static_cast<uint8_t>(m_nPending & ~m_nStep);
    SendStep(transport);
}

void QuerySequence::SendStep(IQueryTransport& transport) {
    m_nStepChallenges = 0;
    if (m_nProtocol != QUERY_A2S) {
        const std::vector<uint8_t> request = BuildServerRequest(StepName());
        transport.SendRequest(*this, request);
    }
    if (m_nProtocol != QUERY_LEGACY)
        SendA2sStep(transport);
}

bool QuerySequence::SendA2sStep(IQueryTransport& transport) {
    std::vector<uint8_t> request;
    if (m_nStep == CMD_DETAILS)
        request = BuildA2sInfoRequest(m_bHaveChallenge ? std::optional<uint32_t>(m_challenge)
                                                       : std::nullopt);
    else if (m_nStep == CMD_PLAYERS)
        request = BuildA2sPlayerRequest(m_challenge);
    else if (m_nStep == CMD_RULES)
        request = BuildA2sRulesRequest(m_challenge);
    else
        return false;
    return transport.SendRequest(*this, request);
}

void QuerySequence::NoteArrival(uint64_t arrival) {
    // A ping of 0 means "no answer": an answer faster than a millisecond
    // counts as 1 ms.
    if (m_nRoundTrip == 0 && m_liSent != 0)
        m_nRoundTrip = std::max<uint32_t>(1, static_cast<uint32_t>(RoundedMs(m_liSent, arrival)));
}

void QuerySequence::OnDatagram(std::span<const uint8_t> datagram, IQueryTransport& transport) {
    if (m_nProtocol == QUERY_LEGACY) {
        // Every datagram moves the old protocol's sequence on, whatever it holds.
        Deliver(datagram, true, transport);
        return;
    }
    // Only A2S servers split their replies. The pieces do not answer the
    // step; the joined reply does.
    std::vector<uint8_t> joined;
    if (IsSplitDatagram(datagram)) {
        m_nProtocol = QUERY_A2S;
        if (m_split.Feed(datagram, NowTicks() / 1000000u, joined) !=
            SplitReassembler::Outcome::Complete)
            return;
        datagram = joined;
    }
    const uint8_t type = HasReplyPrefix(datagram) ? ReplyType(datagram) : 0;
    if (type == 'A') {
        m_nProtocol = QUERY_A2S;
        OnChallenge(ReplyPayload(datagram), transport);
        return;
    }
    if (m_nProtocol == QUERY_UNKNOWN) {
        // 'I' exists only in A2S; 'C', 'l', and 'D' or 'E' before any
        // challenge (an A2S server always asks one for players and rules)
        // come from the old protocol. A lone 'm' tells nothing: the old
        // servers answer "details" with it, and old builds, add-ons and the
        // spectator proxy answer A2S_INFO with it too (today's servers may
        // send it before their 'I'). So the record stays unknown and the
        // next step is asked both ways again, which decides.
        if (type == 'I')
            m_nProtocol = QUERY_A2S;
        else if (type != 'm')
            m_nProtocol = QUERY_LEGACY;
    }
    // An info reply during a later step is the 'I' that follows an 'm', or
    // the second answer of a server asked both ways: it completes the
    // record but answers nothing asked now.
    const bool late = (type == 'I' || type == 'm') && m_nStep != CMD_DETAILS;
    Deliver(datagram, !late, transport);
}

void QuerySequence::OnChallenge(std::span<const uint8_t> payload, IQueryTransport& transport) {
    // The ping times the request that got an answer, not the challenge
    // exchange before it: the re-sent request starts the clock again.
    if (!m_bAnswered)
        m_nRoundTrip = 0;
    const DecodedReply reply = DecodePayload('A', payload);
    const auto* challenge = std::get_if<ChallengeReply>(&reply);
    if (!challenge)
        return;
    ++m_nChallenges;
    m_challenge = challenge->challenge;
    m_bHaveChallenge = true;
    // A finished sequence asks nothing again; a server that answers every
    // request with a challenge is asked a few times, then the step times out.
    if (m_liSent == 0 || ++m_nStepChallenges > kMaxChallengeResends)
        return;
    SendA2sStep(transport);
}

void QuerySequence::Deliver(std::span<const uint8_t> reply, bool advances,
                            IQueryTransport& transport) {
    m_bAnswered = true;
    // A message box inside the handler may have let the user end the query.
    if (!transport.DeliverReply(*this, reply) || !advances)
        return;
    if (m_nPending != 0)
        SendNextStep(transport);
    else
        m_liSent = 0;
}
