#pragma once

#include <cstdint>
#include <string>

#include "net/CUdpSocket.h"

// One query sequence to one game server: the commands go out one at a time,
// each after something came back for the one before.
class CServerSocket : public CUdpSocket {
public:
    using CUdpSocket::CUdpSocket;

    // Creates and connects the socket; reports and returns false on failure.
    virtual bool ConnectTo(uint32_t address, uint16_t port);
    virtual void GetAddress(uint32_t& address, uint16_t& port) const;
    // Stores the ';'-separated commands and sends the first.
    void QueueCommands(const std::string& commands);
    void SendNextCommand();
    void OnReceive(int errorCode) override;

    std::string m_strPending;
    uint32_t m_dwAddress = 0;
    uint16_t m_wPort = 0;
    // The "Unsupported command" box is shown once per socket: a server that
    // floods us with replies of unknown types gets one box, not one each.
    bool m_bUnsupportedShown = false;
};
