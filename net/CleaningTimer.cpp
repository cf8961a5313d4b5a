#include "net/CleaningTimer.h"

#include "core/CScoutwireDoc.h"

CleaningTimer::CleaningTimer(CScoutwireDoc& doc, int intervalMs) {
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, [&doc] { doc.CleanSockets(); });
    m_timer.start(intervalMs);
}
