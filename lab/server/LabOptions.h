#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

namespace lab {

// How the master hands out batch ids. Normal ends the list with id 0; the
// two hostile modes never do: Repeat answers every request for a batch other
// than the first with that same id as the next one, Endless always hands out
// an id it never gave before (the entries go round the list again).
enum class MasterMode { Normal, Repeat, Endless };

// Which generation the fleet speaks: the old text queries and WON master, or
// today's A2S queries with a Steam master and web list beside the old master.
enum class LabProtocol { Legacy, Steam };

// What the command line asks the lab to serve. Fractions are in [0, 1]; the
// behaviour fractions together at most 1, the rest of the fleet is normal.
struct LabOptions {
    int servers = 100;
    uint32_t baseAddress = 0x7F010001; // 127.1.0.1
    uint16_t port = 27015;
    uint32_t masterAddress = 0x7F000001; // 127.0.0.1
    uint16_t masterPort = 27010;
    uint64_t seed = 1;
    int latencyMinMs = 0;
    int latencyMaxMs = 0;
    double silent = 0;
    double detailsOnly = 0;
    double message = 0;
    double draining = 0;
    double loss = 0;
    // Hostile servers, fractions of the fleet like the behaviours above.
    double unterminated = 0;     // strings run to the end of the datagram
    double overcount = 0;        // player and rule counts larger than the datagram holds
    double oversize = 0;         // every reply is a 65507-byte datagram
    double flood = 0;            // each answer is followed by floodCount type 'Z' datagrams
    double unsolicited = 0;      // answers also carry replies to commands never sent
    double flapping = 0;         // silent for every other half of flapPeriodMs
    double challengeForever = 0; // A2S: every request answered with a new challenge
    double badSplit = 0;         // A2S: rules always split, the pieces spoilt one way or another
    int floodCount = 1000;
    int flapPeriodMs = 10000;
    bool dropFirstMasterRequest = false;
    bool realtime = false; // ahead of ordinary processes where permitted
    int batchSize = 231;
    int drainIntervalMs = 2000;
    // --player-churn: every this many ms the wandering players (see Fleet)
    // go elsewhere; 0: they never come.
    int churnPeriodMs = 0;
    MasterMode masterMode = MasterMode::Normal;
    int masterFlood = 0;   // type 'Z' datagrams the master sends after each batch
    int serversListed = 0; // 0: the master lists the fleet; else this many made-up addresses
    QString manifestPath;

    // --protocol steam. The A2S fractions draw from a stream of their own, so
    // they leave the content and the behaviours above as they were.
    LabProtocol protocol = LabProtocol::Legacy;
    double challengeFraction = 0.5; // want a challenge before answering info
    double infoOld = 0.1;           // answer info with the old 'm' layout only
    double infoBoth = 0.1;          // answer info with 'm' and then 'I'
    double newerSplit = 0;          // split with the newer engines' header
    double legacyFraction = 0;      // speak the old protocol, listed by the old master only
    int splitSize = 1248;           // rules replies longer than this are split
    int extraRules = 0;             // filler rules added to every server
    uint16_t steamMasterPort = 0;   // 0: masterPort + 1
    uint16_t webPort = 0;           // 0: masterPort + 2
    int steamMasterLimit = 0;       // requests per window and client address; 0: no limit
    int steamMasterWindowMs = 60000;
    QString webKey = QStringLiteral("lab-key");

    bool Steam() const { return protocol == LabProtocol::Steam; }

    uint32_t LastAddress() const { return baseAddress + static_cast<uint32_t>(servers) - 1; }
};

// Reads the arguments (without the program name). Returns an error text for
// the user, or an empty string when every option made sense.
QString ParseLabOptions(const QStringList& arguments, LabOptions& options);

QString FormatIPv4(uint32_t address);
// Dotted quad with every number in 0..255; 0 when the text is not one.
uint32_t ParseIPv4(const QString& text);

// The largest UDP payload, and the most master entries one datagram holds.
constexpr int kMaxDatagram = 65507;
constexpr int kMaxBatchEntries = (kMaxDatagram - 10) / 6;

} // namespace lab
