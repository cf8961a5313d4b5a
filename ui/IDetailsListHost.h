#pragma once

class QKeyEvent;
class QPoint;
class QString;

// What the two looks of a details list (report and icons) hand to the view
// that owns them, so that both behave alike.
class IDetailsListHost {
public:
    virtual ~IDetailsListHost() = default;
    // Characters typed for type-ahead.
    virtual void OnListTyped(const QString& text) = 0;
    // Enter, Insert and Delete; true when the key was used.
    virtual bool OnListKey(const QKeyEvent& event) = 0;
    // Tab and Shift+Tab leave the list for the next or previous pane.
    virtual void OnListTab(bool previous) = 0;
    virtual void OnListContextMenu(const QPoint& globalPos) = 0;
    virtual void OnListDoubleClick() = 0;
};
