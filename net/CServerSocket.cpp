#include "net/CServerSocket.h"

#include "net/Address.h"
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
    m_strPending = commands;
    SendNextCommand();
}

void CServerSocket::SendNextCommand() {
    std::string command;
    const size_t semicolon = m_strPending.find(';');
    if (semicolon == std::string::npos) {
        command = std::move(m_strPending);
        m_strPending.clear();
    } else {
        command = m_strPending.substr(0, semicolon);
        m_strPending.erase(0, semicolon + 1);
    }
    if (!command.empty())
        SendCommand(command);
}

void CServerSocket::OnReceive(int errorCode) {
    BusyScope busy(*this);
    if (errorCode != 0) {
        ReportSocketCode(m_pOwner->GetReporter(), "Error receiving", errorCode);
        return;
    }
    const int n = ReceiveIntoBuffer("OnReceiveServerSocket: error receiving packet");
    if (n <= 0)
        return;
    m_pOwner->OnReceiveServerSocket(*this, m_pOwner->GetRecvBuffer().first(static_cast<size_t>(n)));
    // A message box inside the handler may have let the user clear the
    // list; a closed socket has nothing more to send.
    if (!IsOpen())
        return;
    if (!m_strPending.empty())
        SendNextCommand();
    else
        m_liSent = 0;
}
