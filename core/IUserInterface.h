#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/IProgress.h"
#include "core/WatchAlert.h"
#include "net/INetReporter.h"

class Query;
class ServerFilter;
class ServerInfo;

// Everything the document needs from the person in front of it. The main
// window implements it with real widgets; tests and the command-line front
// end implement it with scripted answers.
class IUserInterface : public INetReporter {
public:
    enum class Icon { None, Information, Warning, Error, Question };
    enum class Buttons { Ok, OkCancel, YesNoCancel };
    enum class Answer { Ok, Cancel, Yes, No };

    virtual ~IUserInterface() = default;

    // A modal message box.
    virtual Answer MessageBox(const std::string& text, Buttons buttons, Icon icon) = 0;
    // The networking code's error reports are message boxes like any other.
    void ReportNetError(const std::string& text) override {
        MessageBox(text, Buttons::Ok, Icon::Error);
    }
    // SetStatusMessage comes from INetReporter.
    virtual void CopyToClipboard(const std::string& text) = 0;
    virtual std::string GetClipboardText() = 0;
    // BeginWaitCursor and EndWaitCursor come from INetReporter.
    virtual bool IsShiftDown() = 0;

    // A progress dialog, or null when it cannot be created.
    virtual std::unique_ptr<IProgress> CreateProgress() = 0;

    // Modal dialogs: true on OK, with the object edited in place; on Cancel
    // nothing is changed.
    virtual bool EditQuery(Query& query) = 0;
    virtual bool EditAddServer(uint32_t& address, int& port, std::string& hostName) = 0;
    virtual bool EditPassword(std::string& password) = 0;
    virtual bool EditServerFilter(ServerFilter& filter, const std::vector<std::string>& games,
                                  const std::vector<std::string>& maps) = 0;
    virtual bool EditMasterFilter(ServerFilter& filter, const std::vector<std::string>& games,
                                  const std::vector<std::string>& maps) = 0;
    virtual bool EditServerProperties(ServerInfo& server) = 0;

    // Watches. None of these may open a modal box: they come in the middle
    // of a refresh.
    // A new alert; without anything better, a line in the status bar.
    virtual void ShowWatchAlert(const WatchAlert& alert) { SetStatusMessage(alert.Text()); }
    // How many watches match now (players on, servers meeting their condition).
    virtual void OnWatchesChanged(int matchingWatches) { (void)matchingWatches; }
    // The background join's server and what it is doing; null when it ended.
    virtual void OnBackgroundJoinChanged(const ServerInfo* server, const std::string& status) {
        (void)server;
        (void)status;
    }
};
