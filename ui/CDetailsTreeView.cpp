#include "ui/CDetailsTreeView.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>

#include "ui/IDetailsListHost.h"

CDetailsTreeView::CDetailsTreeView(IDetailsListHost& host, QWidget* parent)
    : QTreeView(parent), m_host(host) {
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSortingEnabled(false);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTextElideMode(Qt::ElideRight);
    header()->setSectionsClickable(true);
    header()->setSectionsMovable(false);
    header()->setStretchLastSection(false);
    header()->setSortIndicatorShown(false);
}

void CDetailsTreeView::keyboardSearch(const QString& search) {
    m_host.OnListTyped(search);
}

void CDetailsTreeView::keyPressEvent(QKeyEvent* event) {
    if (m_host.OnListKey(*event)) {
        event->accept();
        return;
    }
    QTreeView::keyPressEvent(event);
}

bool CDetailsTreeView::focusNextPrevChild(bool next) {
    m_host.OnListTab(!next);
    return true;
}

void CDetailsTreeView::contextMenuEvent(QContextMenuEvent* event) {
    m_host.OnListContextMenu(event->globalPos());
}

void CDetailsTreeView::mouseDoubleClickEvent(QMouseEvent* event) {
    QTreeView::mouseDoubleClickEvent(event);
    m_host.OnListDoubleClick();
}
