#include "ui/CDetailsListView.h"

#include <QContextMenuEvent>
#include <QKeyEvent>

#include "ui/IDetailsListHost.h"

CDetailsListView::CDetailsListView(IDetailsListHost& host, QWidget* parent)
    : QListView(parent), m_host(host) {
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    // Whole rows, as the report selects them: the two share one selection.
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setMovement(QListView::Static);
    setResizeMode(QListView::Adjust);
    setUniformItemSizes(true);
    setWrapping(true);
}

void CDetailsListView::keyboardSearch(const QString& search) {
    m_host.OnListTyped(search);
}

void CDetailsListView::keyPressEvent(QKeyEvent* event) {
    if (m_host.OnListKey(*event)) {
        event->accept();
        return;
    }
    QListView::keyPressEvent(event);
}

bool CDetailsListView::focusNextPrevChild(bool next) {
    m_host.OnListTab(!next);
    return true;
}

void CDetailsListView::contextMenuEvent(QContextMenuEvent* event) {
    m_host.OnListContextMenu(event->globalPos());
}

void CDetailsListView::mouseDoubleClickEvent(QMouseEvent* event) {
    QListView::mouseDoubleClickEvent(event);
    m_host.OnListDoubleClick();
}
