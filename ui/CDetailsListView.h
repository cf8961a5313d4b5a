#pragma once

#include <QListView>

class IDetailsListHost;

// The icon looks of a details list (large icons, small icons, list): the
// first column of the same rows, with the same keys as the report.
class CDetailsListView : public QListView {
    Q_OBJECT
public:
    CDetailsListView(IDetailsListHost& host, QWidget* parent = nullptr);

    void keyboardSearch(const QString& search) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    IDetailsListHost& m_host;
};
