#pragma once

#include <QTreeWidget>
#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "core/UpdateHint.h"
#include "ui/CImageList.h"
#include "ui/CRedrawBatch.h"
#include "ui/ICommandTarget.h"
#include "ui/ITreeSelectionListener.h"

class CScoutwireDoc;
class CServerTreeItem;
class IMainFrame;
class QMenu;
class SearchQuery;
class ServerInfo;

// The left pane: "Servers" with its groups, loaded when expanded, and
// "Queries" with every player query and the servers it found players on.
// Its selection drives the details panes.
class CServerView : public QTreeWidget, public IDocView, public ICommandTarget {
    Q_OBJECT
public:
    static constexpr int kGroupCount = 6;
    // Group items in the order they appear under "Servers".
    static constexpr std::array<uint32_t, kGroupCount> kGroupBits = {
        0x20000 /* WON */,      0x200000 /* Steam */, 0x40000 /* Manual */,
        0x80000 /* Filtered */, 0x100000 /* Found */, 0x10000 /* Favourites */};

    CServerView(CScoutwireDoc& doc, IMainFrame& frame, QWidget* parent = nullptr);
    ~CServerView() override;

    // Called each time a document is attached: start, New and Open.
    void OnInitialUpdate();
    void OnUpdate(IDocView* sender, int hint, const CUpdateHint* pHint) override;
    bool OnCommand(int id) override;
    bool OnUpdateCommand(int id, bool& enabled, bool& checked) override;

    void AddListener(ITreeSelectionListener* listener);
    void RemoveListener(ITreeSelectionListener* listener);

    // The pop-up menu of an item, or none for the items that have no menu.
    // Each action carries its command id as data().
    std::unique_ptr<QMenu> BuildContextMenu(const CServerTreeItem* item);

    CServerTreeItem* ServersItem() const { return m_pServers; }
    CServerTreeItem* QueriesItem() const { return m_pQueries; }
    CServerTreeItem* GroupItem(uint32_t groupBit) const;
    CServerTreeItem* SelectedItem() const;
    CServerTreeItem* FindQueryItem(const SearchQuery* query) const;
    int UpdateDepth() const { return m_nUpdateDepth; }

    // Asks for the number of a server watch (free places or players),
    // starting at the given one; false cancels. An input box unless
    // replaced.
    std::function<bool(const QString& title, int& count)> m_askWatchCount;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    CServerTreeItem* NewItem(uint32_t kind, void* object);
    void SelectItem(QTreeWidgetItem* item);
    bool IsOnItem(const QPoint& viewportPos, QTreeWidgetItem*& hit) const;
    void FitColumn();

    // What the tree shows.
    void FullRebuild();
    void RefreshGroups(uint32_t mask);
    void ResetGroup(CServerTreeItem* group);
    void LoadGroup(CServerTreeItem* group);
    CServerTreeItem* UpdateQueryItem(SearchQuery* query);
    void UpdateAllQueryItems();
    void DeleteChildren(CServerTreeItem* item);
    void UpdateFoundLabel();
    void RepaintServerItems(const CRedrawBatch::Servers& servers);
    CServerTreeItem* EnsureServerItem(ServerInfo* server);
    QString QueryLabel(const SearchQuery& query) const;
    bool IsDocumentQuery(const SearchQuery* query) const;
    void ShowMasterProgress(const CUpdateHint* pHint);

    // What the user does.
    void OnItemExpanded(QTreeWidgetItem* item);
    void OnItemCollapsed(QTreeWidgetItem* item);
    void OnSelectionChanged();
    void NotifySelection(const TreeItemData& data);
    void RequestServerInfo(ServerInfo* server);
    void OnRefresh();
    void OnDeleteKey();
    void OnProperties();
    void OnCopy();
    void AddSelectedToFavourites();
    void RemoveSelectedFromFavourites();
    void ToggleQueryWatch();
    void WatchSelectedServer(uint8_t kind);

    CScoutwireDoc& m_doc;
    IMainFrame& m_frame;
    CServerTreeItem* m_pServers = nullptr;
    CServerTreeItem* m_pQueries = nullptr;
    std::array<CServerTreeItem*, kGroupCount> m_groups{};
    CImageList m_images;
    // Above 0 while the view changes the tree itself: the control's own
    // selection and expansion signals are not acted on then.
    int m_nUpdateDepth = 0;
    bool m_bFitPending = false;
    std::vector<ITreeSelectionListener*> m_listeners;
    CRedrawBatch m_repaints{
        [this](const CRedrawBatch::Servers& servers, bool) { RepaintServerItems(servers); }};
};
