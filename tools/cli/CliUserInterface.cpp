#include "tools/cli/CliUserInterface.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

std::atomic<int> g_cancelRequests{0};

// A byte written here wakes the event loop: a signal alone does not end the
// wait of a loop that sleeps until its next event.
int g_wakeFds[2] = {-1, -1};

void OnInterrupt(int) {
    g_cancelRequests.fetch_add(1);
    if (g_wakeFds[0] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = ::write(g_wakeFds[0], &byte, 1);
    }
}

class CliProgress : public IProgress {
public:
    explicit CliProgress(bool show) : m_show(show) {}
    ~CliProgress() override {
        if (m_show && m_lineOpen)
            std::fputc('\n', stderr);
    }
    void SetStatus(const std::string& text) override {
        m_status = text;
        Draw();
    }
    void SetRange(int lower, int upper) override {
        m_lower = lower;
        m_upper = upper;
    }
    void SetStep(int) override {}
    int SetPos(int pos) override {
        PumpMessages();
        const int old = m_pos;
        m_pos = pos;
        Draw();
        return old;
    }
    void PumpMessages() override { QCoreApplication::processEvents(); }
    bool CheckCancelButton() override {
        PumpMessages();
        if (g_cancelRequests.load() > m_seenCancels) {
            m_seenCancels = g_cancelRequests.load();
            return true;
        }
        return false;
    }

private:
    void Draw() {
        if (!m_show)
            return;
        if (m_upper > m_lower)
            std::fprintf(stderr, "\r%s %d/%d   ", m_status.c_str(), m_pos, m_upper);
        else
            std::fprintf(stderr, "\r%s   ", m_status.c_str());
        std::fflush(stderr);
        m_lineOpen = true;
    }

    bool m_show;
    bool m_lineOpen = false;
    std::string m_status;
    int m_lower = 0;
    int m_upper = 100;
    int m_pos = 0;
    int m_seenCancels = 0;
};

} // namespace

void InstallCancelHandler() { std::signal(SIGINT, OnInterrupt); }

std::unique_ptr<QSocketNotifier> NotifyInterrupts(std::function<void()> onInterrupt) {
    if (g_wakeFds[0] < 0 &&
        ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_wakeFds) != 0)
        return nullptr;
    auto notifier = std::make_unique<QSocketNotifier>(g_wakeFds[1], QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, [onInterrupt] {
        char byte = 0;
        while (::read(g_wakeFds[1], &byte, 1) > 0) {
        }
        onInterrupt();
    });
    return notifier;
}

void CliUserInterface::ShowWatchAlert(const WatchAlert& alert) {
    if (m_onWatchAlert)
        m_onWatchAlert(alert);
    else
        IUserInterface::ShowWatchAlert(alert);
}

IUserInterface::Answer CliUserInterface::MessageBox(const std::string& text, Buttons buttons,
                                                    Icon icon) {
    if (icon == Icon::Error || icon == Icon::Warning)
        ++m_nErrors;
    std::string line = text;
    while (!line.empty() && line.back() == '\n')
        line.pop_back();
    std::fprintf(stderr, "scoutwire-cli: %s\n", line.c_str());
    return buttons == Buttons::YesNoCancel ? Answer::Yes : Answer::Ok;
}

void CliUserInterface::SetStatusMessage(const std::string& text) {
    if (!m_bQuiet && !text.empty())
        std::fprintf(stderr, "%s\n", text.c_str());
}

std::unique_ptr<IProgress> CliUserInterface::CreateProgress() {
    return std::make_unique<CliProgress>(m_bProgress && !m_bQuiet);
}

bool CliUserInterface::EditQuery(Query&) { return true; }
bool CliUserInterface::EditAddServer(uint32_t&, int&, std::string&) { return false; }
bool CliUserInterface::EditPassword(std::string&) { return true; }
bool CliUserInterface::EditServerFilter(ServerFilter&, const std::vector<std::string>&,
                                        const std::vector<std::string>&) {
    return false;
}

bool CliUserInterface::EditMasterFilter(ServerFilter& filter, const std::vector<std::string>&,
                                        const std::vector<std::string>&) {
    if (!m_bHasMasterFilter)
        return true;
    filter.m_dwFlags &= ~(FILTER_GAME | FILTER_MAP);
    filter.m_strGame = m_strGame;
    filter.m_strMap = m_strMap;
    if (!m_strGame.empty())
        filter.m_dwFlags |= FILTER_GAME;
    if (!m_strMap.empty())
        filter.m_dwFlags |= FILTER_MAP;
    return true;
}

bool CliUserInterface::EditServerProperties(ServerInfo&) { return false; }
