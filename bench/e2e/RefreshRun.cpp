// scoutwire-refresh-bench: times `scoutwire-cli update` against a lab fleet
// and prints the wall time, the bound that pacing and the socket pool allow,
// the process's CPU time and the ping error against the lab's manifest.

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

namespace {

struct Config {
    int servers = 1000;
    int sendInterval = 1;
    int maxSockets = 99;
    int cleanInterval = 11;
    int timeout = 2000;
    QString latency = "5-150";
    QString silent = "0.02";
};

double ChildCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

QString BinDir() { return QCoreApplication::applicationDirPath(); }

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Config c;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        const QString& k = args[i];
        const QString& v = args[i + 1];
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
    }

    QTemporaryDir dir;
    const QString manifestPath = dir.filePath("manifest.json");
    QProcess lab;
    lab.start(BinDir() + "/scoutwire-lab",
              {"--servers", QString::number(c.servers), "--base", "127.60.0.1", "--port", "28615",
               "--master", "127.60.255.254:28616", "--seed", "42", "--latency", c.latency,
               "--silent", c.silent, "--manifest", manifestPath});
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
    std::map<QString, int> latencyOf;
    double held = 0;
    double lastHold = 0;
    for (const QJsonValue& value : servers) {
        const QJsonObject s = value.toObject();
        const int latency = s["latencyMs"].toInt();
        latencyOf[s["address"].toString() + ":28615"] = latency;
        const bool silent = s["behaviour"].toString() == "silent";
        const double hold = (silent ? c.timeout : 2.0 * latency) + c.cleanInterval / 2.0;
        held += hold;
        lastHold = std::max(lastHold, hold);
    }
    const double pacing = static_cast<double>(c.servers) * std::max(1, c.sendInterval);
    const double pool = held / std::max(1, c.maxSockets);
    const double boundMs = std::max(pacing, pool) + lastHold;

    const QString doc = dir.filePath("bench.scw");
    const QString settings = dir.filePath("bench.ini");
    const double cpuBefore = ChildCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    QProcess cli;
    cli.start(BinDir() + "/scoutwire-cli",
              {"update", doc, "--master", "127.60.255.254:28616", "--settings", settings,
               "--send-interval", QString::number(c.sendInterval), "--max-sockets",
               QString::number(c.maxSockets), "--clean-interval", QString::number(c.cleanInterval),
               "--timeout", QString::number(c.timeout), "--quiet"});
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

    std::printf("servers %d, send interval %d ms, pool %d, cleaning %d ms, time-out %d ms\n",
                c.servers, c.sendInterval, c.maxSockets, c.cleanInterval, c.timeout);
    std::printf("  bound      %8.0f ms  = max(pacing %.0f, pool %.0f) + last hold %.0f\n", boundMs,
                pacing, pool, lastHold);
    std::printf("  wall time  %8.0f ms  (%.2f x bound)\n", wallMs, wallMs / boundMs);
    std::printf("  CPU time   %8.0f ms  (%.1f%% of wall)\n", cpuMs, 100.0 * cpuMs / wallMs);
    std::printf("  answered   %8d of %d listed\n", answered, static_cast<int>(listed.size()));
    std::printf("  ping error mean %.2f ms, 99th percentile %.0f ms\n", mean, p99);
    lab.terminate();
    lab.waitForFinished(5000);
    return 0;
}
