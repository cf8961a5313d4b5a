#include "LabOptions.h"

#include <QCommandLineParser>
#include <cstdio>
#include <cstdlib>

namespace lab {

namespace {

constexpr int kMaxServers = 1000000;

bool ReadInt(const QString& text, int lo, int hi, int& out) {
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < lo || value > hi)
        return false;
    out = value;
    return true;
}

bool ReadFraction(const QString& text, double& out) {
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !(value >= 0.0 && value <= 1.0))
        return false;
    out = value;
    return true;
}

bool IsLoopback(uint32_t address) {
    return (address >> 24) == 127;
}

} // namespace

QString FormatIPv4(uint32_t address) {
    return QStringLiteral("%1.%2.%3.%4")
        .arg(address >> 24)
        .arg((address >> 16) & 0xFF)
        .arg((address >> 8) & 0xFF)
        .arg(address & 0xFF);
}

uint32_t ParseIPv4(const QString& text) {
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return 0;
    uint32_t address = 0;
    for (const QString& part : parts) {
        int octet = 0;
        if (part.isEmpty() || part.size() > 3 || !ReadInt(part, 0, 255, octet))
            return 0;
        address = (address << 8) | static_cast<uint32_t>(octet);
    }
    return address;
}

QString ParseLabOptions(const QStringList& arguments, LabOptions& options) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption servers("servers", "Number of game servers.", "N");
    const QCommandLineOption base("base", "Address of the first server (127.x.y.z).", "ADDRESS");
    const QCommandLineOption port("port", "UDP port of every game server.", "PORT");
    const QCommandLineOption master("master", "Address and port of the master server.",
                                    "ADDRESS:PORT");
    const QCommandLineOption seed("seed", "Seed of the generated content.", "S");
    const QCommandLineOption latency("latency", "Reply delay per server in ms.", "MIN-MAX");
    const QCommandLineOption silent("silent", "Fraction of servers that never answer.", "F");
    const QCommandLineOption detailsOnly("details-only", "Fraction answering details only.", "F");
    const QCommandLineOption message("message", "Fraction answering with a text message.", "F");
    const QCommandLineOption draining("draining", "Fraction that start full and drain.", "F");
    const QCommandLineOption loss("loss", "Fraction of requests dropped.", "F");
    const QCommandLineOption dropFirst("drop-first-master-request",
                                       "Either master ignores the first request for each "
                                       "batch (for each seed on the Steam master).");
    const QCommandLineOption unterminated("unterminated",
                                          "Fraction whose strings lack their terminator.", "F");
    const QCommandLineOption overcount(
        "overcount", "Fraction whose player and rule counts exceed the datagram.", "F");
    const QCommandLineOption oversize("oversize", "Fraction answering with 65507-byte datagrams.",
                                      "F");
    const QCommandLineOption flood("flood",
                                   "Fraction following each answer with a flood of "
                                   "unsupported 'Z' replies.",
                                   "F");
    const QCommandLineOption floodCount("flood-count", "Datagrams per flood (default 1000).", "N");
    const QCommandLineOption unsolicited(
        "unsolicited", "Fraction also sending replies to commands never sent.", "F");
    const QCommandLineOption flapping(
        "flapping", "Fraction going silent and coming back every --flap-period.", "F");
    const QCommandLineOption flapPeriod("flap-period", "Ms a flapping server stays up, then down.",
                                        "MS");
    const QCommandLineOption masterMode(
        "master-mode",
        "normal, repeat or endless. The old master: next id = the id asked for, or always a new "
        "id. The Steam master: every continuation gets the first batch again, or the list goes "
        "round for ever without its end marker.",
        "MODE");
    const QCommandLineOption masterFlood(
        "master-flood", "Unsupported 'Z' replies the master sends after each batch.", "N");
    const QCommandLineOption serversListed(
        "servers-listed",
        "The master lists N made-up addresses (127.200.0.0 up, in scrambled "
        "order, none of them answering) instead of the fleet.",
        "N");
    const QCommandLineOption batch(
        "batch-size",
        QStringLiteral("Entries per batch of either master (1-%1, default 231).")
            .arg(kMaxBatchEntries),
        "N");
    const QCommandLineOption drain("drain-interval", "Ms between two players leaving.", "MS");
    const QCommandLineOption churn(
        "player-churn", "Ms between two moves of the wandering players (0: none).", "MS");
    const QCommandLineOption protocol(
        "protocol",
        "legacy (the old text queries and master, the default) or steam (A2S queries, a Steam "
        "master and the web service's list).",
        "P");
    const QCommandLineOption challengeFraction(
        "challenge-fraction", "Steam: fraction wanting a challenge before info (default 0.5).",
        "F");
    const QCommandLineOption infoOld(
        "info-old", "Steam: fraction answering info with the old 'm' layout (default 0.1).", "F");
    const QCommandLineOption infoBoth(
        "info-both", "Steam: fraction answering info with 'm' and then 'I' (default 0.1).", "F");
    const QCommandLineOption splitSize(
        "split-size",
        "Steam: rules replies above N bytes come split in pieces of N (default 1248).", "N");
    const QCommandLineOption newerSplit(
        "newer-split", "Steam: fraction splitting with the newer engines' header (default 0).",
        "F");
    const QCommandLineOption legacyFraction(
        "legacy-fraction",
        "Steam: fraction speaking the old protocol instead, which only the old master lists (the "
        "Steam master and web list list the others; default 0).",
        "F");
    const QCommandLineOption extraRules("extra-rules",
                                        "Filler rules added to every server (default 0).", "N");
    const QCommandLineOption challengeForever(
        "challenge-forever", "Steam: fraction answering every request with a new challenge.", "F");
    const QCommandLineOption badSplit(
        "bad-split",
        "Steam: fraction always splitting rules, the pieces duplicated, missing, out of range, "
        "with inconsistent counts, mixed ids or no end (which one: see the manifest).",
        "F");
    const QCommandLineOption steamMasterPort(
        "steam-master-port",
        "Steam: UDP port of the Steam master, on the master's address (default master port + 1).",
        "PORT");
    const QCommandLineOption webPort(
        "web-port",
        "Steam: TCP port of the web service's server list, on the master's address "
        "(default master port + 2).",
        "PORT");
    const QCommandLineOption steamMasterLimit(
        "steam-master-limit",
        "Steam: the Steam master answers N requests per client address and window, then "
        "stays silent to that address until the window ends (default 0: no limit).",
        "N");
    const QCommandLineOption steamMasterWindow(
        "steam-master-window", "Steam: ms of the Steam master's limit window (default 60000).",
        "MS");
    const QCommandLineOption webKey(
        "web-key", "Steam: the key the web service accepts (default lab-key).", "KEY");
    const QCommandLineOption manifest("manifest", "Write what is served to this JSON file.",
                                      "FILE");
    const QCommandLineOption realtime(
        "realtime", "Run ahead of ordinary processes (SCHED_FIFO) where permitted, so that "
                    "replies leave on time on a busy machine.");
    parser.addOptions(
        {servers,       base,       port,        master,   seed,         latency,    silent,
         detailsOnly,   message,    draining,    loss,     unterminated, overcount,  oversize,
         flood,         floodCount, unsolicited, flapping, flapPeriod,   masterMode, masterFlood,
         serversListed, dropFirst,  batch,       drain,    churn,        manifest});
    parser.addOptions({protocol, challengeFraction, infoOld, infoBoth, splitSize, newerSplit,
                       extraRules, challengeForever, badSplit, steamMasterPort, webPort, webKey,
                       legacyFraction, steamMasterLimit, steamMasterWindow, realtime});

    const QCommandLineOption help("help", "Show the options and exit.");
    parser.addOption(help);
    if (!parser.parse(QStringList{QStringLiteral("scoutwire-lab")} + arguments))
        return parser.errorText();
    if (parser.isSet(help)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        std::exit(0);
    }
    if (!parser.positionalArguments().isEmpty())
        return QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first());

    if (parser.isSet(servers) && !ReadInt(parser.value(servers), 1, kMaxServers, options.servers))
        return QStringLiteral("--servers wants a number from 1 to %1").arg(kMaxServers);
    if (parser.isSet(base)) {
        options.baseAddress = ParseIPv4(parser.value(base));
        if (!IsLoopback(options.baseAddress))
            return QStringLiteral("--base wants a loopback address 127.x.y.z");
    }
    if (parser.isSet(port)) {
        int value = 0;
        if (!ReadInt(parser.value(port), 1, 65535, value))
            return QStringLiteral("--port wants a number from 1 to 65535");
        options.port = static_cast<uint16_t>(value);
    }
    if (parser.isSet(master)) {
        const QStringList parts = parser.value(master).split(QLatin1Char(':'));
        int value = 0;
        if (parts.size() != 2 || (options.masterAddress = ParseIPv4(parts[0])) == 0 ||
            !ReadInt(parts[1], 1, 65535, value))
            return QStringLiteral("--master wants ADDRESS:PORT, for example 127.0.0.1:27010");
        options.masterPort = static_cast<uint16_t>(value);
    }
    if (parser.isSet(seed)) {
        bool ok = false;
        options.seed = parser.value(seed).toULongLong(&ok);
        if (!ok)
            return QStringLiteral("--seed wants a non-negative number");
    }
    if (parser.isSet(latency)) {
        const QStringList parts = parser.value(latency).split(QLatin1Char('-'));
        if (parts.size() > 2 || !ReadInt(parts[0], 0, 600000, options.latencyMinMs) ||
            !ReadInt(parts.back(), options.latencyMinMs, 600000, options.latencyMaxMs))
            return QStringLiteral("--latency wants MIN-MAX in ms, MIN <= MAX");
    }
    const std::pair<const QCommandLineOption*, double*> fractions[] = {
        {&silent, &options.silent},
        {&detailsOnly, &options.detailsOnly},
        {&message, &options.message},
        {&draining, &options.draining},
        {&loss, &options.loss},
        {&unterminated, &options.unterminated},
        {&overcount, &options.overcount},
        {&oversize, &options.oversize},
        {&flood, &options.flood},
        {&unsolicited, &options.unsolicited},
        {&flapping, &options.flapping},
        {&challengeFraction, &options.challengeFraction},
        {&infoOld, &options.infoOld},
        {&infoBoth, &options.infoBoth},
        {&newerSplit, &options.newerSplit},
        {&challengeForever, &options.challengeForever},
        {&badSplit, &options.badSplit},
        {&legacyFraction, &options.legacyFraction},
    };
    for (const auto& [option, target] : fractions) {
        if (parser.isSet(*option) && !ReadFraction(parser.value(*option), *target))
            return QStringLiteral("--%1 wants a fraction from 0 to 1").arg(option->names().first());
    }
    if (options.silent + options.detailsOnly + options.message + options.draining +
            options.unterminated + options.overcount + options.oversize + options.flood +
            options.unsolicited + options.flapping + options.challengeForever + options.badSplit >
        1.0 + 1e-9)
        return QStringLiteral("the behaviour fractions (--silent, --details-only, --message, "
                              "--draining, --unterminated, --overcount, --oversize, --flood, "
                              "--unsolicited, --flapping, --challenge-forever, --bad-split) add "
                              "up to more than 1");
    if (options.infoOld + options.infoBoth > 1.0 + 1e-9)
        return QStringLiteral("--info-old and --info-both add up to more than 1");
    if (parser.isSet(floodCount) &&
        !ReadInt(parser.value(floodCount), 1, 1000000, options.floodCount))
        return QStringLiteral("--flood-count wants a number from 1 to 1000000");
    if (parser.isSet(flapPeriod) &&
        !ReadInt(parser.value(flapPeriod), 1, 86400000, options.flapPeriodMs))
        return QStringLiteral("--flap-period wants a positive number of ms");
    if (parser.isSet(masterMode)) {
        const QString mode = parser.value(masterMode);
        if (mode == QLatin1String("normal"))
            options.masterMode = MasterMode::Normal;
        else if (mode == QLatin1String("repeat"))
            options.masterMode = MasterMode::Repeat;
        else if (mode == QLatin1String("endless"))
            options.masterMode = MasterMode::Endless;
        else
            return QStringLiteral("--master-mode wants normal, repeat or endless");
    }
    if (parser.isSet(masterFlood) &&
        !ReadInt(parser.value(masterFlood), 0, 1000000, options.masterFlood))
        return QStringLiteral("--master-flood wants a number from 0 to 1000000");
    if (parser.isSet(serversListed) &&
        !ReadInt(parser.value(serversListed), 0, kMaxServers, options.serversListed))
        return QStringLiteral("--servers-listed wants a number from 0 to %1").arg(kMaxServers);
    options.dropFirstMasterRequest = parser.isSet(dropFirst);
    options.realtime = parser.isSet(realtime);
    if (parser.isSet(batch) &&
        !ReadInt(parser.value(batch), 1, kMaxBatchEntries, options.batchSize))
        return QStringLiteral("--batch-size wants a number from 1 to %1").arg(kMaxBatchEntries);
    if (parser.isSet(drain) && !ReadInt(parser.value(drain), 1, 86400000, options.drainIntervalMs))
        return QStringLiteral("--drain-interval wants a positive number of ms");
    if (parser.isSet(churn) && !ReadInt(parser.value(churn), 0, 86400000, options.churnPeriodMs))
        return QStringLiteral("--player-churn wants a number of ms");
    options.manifestPath = parser.value(manifest);
    if (parser.isSet(protocol)) {
        const QString value = parser.value(protocol);
        if (value == QLatin1String("legacy"))
            options.protocol = LabProtocol::Legacy;
        else if (value == QLatin1String("steam"))
            options.protocol = LabProtocol::Steam;
        else
            return QStringLiteral("--protocol wants legacy or steam");
    }
    if (parser.isSet(splitSize) &&
        !ReadInt(parser.value(splitSize), 16, kMaxDatagram, options.splitSize))
        return QStringLiteral("--split-size wants a number from 16 to %1").arg(kMaxDatagram);
    if (parser.isSet(extraRules) &&
        !ReadInt(parser.value(extraRules), 0, 10000, options.extraRules))
        return QStringLiteral("--extra-rules wants a number from 0 to 10000");
    const std::pair<const QCommandLineOption*, uint16_t*> ports[] = {
        {&steamMasterPort, &options.steamMasterPort}, {&webPort, &options.webPort}};
    for (const auto& [option, target] : ports) {
        int value = 0;
        if (!parser.isSet(*option))
            continue;
        if (!ReadInt(parser.value(*option), 1, 65535, value))
            return QStringLiteral("--%1 wants a number from 1 to 65535")
                .arg(option->names().first());
        *target = static_cast<uint16_t>(value);
    }
    if (parser.isSet(webKey))
        options.webKey = parser.value(webKey);
    if (parser.isSet(steamMasterLimit) &&
        !ReadInt(parser.value(steamMasterLimit), 0, 1000000, options.steamMasterLimit))
        return QStringLiteral("--steam-master-limit wants a number from 0 to 1000000");
    if (parser.isSet(steamMasterWindow) &&
        !ReadInt(parser.value(steamMasterWindow), 1, 86400000, options.steamMasterWindowMs))
        return QStringLiteral("--steam-master-window wants a positive number of ms");
    const bool steamOnly =
        parser.isSet(challengeFraction) || parser.isSet(infoOld) || parser.isSet(infoBoth) ||
        parser.isSet(splitSize) || parser.isSet(newerSplit) || parser.isSet(challengeForever) ||
        parser.isSet(badSplit) || parser.isSet(steamMasterPort) || parser.isSet(webPort) ||
        parser.isSet(webKey) || parser.isSet(legacyFraction) || parser.isSet(steamMasterLimit) ||
        parser.isSet(steamMasterWindow);
    if (steamOnly && !options.Steam())
        return QStringLiteral("the A2S and Steam options want --protocol steam");
    if (options.steamMasterPort == 0)
        options.steamMasterPort = static_cast<uint16_t>(options.masterPort % 65535 + 1);
    if (options.webPort == 0)
        options.webPort = static_cast<uint16_t>((options.masterPort + 1) % 65535 + 1);

    // The fleet must stay inside 127/8 and off its broadcast address.
    if (static_cast<uint64_t>(options.baseAddress) + static_cast<uint64_t>(options.servers) - 1 >=
        0x7FFFFFFFull)
        return QStringLiteral("%1 servers from %2 run past 127.255.255.254")
            .arg(options.servers)
            .arg(FormatIPv4(options.baseAddress));
    return {};
}

} // namespace lab
