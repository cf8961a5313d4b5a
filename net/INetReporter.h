#pragma once

#include <string>

// What the networking code needs from the person in front of the program:
// an error box, a line in the status bar and the wait cursor around a
// blocking look-up. The document's
// user interface is one; anything else that drives sockets can be another.
class INetReporter {
public:
    virtual ~INetReporter() = default;

    // A modal message box with the error icon and an OK button.
    virtual void ReportNetError(const std::string& text) = 0;
    // The status bar's message pane; an empty text clears it.
    virtual void SetStatusMessage(const std::string& text) = 0;
    virtual void BeginWaitCursor() = 0;
    virtual void EndWaitCursor() = 0;
};

// Shows the wait cursor for the life of the object.
class WaitCursor {
public:
    explicit WaitCursor(INetReporter& reporter) : m_reporter(reporter) {
        m_reporter.BeginWaitCursor();
    }
    ~WaitCursor() { m_reporter.EndWaitCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    INetReporter& m_reporter;
};
