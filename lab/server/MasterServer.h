#pragma once

#include "MasterEndpoint.h"

#include <QObject>
#include <QString>

#include <memory>
#include <set>
#include <string>
#include <utility>

namespace lab {

class Fleet;
struct LabOptions;

// The master: answers list requests in batches of at most batchSize entries.
// A batch id names the fleet index where the batch starts (id = index * 4 + 3,
// so it is never 0 and stays below 2^24 for up to four million servers), which
// makes every batch a pure function of (id, filter): any client may ask for
// any id it was given, and a retry gets the same answer. The hostile master
// modes bend this (see MasterMode); an endless master's ids wrap round the
// list, so every one of them is answered.
class MasterServer : public MasterEndpoint {
public:
    MasterServer(const Fleet& fleet, const LabOptions& options, QObject* parent = nullptr);
    ~MasterServer() override;

    bool Start(QString& error);

    static uint32_t BatchIdOf(int startIndex) { return uint32_t(startIndex) * 4 + 3; }

private:
    void Answer(const uint8_t* data, size_t length, const sockaddr_in& from) override;

    const Fleet& m_fleet;
    // (batch id, filter) already dropped once under --drop-first-master-request.
    std::set<std::pair<uint32_t, std::string>> m_droppedOnce;
};

} // namespace lab
