#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <csignal>
#include <gtest/gtest.h>
#include <set>
#include <tuple>

#include "core/PlayerList.h"
#include "core/ScwFile.h"
#include "net/QueryCommands.h"
#include "tests/LabTestSupport.h"

namespace {

using Kind = WatchAlert::Kind;
// What an alert says: its kind, the player and the server's address.
using Event = std::tuple<Kind, std::string, uint32_t>;

int64_t WallMs() {
    return QDateTime::currentMSecsSinceEpoch();
}

// The lab's clock, read from its manifest: which period of some length the
// lab is in, and where each wandering player stands in a churn period.
class LabClock {
public:
    explicit LabClock(const LabProcess& lab)
        : m_lab(lab), m_start(lab.Manifest()["startedAtMs"].toString().toLongLong()),
          m_churn(lab.Manifest()["churn"].toObject()) {}
    int64_t Period(int periodMs) const { return (WallMs() - m_start) / periodMs; }
    // Sleeps in the event loop until the next period has begun (and its
    // first margin ms have passed, for the two processes' clocks).
    int64_t WaitForNextPeriod(int periodMs, int marginMs = 150) const {
        const int64_t next = Period(periodMs) + 1;
        EXPECT_TRUE(WaitUntil([&] { return WallMs() >= m_start + next * periodMs + marginMs; },
                              periodMs * 3));
        return next;
    }
    int ChurnMs() const { return m_churn["periodMs"].toInt(); }
    int Wanderers() const { return int(m_churn["wanderers"].toArray().size()); }
    // The server index of a wanderer in a churn period, -1 offline.
    int At(int64_t period, int w) const {
        return m_churn["schedule"].toArray().at(int(period)).toArray().at(w).toInt();
    }
    // The alerts a watch on every wanderer owes for a refresh of the whole
    // fleet in period `now`, after one in period `before` (-1: none yet).
    std::multiset<Event> Expected(int64_t before, int64_t now) const {
        std::multiset<Event> events;
        for (int w = 0; w < Wanderers(); ++w) {
            const int from = before < 0 ? -1 : At(before, w), to = At(now, w);
            const std::string name = m_churn["wanderers"].toArray().at(w).toString().toStdString();
            if (to < 0 && from >= 0)
                events.insert({Kind::Left, name, m_lab.AddressAt(from)});
            else if (from != to)
                events.insert({before < 0 ? Kind::Present
                               : from < 0 ? Kind::Appeared
                                          : Kind::Moved,
                               name, m_lab.AddressAt(to)});
        }
        return events;
    }

private:
    const LabProcess& m_lab;
    int64_t m_start;
    QJsonObject m_churn;
};

std::multiset<Event> Events(const std::vector<WatchAlert>& alerts) {
    std::multiset<Event> events;
    for (const WatchAlert& a : alerts)
        events.insert({a.kind, a.player, a.address});
    return events;
}

class WatchFixture : public LabDocFixture {
public:
    void Start(const QStringList& arguments) {
        LabDocFixture::Start(arguments, 500);
        settings->m_dwFlags &= ~OPT_KEEP_PLAYERS;
    }
    void Watch(const std::string& expression, uint32_t flags = 0) {
        auto query = std::make_unique<SearchQuery>("friends", expression, flags);
        query->m_bWatch = query->m_bWatchLeaving = true;
        doc->AddQuery(std::move(query));
        doc->WatchesEdited();
    }
    void Refresh(std::vector<ServerInfo*> servers) { doc->RefreshServers(servers); }
};

// The protocol, and the engine: a socket per server, or the shared one.
class WatchChurnTest : public ::testing::TestWithParam<std::tuple<bool, bool>>,
                       public WatchFixture {};

} // namespace

// Every refresh of the fleet, one per churn period, alerts exactly what the
// lab's schedule says changed: who is on at first, then who appeared, moved
// or left, each once; and nothing repeats while a player stays. The passes
// go on until every kind was seen.
TEST_P(WatchChurnTest, AlertsFollowTheLabsSchedule) {
    const auto [steam, shared] = GetParam();
    QStringList arguments = {"--servers", "12", "--seed", "5", "--player-churn", "1000"};
    if (steam)
        arguments << "--protocol"
                  << "steam";
    Start(arguments);
    if (shared)
        settings->m_nQueriesPerSecond = 0;
    ASSERT_EQ(UsesFastEngine(*settings), shared);
    std::vector<ServerInfo*> fleet;
    for (int i = 0; i < lab.ServerCount(); ++i)
        fleet.push_back(Server(i, steam ? GROUP_STEAM : GROUP_WON));
    Watch("wanderer");
    const LabClock clock(lab);
    const int ms = clock.ChurnMs();
    constexpr int64_t kMixed = -2; // the watch last saw parts of two periods
    std::map<Kind, int> kinds;
    int64_t before = -1;
    int checked = 0;
    for (int pass = 0; pass < 16 && (kinds.size() < 4 || checked < 3); ++pass) {
        SCOPED_TRACE(pass);
        const int64_t now = clock.WaitForNextPeriod(ms);
        ui.alerts.clear();
        Refresh(fleet);
        for (const WatchAlert& a : ui.alerts)
            ++kinds[a.kind];
        const std::multiset<Event> events = Events(ui.alerts);
        // Asked again in the same period: nothing changed, nothing is said.
        ui.alerts.clear();
        Refresh(fleet);
        // A loaded machine may take a refresh into the next period; the pass
        // after one that did only catches up.
        if (clock.Period(ms) != now) {
            before = kMixed;
            continue;
        }
        if (before != kMixed) {
            EXPECT_EQ(events, clock.Expected(before, now));
            EXPECT_TRUE(ui.alerts.empty());
            ++checked;
        }
        before = now;
    }
    EXPECT_EQ(kinds.size(), 4u) << "the schedule never gave every kind";
    EXPECT_GE(checked, 3);
    EXPECT_EQ(ui.matchingWatches, doc->MatchingWatchCount());
}

INSTANTIATE_TEST_SUITE_P(Protocols, WatchChurnTest,
                         ::testing::Values(std::tuple(false, false), std::tuple(true, false),
                                           std::tuple(true, true)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param) ? "A2s" : "Legacy") +
                                    (std::get<1>(info.param) ? "Shared" : "");
                         });

// A server that stops answering loses its players in the lists, but the watch
// keeps them: no "left" while it is silent, no "present" again when it is
// back with the same players.
TEST(WatchTest, SilentServerAlertsNothingUntilItAnswersAgain) {
    WatchFixture fx;
    constexpr int kFlapMs = 1500;
    fx.Start({"--servers", "6", "--seed", "9", "--flapping", "1", "--flap-period",
              QString::number(kFlapMs)});
    int index = 0;
    while (fx.lab.ServerAt(index)["players"].toArray().isEmpty())
        ++index;
    const QJsonArray players = fx.lab.ServerAt(index)["players"].toArray();
    const QByteArray name = LabProcess::Bytes(players.at(0).toObject(), "name");
    ServerInfo* server = fx.Server(index);
    fx.Watch(name.toStdString(), QF_MATCHCASE);
    const LabClock clock(fx.lab);
    std::vector<bool> answered;
    for (int pass = 0; pass < 5; ++pass) {
        clock.WaitForNextPeriod(kFlapMs);
        fx.Refresh({server});
        answered.push_back(server->m_nPing != 0);
        EXPECT_EQ(fx.doc->MatchingWatchCount(), answered.front() || pass > 0 ? 1 : 0);
    }
    const auto first = std::find(answered.begin(), answered.end(), true);
    ASSERT_NE(std::find(first, answered.end(), false), answered.end()) << "it never went silent";
    // Once for each player whose name holds it.
    size_t matching = 0;
    for (const QJsonValue p : players)
        matching += LabProcess::Bytes(p.toObject(), "name").contains(name);
    ASSERT_EQ(fx.ui.alerts.size(), matching);
    for (const WatchAlert& alert : fx.ui.alerts)
        EXPECT_EQ(alert.kind, Kind::Present);
}

// A full draining server loses a player every drain interval: the server
// watch fires once when a place is free beyond the reserved slots, and the
// background join starts the game then and not before.
TEST(WatchTest, ServerWatchAndBackgroundJoinWaitForAFreePlace) {
    WatchFixture fx;
    constexpr int kDrainMs = 700;
    fx.Start({"--servers", "16", "--seed", "4", "--draining", "1", "--drain-interval",
              QString::number(kDrainMs)});
    int index = -1, reserved = 0;
    for (int i = 2; i < fx.lab.ServerCount() && index < 0; ++i) {
        const QJsonObject s = fx.lab.ServerAt(i);
        for (const QJsonValue rule : s["rules"].toArray())
            if (rule["key"].toString() == "reserve_slots")
                reserved = int(rule["value"].toString().toDouble());
        if (!s["details"]["password"].toBool() && reserved > 0 && reserved < 4)
            index = i;
    }
    ASSERT_GE(index, 0);
    const QString out = fx.dir.filePath("fakegame.txt");
    qputenv("SCOUTWIRE_FAKEGAME_OUT", out.toLocal8Bit());
    fx.settings->m_strHLPath = SCOUTWIRE_FAKEGAME_PATH;
    ServerInfo* server = fx.Server(index);
    server->m_nWatchKind = WATCH_FREE_PLACES;
    server->m_nWatchCount = 1;
    fx.doc->WatchesEdited();
    ASSERT_TRUE(fx.doc->RefreshServerIfIdle(server, CMD_DETAILS | CMD_PLAYERS | CMD_RULES));
    ASSERT_TRUE(fx.WaitForIdleSockets());
    ASSERT_EQ(server->GetReservedSlots(), reserved);
    ASSERT_EQ(server->m_nPlayers, server->m_nMaxPlayers);

    fx.doc->StartBackgroundJoin(*server);
    ASSERT_EQ(fx.doc->BackgroundJoinServer(), server);
    // Full until the (reserved + 1)-th player has left.
    const int64_t free =
        fx.lab.Manifest()["startedAtMs"].toString().toLongLong() + (reserved + 1) * kDrainMs;
    ASSERT_TRUE(WaitUntil([&] { return WallMs() >= free - 150; }));
    EXPECT_FALSE(QFile::exists(out)) << "the game started while the server was full";
    EXPECT_TRUE(fx.ui.alerts.empty());
    ASSERT_TRUE(WaitUntil([&] { return fx.doc->BackgroundJoinServer() == nullptr; }));
    ASSERT_TRUE(WaitUntil([&] {
        QFile file(out);
        return file.open(QIODevice::ReadOnly) && file.readAll().contains("+connect");
    }));
    ASSERT_GE(fx.ui.joinStatuses.size(), 2u);
    EXPECT_EQ(fx.ui.joinStatuses.back(), "");
    for (int again = 0; again < 2; ++again) {
        ASSERT_TRUE(fx.WaitForIdleSockets());
        ASSERT_TRUE(fx.doc->RefreshServerIfIdle(server, CMD_DETAILS));
    }
    ASSERT_TRUE(fx.WaitForIdleSockets());
    ASSERT_EQ(fx.ui.alerts.size(), 1u) << "a server watch fires once while it stays true";
    EXPECT_EQ(fx.ui.alerts[0].kind, Kind::ServerHasRoom);
    EXPECT_LT(fx.ui.alerts[0].players, fx.ui.alerts[0].maxPlayers - reserved);
}

// While watches are on, an auto refresh of a long list asks the servers the
// watches need every time and the others in turns.
TEST(WatchTest, AutoRefreshAsksWatchedServersAndTheRestInTurns) {
    DocFixture fx;
    for (uint32_t i = 0; i < 600; ++i)
        fx.AddServer(0x0A000000 + i, 27015);
    EXPECT_EQ(fx.doc->WatchRefreshServers().size(), 600u) << "no watches: the whole list";
    ServerInfo* friendly = fx.doc->FindServer(0x0A000000 + 300, 27015);
    auto players = std::make_unique<PlayerList>(1);
    players->Insert(std::make_unique<PlayerInfo>(PlayerInfo{.m_strName = "bob"}));
    friendly->SetPlayers(std::move(players));
    friendly->m_nPing = 30;
    ServerInfo* watched = fx.doc->FindServer(0x0A000000 + 5, 27015);
    watched->m_nWatchKind = WATCH_MIN_PLAYERS;
    watched->m_nWatchCount = 4;
    auto query = std::make_unique<SearchQuery>("", "bob", 0);
    query->m_bWatch = true;
    fx.doc->AddQuery(std::move(query));
    fx.doc->WatchesEdited();
    ASSERT_EQ(fx.ui.alerts.size(), 1u);
    std::set<ServerInfo*> asked;
    for (int tick = 0; tick < 3; ++tick) {
        const std::vector<ServerInfo*> servers = fx.doc->WatchRefreshServers();
        EXPECT_LT(servers.size(), 300u);
        EXPECT_EQ(std::count(servers.begin(), servers.end(), friendly), 1);
        EXPECT_EQ(std::count(servers.begin(), servers.end(), watched), 1);
        asked.insert(servers.begin(), servers.end());
    }
    EXPECT_EQ(asked.size(), 600u) << "three ticks have asked every server";
}

// scoutwire-cli watch --json: one object per line, who is on first, then the
// changes as the lab's players wander; Ctrl+C ends it cleanly.
TEST(WatchTest, CliWatchPrintsJsonLinesUntilInterrupted) {
    LabProcess lab;
    ASSERT_TRUE(lab.Start({"--servers", "10", "--seed", "5", "--player-churn", "1500"}));
    QTemporaryDir dir;
    const QString doc = dir.filePath("watch.scw");
    const QStringList common = {"--settings",       dir.filePath("cli.ini"),
                                "--clean-interval", "20",
                                "--send-interval",  "1",
                                "--timeout",        "500"};
    QProcess update, watch;
    update.start(SCOUTWIRE_CLI_PATH,
                 QStringList{"update", doc, "--master", lab.MasterText()} + common);
    ASSERT_TRUE(update.waitForFinished(60000) && update.exitCode() == 0)
        << update.readAllStandardError().toStdString();
    watch.start(SCOUTWIRE_CLI_PATH,
                QStringList{"watch", doc, "Wanderer", "--json", "--interval", "1"} + common);
    std::vector<QJsonObject> lines;
    ASSERT_TRUE(WaitUntil(
        [&] {
            while (watch.canReadLine())
                lines.push_back(QJsonDocument::fromJson(watch.readLine()).object());
            return std::count_if(lines.begin(), lines.end(),
                                 [](const auto& l) { return l["event"] != "present"; }) >= 2;
        },
        30000))
        << watch.readAllStandardError().toStdString();
    ::kill(static_cast<pid_t>(watch.processId()), SIGINT);
    ASSERT_TRUE(watch.waitForFinished(10000));
    EXPECT_EQ(watch.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(watch.exitCode(), 0);

    bool changed = false;
    for (const QJsonObject& line : lines) {
        SCOPED_TRACE(QJsonDocument(line).toJson().toStdString());
        const QString event = line["event"].toString();
        ASSERT_TRUE(QStringList({"present", "appeared", "moved", "left"}).contains(event));
        EXPECT_EQ(line["query"].toString(), "Wanderer");
        EXPECT_FALSE(line["serverName"].toString().isEmpty());
        changed |= event != "present";
        EXPECT_FALSE(changed && event == "present") << "present only in the first pass";
    }
}
