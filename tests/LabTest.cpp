// The lab is what every network test and benchmark talks to, so it is
// checked here against its own manifest over real UDP, byte by byte, with a
// reader written for this test alone.

#include "LabProcess.h"
#include "LabWire.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <set>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

QByteArray MasterRequest(char kind, uint32_t batchId, const QByteArray& filter, bool closingNul) {
    QByteArray request(1, kind);
    for (int i = 0; i < 4; ++i)
        request += char((batchId >> (8 * i)) & 0xFF);
    request += filter;
    if (closingNul)
        request += '\0';
    return request;
}

struct Batch {
    uint32_t next = 0;
    std::vector<std::pair<uint32_t, uint16_t>> entries;
};

Batch ReadBatch(const QByteArray& reply) {
    Batch batch;
    EXPECT_TRUE(reply.startsWith(Header('f')));
    EXPECT_EQ((reply.size() - 10) % 6, 0) << "stray bytes after the entries";
    Reader r(reply.mid(5));
    EXPECT_EQ(r.U8(), 0x0Du);
    batch.next = r.U32();
    while (!r.AtEnd() && r.Ok()) {
        const uint32_t address = r.BigU32();
        batch.entries.emplace_back(address, uint16_t(r.BigU16()));
    }
    return batch;
}

// The whole list as a client gets it: batch 0, then every id handed out.
std::vector<Batch> FetchList(LabProcess& lab, const QByteArray& filter) {
    UdpPeer master(lab.MasterAddress(), lab.MasterPort());
    std::vector<Batch> batches;
    uint32_t id = 0;
    do {
        master.Send(MasterRequest(filter.isEmpty() ? 'e' : '1', id, filter, true));
        const std::optional<QByteArray> reply = master.Receive(2000);
        if (!reply) {
            ADD_FAILURE() << "no answer for batch " << id;
            break;
        }
        batches.push_back(ReadBatch(*reply));
        id = batches.back().next;
    } while (id != 0 && batches.size() < 1000);
    return batches;
}

QJsonArray WithoutPorts(QJsonArray servers) {
    for (auto&& value : servers) {
        QJsonObject server = value.toObject();
        server.remove("port");
        value = server;
    }
    return servers;
}

} // namespace

TEST(LabTest, ManifestIsDeterministicAndCoversTheHardCases) {
    // Two labs at once also shows that LabProcess keeps them apart.
    LabProcess first, again, other;
    ASSERT_TRUE(first.Start({"--servers", "80", "--seed", "7"})) << first.Error().toStdString();
    ASSERT_TRUE(again.Start({"--servers", "80", "--seed", "7"})) << again.Error().toStdString();
    ASSERT_TRUE(other.Start({"--servers", "80", "--seed", "8"})) << other.Error().toStdString();
    EXPECT_NE(first.ServerPort(), again.ServerPort());
    EXPECT_NE(first.MasterPort(), again.MasterPort());
    EXPECT_EQ(WithoutPorts(first.Servers()), WithoutPorts(again.Servers()));
    EXPECT_NE(WithoutPorts(first.Servers()), WithoutPorts(other.Servers()));

    bool latin1Name = false, regexName = false, full = false, empty = false, password = false;
    bool capitalGame = false, emptyPlayer = false, votesContact = false, reserveSlots = false;
    std::map<QByteArray, int> playerNames;
    for (int i = 0; i < first.ServerCount(); ++i) {
        const QJsonObject server = first.ServerAt(i);
        const QJsonObject d = server["details"].toObject();
        const QByteArray name = LabProcess::Bytes(d, "name");
        EXPECT_EQ(server["address"].toString(), LabProcess::FormatIP(first.AddressAt(i)));
        EXPECT_EQ(QString::fromLatin1(name), d["name"].toString());
        latin1Name |= std::any_of(name.begin(), name.end(), [](char c) { return c & 0x80; });
        regexName |= name.contains('[') || name.contains('(') || name.contains('|');
        const int players = d["players"].toInt();
        const int max = d["maxPlayers"].toInt();
        EXPECT_GE(max, 8);
        EXPECT_LE(max, 32);
        full |= players == max;
        empty |= players == 0;
        password |= d["password"].toBool();
        capitalGame |= d["game"].toString() != d["game"].toString().toLower();

        // qstat relies on slots numbered 1, 2, 3... without gaps.
        const QJsonArray list = server["players"].toArray();
        ASSERT_EQ(list.size(), players);
        for (int k = 0; k < list.size(); ++k) {
            EXPECT_EQ(list[k]["index"].toInt(), k + 1);
            const QByteArray playerName = LabProcess::Bytes(list[k].toObject(), "name");
            emptyPlayer |= playerName.isEmpty();
            ++playerNames[playerName];
        }
        std::set<QString> keys;
        for (const QJsonValue& rule : server["rules"].toArray()) {
            keys.insert(rule["key"].toString());
            const QString value = rule["value"].toString();
            votesContact |=
                rule["key"] == "sv_contact" && value.startsWith("votes:") && value.contains('\t');
            reserveSlots |= rule["key"] == "reserve_slots";
        }
        EXPECT_TRUE(keys.count("mp_timelimit") && keys.count("mp_timeleft"));
    }
    EXPECT_TRUE(latin1Name && regexName && full && empty && password && capitalGame);
    EXPECT_TRUE(emptyPlayer && votesContact && reserveSlots);
    EXPECT_TRUE(std::any_of(playerNames.begin(), playerNames.end(),
                            [](const auto& entry) { return entry.second > 1; }));
}

TEST(LabTest, ServersAnswerAsTheManifestSays) {
    LabProcess lab;
    ASSERT_TRUE(lab.Start({"--servers", "40", "--seed", "3", "--silent", "0.2", "--details-only",
                           "0.2", "--message", "0.2"}))
        << lab.Error().toStdString();
    std::set<QString> seen;
    for (int i = 0; i < lab.ServerCount(); ++i) {
        const QJsonObject server = lab.ServerAt(i);
        const QString behaviour = server["behaviour"].toString();
        if (!seen.insert(behaviour).second && i > 2)
            continue; // one of each kind is enough, and the full and empty ones
        SCOPED_TRACE(lab.EndpointAt(i).toStdString() + " " + behaviour.toStdString());
        UdpPeer peer(lab.AddressAt(i), lab.ServerPort());
        // Wait long for what must come, briefly for what must not.
        const int detailsWait = behaviour == "silent" ? 300 : 2000;
        const int othersWait = behaviour == "silent" || behaviour == "details-only" ? 300 : 2000;
        peer.SendCommand("details");
        std::optional<QByteArray> details = peer.Receive(detailsWait);
        peer.SendCommand("players");
        std::optional<QByteArray> players = peer.Receive(othersWait);
        peer.SendCommand("players");
        std::optional<QByteArray> playersAgain = peer.Receive(othersWait);
        peer.SendCommand("rules");
        std::optional<QByteArray> rules = peer.Receive(othersWait);

        if (behaviour == "silent") {
            EXPECT_FALSE(details || players || rules);
        } else if (behaviour == "message") {
            const QByteArray text = Header('l') + LabProcess::Bytes(server, "message") + '\0';
            for (const auto& reply : {details, players, rules})
                EXPECT_EQ(reply.value_or("(nothing)"), text);
        } else {
            ASSERT_TRUE(details);
            ExpectDetails(*details, server, lab.EndpointAt(i));
            if (behaviour == "details-only") {
                EXPECT_FALSE(players || rules);
                continue;
            }
            ASSERT_TRUE(players && playersAgain && rules);
            ExpectPlayers(*players, server, 0);
            ExpectPlayers(*playersAgain, server, 1);
            ExpectRules(*rules, server);
        }
    }
    EXPECT_EQ(seen, (std::set<QString>{"normal", "silent", "details-only", "message"}));

    // Unknown words and addresses outside the fleet get no answer.
    UdpPeer peer(lab.AddressAt(0), lab.ServerPort());
    peer.SendCommand("info");
    UdpPeer outside(lab.AddressAt(lab.ServerCount()), lab.ServerPort());
    outside.SendCommand("details");
    EXPECT_FALSE(peer.Receive(200) || outside.Receive(200));
}

TEST(LabTest, MasterListsTheFleetInBatches) {
    LabProcess lab;
    ASSERT_TRUE(lab.Start({"--servers", "30", "--seed", "5", "--batch-size", "7"}))
        << lab.Error().toStdString();
    const std::vector<Batch> batches = FetchList(lab, {});
    ASSERT_EQ(batches.size(), 5u);
    std::vector<std::pair<uint32_t, uint16_t>> all;
    for (size_t b = 0; b < batches.size(); ++b) {
        EXPECT_EQ(batches[b].entries.size(), b + 1 < batches.size() ? 7u : 2u);
        if (b + 1 < batches.size()) {
            EXPECT_NE(batches[b].next, 0u);
            EXPECT_LT(batches[b].next, 1u << 24);
        }
        all.insert(all.end(), batches[b].entries.begin(), batches[b].entries.end());
    }
    EXPECT_EQ(batches.back().next, 0u);
    ASSERT_EQ(all.size(), 30u);
    for (int i = 0; i < 30; ++i)
        EXPECT_EQ(all[size_t(i)], std::make_pair(lab.AddressAt(i), lab.ServerPort()));

    // A retry of an id gets the same bytes; the qstat form ('1', no filter,
    // no closing 0x00) is understood; an id never handed out is ignored.
    UdpPeer master(lab.MasterAddress(), lab.MasterPort());
    master.Send(MasterRequest('e', batches[0].next, {}, true));
    const std::optional<QByteArray> once = master.Receive(2000);
    master.Send(MasterRequest('1', batches[0].next, {}, false));
    const std::optional<QByteArray> twice = master.Receive(2000);
    ASSERT_TRUE(once && twice);
    EXPECT_EQ(*once, *twice);
    EXPECT_EQ(ReadBatch(*once).entries, batches[1].entries);
    master.Send(MasterRequest('e', batches[0].next + 1, {}, true));
    EXPECT_FALSE(master.Receive(300));

    // Game directory: whole, any case. Map: a prefix, any case.
    std::vector<std::pair<uint32_t, uint16_t>> expected;
    for (int i = 0; i < lab.ServerCount(); ++i) {
        const QJsonObject d = lab.ServerAt(i)["details"].toObject();
        if (d["game"].toString().toLower() == "cstrike" &&
            d["map"].toString().toLower().startsWith("de_"))
            expected.emplace_back(lab.AddressAt(i), lab.ServerPort());
    }
    ASSERT_FALSE(expected.empty());
    std::vector<std::pair<uint32_t, uint16_t>> filtered;
    for (const Batch& batch : FetchList(lab, "\\gamedir\\CSTRIKE\\map\\De_"))
        filtered.insert(filtered.end(), batch.entries.begin(), batch.entries.end());
    EXPECT_EQ(filtered, expected);
    std::vector<Batch> none = FetchList(lab, "\\gamedir\\cstrik");
    ASSERT_EQ(none.size(), 1u);
    EXPECT_TRUE(none[0].entries.empty());
}

TEST(LabTest, MasterIgnoresTheFirstRequestForEachBatch) {
    LabProcess lab;
    ASSERT_TRUE(lab.Start({"--servers", "10", "--batch-size", "6", "--drop-first-master-request"}))
        << lab.Error().toStdString();
    UdpPeer master(lab.MasterAddress(), lab.MasterPort());
    uint32_t id = 0;
    for (int batch = 0; batch < 2; ++batch) {
        master.Send(MasterRequest('e', id, {}, true));
        EXPECT_FALSE(master.Receive(300)) << "batch " << batch;
        master.Send(MasterRequest('e', id, {}, true));
        const std::optional<QByteArray> reply = master.Receive(2000);
        ASSERT_TRUE(reply) << "batch " << batch;
        id = ReadBatch(*reply).next;
    }
    EXPECT_EQ(id, 0u);
}

TEST(LabTest, RepliesWaitForTheServersLatency) {
    LabProcess lab;
    ASSERT_TRUE(lab.Start({"--servers", "6", "--latency", "100-300"})) << lab.Error().toStdString();
    for (int i = 0; i < lab.ServerCount(); ++i) {
        const int latency = lab.ServerAt(i)["latencyMs"].toInt();
        EXPECT_GE(latency, 100);
        EXPECT_LE(latency, 300);
        UdpPeer peer(lab.AddressAt(i), lab.ServerPort());
        const Clock::time_point sent = Clock::now();
        peer.SendCommand("details");
        ASSERT_TRUE(peer.Receive(3000));
        const auto took =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - sent).count();
        EXPECT_GE(took, latency - 2);
        EXPECT_LT(took, latency + 1000) << "a generous bound: the machine may be busy";
    }
}

TEST(LabTest, LossAndDrainingChangeWhatIsAnswered) {
    LabProcess lossy, draining;
    ASSERT_TRUE(lossy.Start({"--servers", "40", "--loss", "0.5"})) << lossy.Error().toStdString();
    ASSERT_TRUE(draining.Start({"--servers", "3", "--draining", "1", "--drain-interval", "200"}))
        << draining.Error().toStdString();

    int answered = 0;
    for (int i = 0; i < lossy.ServerCount(); ++i) {
        UdpPeer peer(lossy.AddressAt(i), lossy.ServerPort());
        for (int k = 0; k < 4; ++k)
            peer.SendCommand("details");
        while (peer.Receive(50))
            ++answered;
    }
    EXPECT_GT(answered, 40);
    EXPECT_LT(answered, 120);

    // Players leave from the end, so slots stay 1..n, and details agree.
    UdpPeer peer(draining.AddressAt(0), draining.ServerPort());
    const QJsonObject details = draining.ServerAt(0)["details"].toObject();
    const int max = details["maxPlayers"].toInt();
    EXPECT_EQ(details["players"].toInt(), max);
    int players = max;
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(10);
    while (players > max - 3 && Clock::now() < deadline) {
        peer.SendCommand("details");
        const std::optional<QByteArray> details = peer.Receive(1000);
        peer.SendCommand("players");
        const std::optional<QByteArray> list = peer.Receive(1000);
        ASSERT_TRUE(details && list);
        Reader r(details->mid(5));
        for (int field = 0; field < 5; ++field)
            r.String();
        const int now = int(r.U8());
        EXPECT_LE(now, players);
        players = now;
        Reader l(list->mid(5));
        const int count = int(l.U8());
        EXPECT_LE(std::abs(count - now), 1) << "a player may leave between the two answers";
        for (int k = 1; k <= count; ++k) {
            EXPECT_EQ(int(l.U8()), k);
            l.String();
            l.U32();
            l.U32();
        }
        EXPECT_TRUE(l.Ok() && l.AtEnd());
        if (players > max - 3)
            std::this_thread::sleep_for(std::chrono::milliseconds(100)); // time is what drains
    }
    EXPECT_LE(players, max - 3);
}

TEST(LabTest, ExitsWithAMessageWhenItCannotStart) {
    LabProcess lab;
    ASSERT_TRUE(lab.Start({"--servers", "2"})) << lab.Error().toStdString();
    QProcess second;
    second.start(SCOUTWIRE_LAB_PATH,
                 {"--servers", "2", "--port", QString::number(lab.ServerPort()), "--master",
                  "127.0.0.1:" + QString::number(lab.MasterPort() + 2)});
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitCode(), 3);
    EXPECT_TRUE(second.readAllStandardError().contains("cannot bind"));
    EXPECT_TRUE(second.readAllStandardOutput().isEmpty());

    for (const QStringList& bad : {QStringList{"--batch-size", "10917"},
                                   {"--base", "10.0.0.1"},
                                   {"--silent", "0.7", "--message", "0.7"},
                                   {"--latency", "9-3"}}) {
        QProcess process;
        process.start(SCOUTWIRE_LAB_PATH, bad);
        ASSERT_TRUE(process.waitForFinished(10000));
        EXPECT_EQ(process.exitCode(), 1) << bad.join(' ').toStdString();
        EXPECT_FALSE(process.readAllStandardError().isEmpty());
    }
}

TEST(FakeGameTest, RecordsItsArgumentsAndWorkingDirectory) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString out = dir.filePath("args.txt");
    QProcess game;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("SCOUTWIRE_FAKEGAME_OUT", out);
    game.setProcessEnvironment(environment);
    game.setWorkingDirectory(dir.path());
    game.start(SCOUTWIRE_FAKEGAME_PATH,
               {"-game", "cstrike", "+connect", "127.1.0.1:27015", "+password", "a b;c"});
    ASSERT_TRUE(game.waitForFinished(10000));
    EXPECT_EQ(game.exitCode(), 0);
    QFile file(out);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray expected = "cwd=" + QDir(dir.path()).canonicalPath().toLocal8Bit() +
                                "\narg=-game\narg=cstrike\narg=+connect\narg=127.1.0.1:27015"
                                "\narg=+password\narg=a b;c\n";
    EXPECT_EQ(file.readAll(), expected);
}
