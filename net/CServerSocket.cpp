#include "net/CServerSocket.h"

#include <cerrno>

#include <optional>

#include "net/Address.h"
#include "net/Clock.h"
#include "net/ISocketOwner.h"
#include "net/MasterRequest.h"
#include "net/ReplyDecoder.h"
#include "net/SocketErrors.h"

bool CServerSocket::ConnectTo(uint32_t address, uint16_t port) {
    m_dwAddress = address;
    m_wPort = port;
    BusyScope busy(*this);
    if (!Create()) {
        ReportLastError(m_pOwner->GetReporter(), "Error creating socket");
        return false;
    }
    if (!Connect(FormatIP(address), port)) {
        ReportLastError(m_pOwner->GetReporter(), "Error connecting to server " + FormatIP(address));
        return false;
    }
    return true;
}

void CServerSocket::GetAddress(uint32_t& address, uint16_t& port) const {
    address = m_dwAddress;
    port = m_wPort;
}

void CServerSocket::QueueCommands(const std::string& commands) {
    m_strPending = commands;
    SendNextCommand();
}

void CServerSocket::SendNextCommand() {
    std::string command;
    const size_t semicolon = m_strPending.find(';');
    if (semicolon == std::string::npos) {
        command = std::move(m_strPending);
        m_strPending.clear();
    } else {
        command = m_strPending.substr(0, semicolon);
        m_strPending.erase(0, semicolon + 1);
    }
    if (!command.empty())
        SendStep(command);
}

void CServerSocket::SendStep(const std::string& step) {
    m_nStepChallenges = 0;
    if (m_nProtocol != QUERY_A2S)
        SendCommand(step);
    if (m_nProtocol != QUERY_LEGACY)
        SendA2sStep(step);
}

bool CServerSocket::SendA2sStep(const std::string& step) {
    std::vector<uint8_t> request;
    if (step == kStepDetails)
        request = BuildA2sInfoRequest(m_bHaveChallenge ? std::optional<uint32_t>(m_challenge)
                                                       : std::nullopt);
    else if (step == kStepPlayers)
        request = BuildA2sPlayerRequest(m_challenge);
    else if (step == kStepRules)
        request = BuildA2sRulesRequest(m_challenge);
    else
        return false;
    return SendDatagram(step, request);
}

bool CServerSocket::SendDatagram(const std::string& step, std::span<const uint8_t> request) {
    BusyScope busy(*this);
    m_strCommand = step;
    m_liSent = NowTicks();
    if (Send(request.data(), static_cast<int>(request.size())) < 0) {
        ReportSocketFailure(m_pOwner->GetReporter(), "Error sending command", errno);
        return false;
    }
    return true;
}

void CServerSocket::OnReceive(int errorCode) {
    BusyScope busy(*this);
    if (errorCode != 0) {
        ReportSocketCode(m_pOwner->GetReporter(), "Error receiving", errorCode);
        return;
    }
    const int n = ReceiveIntoBuffer("OnReceiveServerSocket: error receiving packet");
    if (n <= 0)
        return;
    std::span<const uint8_t> datagram = m_pOwner->GetRecvBuffer().first(static_cast<size_t>(n));
    if (m_nProtocol == QUERY_LEGACY) {
        // Every datagram moves the old protocol's sequence on, whatever it holds.
        Deliver(datagram, true);
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
        OnChallenge(ReplyPayload(datagram));
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
    const bool late = (type == 'I' || type == 'm') && m_strCommand != kStepDetails;
    Deliver(datagram, !late);
}

void CServerSocket::OnChallenge(std::span<const uint8_t> payload) {
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
    SendA2sStep(m_strCommand);
}

void CServerSocket::Deliver(std::span<const uint8_t> reply, bool advances) {
    m_bAnswered = true;
    m_pOwner->OnReceiveServerSocket(*this, reply);
    // A message box inside the handler may have let the user clear the
    // list; a closed socket has nothing more to send.
    if (!IsOpen() || !advances)
        return;
    if (!m_strPending.empty())
        SendNextCommand();
    else
        m_liSent = 0;
}
