#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "net/A2sRequest.h"
#include "net/CUdpSocket.h"
#include "net/QueryCommands.h"
#include "net/SplitReassembler.h"

// One query sequence to one game server: the steps ("details", "players",
// "rules") go out one at a time, each after its answer came back, in the
// form of the server's protocol: the old text commands, A2S with its
// challenges and split replies, or, while the protocol is not known yet,
// both at once until a reply tells which one the server speaks.
class CServerSocket : public CUdpSocket {
public:
    using CUdpSocket::CUdpSocket;

    // A server that answers every request of a step with a new challenge is
    // asked again this many times, then the step runs into its time-out.
    static constexpr int kMaxChallengeResends = 3;

    // Creates and connects the socket; reports and returns false on failure.
    virtual bool ConnectTo(uint32_t address, uint16_t port);
    virtual void GetAddress(uint32_t& address, uint16_t& port) const;
    // Stores the ';'-separated steps and sends the first.
    void QueueCommands(const std::string& commands);
    void SendNextCommand();
    void OnReceive(int errorCode) override;

    // QUERY_LEGACY, QUERY_A2S, or QUERY_UNKNOWN until a reply decides.
    uint8_t Protocol() const { return m_nProtocol; }
    void SetProtocol(uint8_t protocol) { m_nProtocol = protocol; }
    // Challenges received, for the hostile-server checks.
    int ChallengeCount() const { return m_nChallenges; }
    const SplitReassembler& Splits() const { return m_split; }

    std::string m_strPending;
    uint32_t m_dwAddress = 0;
    uint16_t m_wPort = 0;
    // The "Unsupported command" box is shown once per socket: a server that
    // floods us with replies of unknown types gets one box, not one each.
    bool m_bUnsupportedShown = false;

private:
    // Sends the step in the form(s) the protocol calls for.
    void SendStep(const std::string& step);
    bool SendA2sStep(const std::string& step);
    bool SendDatagram(const std::string& step, std::span<const uint8_t> request);
    void OnChallenge(std::span<const uint8_t> reply);
    // Hands a whole reply to the owner and moves the sequence on.
    void Deliver(std::span<const uint8_t> reply, bool advances);

    uint8_t m_nProtocol = QUERY_LEGACY;
    uint32_t m_challenge = kA2sAskChallenge;
    bool m_bHaveChallenge = false;
    int m_nStepChallenges = 0; // challenges answered in the current step
    int m_nChallenges = 0;
    bool m_bAnswered = false; // a reply other than a challenge came back
    SplitReassembler m_split;
};
