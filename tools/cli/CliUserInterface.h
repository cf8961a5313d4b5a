#pragma once

#include <functional>
#include <memory>
#include <string>

#include "core/IUserInterface.h"
#include "search/ServerFilter.h"

// The document's user, played from the command line: messages go to stderr,
// questions take the answers given as options, the progress dialog is a line
// on stderr and Ctrl+C is its Cancel button.
class CliUserInterface : public IUserInterface {
public:
    Answer MessageBox(const std::string& text, Buttons buttons, Icon icon) override;
    void SetStatusMessage(const std::string& text) override;
    void CopyToClipboard(const std::string& text) override { m_clipboard = text; }
    std::string GetClipboardText() override { return m_clipboard; }
    void BeginWaitCursor() override {}
    void EndWaitCursor() override {}
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
    void ShowWatchAlert(const WatchAlert& alert) override;

    // Answers.
    bool m_bHasMasterFilter = false;
    std::string m_strGame;
    std::string m_strMap;
    bool m_bQuiet = false;
    bool m_bProgress = true;
    int m_nErrors = 0;
    std::function<void(const WatchAlert&)> m_onWatchAlert;

private:
    std::string m_clipboard;
};

// Set by SIGINT; the progress line reports it as Cancel.
void InstallCancelHandler();
// Also calls onInterrupt from the event loop at every SIGINT, waking it.
class QSocketNotifier;
std::unique_ptr<QSocketNotifier> NotifyInterrupts(std::function<void()> onInterrupt);
