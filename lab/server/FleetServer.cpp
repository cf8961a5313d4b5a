#include "FleetServer.h"

#include "Fleet.h"
#include "ReplyEncoder.h"
#include "ReplyQueue.h"

#include <cstring>
#include <string_view>

namespace lab {

namespace {

using Command = FleetServer::Command;

// 0xFF 0xFF 0xFF 0xFF, the command word, 0x00 (a missing 0x00 is forgiven).
Command ReadCommand(const uint8_t* data, size_t length) {
    if (length < 5 || std::memcmp(data, "\xFF\xFF\xFF\xFF", 4) != 0)
        return Command::Unknown;
    size_t end = 4;
    while (end < length && data[end] != 0)
        ++end;
    const std::string_view word(reinterpret_cast<const char*>(data + 4), end - 4);
    if (word == "details")
        return Command::Details;
    if (word == "players")
        return Command::Players;
    if (word == "rules")
        return Command::Rules;
    return Command::Unknown;
}

} // namespace

FleetServer::FleetServer(const Fleet& fleet, QObject* parent)
    : QObject(parent), m_fleet(fleet), m_requestsSeen(size_t(fleet.Size()), 0),
      m_playersAnswers(size_t(fleet.Size()), 0) {}

FleetServer::~FleetServer() = default;

bool FleetServer::Start(QString& error) {
    if (!m_socket.Open(0, m_fleet.Port(), true, error)) {
        error = QStringLiteral("cannot bind the game servers to 0.0.0.0:%1: %2")
                    .arg(m_fleet.Port())
                    .arg(error);
        return false;
    }
    m_replies = std::make_unique<ReplyQueue>(m_socket);
    m_readable = std::make_unique<QSocketNotifier>(m_socket.Fd(), QSocketNotifier::Read);
    connect(m_readable.get(), &QSocketNotifier::activated, this, &FleetServer::OnReadable);
    return true;
}

void FleetServer::OnReadable() {
    uint8_t buffer[2048];
    // A bounded number per wake-up keeps the timers and the master served
    // while a client floods the fleet.
    for (int i = 0; i < 1024; ++i) {
        sockaddr_in from{};
        uint32_t destination = 0;
        const ssize_t length = m_socket.Receive(buffer, sizeof buffer, from, destination);
        if (length < 0)
            return;
        Answer(buffer, size_t(length), from, destination);
    }
}

void FleetServer::Answer(const uint8_t* data, size_t length, const sockaddr_in& from,
                         uint32_t destination) {
    const int index = m_fleet.IndexOf(destination);
    const Command command = ReadCommand(data, length);
    if (index < 0 || command == Command::Unknown)
        return;
    if (m_fleet.DropsRequest(index, m_requestsSeen[size_t(index)]++))
        return;
    const auto now = ReplyQueue::Clock::now();
    const ServerSummary& summary = m_fleet.Summary(index);
    if (!m_fleet.IsUp(index, now))
        return;
    if (summary.behaviour == Behaviour::DetailsOnly && command != Command::Details)
        return;

    const auto due = now + std::chrono::milliseconds(summary.latencyMs);
    m_replies->Schedule(due, destination, from, Reply(index, command, destination, now));
    switch (summary.behaviour) {
    case Behaviour::Flood:
        for (int i = 0; i < m_fleet.Options().floodCount; ++i)
            m_replies->Schedule(due, destination, from, ReplyEncoder::Unsupported('Z'));
        break;
    case Behaviour::Unsolicited: {
        // The two replies nobody asked for come from the server itself; a
        // third comes from the address beside it, to the same client port,
        // and must never reach a socket connected to this server.
        for (const Command other : {Command::Details, Command::Players, Command::Rules})
            if (other != command)
                m_replies->Schedule(due, destination, from, Reply(index, other, destination, now));
        ServerContent impostor = m_fleet.Content(index);
        impostor.name = "Not this server";
        const uint32_t beside = destination + 1;
        m_replies->Schedule(due, beside, from,
                            ReplyEncoder::Details(impostor, FormatIPv4(beside).toStdString(), 0));
        break;
    }
    default:
        break;
    }
}

ReplyEncoder::Bytes FleetServer::Reply(int index, Command command, uint32_t destination,
                                       ReplyQueue::Clock::time_point now) {
    const ServerSummary& summary = m_fleet.Summary(index);
    const ServerContent content = m_fleet.Content(index);
    const Behaviour behaviour = summary.behaviour;
    if (behaviour == Behaviour::Message)
        return ReplyEncoder::Message(content.message);
    const int players = m_fleet.PlayersNow(index, now);
    if (command == Command::Details) {
        const std::string address =
            FormatIPv4(destination).toStdString() + ":" + std::to_string(m_fleet.Port());
        if (behaviour == Behaviour::Unterminated)
            return ReplyEncoder::DetailsUnterminated(content, address);
        if (behaviour == Behaviour::Oversize)
            return ReplyEncoder::DetailsOversize(content, address, players);
        return ReplyEncoder::Details(content, address, players);
    }
    if (command == Command::Players) {
        const uint32_t answer = m_playersAnswers[size_t(index)]++;
        if (behaviour == Behaviour::Unterminated)
            return ReplyEncoder::PlayersUnterminated(content.playerList, players, answer);
        if (behaviour == Behaviour::Oversize)
            return ReplyEncoder::PlayersOversize();
        ReplyEncoder::Bytes reply = ReplyEncoder::Players(content.playerList, players, answer);
        if (behaviour == Behaviour::Overcount)
            ReplyEncoder::RaiseCount(reply);
        return reply;
    }
    if (behaviour == Behaviour::Unterminated)
        return ReplyEncoder::RulesUnterminated(content.rules);
    if (behaviour == Behaviour::Oversize)
        return ReplyEncoder::RulesOversize();
    ReplyEncoder::Bytes reply = ReplyEncoder::Rules(content.rules);
    if (behaviour == Behaviour::Overcount)
        ReplyEncoder::RaiseCount(reply);
    return reply;
}

} // namespace lab
