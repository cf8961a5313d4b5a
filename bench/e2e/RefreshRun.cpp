// scoutwire-refresh-bench: times `scoutwire-cli update` against a lab fleet
// and prints the wall time, the bound that pacing and the socket pool allow,
// the process's CPU time and the ping error against the lab's manifest. With
// --a2s the fleet speaks A2S (half of it wanting a challenge before info,
// long rules split) and `scoutwire-cli refresh` runs over a document that
// lists it as Steam servers.

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
#include <sys/resource.h>

#include "core/ScwFile.h"
#include "core/ServerList.h"

namespace {

struct Config {
    int servers = 1000;
    int sendInterval = 1;
    int maxSockets = 99;
    int cleanInterval = 11;
    int timeout = 2000;
    QString latency = "5-150";
    QString silent = "0.02";
    int busyUi = 0;
    bool qstat = false;
    bool a2s = false;
    int basePort = 28615;
};

double ChildCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
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
        if (i + 1 >= args.size())
            break;
        const QString& v = args[++i];
        if (k == "--servers")
            c.servers = v.toInt();
        else if (k == "--send-interval")
            c.sendInterval = v.toInt();
        else if (k == "--max-sockets")
            c.maxSockets = v.toInt();
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
    QProcess lab;
    QStringList labArgs = {"--servers", QString::number(c.servers), "--base", "127.60.0.1", "--port",
                           QString::number(c.basePort), "--master", MasterText(c), "--seed", "42", "--latency", c.latency,
                           "--silent", c.silent, "--manifest", manifestPath};
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
    // (the others; a challenge got for info is reused for players).
    std::map<QString, int> latencyOf;
    double held = 0;
    double lastHold = 0;
    for (const QJsonValue& value : servers) {
        const QJsonObject s = value.toObject();
        const int latency = s["latencyMs"].toInt();
        latencyOf[s["address"].toString() + ":" + QString::number(c.basePort)] = latency;
        const bool silent = s["behaviour"].toString() == "silent";
        const double trips = c.a2s ? 3.0 : 2.0;
        const double hold = (silent ? c.timeout : trips * latency) + c.cleanInterval / 2.0;
        held += hold;
        lastHold = std::max(lastHold, hold);
    }
    const double pacing = static_cast<double>(c.servers) * std::max(1, c.sendInterval);
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
    const double cpuBefore = ChildCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    QProcess cli;
    QStringList cliArgs = {"update", doc, "--master", MasterText(c), "--settings", settings,
                           "--send-interval", QString::number(c.sendInterval), "--max-sockets",
                           QString::number(c.maxSockets), "--clean-interval",
                           QString::number(c.cleanInterval), "--timeout",
                           QString::number(c.timeout), "--quiet"};
    if (c.busyUi > 0)
        cliArgs << "--busy-ui" << QString::number(c.busyUi);
    if (c.a2s)
        cliArgs = QStringList{"refresh", doc} + cliArgs.mid(4);
    cli.start(BinDir() + "/scoutwire-cli", cliArgs);
    cli.waitForFinished(-1);
    const double wallMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    const double cpuMs = (ChildCpuSeconds() - cpuBefore) * 1000.0;
    if (cli.exitCode() != 0) {
        std::fprintf(stderr, "scoutwire-cli failed: %s\n", cli.readAllStandardError().constData());
        return 1;
    }

    QProcess list;
    list.start(BinDir() + "/scoutwire-cli", {"list", doc, "--json", "--settings", settings});
    list.waitForFinished(-1);
    const QJsonArray listed = QJsonDocument::fromJson(list.readAllStandardOutput()).array();
    std::vector<double> errors;
    int answered = 0;
    for (const QJsonValue& value : listed) {
        const QJsonObject s = value.toObject();
        const int ping = s["ping"].toInt();
        if (ping == 0)
            continue;
        ++answered;
        const auto it = latencyOf.find(s["address"].toString());
        if (it != latencyOf.end())
            errors.push_back(std::abs(ping - std::max(1, it->second)));
    }
    std::sort(errors.begin(), errors.end());
    double mean = 0;
    for (double e : errors)
        mean += e;
    mean = errors.empty() ? 0 : mean / static_cast<double>(errors.size());
    const double p99 = errors.empty() ? 0 : errors[static_cast<size_t>(0.99 * static_cast<double>(errors.size() - 1))];

    const QString label =
        QString("refresh %1%2%3").arg(c.servers).arg(c.a2s ? " A2S" : "").arg(c.busyUi ? " busy UI" : "");
    auto row = [&](const QString& figure, double value, double bound) {
        std::printf("ROW|%s: %s|%.2f|%.2f\n", qPrintable(label), qPrintable(figure), value, bound);
    };
    // A busy window slows the whole run on purpose; only its pings count.
    if (c.busyUi == 0) {
        row("wall time (ms)", wallMs, 1.2 * boundMs);
        row("CPU time / wall time", cpuMs / wallMs, 0.2);
    }
    row("ping error mean (ms)", mean, 1.0);
    row("ping error p99 (ms)", p99, 3.0);
    std::printf("servers %d, send interval %d ms, pool %d, cleaning %d ms, time-out %d ms\n",
                c.servers, c.sendInterval, c.maxSockets, c.cleanInterval, c.timeout);
    std::printf("  bound      %8.0f ms  = max(pacing %.0f, pool %.0f) + last hold %.0f\n", boundMs,
                pacing, pool, lastHold);
    std::printf("  wall time  %8.0f ms  (%.2f x bound)\n", wallMs, wallMs / boundMs);
    std::printf("  CPU time   %8.0f ms  (%.1f%% of wall)\n", cpuMs, 100.0 * cpuMs / wallMs);
    std::printf("  answered   %8d of %d listed\n", answered, static_cast<int>(listed.size()));
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
        auto runQstat = [&](const QStringList& extra) {
            const double before = ChildCpuSeconds();
            const auto t0 = std::chrono::steady_clock::now();
            QProcess q;
            q.setStandardOutputFile(QProcess::nullDevice());
            // Our refresh asks details and players: so does qstat of the A2S
            // fleet (rules are asked of the server on show only).
            const QStringList queries = c.a2s ? QStringList{"-default", "hla2s", "-f", listPath, "-P"}
                                              : QStringList{"-default", "hls", "-f", listPath, "-P", "-R"};
            q.start("quakestat", queries + extra);
            q.waitForFinished(-1);
            const double wall =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
            return std::pair<double, double>(wall, (ChildCpuSeconds() - before) * 1000.0);
        };
        const auto [qWall, qCpu] = runQstat({"-maxsim", QString::number(c.maxSockets),
                                             "-sendinterval", QString::number(c.sendInterval)});
        const auto [dWall, dCpu] = runQstat({});
        std::printf("  qstat at our settings: wall %.0f ms, CPU %.0f ms; at its defaults: wall %.0f ms, CPU %.0f ms\n",
                    qWall, qCpu, dWall, dCpu);
        row("qstat same settings wall (ms)", qWall, qWall);
        row("qstat same settings CPU (ms)", qCpu, qCpu);
        row("qstat defaults wall (ms)", dWall, dWall);
        row("ours / qstat same settings (wall)", wallMs / qWall, 1.0);
        row("ours / qstat defaults (wall)", wallMs / dWall, 1.0);
    }
    lab.terminate();
    lab.waitForFinished(5000);
    return 0;
}
