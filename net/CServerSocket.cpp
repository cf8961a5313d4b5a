#include "net/CServerSocket.h"

#include <cerrno>

#include "net/Address.h"
#include "net/Clock.h"
#include "net/ISocketOwner.h"
#include "net/SocketErrors.h"

bool CServerSocket::ConnectTo(uint32_t address, uint16_t port) {
    m_dwAddress = address;
    m_wPort = port;
    BusyScope busy(*this);
    if (!Create()) {
        ReportLastError(m_pOwner->GetReporter(), "Error creating socket");
        return false;
    }
    if (!Connect(FormatIP(address), port)) {
        ReportLastError(m_pOwner->GetReporter(), "Error connecting to server " + FormatIP(address));
        return false;
    }
    return true;
}

void CServerSocket::GetAddress(uint32_t& address, uint16_t& port) const {
    address = m_dwAddress;
    port = m_wPort;
}

void CServerSocket::QueueCommands(const std::string& commands) {
    m_sequence.Start(MaskFromCommands(commands), *this);
}

bool CServerSocket::SendRequest(QuerySequence& query, std::span<const uint8_t> request) {
    BusyScope busy(*this);
    query.MarkSent(NowTicks());
    if (Send(request.data(), static_cast<int>(request.size())) < 0) {
        ReportSocketFailure(m_pOwner->GetReporter(), "Error sending command", errno);
        return false;
    }
    return true;
}

void CServerSocket::OnReceive(int errorCode) {
    BusyScope busy(*this);
    if (errorCode != 0) {
        ReportSocketCode(m_pOwner->GetReporter(), "Error receiving", errorCode);
        return;
    }
    int error = 0;
    uint64_t arrival = 0;
    const int n = ReceiveIntoBuffer(error, arrival);
    m_sequence.NoteArrival(arrival);
    if (n < 0)
        ReportSocketFailure(m_pOwner->GetReporter(),
                            "OnReceiveServerSocket: error receiving packet", error);
    if (n <= 0)
        return;
    m_sequence.OnDatagram(m_pOwner->GetRecvBuffer().first(static_cast<size_t>(n)), *this);
}

bool CServerSocket::DeliverReply(QuerySequence&, std::span<const uint8_t> reply) {
    m_pOwner->OnReceiveServerSocket(*this, reply);
    // A message box inside the handler may have let the user clear the
    // list; a closed socket has nothing more to send.
    return IsOpen();
}
