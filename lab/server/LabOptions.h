#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

namespace lab {

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
    bool dropFirstMasterRequest = false;
    int batchSize = 231;
    int drainIntervalMs = 2000;
    QString manifestPath;

    uint32_t LastAddress() const { return baseAddress + static_cast<uint32_t>(servers) - 1; }
};

// Reads the arguments (without the program name). Returns an error text for
// the user, or an empty string when every option made sense.
QString ParseLabOptions(const QStringList& arguments, LabOptions& options);

QString FormatIPv4(uint32_t address);
// Dotted quad with every number in 0..255; 0 when the text is not one.
uint32_t ParseIPv4(const QString& text);

} // namespace lab
