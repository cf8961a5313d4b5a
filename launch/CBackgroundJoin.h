#pragma once

#include <QTimer>
#include <cstdint>
#include <memory>
#include <string>

#include "core/UpdateHint.h"
#include "launch/JoinServer.h"

class CScoutwireDoc;
class ServerInfo;

// The wait for a free place without a modal dialog: the server is asked
// again every poll interval while the user goes on working, and the game
// starts on the first answer that shows room. It listens to the document's
// notifications, so that any answer counts, its own polls' or another
// refresh's.
class CBackgroundJoin : public IDocView {
public:
    // Asks what joining asks (down, password, game directory); null when
    // the user stopped there.
    static std::unique_ptr<CBackgroundJoin> Start(CScoutwireDoc& doc, ServerInfo& server);
    CBackgroundJoin(CScoutwireDoc& doc, const ServerInfo& server, JoinPlan plan);
    ~CBackgroundJoin() override;
    CBackgroundJoin(const CBackgroundJoin&) = delete;
    CBackgroundJoin& operator=(const CBackgroundJoin&) = delete;

    void Cancel() { End(); }
    // The server waited for, or null once the join ended.
    const ServerInfo* Server() const;
    // The game is being started: a box about the start may run a nested
    // event loop, and this object is on the stack until it returns.
    bool IsStarting() const { return m_bStarting; }

    void OnUpdate(IDocView* sender, int hint, const CUpdateHint* pHint) override;

private:
    ServerInfo* Find() const;
    void Poll();
    void Join();
    void Report();
    void End();

    CScoutwireDoc& m_doc;
    uint32_t m_dwAddress;
    uint16_t m_wPort;
    JoinPlan m_plan;
    bool m_bRunning = true;
    bool m_bPolledPlayers = false;
    bool m_bStarting = false;
    QTimer m_pollTimer;
    // The game starts from the event loop, never inside a reply's handler.
    QTimer m_joinTimer;
};
