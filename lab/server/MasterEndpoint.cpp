#include "MasterEndpoint.h"

#include "LabOptions.h"
#include "ReplyEncoder.h"

namespace lab {

bool MasterEndpoint::Listen(uint16_t port, const QString& what, QString& error) {
    if (!m_socket.Open(m_options.masterAddress, port, false, error)) {
        error = QStringLiteral("cannot bind %1 to %2:%3: %4")
                    .arg(what)
                    .arg(FormatIPv4(m_options.masterAddress))
                    .arg(port)
                    .arg(error);
        return false;
    }
    m_readable = std::make_unique<QSocketNotifier>(m_socket.Fd(), QSocketNotifier::Read);
    connect(m_readable.get(), &QSocketNotifier::activated, this, &MasterEndpoint::OnReadable);
    return true;
}

void MasterEndpoint::OnReadable() {
    uint8_t buffer[2048];
    for (int i = 0; i < 256; ++i) {
        sockaddr_in from{};
        uint32_t destination = 0;
        const ssize_t length = m_socket.Receive(buffer, sizeof buffer, from, destination);
        if (length < 0)
            return;
        Answer(buffer, size_t(length), from);
    }
}

void MasterEndpoint::Reply(const std::vector<uint8_t>& reply, const sockaddr_in& to) {
    m_socket.Send(reply.data(), reply.size(), to, 0);
    for (int k = 0; k < m_options.masterFlood; ++k) {
        const ReplyEncoder::Bytes unsupported = ReplyEncoder::Unsupported('Z');
        m_socket.Send(unsupported.data(), unsupported.size(), to, 0);
    }
}

} // namespace lab
