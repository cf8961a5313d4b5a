#pragma once

#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "core/IUserInterface.h"

// The user, played by a test: message boxes are recorded and answered from a
// queue (OK or Yes when it runs dry), dialogs are answered by callbacks.
class ScriptedProgress;

class ScriptedUI : public IUserInterface {
public:
    Answer MessageBox(const std::string& text, Buttons buttons, Icon icon) override;
    void SetStatusMessage(const std::string& text) override { statusMessages.push_back(text); }
    void CopyToClipboard(const std::string& text) override { clipboard = text; }
    std::string GetClipboardText() override { return clipboard; }
    void BeginWaitCursor() override { ++waitCursorDepth; }
    void EndWaitCursor() override { --waitCursorDepth; }
    bool IsShiftDown() override { return false; }
    std::unique_ptr<IProgress> CreateProgress() override;

    bool EditQuery(Query& query) override;
    bool EditAddServer(uint32_t& address, int& port, std::string& hostName) override;
    bool EditPassword(std::string& password) override;
    bool EditServerFilter(ServerFilter& filter, const std::vector<std::string>& games,
                          const std::vector<std::string>& maps) override;
    bool EditMasterFilter(ServerFilter& filter, const std::vector<std::string>& games,
                          const std::vector<std::string>& maps) override;
    bool EditServerProperties(ServerInfo& server) override;
    void ShowWatchAlert(const WatchAlert& alert) override { alerts.push_back(alert); }
    void OnWatchesChanged(int matching) override { matchingWatches = matching; }
    void OnBackgroundJoinChanged(const ServerInfo* server, const std::string& status) override {
        joinStatuses.push_back(server ? status : std::string());
    }

    // Recorded.
    std::vector<WatchAlert> alerts;
    int matchingWatches = 0;
    std::vector<std::string> joinStatuses; // empty: the join ended
    std::vector<std::string> messages;
    std::vector<std::pair<Buttons, Icon>> boxes;
    std::vector<std::string> statusMessages;
    std::vector<std::string> progressTexts;
    std::string clipboard;
    int waitCursorDepth = 0;
    int progressDialogs = 0;
    int openProgress = 0;
    int deepestProgress = 0; // more than 1: a progress opened inside another

    // Scripted.
    std::deque<Answer> answers;
    bool failProgress = false;
    // Called at each CheckCancelButton with the number of checks so far;
    // true presses Cancel.
    std::function<bool(int)> cancelAt;
    // Called when a message box opens, before it is answered.
    std::function<void(const std::string&)> onMessage;
    std::function<bool(Query&)> onEditQuery;
    std::function<bool(uint32_t&, int&, std::string&)> onAddServer;
    std::function<bool(std::string&)> onPassword;
    std::function<bool(ServerFilter&)> onServerFilter;
    std::function<bool(ServerFilter&)> onMasterFilter;
    std::function<bool(ServerInfo&)> onServerProperties;
};
