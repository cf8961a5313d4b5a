#pragma once

#include "core/IUserInterface.h"

// The user for benchmarks: every message box is counted and answered OK, no
// dialog is ever confirmed, and there is no progress dialog.
class BenchUserInterface : public IUserInterface {
public:
    Answer MessageBox(const std::string&, Buttons, Icon) override {
        ++m_nMessages;
        return Answer::Ok;
    }
    void SetStatusMessage(const std::string&) override {}
    void CopyToClipboard(const std::string&) override {}
    std::string GetClipboardText() override { return {}; }
    void BeginWaitCursor() override {}
    void EndWaitCursor() override {}
    bool IsShiftDown() override { return false; }
    std::unique_ptr<IProgress> CreateProgress() override { return nullptr; }
    bool EditQuery(Query&) override { return false; }
    bool EditAddServer(uint32_t&, int&, std::string&) override { return false; }
    bool EditPassword(std::string&) override { return false; }
    bool EditServerFilter(ServerFilter&, const std::vector<std::string>&,
                          const std::vector<std::string>&) override {
        return false;
    }
    bool EditMasterFilter(ServerFilter&, const std::vector<std::string>&,
                          const std::vector<std::string>&) override {
        return false;
    }
    bool EditServerProperties(ServerInfo&) override { return false; }

    int m_nMessages = 0;
};
