#include "net/EventWait.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

void WaitForEvents(int64_t timeoutMs) {
    if (timeoutMs <= 0) {
        QCoreApplication::processEvents();
        return;
    }
    // The timer only wakes the loop; whatever arrives first ends the wait.
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    wake.start(static_cast<int>(timeoutMs > 3600000 ? 3600000 : timeoutMs));
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}
