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

    enum class Command { Details, Players, Rules, Unknown };

private:
    void OnReadable();
    void Answer(const uint8_t* data, size_t length, const sockaddr_in& from, uint32_t destination);
    // What the index-th server answers to one command, hostile or not.
    ReplyEncoder::Bytes Reply(int index, Command command, uint32_t destination,
                              ReplyQueue::Clock::time_point now);

    const Fleet& m_fleet;
    LabSocket m_socket;
    std::unique_ptr<QSocketNotifier> m_readable;
    std::unique_ptr<ReplyQueue> m_replies;
    std::vector<uint32_t> m_requestsSeen;   // per server, numbers requests for the loss draw
    std::vector<uint32_t> m_playersAnswers; // per server, numbers players answers
};

} // namespace lab
