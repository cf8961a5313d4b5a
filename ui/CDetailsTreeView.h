#pragma once

#include <QTreeView>

class IDetailsListHost;

// The report look of a details list: rows with columns, no sorting of its
// own, type-ahead and the list's keys handed to the view that owns it.
class CDetailsTreeView : public QTreeView {
    Q_OBJECT
public:
    CDetailsTreeView(IDetailsListHost& host, QWidget* parent = nullptr);

    void keyboardSearch(const QString& search) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    IDetailsListHost& m_host;
};
