#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>

#include "core/IUserInterface.h"

class CSettings;

// The document's user with real widgets: message boxes, the modal dialogs,
// the progress dialog, the clipboard and the wait cursor.
class CQtUserInterface : public IUserInterface {
public:
    CQtUserInterface() = default;

    // The main window owns the dialogs and shows the status messages.
    void SetMainWindow(QWidget* window) { m_pMainWindow = window; }
    void SetStatusSink(std::function<void(const std::string&)> sink) {
        m_statusSink = std::move(sink);
    }
    // The record the update dialog writes the list source to.
    void SetSettings(CSettings* settings) { m_pSettings = settings; }

    Answer MessageBox(const std::string& text, Buttons buttons, Icon icon) override;
    void SetStatusMessage(const std::string& text) override;
    void CopyToClipboard(const std::string& text) override;
    std::string GetClipboardText() override;
    void BeginWaitCursor() override;
    void EndWaitCursor() override;
    bool IsShiftDown() override;
    std::unique_ptr<IProgress> CreateProgress() override;

    bool EditQuery(Query& query) override;
    bool EditAddServer(uint32_t& address, int& port, std::string& hostName) override;
    bool EditPassword(std::string& password) override;
    bool EditServerFilter(ServerFilter& filter, const std::vector<std::string>& games,
                          const std::vector<std::string>& maps) override;
    bool EditMasterFilter(ServerFilter& filter, const std::vector<std::string>& games,
                          const std::vector<std::string>& maps) override;
    bool EditServerProperties(ServerInfo& server) override;

    // Watches go to the main window: its status bar, the desktop's
    // notifications and the tray.
    void ShowWatchAlert(const WatchAlert& alert) override;
    void OnWatchesChanged(int matchingWatches) override;
    void OnBackgroundJoinChanged(const ServerInfo* server, const std::string& status) override;

private:
    QPointer<QWidget> m_pMainWindow;
    CSettings* m_pSettings = nullptr;
    std::function<void(const std::string&)> m_statusSink;
};
