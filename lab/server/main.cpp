// scoutwire-lab: a master server and a fleet of Half-Life game servers on
// loopback, for the browser's tests, benchmarks and demo.
//
// What qstat 2.17 (Debian's quakestat) sends, found by pointing it at a UDP
// listener; the lab answers all of it with the same replies our client gets:
//  - -hls: the same three requests as our client, one after the other on one
//    socket: FF FF FF FF "details" 00, then "players" 00, then "rules" 00
//    (-P and -R decide nothing on the wire: it always asks for all three).
//    It reads the details trailer after the password byte (mod byte, mod
//    fields, secure, bots) and shows those fields as extra rules.
//  - -hlm: '1', the batch id as u32 little-endian, and no filter text and no
//    closing 00 at all when it has no filter (5 bytes). With -hlm,game=X,
//    map=Y,status=dedicated:linux:notempty:notfull it sends
//    '1' id "\gamedir\X\map\Y\dedicated\1\linux\1\empty\1\full\1" 00.
//    It echoes only the low three bytes of the next batch id (the fourth
//    byte of its request is always 0), so batch ids stay below 2^24.
//    Every listed server is then queried with -hls.
//  - -stm: 31 FF "0.0.0.0:0" 00 00 first; then the seed with a stray byte
//    after the port ("127.1.0.7:27015d" 00) and no filter 00 at all, so the
//    Steam master reads seeds leniently. It queries the listed servers as
//    Source A2S (-a2s); -hla2s queries one the Half-Life way.

#include "Fleet.h"
#include "FleetServer.h"
#include "LabOptions.h"
#include "ManifestWriter.h"
#include "MasterServer.h"
#include "SignalWatcher.h"
#include "SteamMasterServer.h"
#include "WebListServer.h"

#include <QCoreApplication>

#include <cstdio>
#include <memory>
#include <sched.h>

namespace {

int Fail(int code, const QString& text) {
    std::fprintf(stderr, "scoutwire-lab: %s\n", qPrintable(text));
    return code;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    lab::LabOptions options;
    const QString usage = lab::ParseLabOptions(app.arguments().mid(1), options);
    if (!usage.isEmpty())
        return Fail(1, usage);

    // A busy machine wakes an ordinary process a few milliseconds late, and
    // that lateness would show as ping error. The lab's work per wake-up is
    // bounded, so running it first starves nobody for long.
    if (options.realtime) {
        sched_param priority{};
        priority.sched_priority = 1;
        if (sched_setscheduler(0, SCHED_FIFO, &priority) != 0)
            std::fprintf(stderr, "scoutwire-lab: --realtime not permitted; running as usual\n");
    }

    lab::SignalWatcher signalWatcher;
    if (!signalWatcher.Install())
        return Fail(2, QStringLiteral("cannot watch for signals"));

    const lab::Fleet fleet(options);
    QString error;
    lab::FleetServer servers(fleet);
    if (!servers.Start(error))
        return Fail(3, error);
    lab::MasterServer master(fleet, options);
    if (!master.Start(error))
        return Fail(3, error);
    std::unique_ptr<lab::SteamMasterServer> steamMaster;
    std::unique_ptr<lab::WebListServer> webList;
    if (options.Steam()) {
        steamMaster = std::make_unique<lab::SteamMasterServer>(fleet, options);
        webList = std::make_unique<lab::WebListServer>(fleet, options);
        if (!steamMaster->Start(error) || !webList->Start(error))
            return Fail(3, error);
    }
    if (!options.manifestPath.isEmpty() &&
        !lab::ManifestWriter::Write(fleet, options, options.manifestPath, error))
        return Fail(2, error);

    QString steam;
    if (options.Steam())
        steam = QStringLiteral(", A2S, Steam master %1:%2, web list http://%1:%3")
                    .arg(lab::FormatIPv4(options.masterAddress))
                    .arg(options.steamMasterPort)
                    .arg(options.webPort);
    std::printf(
        "scoutwire-lab ready: %d server%s at %s-%s port %d, master %s:%d%s\n", options.servers,
        options.servers == 1 ? "" : "s", qPrintable(lab::FormatIPv4(options.baseAddress)),
        qPrintable(lab::FormatIPv4(options.LastAddress())), options.port,
        qPrintable(lab::FormatIPv4(options.masterAddress)), options.masterPort, qPrintable(steam));
    std::fflush(stdout);
    const int code = app.exec();
    const QString lateness = servers.LatenessSummary();
    if (!lateness.isEmpty())
        std::fprintf(stderr, "scoutwire-lab: %s\n", qPrintable(lateness));
    return code;
}
