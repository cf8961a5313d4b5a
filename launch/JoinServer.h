#pragma once

#include <optional>
#include <string>

class CScoutwireDoc;
class CSettings;
class ServerInfo;
class ServerRecordGuard;

// Starts the game connected to the server: the down and full questions, the
// password, the wait for a free place, then the game's command line.
void JoinServer(CScoutwireDoc& doc, ServerInfo& server);

// What the questions before joining settled.
struct JoinPlan {
    bool wait = false;
    int reserved = 0; // reserved slots, never below 0
    std::optional<std::string> password;
    const std::string* Password() const { return password ? &*password : nullptr; }
};

// The down question, the full question (when askFull; otherwise the join
// waits), the password, and a refused game directory when the join will
// wait. False when the user stopped or the record left the document.
bool PrepareJoin(CScoutwireDoc& doc, ServerRecordGuard& guard, bool askFull, JoinPlan& plan);
bool HasFreeSpot(const ServerInfo& server, int reserved);
// How often a waiting join asks the server.
int JoinPollIntervalMs(const CSettings& settings);
// The game's command line and start, or the refusal or failure shown.
void StartGame(CScoutwireDoc& doc, const ServerInfo& server, const std::string* password);
