#pragma once

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>
#include <functional>

// Runs the event loop (sleeping in it, so that sockets, timers, queued calls
// and deferred deletions all proceed) until the condition holds or the time
// is up; the result is the condition's last value.
inline bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 20000) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}
