#pragma once

#include <QString>
#include <string>

class CImageList;
class QWidget;

// What the panes ask of the main window.
class IMainFrame {
public:
    virtual ~IMainFrame() = default;
    // The one clipboard writer: plain text, the bytes as they are.
    virtual void CopyToClipboard(const std::string& text) = 0;
    // The status bar's message pane; an empty text clears it.
    virtual void SetMessageText(const QString& text) = 0;
    // The one-line status edit of the dialog bar, when it exists.
    virtual bool HasStatusLine() const = 0;
    virtual void SetStatusLine(const QString& text) = 0;
    // Tab and Shift+Tab: tree, top details, bottom details, tree.
    virtual void ActivateNextPane(QWidget* from, bool previous) = 0;
    virtual void ActivateView(QWidget* view) = 0;
    // Queues a command as the menu would send it.
    virtual void PostCommand(int id) = 0;
    virtual CImageList& GetImageList() = 0;
};
