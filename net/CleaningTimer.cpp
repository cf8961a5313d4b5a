#include "net/CleaningTimer.h"

#include "net/ISocketOwner.h"

CleaningTimer::CleaningTimer(ISocketOwner& owner, int intervalMs) {
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, [&owner] { owner.CleanSockets(); });
    m_timer.start(intervalMs);
}
