#pragma once

#include <cstdint>

#include "core/UpdateHint.h"

class CScoutwireDoc;
class ServerInfo;

// Joining runs message boxes, a dialog and a waiting loop, and in each of
// them the document may drop its records (a reset, Clear Server List). This
// watches the document's notifications so that the join never touches a
// record that is gone: after a possible removal the record is looked up
// again by its address.
class ServerRecordGuard : public IDocView {
public:
    ServerRecordGuard(CScoutwireDoc& doc, ServerInfo& server);
    ~ServerRecordGuard() override;
    ServerRecordGuard(const ServerRecordGuard&) = delete;
    ServerRecordGuard& operator=(const ServerRecordGuard&) = delete;

    // The record, or null once it has left the document.
    ServerInfo* Get();

    void OnUpdate(IDocView* sender, int hint, const CUpdateHint* pHint) override;

private:
    CScoutwireDoc& m_doc;
    ServerInfo* m_pServer;
    uint32_t m_dwAddress;
    uint16_t m_wPort;
    bool m_bRecheck = false;
};
