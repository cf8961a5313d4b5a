#pragma once

#include <QWidget>
#include <memory>
#include <vector>

#include "core/UpdateHint.h"
#include "ui/ICommandTarget.h"
#include "ui/IListSelectionListener.h"
#include "ui/ITreeSelectionListener.h"

class CScoutwireDoc;
class IMainFrame;
class QMenu;
class ServerInfo;

// A list pane: the servers of a group, the players of a server, the
// queries, the players a query found, or the rules of a server. It follows
// the tree (m_dwTreeModes) and another details view (m_dwListModes), and the
// document's change notifications.
class CDetailsView : public QWidget,
                     public IDocView,
                     public ITreeSelectionListener,
                     public IListSelectionListener,
                     public ICommandTarget {
    Q_OBJECT
public:
    // The four looks of the toolbar's view buttons.
    enum class Style { LargeIcons, SmallIcons, List, Details };

    CDetailsView(CScoutwireDoc& doc, IMainFrame& frame, QWidget* parent = nullptr);
    ~CDetailsView() override;

    // Called once the document is attached (start, New, Open).
    void OnInitialUpdate();

    void OnUpdate(IDocView* sender, int hint, const CUpdateHint* pHint) override;
    void OnTreeSelection(const TreeItemData& item) override;
    void OnListSelection(const ListSelection& selection) override;
    bool OnCommand(int id) override;
    bool OnUpdateCommand(int id, bool& enabled, bool& checked) override;

    void AddSelectionListener(IListSelectionListener* listener);
    void RemoveSelectionListener(IListSelectionListener* listener);

    void SetStyle(Style style);
    Style GetStyle() const;
    uint32_t GetMode() const;
    ServerInfo* GetCurrentServer() const;
    // The widget that takes the focus (the list itself).
    QWidget* FocusWidget() const;
    // The context menu of the current mode and row, or none when it would be
    // empty. Each action's data is its command id.
    std::unique_ptr<QMenu> CreateContextMenu();

    uint32_t m_dwTreeModes = 0;
    uint32_t m_dwListModes = 0;

private:
    struct Impl;
    std::unique_ptr<Impl> m_pImpl;
};
