#include "launch/JoinServer.h"

#include <QFile>
#include <algorithm>
#include <optional>
#include <string>

#include "core/CScoutwireDoc.h"
#include "core/CSettings.h"
#include "core/IUserInterface.h"
#include "core/ServerInfo.h"
#include "launch/GameCommandLine.h"
#include "launch/ServerRecordGuard.h"
#include "launch/ShellLaunch.h"
#include "net/Clock.h"
#include "net/EventWait.h"
#include "net/QueryCommands.h"

namespace {

constexpr int kMinPollIntervalMs = 1000;
constexpr int kPauseMs = 100;

using Answer = IUserInterface::Answer;
using Buttons = IUserInterface::Buttons;
using Icon = IUserInterface::Icon;

// Polls the server behind the progress dialog until it has room. False when
// the user cancels or the record leaves the document.
bool WaitForFreeSpot(CScoutwireDoc& doc, ServerRecordGuard& guard, int reserved) {
    std::unique_ptr<IProgress> progress = doc.GetUI().CreateProgress();
    ServerInfo* server = guard.Get();
    if (!progress || !server)
        return false;
    progress->SetRange(0, 0);
    progress->SetStatus("Waiting for free spot on server " + server->m_strName + "...");
    const int64_t interval = JoinPollIntervalMs(doc.GetSettings());
    uint64_t t0 = NowTicks();
    // A full pool only means this poll is skipped; the next one may fit.
    doc.RefreshServer(*server, CMD_DETAILS | CMD_PLAYERS);
    for (;;) {
        if (progress->CheckCancelButton())
            return false;
        server = guard.Get();
        if (!server)
            return false;
        if (HasFreeSpot(*server, reserved))
            return true;
        // Sleeping in the event loop lets the replies, the cleaning pass and
        // painting run; it wakes early for any event.
        const int64_t untilPoll = interval - static_cast<int64_t>(ElapsedMs(t0));
        WaitForEvents(std::clamp<int64_t>(untilPoll, 1, kPauseMs));
        if (static_cast<int64_t>(ElapsedMs(t0)) > interval) {
            server = guard.Get();
            if (!server)
                return false;
            t0 = NowTicks();
            doc.RefreshServer(*server, CMD_DETAILS);
        }
    }
}

// The game's arguments, or a refusal shown to the user when the server's
// game directory is not safe to pass on.
bool BuildArguments(CScoutwireDoc& doc, const ServerInfo& server, const std::string* password,
                    QStringList& arguments) {
    std::string refusal;
    if (GameArguments(doc.GetSettings().m_strHLParams, server, password, arguments, refusal))
        return true;
    doc.GetUI().MessageBox(refusal, Buttons::Ok, Icon::Error);
    return false;
}

} // namespace

void StartGame(CScoutwireDoc& doc, const ServerInfo& server, const std::string* password) {
    QStringList arguments;
    if (!BuildArguments(doc, server, password, arguments))
        return;
    const CSettings& settings = doc.GetSettings();
    const std::string folder = GameWorkingDirectory(settings.m_strHLPath);
    const std::optional<int> failure = StartProgram(QFile::decodeName(settings.m_strHLPath.c_str()),
                                                    arguments, QFile::decodeName(folder.c_str()));
    if (failure)
        ReportShellError(doc.GetUI(), *failure, "Error starting Half-Life");
}

bool PrepareJoin(CScoutwireDoc& doc, ServerRecordGuard& guard, bool askFull, JoinPlan& plan) {
    if (doc.GetSettings().m_strHLPath.empty())
        return false;
    IUserInterface& ui = doc.GetUI();
    ServerInfo* server = guard.Get();
    if (!server)
        return false;
    plan.reserved = std::max(server->GetReservedSlots(), 0);

    if (server->m_nPing == 0) {
        if (ui.MessageBox("Server seems down. Try to connect anyway?", Buttons::OkCancel,
                          Icon::Warning) != Answer::Ok)
            return false;
        if (!(server = guard.Get()))
            return false;
    }

    plan.wait = !askFull;
    if (askFull && server->m_nMaxPlayers != 0 &&
        server->m_nPlayers >= server->m_nMaxPlayers - plan.reserved) {
        std::string text = "Server seems full";
        if (plan.reserved > 0)
            text += ", unless you can take a reserved slot";
        text += ". Wait for a free spot?";
        const Answer answer = ui.MessageBox(text, Buttons::YesNoCancel, Icon::Question);
        if (answer == Answer::Cancel)
            return false;
        plan.wait = answer == Answer::Yes;
        if (!(server = guard.Get()))
            return false;
    }

    // Whether the password goes on the command line is settled here, where
    // the user is asked: replies during the wait may change the server's
    // flag, and neither a typed password may be dropped nor a stored one
    // sent unasked.
    if (server->m_bPassword) {
        std::string typed = server->m_strPassword;
        if (!ui.EditPassword(typed))
            return false;
        if (!(server = guard.Get()))
            return false;
        // Kept with the record for the next join; not an edit of the document
        // worth a question on closing.
        server->m_strPassword = typed;
        plan.password = std::move(typed);
    }

    // A game directory that will be refused is refused before the user
    // waits for it.
    QStringList unused;
    return !plan.wait || BuildArguments(doc, *server, plan.Password(), unused);
}

bool HasFreeSpot(const ServerInfo& server, int reserved) {
    return server.m_nPlayers < server.m_nMaxPlayers - reserved;
}

int JoinPollIntervalMs(const CSettings& settings) {
    return std::max(settings.m_nSocketTimeout, kMinPollIntervalMs);
}

void JoinServer(CScoutwireDoc& doc, ServerInfo& record) {
    ServerRecordGuard guard(doc, record);
    JoinPlan plan;
    if (!PrepareJoin(doc, guard, true, plan))
        return;
    if (plan.wait && !WaitForFreeSpot(doc, guard, plan.reserved))
        return;
    if (ServerInfo* server = guard.Get())
        StartGame(doc, *server, plan.Password());
}
