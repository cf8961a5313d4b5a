#pragma once

#include <QTimer>

class CScoutwireDoc;

// Runs the document's cleaning pass every CleanInterval milliseconds, for
// front ends without the main window (which keeps its own timer).
class CleaningTimer {
public:
    CleaningTimer(CScoutwireDoc& doc, int intervalMs);

private:
    QTimer m_timer;
};
