#pragma once

#include "LabSocket.h"

#include <QObject>
#include <QSocketNotifier>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace lab {

struct LabOptions;

// What the lab's two masters share: one socket on the master address, read
// on the event loop a bounded number of datagrams at a time, and a reply that
// may be followed by the --master-flood datagrams of an unknown type.
class MasterEndpoint : public QObject {
public:
    MasterEndpoint(const LabOptions& options, QObject* parent) : QObject(parent), m_options(options) {}

protected:
    // Binds the master address at port; error names what (e.g. "the master
    // server") could not be bound.
    bool Listen(uint16_t port, const QString& what, QString& error);
    // Sends the reply, then the flood the options ask for.
    void Reply(const std::vector<uint8_t>& reply, const sockaddr_in& to);
    virtual void Answer(const uint8_t* data, size_t length, const sockaddr_in& from) = 0;

    const LabOptions& m_options;

private:
    void OnReadable();

    LabSocket m_socket;
    std::unique_ptr<QSocketNotifier> m_readable;
};

} // namespace lab
