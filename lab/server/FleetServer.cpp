#include "FleetServer.h"

#include "Fleet.h"
#include "ReplyEncoder.h"
#include "ReplyQueue.h"

#include "A2sEncoder.h"

#include <arpa/inet.h>
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

// FF FF FF FF then 'T' "Source Engine Query" 00 [challenge], 'U' challenge,
// 'V' challenge, or the ping 'i' (also the old text "ping").
FleetServer::A2sRequest ReadA2sRequest(const uint8_t* data, size_t length) {
    FleetServer::A2sRequest request;
    if (length < 5 || std::memcmp(data, "\xFF\xFF\xFF\xFF", 4) != 0)
        return request;
    const auto challengeAt = [&](size_t at) {
        if (length >= at + 4) {
            request.hasChallenge = true;
            request.challenge = uint32_t{data[at]} | uint32_t{data[at + 1]} << 8 |
                                uint32_t{data[at + 2]} << 16 | uint32_t{data[at + 3]} << 24;
        }
    };
    static constexpr char kInfoText[] = "Source Engine Query";
    constexpr size_t kInfoLength = sizeof kInfoText; // with its NUL
    switch (data[4]) {
    case 'T':
        if (length < 5 + kInfoLength || std::memcmp(data + 5, kInfoText, kInfoLength) != 0)
            return request;
        request.command = Command::Details;
        challengeAt(5 + kInfoLength);
        break;
    case 'U':
        request.command = Command::Players;
        challengeAt(5);
        break;
    case 'V':
        request.command = Command::Rules;
        challengeAt(5);
        break;
    case 'i':
        request.ping = true;
        break;
    default:
        request.ping =
            length >= 8 && std::memcmp(data + 4, "ping", 4) == 0 && (length == 8 || data[8] == 0);
        break;
    }
    return request;
}

} // namespace

FleetServer::FleetServer(const Fleet& fleet, QObject* parent)
    : QObject(parent), m_fleet(fleet), m_requestsSeen(size_t(fleet.Size()), 0),
      m_playersAnswers(size_t(fleet.Size()), 0), m_splitReplies(size_t(fleet.Size()), 0),
      m_challengesGiven(size_t(fleet.Size()), 0) {}

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
        ReplyQueue::Clock::time_point arrival;
        const ssize_t length = m_socket.Receive(buffer, sizeof buffer, from, destination, &arrival);
        if (length < 0)
            return;
        Answer(buffer, size_t(length), from, destination, arrival);
        if (i % 16 == 15)
            m_replies->SendDue();
    }
}

void FleetServer::Answer(const uint8_t* data, size_t length, const sockaddr_in& from,
                         uint32_t destination, ReplyQueue::Clock::time_point arrival) {
    const int index = m_fleet.IndexOf(destination);
    if (index >= 0 && m_fleet.SpeaksA2s(index)) {
        const A2sRequest request = ReadA2sRequest(data, length);
        if (request.ping || request.command != Command::Unknown)
            AnswerA2s(request, index, from, destination, arrival);
        return;
    }
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

    const auto due = arrival + std::chrono::milliseconds(summary.latencyMs);
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

void FleetServer::AnswerA2s(const A2sRequest& request, int index, const sockaddr_in& from,
                            uint32_t destination, ReplyQueue::Clock::time_point arrival) {
    if (m_fleet.DropsRequest(index, m_requestsSeen[size_t(index)]++))
        return;
    const auto now = ReplyQueue::Clock::now();
    const ServerSummary& summary = m_fleet.Summary(index);
    if (!m_fleet.IsUp(index, now))
        return;
    const auto due = arrival + std::chrono::milliseconds(summary.latencyMs);
    if (request.ping) {
        m_replies->Schedule(due, destination, from, A2sEncoder::Pong());
        return;
    }
    const Command command = request.command;
    if (summary.behaviour == Behaviour::DetailsOnly && command != Command::Details)
        return;

    // Challenges are per client address, as real servers keep them.
    const uint32_t right = m_fleet.ChallengeFor(index, ntohl(from.sin_addr.s_addr));
    if (summary.behaviour == Behaviour::ChallengeForever) {
        const uint32_t fresh = right + 0x9E3779B9u * ++m_challengesGiven[size_t(index)];
        m_replies->Schedule(due, destination, from,
                            A2sEncoder::Challenge(fresh == 0xFFFFFFFFu ? 1 : fresh));
        return;
    }
    const bool wantsChallenge = command != Command::Details || summary.wantsChallenge;
    if (wantsChallenge && (!request.hasChallenge || request.challenge != right)) {
        m_replies->Schedule(due, destination, from, A2sEncoder::Challenge(right));
        return;
    }

    for (ReplyEncoder::Bytes& datagram : ReplyA2s(index, command, destination, now, true))
        m_replies->Schedule(due, destination, from, std::move(datagram));
    switch (summary.behaviour) {
    case Behaviour::Flood:
        for (int i = 0; i < m_fleet.Options().floodCount; ++i)
            m_replies->Schedule(due, destination, from, ReplyEncoder::Unsupported('Z'));
        break;
    case Behaviour::Unsolicited: {
        for (const Command other : {Command::Details, Command::Players, Command::Rules})
            if (other != command)
                for (ReplyEncoder::Bytes& datagram :
                     ReplyA2s(index, other, destination, now, false))
                    m_replies->Schedule(due, destination, from, std::move(datagram));
        ServerContent impostor = m_fleet.Content(index);
        impostor.name = "Not this server";
        const uint32_t beside = destination + 1;
        m_replies->Schedule(due, beside, from,
                            A2sEncoder::Info(impostor, m_fleet.A2s(index), impostor.players));
        break;
    }
    default:
        break;
    }
}

std::vector<ReplyEncoder::Bytes> FleetServer::ReplyA2s(int index, Command command,
                                                       uint32_t destination,
                                                       ReplyQueue::Clock::time_point now,
                                                       bool mayBeSplit) {
    const ServerSummary& summary = m_fleet.Summary(index);
    const Behaviour behaviour = summary.behaviour;
    if (command == Command::Details) {
        const ServerContent content = m_fleet.Content(index);
        const int players = m_fleet.PlayersNow(index, now);
        if (behaviour == Behaviour::Message)
            return {ReplyEncoder::Message(content.message)};
        const std::string address =
            FormatIPv4(destination).toStdString() + ":" + std::to_string(m_fleet.Port());
        if (behaviour == Behaviour::Oversize)
            return {ReplyEncoder::DetailsOversize(content, address, players)};
        if (behaviour == Behaviour::Unterminated)
            return {summary.infoForm == InfoForm::M
                        ? ReplyEncoder::DetailsUnterminated(content, address)
                        : A2sEncoder::InfoUnterminated(content)};
        std::vector<ReplyEncoder::Bytes> replies;
        if (summary.infoForm != InfoForm::I)
            replies.push_back(ReplyEncoder::Details(content, address, players));
        if (summary.infoForm != InfoForm::M)
            replies.push_back(A2sEncoder::Info(content, m_fleet.A2s(index), players));
        return replies;
    }
    if (command == Command::Players) {
        if (behaviour == Behaviour::Message || behaviour == Behaviour::Unterminated ||
            behaviour == Behaviour::Oversize)
            return {Reply(index, command, destination, now)};
        const ServerContent content = m_fleet.Content(index);
        const uint32_t answer = m_playersAnswers[size_t(index)]++;
        ReplyEncoder::Bytes reply =
            A2sEncoder::Players(m_fleet.PlayerListNow(index, content, now),
                                m_fleet.PlayersNow(index, now), answer, summary.runningIndex);
        if (behaviour == Behaviour::Overcount)
            ReplyEncoder::RaiseCount(reply);
        return {reply};
    }
    ReplyEncoder::Bytes reply = Reply(index, command, destination, now);
    const auto fault = static_cast<A2sEncoder::SplitFault>(summary.splitFault);
    const int splitSize = m_fleet.Options().splitSize;
    if (!mayBeSplit || behaviour == Behaviour::Oversize || behaviour == Behaviour::Message ||
        (fault == A2sEncoder::SplitFault::None && reply.size() <= size_t(splitSize)))
        return {reply};
    const uint32_t id = uint32_t(index) * 2654435761u + m_splitReplies[size_t(index)]++;
    return A2sEncoder::Split(
        reply, summary.newerSplit ? A2sEncoder::SplitForm::Newer : A2sEncoder::SplitForm::HalfLife,
        id, size_t(splitSize), fault == A2sEncoder::SplitFault::None ? 1 : 3, fault);
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
        ReplyEncoder::Bytes reply =
            ReplyEncoder::Players(m_fleet.PlayerListNow(index, content, now), players, answer);
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
