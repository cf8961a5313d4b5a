// scoutwire-refresh-bench: times `scoutwire-cli update` against a lab fleet
// and prints the wall time, the bound that pacing and the socket pool allow,
// the servers complete, the process's CPU time and peak resident memory, and
// the ping error against the lab's manifest; with --qstat, the same figures
// for quakestat reading the same fleet. With --a2s the fleet speaks A2S (half
// of it wanting a challenge before info, long rules split) and
// `scoutwire-cli refresh` runs over a document that lists it as Steam servers.
// --rate sets queries per second (0: unpaced); --qstat-maxsim and
// --qstat-interval run qstat at settings of its own instead of ours, and
// --qstat-rules has it ask every A2S server's rules too.

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>
#include <cerrno>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/ScwFile.h"
#include "core/ServerList.h"

extern char** environ;

namespace {

struct Config {
    int servers = 1000;
    int sendInterval = 1;
    int rate = -1; // -1: paced by the send interval
    int maxSockets = 99;
    int qstatMaxSim = -1;   // -1: ours
    int qstatInterval = -1; // -1: ours
    bool qstatRules = false;
    int cleanInterval = 11;
    int timeout = 2000;
    QString latency = "5-150";
    QString silent = "0.02";
    int busyUi = 0;
    bool qstat = false;
    bool a2s = false;
    int basePort = 28615;
};

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// One finished program: its wall and CPU time, from wait4() on that process
// alone (the lab, running beside it, and the other programs of the run do not
// mix in), and its peak resident memory as GNU time reports it. That comes
// from time's own wait: a child spawned from here starts out counting this
// process's peak (its memory until the exec), so our own wait4() would
// report at least the bench's size.
struct Measured {
    int exitCode = -1;
    double wallMs = 0;
    double cpuMs = 0;
    double residentMb = 0;
};

// Runs PROGRAM with its standard output and error sent to the files OUT and ERR.
Measured RunMeasured(const QString& program, const QStringList& args, const QString& out,
                     const QString& err) {
    QTemporaryDir scratch;
    const QString rssPath = scratch.filePath("rss");
    std::vector<QByteArray> storage{"/usr/bin/time", "-f", "%M", "-o", rssPath.toLocal8Bit(),
                                    program.toLocal8Bit()};
    for (const QString& a : args)
        storage.push_back(a.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& a : storage)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const QByteArray outPath = out.toLocal8Bit();
    const QByteArray errPath = err.toLocal8Bit();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    Measured m;
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return m;
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    m.wallMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    m.cpuMs = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
              static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
    m.residentMb = ReadAll(rssPath).trimmed().toDouble() / 1024.0;
    m.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return m;
}

// Mean and 99th percentile of absolute errors.
std::pair<double, double> MeanAndP99(std::vector<double>& e) {
    if (e.empty())
        return {0, 0};
    std::sort(e.begin(), e.end());
    double sum = 0;
    for (double x : e)
        sum += x;
    return {sum / static_cast<double>(e.size()), e[static_cast<size_t>(0.99 * static_cast<double>(e.size() - 1))]};
}

QString BinDir() { return QCoreApplication::applicationDirPath(); }

QString MasterText(const Config& c) { return QString("127.60.255.254:%1").arg(c.basePort + 1); }

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Config c;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        const QString& k = args[i];
        if (k == "--qstat") {
            c.qstat = true;
            continue;
        }
        if (k == "--a2s") {
            c.a2s = true;
            continue;
        }
        if (k == "--qstat-rules") {
            c.qstatRules = true;
            continue;
        }
        if (i + 1 >= args.size())
            break;
        const QString& v = args[++i];
        if (k == "--servers")
            c.servers = v.toInt();
        else if (k == "--send-interval")
            c.sendInterval = v.toInt();
        else if (k == "--max-sockets")
            c.maxSockets = v.toInt();
        else if (k == "--rate")
            c.rate = v.toInt();
        else if (k == "--qstat-maxsim")
            c.qstatMaxSim = v.toInt();
        else if (k == "--qstat-interval")
            c.qstatInterval = v.toInt();
        else if (k == "--clean-interval")
            c.cleanInterval = v.toInt();
        else if (k == "--timeout")
            c.timeout = v.toInt();
        else if (k == "--latency")
            c.latency = v;
        else if (k == "--silent")
            c.silent = v;
        else if (k == "--busy-ui")
            c.busyUi = v.toInt();
        else if (k == "--port")
            c.basePort = v.toInt();
    }

    QTemporaryDir dir;
    const QString manifestPath = dir.filePath("manifest.json");
    // --realtime: on a busy machine the lab's own lateness would count as
    // the clients' ping error.
    QProcess lab;
    QStringList labArgs = {"--servers",  QString::number(c.servers),
                           "--base",     "127.60.0.1",
                           "--port",     QString::number(c.basePort),
                           "--master",   MasterText(c),
                           "--seed",     "42",
                           "--latency",  c.latency,
                           "--silent",   c.silent,
                           "--manifest", manifestPath,
                           "--realtime"};
    if (c.a2s)
        labArgs << "--protocol" << "steam" << "--challenge-fraction" << "0.5" << "--extra-rules"
                << "60" << "--split-size" << "1248" << "--steam-master-port"
                << QString::number(c.basePort + 2) << "--web-port" << QString::number(c.basePort + 3);
    lab.start(BinDir() + "/scoutwire-lab", labArgs);
    if (!lab.waitForReadyRead(60000)) {
        std::fprintf(stderr, "the lab did not start: %s\n", lab.readAllStandardError().constData());
        return 1;
    }
    QFile manifestFile(manifestPath);
    manifestFile.open(QIODevice::ReadOnly);
    const QJsonArray servers = QJsonDocument::fromJson(manifestFile.readAll()).object()["servers"].toArray();

    // What the pacing and the pool allow: one query per send interval, and
    // each of the pool's sockets held for the server's round trips (details
    // and players), or the time-out for a silent server, plus on average half
    // a cleaning interval until a pass removes it. The last queries add their
    // own hold time (a silent server among them: the whole time-out).
    // An A2S server takes three round trips: the challenge costs one more,
    // either before info (the servers that want it there) or before players
    // (the others; a challenge got for info is reused for players). The ping
    // is not affected: it times the request that got the answer, not the
    // challenge exchange before it.
    std::map<QString, int> latencyOf;
    std::map<QString, QJsonObject> manifestOf;
    int answering = 0;
    int challenged = 0;
    int split = 0;
    double held = 0;
    double lastHold = 0;
    for (const QJsonValue& value : servers) {
        const QJsonObject s = value.toObject();
        const int latency = s["latencyMs"].toInt();
        const QString endpoint = s["address"].toString() + ":" + QString::number(c.basePort);
        latencyOf[endpoint] = latency;
        manifestOf[endpoint] = s;
        const bool silent = s["behaviour"].toString() == "silent";
        answering += silent ? 0 : 1;
        challenged += s["wantsChallenge"].toBool();
        split += s["rulesSplit"].toBool();
        const double trips = c.a2s ? 3.0 : 2.0;
        const double hold = (silent ? c.timeout : trips * latency) + c.cleanInterval / 2.0;
        held += hold;
        lastHold = std::max(lastHold, hold);
    }
    // The time between two sends: the rate's, else the interval's (an
    // interval of 0 is the classic engine's 1 ms and the fast one's none).
    const double periodMs = c.rate > 0 ? 1000.0 / c.rate : c.rate == 0 ? 0.0 : c.sendInterval;
    const double pacing = static_cast<double>(c.servers) * periodMs;
    const double pool = held / std::max(1, c.maxSockets);
    const double boundMs = std::max(pacing, pool) + lastHold;

    const QString doc = dir.filePath("bench.scw");
    const QString settings = dir.filePath("bench.ini");
    if (c.a2s) {
        // The fleet as Steam servers, as a Steam list would have filed them.
        OwningServerList list(1);
        for (const QJsonValue& value : servers) {
            const QJsonObject s = value.toObject();
            const QStringList octets = s["address"].toString().split('.');
            uint32_t address = 0;
            for (const QString& octet : octets)
                address = address << 8 | octet.toUInt();
            auto record = std::make_unique<ServerInfo>(address, static_cast<uint16_t>(c.basePort));
            record->m_dwFlags = GROUP_STEAM;
            list.InsertUnique(std::move(record));
        }
        const std::vector<uint8_t> bytes = WriteScwFile(list, {}, ServerFilter(), ServerFilter(), Query());
        if (!SaveFileAtomically(doc.toStdString(), bytes)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(doc));
            return 1;
        }
    }
    QStringList cliArgs = {"update", doc, "--master", MasterText(c), "--settings", settings,
                           "--send-interval", QString::number(c.sendInterval), "--max-sockets",
                           QString::number(c.maxSockets), "--clean-interval",
                           QString::number(c.cleanInterval), "--timeout",
                           QString::number(c.timeout), "--quiet"};
    if (c.busyUi > 0)
        cliArgs << "--busy-ui" << QString::number(c.busyUi);
    if (c.rate >= 0)
        cliArgs << "--rate" << QString::number(c.rate);
    if (c.a2s)
        cliArgs = QStringList{"refresh", doc} + cliArgs.mid(4);
    const QString errPath = dir.filePath("stderr.txt");
    const Measured ours = RunMeasured(BinDir() + "/scoutwire-cli", cliArgs, "/dev/null", errPath);
    const double wallMs = ours.wallMs;
    const double cpuMs = ours.cpuMs;
    if (ours.exitCode != 0) {
        std::fprintf(stderr, "scoutwire-cli failed: %s\n", ReadAll(errPath).constData());
        return 1;
    }

    QProcess list;
    list.start(BinDir() + "/scoutwire-cli", {"list", doc, "--json", "--settings", settings});
    list.waitForFinished(-1);
    const QJsonArray listed = QJsonDocument::fromJson(list.readAllStandardOutput()).array();
    // Complete: answered, with a name and the map and maximum the lab serves.
    // The saved document keeps no player counts or lists (and having the
    // refresh print its records would add to the memory and CPU measured), so
    // the players step is not checked here. Nor the name's text: qstat prints
    // its own transliteration of Latin-1 names.
    std::vector<double> errors;
    int answered = 0;
    int complete = 0;
    for (const QJsonValue& value : listed) {
        const QJsonObject s = value.toObject();
        const int ping = s["ping"].toInt();
        if (ping == 0)
            continue;
        ++answered;
        const auto it = manifestOf.find(s["address"].toString());
        if (it == manifestOf.end())
            continue;
        errors.push_back(std::abs(ping - std::max(1, it->second["latencyMs"].toInt())));
        const QJsonObject details = it->second["details"].toObject();
        complete += !s["name"].toString().isEmpty() && s["map"].toString() == details["map"].toString() &&
                    s["maxPlayers"].toInt() == details["maxPlayers"].toInt();
    }
    const auto [mean, p99] = MeanAndP99(errors);

    const QString label = QString("refresh %1%2%3%4")
                              .arg(c.servers)
                              .arg(c.a2s ? " A2S" : "")
                              .arg(c.busyUi ? " busy UI" : "")
                              .arg(c.rate >= 0 ? QString(" %1 in flight").arg(c.maxSockets) : "");
    auto row = [&](const QString& figure, double value, double bound) {
        std::printf("ROW|%s: %s|%.2f|%.2f\n", qPrintable(label), qPrintable(figure), value, bound);
    };
    // A busy window slows the whole run on purpose; only its pings count.
    if (c.busyUi == 0) {
        row("wall time (ms)", wallMs, 1.2 * boundMs);
        row("CPU time / wall time", cpuMs / wallMs, 0.2);
        row("resident memory (MB)", ours.residentMb, 100);
        row("servers complete (of the answering)", complete, 0.98 * answering);
    }
    row("ping error mean (ms)", mean, 1.0);
    row("ping error p99 (ms)", p99, 3.0);
    std::printf(
        "servers %d, send interval %d ms, rate %d/s, pool %d, cleaning %d ms, time-out %d ms\n",
        c.servers, c.sendInterval, c.rate, c.maxSockets, c.cleanInterval, c.timeout);
    std::printf("  bound      %8.0f ms  = max(pacing %.0f, pool %.0f) + last hold %.0f\n", boundMs,
                pacing, pool, lastHold);
    std::printf("  wall time  %8.0f ms  (%.2f x bound)\n", wallMs, wallMs / boundMs);
    std::printf("  CPU time   %8.0f ms  (%.1f%% of wall)\n", cpuMs, 100.0 * cpuMs / wallMs);
    std::printf("  resident   %8.1f MB at peak\n", ours.residentMb);
    std::printf("  answered   %8d of %d listed, %d complete, %d answering in the lab\n", answered,
                static_cast<int>(listed.size()), complete, answering);
    if (c.a2s)
        std::printf("  A2S fleet: %d want an info challenge, %d split their rules\n", challenged, split);
    std::printf("  ping error mean %.2f ms, 99th percentile %.0f ms\n", mean, p99);
    if (c.qstat) {
        // The same fleet read by an independent client, at our settings and
        // at its own defaults.
        const QString listPath = dir.filePath("servers.txt");
        QFile listFile(listPath);
        listFile.open(QIODevice::WriteOnly);
        for (const auto& entry : latencyOf)
            listFile.write((entry.first + "\n").toLatin1());
        listFile.close();
        // qstat's -raw output: per server its line (type, address, name,
        // map, maximum, players, ping, retries; DOWN or TIMEOUT in the third
        // field when it did not answer), then its rules line and player lines
        // as asked, then an empty line. Complete as above.
        struct QstatRun {
            Measured m;
            int complete = 0;
            double pingMean = 0;
            double pingP99 = 0;
        };
        auto runQstat = [&](const QStringList& extra) {
            // Our refresh asks details and players: so does qstat of the A2S
            // fleet (rules are asked of the server on show only).
            // hla2s is a type of Debian's qstat.cfg, which must then be read.
            QStringList queries = c.a2s
                                      ? QStringList{"-cfg", "/etc/qstat.cfg", "-default", "hla2s",
                                                    "-f",   listPath,         "-P"}
                                      : QStringList{"-default", "hls", "-f", listPath, "-P", "-R"};
            if (c.a2s && c.qstatRules)
                queries << "-R";
            const QString out = dir.filePath("qstat.txt");
            QstatRun r;
            r.m = RunMeasured("quakestat", queries + QStringList{"-raw", "\t"} + extra, out,
                              dir.filePath("qstat-err.txt"));
            const QList<QByteArray> lines = ReadAll(out).split('\n');
            std::vector<double> qErrors;
            for (qsizetype i = 0; i < lines.size(); ++i) {
                const QList<QByteArray> f = lines[i].split('\t');
                const auto it = f.size() >= 7 ? manifestOf.find(QString::fromLatin1(f[1])) : manifestOf.end();
                if (it == manifestOf.end())
                    continue;
                qErrors.push_back(std::abs(f[6].toInt() - std::max(1, it->second["latencyMs"].toInt())));
                const QJsonObject details = it->second["details"].toObject();
                r.complete += !f[2].isEmpty() && QString::fromLatin1(f[3]) == details["map"].toString() &&
                              f[4].toInt() == details["maxPlayers"].toInt();
                // Past the rules and player lines, up to the gap.
                while (i + 1 < lines.size() && !lines[i + 1].isEmpty())
                    ++i;
            }
            std::tie(r.pingMean, r.pingP99) = MeanAndP99(qErrors);
            return r;
        };
        const bool ownSettings = c.qstatMaxSim >= 0 || c.qstatInterval >= 0;
        const int maxSim = c.qstatMaxSim >= 0 ? c.qstatMaxSim : c.maxSockets;
        const int interval = c.qstatInterval >= 0 ? c.qstatInterval : c.sendInterval;
        const QstatRun q = runQstat(
            {"-maxsim", QString::number(maxSim), "-sendinterval", QString::number(interval)});
        const QString qs =
            ownSettings ? QString("qstat -maxsim %1 -sendinterval %2").arg(maxSim).arg(interval)
                        : QString("qstat same settings");
        std::printf("  %s: wall %.0f ms, CPU %.0f ms, resident %.1f MB, %d complete, "
                    "ping error mean %.2f ms, p99 %.0f ms\n",
                    qPrintable(qs), q.m.wallMs, q.m.cpuMs, q.m.residentMb, q.complete, q.pingMean,
                    q.pingP99);
        // qstat's own figures are their own bound; ours are compared to them
        // in the ratio rows, where the bound 1.0 means equal.
        row(QString("%1 wall (ms)").arg(qs), q.m.wallMs, q.m.wallMs);
        row(QString("%1 CPU (ms)").arg(qs), q.m.cpuMs, q.m.cpuMs);
        row(QString("ours / %1 (wall)").arg(qs), wallMs / q.m.wallMs, 1.0);
        if (c.busyUi == 0) {
            row(QString("ours / %1 (CPU)").arg(qs), cpuMs / std::max(1.0, q.m.cpuMs), 1.0);
            row(QString("ours / %1 (resident)").arg(qs),
                ours.residentMb / std::max(0.1, q.m.residentMb), 1.0);
            row(QString("%1 servers complete").arg(qs), q.complete, 0.98 * answering);
            row(QString("%1 ping error mean (ms)").arg(qs), q.pingMean, 1.0);
            row(QString("%1 ping error p99 (ms)").arg(qs), q.pingP99, 3.0);
        }
        // At its defaults (5 ms between sends) qstat takes minutes over an
        // A2S fleet of 5,000; the old-protocol rows keep that comparison.
        if (!c.a2s && !ownSettings) {
            const QstatRun d = runQstat({});
            std::printf("  qstat at its defaults: wall %.0f ms, CPU %.0f ms, %d complete\n", d.m.wallMs,
                        d.m.cpuMs, d.complete);
            row("qstat defaults wall (ms)", d.m.wallMs, d.m.wallMs);
            row("ours / qstat defaults (wall)", wallMs / d.m.wallMs, 1.0);
        }
    }
    lab.terminate();
    lab.waitForFinished(5000);
    // The lab's own lateness, over every run against it: the part of the
    // ping errors above that is the lab's, not the client's.
    for (const QByteArray& line : lab.readAllStandardError().split('\n'))
        if (line.contains("replies sent"))
            std::printf("  lab: %s\n", line.mid(line.indexOf(':') + 2).constData());
    return 0;
}
