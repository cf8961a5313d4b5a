// The lab's A2S servers, Steam master and web list against its manifest,
// over real sockets, read with the tests' own reader: the client's decoders
// are checked against these bytes, so these bytes are checked here.

#include "LabProcess.h"
#include "LabWire.h"

#include <QJsonDocument>
#include <QUrl>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <vector>

namespace {

using Entry = std::pair<uint32_t, uint16_t>;

const QByteArray kInfoRequest = Header('T') + QByteArray("Source Engine Query", 20);
const QByteArray kAskChallenge("\xFF\xFF\xFF\xFF", 4);

// Everything that arrives until the peer has been quiet for a while (the
// lab sends all the datagrams of one answer at once).
std::vector<QByteArray> Collect(UdpPeer& peer, const QByteArray& request, int firstMs = 2000) {
    peer.Send(request);
    std::vector<QByteArray> datagrams;
    for (std::optional<QByteArray> d = peer.Receive(firstMs); d; d = peer.Receive(100))
        datagrams.push_back(*d);
    return datagrams;
}

// The 4 bytes of an 'A' reply, empty when the reply is something else.
QByteArray ChallengeOf(const std::vector<QByteArray>& datagrams) {
    if (datagrams.size() != 1 || datagrams[0].size() != 9 || !datagrams[0].startsWith(Header('A')))
        return {};
    return datagrams[0].mid(5);
}

void ExpectInfo(const QByteArray& reply, const QJsonObject& server) {
    const QJsonObject d = server["details"].toObject();
    const QJsonObject a2s = server["a2s"].toObject();
    ASSERT_TRUE(reply.startsWith(Header('I')));
    Reader r(reply.mid(5));
    EXPECT_EQ(int(r.U8()), 48);
    EXPECT_EQ(r.String(), LabProcess::Bytes(d, "name"));
    EXPECT_EQ(r.String(), d["map"].toString().toLatin1());
    EXPECT_EQ(r.String(), d["game"].toString().toLatin1());
    EXPECT_EQ(r.String(), d["description"].toString().toLatin1());
    EXPECT_EQ(int(r.U16()), a2s["appId"].toInt());
    EXPECT_EQ(int(r.U8()), d["players"].toInt());
    EXPECT_EQ(int(r.U8()), d["maxPlayers"].toInt());
    EXPECT_EQ(int(r.U8()), d["bots"].toInt());
    EXPECT_EQ(QChar(r.U8()), d["type"].toString().at(0));
    EXPECT_EQ(QChar(r.U8()), d["os"].toString().at(0));
    EXPECT_EQ(r.U8() != 0, d["password"].toBool());
    EXPECT_EQ(r.U8() != 0, d["secure"].toBool());
    EXPECT_EQ(r.String(), a2s["version"].toString().toLatin1());
    const uint32_t flags = r.U8();
    EXPECT_EQ(int(flags), a2s["extraFlags"].toInt());
    EXPECT_TRUE(flags & 0x80) << "the game port is always there";
    if (flags & 0x80) {
        EXPECT_EQ(int(r.U16()), a2s["gamePort"].toInt());
    }
    if (flags & 0x10) {
        EXPECT_EQ(QString::number(r.U64()), a2s["steamId"]);
    }
    if (flags & 0x40) {
        EXPECT_EQ(int(r.U16()), a2s["spectatorPort"].toInt());
        EXPECT_EQ(r.String(), a2s["spectatorName"].toString().toLatin1());
    }
    if (flags & 0x20) {
        EXPECT_EQ(r.String(), a2s["keywords"].toString().toLatin1());
    }
    if (flags & 0x01) {
        EXPECT_EQ(QString::number(r.U64()), a2s["gameId"]);
    }
    EXPECT_TRUE(r.Ok() && r.AtEnd());
}

struct Piece {
    uint32_t id = 0;
    int number = 0;
    int count = 0;
    QByteArray data;
};

// Half-Life: FE FF FF FF, id, number << 4 | count. Newer: id, count,
// number, a 16-bit size.
Piece ReadPiece(const QByteArray& datagram, bool newer) {
    EXPECT_TRUE(datagram.startsWith(QByteArray("\xFE\xFF\xFF\xFF", 4)));
    Reader r(datagram.mid(4));
    Piece piece;
    piece.id = r.U32();
    if (newer) {
        piece.count = int(r.U8());
        piece.number = int(r.U8());
        EXPECT_GT(r.U16(), 0u);
    } else {
        const uint32_t byte = r.U8();
        piece.number = int(byte >> 4);
        piece.count = int(byte & 0x0F);
    }
    EXPECT_TRUE(r.Ok());
    piece.data = datagram.mid(newer ? 12 : 9);
    return piece;
}

// The whole reply when the pieces make one: one id, one count, every number
// below it (duplicates and pieces out of range are left out).
std::optional<QByteArray> Join(const std::vector<Piece>& pieces) {
    if (pieces.empty())
        return std::nullopt;
    std::map<int, QByteArray> byNumber;
    for (const Piece& p : pieces) {
        if (p.id != pieces[0].id || p.count != pieces[0].count)
            return std::nullopt;
        if (p.number < p.count)
            byNumber.emplace(p.number, p.data);
    }
    if (int(byNumber.size()) != pieces[0].count)
        return std::nullopt;
    QByteArray whole;
    for (const auto& [number, data] : byNumber)
        whole += data;
    return whole;
}

// The Steam master's whole list from one seed on: the batches, each as read.
struct SteamBatch {
    std::vector<Entry> entries;
    bool end = false;
};

SteamBatch ReadSteamBatch(const QByteArray& reply) {
    SteamBatch batch;
    EXPECT_TRUE(reply.startsWith(Header('f') + '\x0A'));
    EXPECT_EQ((reply.size() - 6) % 6, 0) << "stray bytes after the entries";
    Reader r(reply.mid(6));
    while (!r.AtEnd() && r.Ok()) {
        EXPECT_FALSE(batch.end) << "entries after the end marker";
        const uint32_t address = r.BigU32();
        const uint16_t port = uint16_t(r.BigU16());
        if (address == 0 && port == 0)
            batch.end = true;
        else
            batch.entries.emplace_back(address, port);
    }
    return batch;
}

QByteArray SteamRequest(const QByteArray& seed, const QByteArray& filter) {
    return QByteArray("\x31\xFF", 2) + seed + '\0' + filter + '\0';
}

QByteArray SeedOf(const Entry& entry) {
    return (LabProcess::FormatIP(entry.first) + ':' + QString::number(entry.second)).toLatin1();
}

std::vector<SteamBatch> FetchSteamList(UdpPeer& master, const QByteArray& filter,
                                       size_t maxBatches = 100) {
    std::vector<SteamBatch> batches;
    QByteArray seed = "0.0.0.0:0";
    while (batches.size() < maxBatches) {
        const std::vector<QByteArray> replies = Collect(master, SteamRequest(seed, filter));
        if (replies.size() != 1) {
            ADD_FAILURE() << replies.size() << " replies for seed " << seed.toStdString();
            break;
        }
        batches.push_back(ReadSteamBatch(replies[0]));
        if (batches.back().end || batches.back().entries.empty())
            break;
        seed = SeedOf(batches.back().entries.back());
    }
    return batches;
}

std::vector<Entry> EntriesOf(const std::vector<SteamBatch>& batches) {
    std::vector<Entry> all;
    for (const SteamBatch& batch : batches)
        all.insert(all.end(), batch.entries.begin(), batch.entries.end());
    return all;
}

// One request per connection, as the lab serves it: the status and body.
std::pair<int, QByteArray> HttpGet(uint16_t port, const QByteArray& target) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_addr.s_addr = htonl(0x7F000001);
    peer.sin_port = htons(port);
    QByteArray response;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0) {
        const QByteArray request = "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
        ::send(fd, request.data(), size_t(request.size()), MSG_NOSIGNAL);
        pollfd p{fd, POLLIN, 0};
        char buffer[65536];
        ssize_t length = 0;
        while (::poll(&p, 1, 10000) == 1 && (length = ::recv(fd, buffer, sizeof buffer, 0)) > 0)
            response.append(buffer, qsizetype(length));
    }
    ::close(fd);
    const qsizetype bodyAt = response.indexOf("\r\n\r\n");
    if (!response.startsWith("HTTP/1.1 ") || bodyAt < 0)
        return {0, response};
    EXPECT_TRUE(response.left(bodyAt).contains("Content-Length: " +
                                               QByteArray::number(response.size() - bodyAt - 4)));
    return {response.mid(9, 3).toInt(), response.mid(bodyAt + 4)};
}

} // namespace

TEST(SteamLabTest, ServersAnswerA2sAsTheManifestSays) {
    LabProcess lab;
    ASSERT_TRUE(lab.Start({"--protocol",
                           "steam",
                           "--servers",
                           "60",
                           "--seed",
                           "7",
                           "--split-size",
                           "120",
                           "--newer-split",
                           "0.4",
                           "--info-old",
                           "0.15",
                           "--info-both",
                           "0.15",
                           "--bad-split",
                           "0.2",
                           "--challenge-forever",
                           "0.05",
                           "--silent",
                           "0.05"}))
        << lab.Error().toStdString();
    ASSERT_TRUE(lab.Steam());
    std::set<QString> kinds, forms, faults;
    for (int i = 0; i < lab.ServerCount(); ++i) {
        const QJsonObject server = lab.ServerAt(i);
        const QString behaviour = server["behaviour"].toString();
        const QString form = server["infoForm"].toString();
        const QString fault = server["splitFault"].toString();
        const bool wants = server["wantsChallenge"].toBool();
        const bool newer = server["splitForm"].toString() == "newer";
        const QString kind = QStringList{behaviour, form, fault, server["splitForm"].toString(),
                                         wants ? "challenge" : "-"}
                                 .join(' ');
        if (!kinds.insert(kind).second)
            continue;
        SCOPED_TRACE(lab.EndpointAt(i).toStdString() + " " + kind.toStdString());
        EXPECT_EQ(server["protocol"], "a2s");
        UdpPeer peer(lab.AddressAt(i), lab.ServerPort());
        // Today's servers answer the old ping and none of the old queries.
        peer.SendCommand("details");
        peer.SendCommand("rules");
        const std::vector<QByteArray> pong = Collect(peer, Header('i'), 1000);
        if (behaviour == "silent") {
            EXPECT_TRUE(pong.empty() && Collect(peer, kInfoRequest, 300).empty());
            continue;
        }
        EXPECT_EQ(pong, std::vector<QByteArray>{Header('j') + '\0'});

        // Info, with the challenge round trip where the server wants one.
        std::vector<QByteArray> info = Collect(peer, kInfoRequest);
        if (behaviour == "challenge-forever") {
            const QByteArray first = ChallengeOf(info);
            const QByteArray second = ChallengeOf(Collect(peer, kInfoRequest + first));
            const QByteArray third = ChallengeOf(Collect(peer, Header('U') + second));
            EXPECT_TRUE(first.size() == 4 && second.size() == 4 && third.size() == 4);
            EXPECT_TRUE(first != second && second != third);
            continue;
        }
        const QByteArray challenge = ChallengeOf(Collect(peer, Header('U') + kAskChallenge));
        ASSERT_EQ(challenge.size(), 4);
        if (wants) {
            EXPECT_EQ(ChallengeOf(info), challenge) << "one challenge per client address";
            QByteArray wrong = challenge;
            wrong[0] = char(wrong[0] ^ 1);
            EXPECT_EQ(ChallengeOf(Collect(peer, kInfoRequest + wrong)), challenge);
            info = Collect(peer, kInfoRequest + challenge);
        }
        forms.insert(form);
        ASSERT_EQ(info.size(), form == "mI" ? 2u : 1u);
        if (form != "I")
            ExpectDetails(info[0], server, lab.EndpointAt(i));
        if (form != "m")
            ExpectInfo(info.back(), server);

        // Players and rules always want the challenge.
        EXPECT_EQ(ChallengeOf(Collect(peer, Header('V') + kAskChallenge)), challenge);
        const std::vector<QByteArray> players = Collect(peer, Header('U') + challenge);
        ASSERT_EQ(players.size(), 1u);
        ExpectPlayers(players[0], server, 0);
        const std::vector<QByteArray> rules = Collect(peer, Header('V') + challenge);
        ASSERT_FALSE(rules.empty());
        if (!server["rulesSplit"].toBool()) {
            ASSERT_EQ(rules.size(), 1u);
            ExpectRules(rules[0], server);
            continue;
        }
        std::vector<Piece> pieces;
        std::set<uint32_t> ids;
        std::set<int> counts, numbers;
        for (const QByteArray& datagram : rules) {
            pieces.push_back(ReadPiece(datagram, newer));
            ids.insert(pieces.back().id);
            counts.insert(pieces.back().count);
            numbers.insert(pieces.back().number);
            EXPECT_EQ(pieces.back().id & 0x80000000u, 0u) << "not compressed";
        }
        faults.insert(fault);
        const int count = *counts.begin();
        const std::optional<QByteArray> whole = Join(pieces);
        if (fault == "none" || fault == "duplicated" || fault == "out-of-range") {
            ASSERT_TRUE(whole);
            ExpectRules(*whole, server);
            EXPECT_EQ(rules.size(), size_t(count) * (fault == "duplicated" ? 2 : 1) +
                                        (fault == "out-of-range" ? 1 : 0));
            EXPECT_EQ(*numbers.rbegin() >= count, fault == "out-of-range");
        } else {
            EXPECT_FALSE(whole);
            EXPECT_EQ(ids.size(), fault == "mixed-ids" ? 2u : 1u);
            EXPECT_EQ(counts.size(), fault == "inconsistent" ? 2u : 1u);
            if (fault == "missing" || fault == "no-end") {
                EXPECT_EQ(int(numbers.size()), count - 1);
                EXPECT_EQ(numbers.count(count - 1) == 0, fault == "no-end");
            }
        }
    }
    EXPECT_EQ(forms, (std::set<QString>{"I", "m", "mI"}));
    EXPECT_EQ(faults, (std::set<QString>{"none", "duplicated", "missing", "out-of-range",
                                         "inconsistent", "mixed-ids", "no-end"}));
}

TEST(SteamLabTest, SteamMasterListsTheFleetFromSeedToEndMarker) {
    LabProcess lab;
    ASSERT_TRUE(
        lab.Start({"--protocol", "steam", "--servers", "30", "--seed", "5", "--batch-size", "7"}))
        << lab.Error().toStdString();
    EXPECT_EQ(lab.Manifest()["steamMaster"].toString(), lab.SteamMasterText());
    UdpPeer master(lab.MasterAddress(), lab.SteamMasterPort());
    const std::vector<SteamBatch> batches = FetchSteamList(master, {});
    ASSERT_EQ(batches.size(), 5u);
    for (size_t b = 0; b < batches.size(); ++b) {
        EXPECT_EQ(batches[b].entries.size(), b + 1 < batches.size() ? 7u : 2u);
        EXPECT_EQ(batches[b].end, b + 1 == batches.size());
    }
    std::vector<Entry> fleet;
    for (int i = 0; i < lab.ServerCount(); ++i)
        fleet.emplace_back(lab.AddressAt(i), lab.ServerPort());
    EXPECT_EQ(EntriesOf(batches), fleet);

    // A retry gets the same bytes; qstat's seed, with a stray byte after the
    // port and no filter NUL, continues the same way.
    const QByteArray seed = SeedOf(batches[1].entries.back());
    const std::vector<QByteArray> once = Collect(master, SteamRequest(seed, {}));
    const std::vector<QByteArray> qstatForm =
        Collect(master, QByteArray("\x31\xFF", 2) + seed + "d" + '\0');
    ASSERT_EQ(once.size(), 1u);
    EXPECT_EQ(qstatForm, once);
    EXPECT_EQ(ReadSteamBatch(once[0]).entries, batches[2].entries);

    // Filters against the manifest: app id, game directory in any case, the
    // map whole, no password, not empty, not full, dedicated, Linux.
    const struct {
        QByteArray filter;
        std::function<bool(const QJsonObject&)> passes;
    } filters[] = {
        {"\\appid\\10\\map\\DE_DUST2",
         [](const QJsonObject& s) {
             return s["a2s"].toObject()["appId"].toInt() == 10 &&
                    s["details"].toObject()["map"].toString().toLower() == "de_dust2";
         }},
        {"\\gamedir\\CStrike\\password\\0\\empty\\1\\full\\1",
         [](const QJsonObject& s) {
             const QJsonObject d = s["details"].toObject();
             return d["game"].toString().toLower() == "cstrike" && !d["password"].toBool() &&
                    d["players"].toInt() > 0 && d["players"].toInt() < d["maxPlayers"].toInt();
         }},
        {"\\dedicated\\1\\linux\\1\\napp\\500",
         [](const QJsonObject& s) {
             return s["details"].toObject()["type"] == "d" && s["details"].toObject()["os"] == "l";
         }},
    };
    for (const auto& [filter, passes] : filters) {
        SCOPED_TRACE(filter.toStdString());
        std::vector<Entry> expected;
        for (int i = 0; i < lab.ServerCount(); ++i)
            if (passes(lab.ServerAt(i)))
                expected.emplace_back(lab.AddressAt(i), lab.ServerPort());
        EXPECT_FALSE(expected.empty());
        const std::vector<SteamBatch> filtered = FetchSteamList(master, filter);
        EXPECT_TRUE(!filtered.empty() && filtered.back().end);
        EXPECT_EQ(EntriesOf(filtered), expected);
    }
}

TEST(SteamLabTest, HostileSteamMastersNeverEndRepeatOrDrop) {
    const struct {
        const char* name;
        QStringList arguments;
    } cases[] = {
        {"endless", {"--master-mode", "endless"}},
        {"repeat", {"--master-mode", "repeat"}},
        {"drop-first", {"--drop-first-master-request"}},
    };
    for (const auto& [name, arguments] : cases) {
        SCOPED_TRACE(name);
        LabProcess lab;
        ASSERT_TRUE(lab.Start(
            QStringList{"--protocol", "steam", "--servers", "10", "--batch-size", "4"} + arguments))
            << lab.Error().toStdString();
        UdpPeer master(lab.MasterAddress(), lab.SteamMasterPort());
        if (QByteArray(name) == "drop-first") {
            // Each seed's first request is ignored, its retry answered.
            QByteArray seed = "0.0.0.0:0";
            for (int batch = 0; batch < 3; ++batch) {
                EXPECT_TRUE(Collect(master, SteamRequest(seed, {}), 300).empty()) << batch;
                const std::vector<QByteArray> reply = Collect(master, SteamRequest(seed, {}));
                ASSERT_EQ(reply.size(), 1u) << batch;
                const SteamBatch read = ReadSteamBatch(reply[0]);
                EXPECT_EQ(read.end, batch == 2);
                if (read.entries.empty())
                    break;
                seed = SeedOf(read.entries.back());
            }
            continue;
        }
        const std::vector<SteamBatch> batches = FetchSteamList(master, {}, 8);
        ASSERT_EQ(batches.size(), 8u);
        for (const SteamBatch& batch : batches) {
            EXPECT_FALSE(batch.end);
            EXPECT_EQ(batch.entries.size(), 4u);
        }
        if (QByteArray(name) == "repeat") {
            EXPECT_EQ(batches[1].entries, batches[0].entries);
        } else {
            // Round the list and on: 32 entries from a list of 10.
            const std::vector<Entry> all = EntriesOf(batches);
            for (size_t k = 0; k < all.size(); ++k)
                EXPECT_EQ(all[k].first, lab.AddressAt(int(k % 10)));
        }
    }
}

TEST(SteamLabTest, WebListAnswersOnlyTheRightKey) {
    LabProcess lab;
    ASSERT_TRUE(lab.Start(
        {"--protocol", "steam", "--servers", "130", "--seed", "9", "--web-key", "s3cret"}))
        << lab.Error().toStdString();
    EXPECT_EQ(lab.WebKey(), "s3cret");
    EXPECT_EQ(lab.Manifest()["web"].toObject()["url"].toString(), lab.WebUrl());
    int cstrike = 0;
    std::map<QString, int> indexOf;
    for (int i = 0; i < lab.ServerCount(); ++i) {
        cstrike += lab.ServerAt(i)["a2s"].toObject()["appId"].toInt() == 10;
        indexOf[lab.EndpointAt(i)] = i;
    }
    const QByteArray path = "/IGameServersService/GetServerList/v1/";
    const QByteArray appFilter = "&filter=" + QUrl::toPercentEncoding("\\appid\\10");
    const struct {
        QByteArray query;
        int status;
        int servers;
    } cases[] = {
        {"", 403, 0},
        {"?key=wrong&limit=5", 403, 0},
        {"?key=s3cret", 200, 100},
        {"?key=s3cret&limit=5", 200, 5},
        {"?key=s3cret&limit=50000", 200, 130},
        {"?key=s3cret&limit=50000" + appFilter, 200, cstrike},
        {"?key=s3cret&filter=%5Cappid%5C999", 200, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.query.toStdString());
        const auto [status, body] = HttpGet(lab.WebPort(), path + c.query);
        ASSERT_EQ(status, c.status) << body.left(300).toStdString();
        if (status != 200) {
            EXPECT_TRUE(body.startsWith("<html>"));
            continue;
        }
        const QJsonObject response = QJsonDocument::fromJson(body)["response"].toObject();
        const QJsonArray servers = response["servers"].toArray();
        ASSERT_EQ(servers.size(), c.servers);
        EXPECT_EQ(response.contains("servers"), c.servers > 0);
        for (const QJsonValue& value : servers) {
            const QJsonObject s = value.toObject();
            ASSERT_TRUE(indexOf.count(s["addr"].toString())) << s["addr"].toString().toStdString();
            const int index = indexOf[s["addr"].toString()];
            const QJsonObject server = lab.ServerAt(index);
            const QJsonObject d = server["details"].toObject();
            EXPECT_EQ(s["name"], d["name"]);
            EXPECT_EQ(s["map"], d["map"]);
            EXPECT_EQ(s["gamedir"], d["game"]);
            EXPECT_EQ(s["players"], d["players"]);
            EXPECT_EQ(s["max_players"], d["maxPlayers"]);
            EXPECT_EQ(s["appid"], server["a2s"].toObject()["appId"]);
            EXPECT_EQ(s["version"], server["a2s"].toObject()["version"]);
            EXPECT_EQ(s["gameport"].toInt(), lab.ServerPort());
            EXPECT_EQ(s["dedicated"].toBool(), d["type"] == "d");
            EXPECT_EQ(s["os"], d["os"]);
        }
    }
}
