#pragma once

#include <QTimer>

class ISocketOwner;

// Runs the socket owner's cleaning pass every CleanInterval milliseconds, for
// front ends without the main window (which keeps its own timer).
class CleaningTimer {
public:
    CleaningTimer(ISocketOwner& owner, int intervalMs);

private:
    QTimer m_timer;
};
