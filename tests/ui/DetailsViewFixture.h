#pragma once

#include <QAbstractItemModel>
#include <QCoreApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QStringList>
#include <QTest>
#include <QTreeView>
#include <QVBoxLayout>
#include <QWidget>
#include <gtest/gtest.h>
#include <initializer_list>

#include "tests/DocTestSupport.h"
#include "tests/ui/TestFrame.h"
#include "ui/CDetailsView.h"
#include "ui/DetailsColumns.h"
#include "ui/TreeItemData.h"

// The two details panes as the main window sets them up: the upper one
// follows the tree for servers, players, queries and results, the lower one
// for rules and follows the upper one's single selection.
class DetailsViewTest : public ::testing::Test {
protected:
    DetailsViewTest() {
        ResetSharedColumnWidths();
        auto* layout = new QVBoxLayout(&window);
        for (CDetailsView** view : {&top, &bottom}) {
            *view = new CDetailsView(*f.doc, frame, &window);
            layout->addWidget(*view);
            f.doc->AddView(*view);
        }
        top->m_dwTreeModes = 0x1E;
        top->m_dwListModes = 0;
        bottom->m_dwTreeModes = 0x20;
        bottom->m_dwListModes = 0x34;
        top->AddSelectionListener(bottom);
        top->OnInitialUpdate();
        bottom->OnInitialUpdate();
        window.resize(1000, 700);
        window.show();
        QCoreApplication::processEvents();
    }
    ~DetailsViewTest() override {
        top->RemoveSelectionListener(bottom);
        f.doc->RemoveView(top);
        f.doc->RemoveView(bottom);
    }

    // Servers on loopback addresses nobody answers on, so that a selection
    // that asks a server for its details sends nothing anywhere.
    ServerInfo* AddServer(int n, const std::string& name, uint32_t ping,
                          uint32_t groups = GROUP_WON) {
        ServerInfo* s = f.AddServer(0x7FC80000u + static_cast<uint32_t>(n), 27015, groups);
        s->m_strName = name;
        s->m_nPing = ping;
        return s;
    }
    static QTreeView* Report(CDetailsView* view) { return view->findChild<QTreeView*>(); }
    static QAbstractItemModel* Model(CDetailsView* view) { return Report(view)->model(); }
    static QItemSelectionModel* Selection(CDetailsView* v) { return Report(v)->selectionModel(); }
    static QString Cell(CDetailsView* v, int row, int c) { return Model(v)->index(row, c).data().toString(); }
    static QStringList Column(CDetailsView* view, int column) {
        QStringList out;
        for (int r = 0; r < Model(view)->rowCount(); ++r)
            out << Cell(view, r, column);
        return out;
    }
    static int Rows(CDetailsView* view) { return Model(view)->rowCount(); }

    // The tree tells both panes, in the order the frame registered them.
    void SelectTree(uint32_t kind, void* object = nullptr) {
        const TreeItemData item{kind, object, 0};
        top->OnTreeSelection(item);
        bottom->OnTreeSelection(item);
    }
    void ShowGroup(uint32_t group) { SelectTree(ITEM_GROUP | group); }

    // One selection change, as a click or a shift-click makes it.
    static void SelectRows(CDetailsView* view, std::initializer_list<int> rows) {
        QAbstractItemModel* model = Model(view);
        QItemSelection selection;
        for (int r : rows)
            selection.select(model->index(r, 0), model->index(r, model->columnCount() - 1));
        Selection(view)->select(selection, QItemSelectionModel::ClearAndSelect);
    }
    static void Focus(CDetailsView* view, int row) {
        Selection(view)->setCurrentIndex(Model(view)->index(row, 0), QItemSelectionModel::NoUpdate);
    }
    static void ClickHeader(CDetailsView* view, int column, Qt::KeyboardModifiers modifiers = {}) {
        QHeaderView* header = Report(view)->header();
        const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                        header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, modifiers, at);
    }
    DocFixture f;
    TestFrame frame;
    QWidget window;
    CDetailsView* top = nullptr;
    CDetailsView* bottom = nullptr;
};
