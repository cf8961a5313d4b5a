#include "launch/ServerRecordGuard.h"

#include "core/CScoutwireDoc.h"

ServerRecordGuard::ServerRecordGuard(CScoutwireDoc& doc, ServerInfo& server)
    : m_doc(doc), m_pServer(&server), m_dwAddress(server.m_dwAddress), m_wPort(server.m_wPort) {
    m_doc.AddView(this);
}

ServerRecordGuard::~ServerRecordGuard() {
    m_doc.RemoveView(this);
}

ServerInfo* ServerRecordGuard::Get() {
    if (m_pServer && m_bRecheck) {
        // Only the address is compared: the old pointer may already dangle.
        m_pServer = m_doc.FindServer(m_dwAddress, m_wPort);
        m_bRecheck = false;
    }
    if (m_pServer) {
        // A look-up by host name may have moved the record to a new address.
        m_dwAddress = m_pServer->m_dwAddress;
        m_wPort = m_pServer->m_wPort;
    }
    return m_pServer;
}

void ServerRecordGuard::OnUpdate(IDocView*, int hint, const CUpdateHint*) {
    if (hint == HINT_DOC_CLEARED)
        m_pServer = nullptr; // every record goes, whatever comes in later
    else if (hint == HINT_SERVERS_RELOADED)
        m_bRecheck = true;
}
