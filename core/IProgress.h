#pragma once

#include <string>

// The modeless progress dialog as the document uses it: a text, a bar with a
// percentage and a Cancel flag. While it exists the main window takes no
// input; the operation that owns it keeps the event loop running through it.
class IProgress {
public:
    virtual ~IProgress() = default;
    virtual void SetStatus(const std::string& text) = 0;
    // Equal ends hide the bar and the percentage.
    virtual void SetRange(int lower, int upper) = 0;
    virtual void SetStep(int step) = 0;
    // Handles pending events, then moves the bar; returns the old position.
    virtual int SetPos(int pos) = 0;
    // Handles every event waiting in the queue, without waiting for more.
    virtual void PumpMessages() = 0;
    // PumpMessages, then whether Cancel was pressed since the last check.
    virtual bool CheckCancelButton() = 0;
};
