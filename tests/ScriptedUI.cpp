#include "tests/ScriptedUI.h"

#include <QCoreApplication>
#include <algorithm>

class ScriptedProgress : public IProgress {
public:
    explicit ScriptedProgress(ScriptedUI& ui) : m_ui(ui) {
        ++m_ui.progressDialogs;
        m_ui.deepestProgress = std::max(m_ui.deepestProgress, ++m_ui.openProgress);
    }
    ~ScriptedProgress() override { --m_ui.openProgress; }
    void SetStatus(const std::string& text) override { m_ui.progressTexts.push_back(text); }
    void SetRange(int, int) override {}
    void SetStep(int) override {}
    int SetPos(int pos) override {
        PumpMessages();
        const int old = m_pos;
        m_pos = pos;
        return old;
    }
    void PumpMessages() override { QCoreApplication::processEvents(); }
    bool CheckCancelButton() override {
        PumpMessages();
        return m_ui.cancelAt && m_ui.cancelAt(++m_checks);
    }

private:
    ScriptedUI& m_ui;
    int m_pos = 0;
    int m_checks = 0;
};

IUserInterface::Answer ScriptedUI::MessageBox(const std::string& text, Buttons buttons, Icon icon) {
    messages.push_back(text);
    boxes.emplace_back(buttons, icon);
    if (onMessage)
        onMessage(text);
    if (!answers.empty()) {
        const Answer a = answers.front();
        answers.pop_front();
        return a;
    }
    return buttons == Buttons::YesNoCancel ? Answer::Yes : Answer::Ok;
}

std::unique_ptr<IProgress> ScriptedUI::CreateProgress() {
    if (failProgress)
        return nullptr;
    return std::make_unique<ScriptedProgress>(*this);
}

bool ScriptedUI::EditQuery(Query& query) {
    return onEditQuery && onEditQuery(query);
}
bool ScriptedUI::EditAddServer(uint32_t& address, int& port, std::string& hostName) {
    return onAddServer && onAddServer(address, port, hostName);
}
bool ScriptedUI::EditPassword(std::string& password) {
    return onPassword && onPassword(password);
}
bool ScriptedUI::EditServerFilter(ServerFilter& filter, const std::vector<std::string>&,
                                  const std::vector<std::string>&) {
    return onServerFilter && onServerFilter(filter);
}
bool ScriptedUI::EditMasterFilter(ServerFilter& filter, const std::vector<std::string>&,
                                  const std::vector<std::string>&) {
    return onMasterFilter && onMasterFilter(filter);
}
bool ScriptedUI::EditServerProperties(ServerInfo& server) {
    return onServerProperties && onServerProperties(server);
}
