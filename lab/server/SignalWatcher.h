#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <memory>

namespace lab {

// Turns SIGTERM and SIGINT into a clean quit of the event loop: the handler
// only writes a byte to a socket pair, which the loop reads.
class SignalWatcher : public QObject {
public:
    explicit SignalWatcher(QObject* parent = nullptr);
    ~SignalWatcher() override;

    bool Install();

private:
    static void OnSignal(int signal);

    static int s_fds[2];
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace lab
