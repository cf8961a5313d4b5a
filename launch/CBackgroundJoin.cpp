#include "launch/CBackgroundJoin.h"

#include "core/CScoutwireDoc.h"
#include "core/IUserInterface.h"
#include "core/ServerInfo.h"
#include "launch/ServerRecordGuard.h"
#include "net/QueryCommands.h"

std::unique_ptr<CBackgroundJoin> CBackgroundJoin::Start(CScoutwireDoc& doc, ServerInfo& server) {
    JoinPlan plan;
    {
        ServerRecordGuard guard(doc, server);
        if (!PrepareJoin(doc, guard, false, plan) || !guard.Get())
            return nullptr;
    }
    // The questions ran nested loops: the record may have gone with them.
    ServerInfo* found = doc.FindServer(server.m_dwAddress, server.m_wPort);
    if (found != &server)
        return nullptr;
    return std::make_unique<CBackgroundJoin>(doc, server, std::move(plan));
}

CBackgroundJoin::CBackgroundJoin(CScoutwireDoc& doc, const ServerInfo& server, JoinPlan plan)
    : m_doc(doc), m_dwAddress(server.m_dwAddress), m_wPort(server.m_wPort),
      m_plan(std::move(plan)) {
    m_doc.AddView(this);
    m_pollTimer.setInterval(JoinPollIntervalMs(doc.GetSettings()));
    QObject::connect(&m_pollTimer, &QTimer::timeout, [this] { Poll(); });
    m_joinTimer.setSingleShot(true);
    m_joinTimer.setInterval(0);
    QObject::connect(&m_joinTimer, &QTimer::timeout, [this] { Join(); });
    Report();
    Poll();
    m_pollTimer.start();
}

CBackgroundJoin::~CBackgroundJoin() {
    m_doc.RemoveView(this);
}

ServerInfo* CBackgroundJoin::Find() const {
    return m_doc.FindServer(m_dwAddress, m_wPort);
}

const ServerInfo* CBackgroundJoin::Server() const {
    return m_bRunning ? Find() : nullptr;
}

void CBackgroundJoin::Poll() {
    ServerInfo* server = Find();
    if (!server) {
        End();
        return;
    }
    // Players once, as the modal wait does, then the details that tell the
    // count; a full pool only skips this poll.
    const unsigned mask = m_bPolledPlayers ? CMD_DETAILS : CMD_DETAILS | CMD_PLAYERS;
    if (m_doc.RefreshServerIfIdle(server, mask))
        m_bPolledPlayers = true;
}

void CBackgroundJoin::OnUpdate(IDocView*, int hint, const CUpdateHint* pHint) {
    if (!m_bRunning)
        return;
    if (hint == HINT_DOC_CLEARED || hint == HINT_SERVERS_RELOADED) {
        if (!Find())
            End();
        return;
    }
    if (hint != HINT_SERVER_DETAILS || !pHint || pHint->m_pServer != Find())
        return;
    const ServerInfo& server = *pHint->m_pServer;
    // Ping 0: a time-out or a poll still outstanding, not an answer.
    if (server.m_nPing == 0)
        return;
    if (HasFreeSpot(server, m_plan.reserved))
        m_joinTimer.start();
    else
        Report();
}

void CBackgroundJoin::Join() {
    ServerInfo* server = Find();
    if (!m_bRunning || !server || server->m_nPing == 0 || !HasFreeSpot(*server, m_plan.reserved))
        return;
    const JoinPlan plan = m_plan;
    End();
    m_bStarting = true;
    StartGame(m_doc, *server, plan.Password());
    m_bStarting = false;
}

void CBackgroundJoin::Report() {
    const ServerInfo* server = Find();
    if (!server)
        return;
    m_doc.GetUI().OnBackgroundJoinChanged(server, "Waiting for free spot on server " +
                                                      server->m_strName + "... (" +
                                                      std::to_string(server->m_nPlayers) + "/" +
                                                      std::to_string(server->m_nMaxPlayers) + ")");
}

void CBackgroundJoin::End() {
    if (!m_bRunning)
        return;
    m_bRunning = false;
    m_pollTimer.stop();
    m_joinTimer.stop();
    m_doc.GetUI().OnBackgroundJoinChanged(nullptr, {});
}
