#pragma once

#include "LabSocket.h"
#include "ReplyEncoder.h"
#include "ReplyQueue.h"

#include <QObject>
#include <QSocketNotifier>
#include <QString>

#include <memory>
#include <vector>

namespace lab {

class Fleet;

// Every game server of the fleet behind one socket bound to 0.0.0.0 and the
// fleet's port: a request's destination address says which server it is for,
// and requests to any other address are ignored.
class FleetServer : public QObject {
public:
    explicit FleetServer(const Fleet& fleet, QObject* parent = nullptr);
    ~FleetServer() override;

    bool Start(QString& error);
    QString LatenessSummary() const { return m_replies ? m_replies->LatenessSummary() : QString(); }

    enum class Command { Details, Players, Rules, Unknown };
    // An A2S request: info, players or rules with the challenge sent, if
    // any, and the old ping.
    struct A2sRequest {
        Command command = Command::Unknown;
        bool ping = false;
        bool hasChallenge = false;
        uint32_t challenge = 0;
    };

private:
    void OnReadable();
    // Replies are due the server's latency after the request's arrival.
    void Answer(const uint8_t* data, size_t length, const sockaddr_in& from, uint32_t destination,
                ReplyQueue::Clock::time_point arrival);
    // What the index-th server answers to one command, hostile or not.
    ReplyEncoder::Bytes Reply(int index, Command command, uint32_t destination,
                              ReplyQueue::Clock::time_point now);

    void AnswerA2s(const A2sRequest& request, int index, const sockaddr_in& from,
                   uint32_t destination, ReplyQueue::Clock::time_point arrival);
    // What an A2S server answers once the challenge is right: one datagram,
    // or the pieces of a split one. Split only when `mayBeSplit`.
    std::vector<ReplyEncoder::Bytes> ReplyA2s(int index, Command command, uint32_t destination,
                                              ReplyQueue::Clock::time_point now, bool mayBeSplit);

    const Fleet& m_fleet;
    LabSocket m_socket;
    std::unique_ptr<QSocketNotifier> m_readable;
    std::unique_ptr<ReplyQueue> m_replies;
    std::vector<uint32_t> m_requestsSeen;    // per server, numbers requests for the loss draw
    std::vector<uint32_t> m_playersAnswers;  // per server, numbers players answers
    std::vector<uint32_t> m_splitReplies;    // per server, numbers split replies (their ids)
    std::vector<uint32_t> m_challengesGiven; // per server, for the challenge-forever ones
};

} // namespace lab
