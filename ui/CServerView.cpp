#include "ui/CServerView.h"

#include <QContextMenuEvent>
#include <QFont>
#include <QHeaderView>
#include <QInputDialog>
#include <QKeyEvent>
#include <QMenu>
#include <QTimer>
#include <algorithm>

#include "core/CScoutwireDoc.h"
#include "core/DisplayText.h"
#include "core/IUserInterface.h"
#include "net/Address.h"
#include "net/QueryCommands.h"
#include "ui/CServerTreeItem.h"
#include "ui/CommandIds.h"
#include "ui/IMainFrame.h"

namespace {

constexpr uint32_t kServersKind =
    ITEM_GROUP | GROUP_WON | GROUP_STEAM | GROUP_MANUAL | GROUP_FAVOURITES;
// The groups of the master lists: Delete takes a server off them.
constexpr uint32_t kListGroups = GROUP_WON | GROUP_STEAM;
constexpr uint32_t kQueriesKind = ITEM_GROUP | ITEM_QUERY;

constexpr int kImageGroup = 4;
constexpr int kImageQuery = 5;
constexpr int kImageQueries = 6;

const char* GroupLabel(uint32_t bit) {
    switch (bit) {
    case GROUP_WON:
        return "WON";
    case GROUP_STEAM:
        return "Steam";
    case GROUP_MANUAL:
        return "Manual";
    case GROUP_FILTERED:
        return "Filtered";
    case GROUP_FOUND:
        return "Found";
    default:
        return "Favourites";
    }
}

CServerTreeItem* AsItem(QTreeWidgetItem* item) {
    return item && item->type() == CServerTreeItem::kType ? static_cast<CServerTreeItem*>(item)
                                                          : nullptr;
}

bool IsWithin(const QTreeWidgetItem* item, const QTreeWidgetItem* ancestor) {
    for (const QTreeWidgetItem* p = item ? item->parent() : nullptr; p; p = p->parent())
        if (p == ancestor)
            return true;
    return false;
}

// One of the groups, not "Servers" (which has group bits too) and not
// "Queries".
bool IsServerGroup(const CServerTreeItem& item, const CServerTreeItem* servers) {
    return &item != servers && (item.Kind() & ITEM_GROUP) && (item.Kind() & GROUP_ALL);
}

QAction* AddMenuCommand(QMenu& menu, const char* text, int id) {
    QAction* action = menu.addAction(QString::fromLatin1(text));
    action->setData(id);
    return action;
}

} // namespace

CServerView::CServerView(CScoutwireDoc& doc, IMainFrame& frame, QWidget* parent)
    : QTreeWidget(parent), m_doc(doc), m_frame(frame) {
    setColumnCount(1);
    setHeaderHidden(true);
    setRootIsDecorated(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformRowHeights(true);
    setIconSize(QSize(16, 16));
    setFocusPolicy(Qt::StrongFocus);
    // Labels are long ("address  [ name ]  host"): scroll sideways rather
    // than cut them short.
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(QHeaderView::Interactive);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    connect(this, &QTreeWidget::itemExpanded, this, &CServerView::OnItemExpanded);
    connect(this, &QTreeWidget::itemCollapsed, this, &CServerView::OnItemCollapsed);
    connect(this, &QTreeWidget::itemSelectionChanged, this, &CServerView::OnSelectionChanged);
}

CServerView::~CServerView() {
    // Deleting the items would report selection changes to listeners that
    // may be gone already.
    m_nUpdateDepth = 1;
    m_listeners.clear();
    blockSignals(true);
    clear();
}

CServerTreeItem* CServerView::NewItem(uint32_t kind, void* object) {
    return new CServerTreeItem(m_images, kind, object);
}

CServerTreeItem* CServerView::GroupItem(uint32_t groupBit) const {
    for (size_t i = 0; i < kGroupBits.size(); ++i)
        if (kGroupBits[i] == groupBit)
            return m_groups[i];
    return nullptr;
}

CServerTreeItem* CServerView::SelectedItem() const {
    const QList<QTreeWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? nullptr : AsItem(selected.first());
}

void CServerView::SelectItem(QTreeWidgetItem* item) {
    if (!item)
        return;
    setCurrentItem(item);
    scrollToItem(item);
}

// ---------------------------------------------------------------------------
// Building and following the document

void CServerView::OnInitialUpdate() {
    if (!m_pServers) {
        m_pServers = NewItem(kServersKind, nullptr);
        m_pServers->setText(0, QStringLiteral("Servers"));
        m_pServers->SetImage(kImageGroup);
        addTopLevelItem(m_pServers);
        for (size_t i = 0; i < kGroupBits.size(); ++i) {
            CServerTreeItem* group = NewItem(ITEM_GROUP | kGroupBits[i], nullptr);
            group->setText(0, QString::fromLatin1(GroupLabel(kGroupBits[i])));
            group->SetImage(kImageGroup);
            group->SetChildCount(0);
            m_pServers->addChild(group);
            m_groups[i] = group;
        }
        m_pServers->setExpanded(true);
    }
    if (!m_pQueries) {
        m_pQueries = NewItem(kQueriesKind, nullptr);
        m_pQueries->setText(0, QStringLiteral("Queries"));
        m_pQueries->SetImage(kImageQueries);
        addTopLevelItem(m_pQueries);
        UpdateAllQueryItems();
    }
    UpdateFoundLabel();
    m_nUpdateDepth = 0;
    OnUpdate(nullptr, HINT_INITIAL_UPDATE, nullptr);
}

void CServerView::OnUpdate(IDocView*, int hint, const CUpdateHint* pHint) {
    if (!m_pServers)
        return;
    switch (hint) {
    case HINT_INITIAL_UPDATE:
        FullRebuild();
        break;
    case HINT_DOC_CLEARED:
        // Sent before the records go: every item that points at one is
        // dropped now.
        if (!pHint) {
            m_repaints.Clear();
            ++m_nUpdateDepth;
            clearSelection();
            setCurrentItem(nullptr);
            --m_nUpdateDepth;
            for (CServerTreeItem* group : m_groups)
                ResetGroup(group);
            DeleteChildren(m_pQueries);
        }
        break;
    case HINT_MASTER_PROGRESS:
        ShowMasterProgress(pHint);
        break;
    case HINT_SERVERS_RELOADED:
        RefreshGroups(GROUP_ALL);
        UpdateAllQueryItems();
        break;
    case HINT_SERVER_PLAYERS:
    case HINT_SERVER_DETAILS:
        if (!m_doc.IsRefreshing() && pHint && pHint->m_pServer)
            m_repaints.Add(pHint->m_pServer, false);
        break;
    case HINT_FAVOURITES_CHANGED:
        RefreshGroups(GROUP_FAVOURITES);
        break;
    case HINT_QUERY_ADDED:
        if (pHint && pHint->m_pQuery) {
            CServerTreeItem* item = UpdateQueryItem(pHint->m_pQuery);
            CServerTreeItem* selected = SelectedItem();
            if (selected && selected != m_pQueries) {
                SelectItem(item);
                m_frame.ActivateView(this);
            }
        }
        break;
    case HINT_QUERY_UPDATED:
        if (pHint && pHint->m_pQuery)
            UpdateQueryItem(pHint->m_pQuery);
        else
            UpdateAllQueryItems();
        break;
    case HINT_FOUND_READY:
        SelectItem(GroupItem(GROUP_FOUND));
        UpdateFoundLabel();
        break;
    case HINT_FILTER_CHANGED:
        SelectItem(GroupItem(GROUP_FILTERED));
        break;
    case HINT_GROUPS_CHANGED:
        if (pHint)
            RefreshGroups(pHint->m_dwData);
        break;
    case HINT_SELECT_SERVER:
        if (pHint && pHint->m_pServer) {
            if (CServerTreeItem* item = EnsureServerItem(pHint->m_pServer)) {
                m_frame.ActivateView(this);
                SelectItem(item);
            }
        }
        break;
    case HINT_SELECT_QUERY:
        if (pHint && pHint->m_pQuery) {
            if (CServerTreeItem* item = FindQueryItem(pHint->m_pQuery)) {
                SelectItem(item);
                m_frame.ActivateView(this);
            }
        }
        break;
    default:
        break;
    }
}

void CServerView::FullRebuild() {
    ++m_nUpdateDepth;
    clearSelection();
    setCurrentItem(nullptr);
    --m_nUpdateDepth;
    for (CServerTreeItem* group : m_groups)
        ResetGroup(group);
    DeleteChildren(m_pQueries);
    m_pServers->setExpanded(true);
    UpdateAllQueryItems();
    m_pQueries->setExpanded(true);
    RefreshGroups(GROUP_ALL);
}

void CServerView::ShowMasterProgress(const CUpdateHint* pHint) {
    if (!m_frame.HasStatusLine())
        return;
    if (!pHint) {
        const std::string& failure = m_doc.GetMasterFailure();
        m_frame.SetStatusLine(
            failure.empty() ? QStringLiteral("Timed out waiting for response from master server")
                            : DisplayText(failure));
        m_frame.SetMessageText(QString());
        return;
    }
    const std::string description = m_doc.m_masterFilter.GetDescription();
    const QString filter = description.empty()
                               ? QString()
                               : QStringLiteral(" (filter: %1)").arg(DisplayText(description));
    m_frame.SetStatusLine(
        QStringLiteral(
            "Retrieving server list%1 (id %2) from master server... [%3 servers in list]")
            .arg(filter)
            .arg(static_cast<int32_t>(pHint->m_dwData))
            .arg(m_doc.GetServerList().GetSize()));
}

void CServerView::RefreshGroups(uint32_t mask) {
    std::array<bool, kGroupCount> wasExpanded{};
    for (size_t i = 0; i < m_groups.size(); ++i) {
        if (!(kGroupBits[i] & mask))
            continue;
        wasExpanded[i] = m_groups[i]->isExpanded();
        if (wasExpanded[i])
            ResetGroup(m_groups[i]);
    }
    const OwningServerList& servers = m_doc.GetServerList();
    for (size_t i = 0; i < m_groups.size(); ++i) {
        if (!(kGroupBits[i] & mask))
            continue;
        const uint32_t bit = kGroupBits[i];
        const bool any = std::any_of(servers.begin(), servers.end(), [bit](const auto& server) {
            return !server->m_bDeleted && (server->m_dwFlags & bit);
        });
        m_groups[i]->SetChildCount(any ? 1 : 0);
    }
    for (size_t i = 0; i < m_groups.size(); ++i)
        if (wasExpanded[i])
            m_groups[i]->setExpanded(true);
    viewport()->update();
    FitColumn();
}

void CServerView::ResetGroup(CServerTreeItem* group) {
    DeleteChildren(group);
    ++m_nUpdateDepth;
    group->setExpanded(false);
    --m_nUpdateDepth;
    group->SetChildCount(group->Data().m_nChildren);
}

void CServerView::DeleteChildren(CServerTreeItem* item) {
    if (!item || item->childCount() == 0)
        return;
    // The selection moves to the item first, so that it does not wander
    // through children that are about to go (whose records may be gone).
    const bool notify = m_nUpdateDepth == 0;
    CServerTreeItem* selected = SelectedItem();
    const bool moved = selected && IsWithin(selected, item);
    ++m_nUpdateDepth;
    setUpdatesEnabled(false);
    if (moved)
        setCurrentItem(item);
    const QList<QTreeWidgetItem*> children = item->takeChildren();
    qDeleteAll(children);
    setUpdatesEnabled(true);
    --m_nUpdateDepth;
    viewport()->update();
    if (moved && notify)
        OnSelectionChanged();
}

void CServerView::LoadGroup(CServerTreeItem* group) {
    const uint32_t bit = group->Kind() & GROUP_ALL;
    m_nUpdateDepth = 1;
    if (bit == GROUP_FILTERED)
        m_doc.ApplyFilter(false);
    {
        WaitCursor wait(m_doc.GetUI());
        if (group->childCount() > 0)
            qDeleteAll(group->takeChildren());
        QList<QTreeWidgetItem*> children;
        for (const auto& server : m_doc.GetServerList())
            if ((server->m_dwFlags & bit) && !server->m_bDeleted)
                children.append(NewItem(bit, server.get()));
        group->addChildren(children);
    }
    m_nUpdateDepth = std::max(0, m_nUpdateDepth - 1);
    FitColumn();
}

QString CServerView::QueryLabel(const SearchQuery& query) const {
    QString name = DisplayText(query.GetDisplayName());
    if (query.m_bWatch)
        name += QStringLiteral("  - watching");
    if (query.m_players.empty())
        return name;
    return QStringLiteral("%1  (%2/%3)")
        .arg(name)
        .arg(query.m_servers.size())
        .arg(query.m_players.size());
}

bool CServerView::IsDocumentQuery(const SearchQuery* query) const {
    const auto& queries = m_doc.GetQueries();
    return std::any_of(queries.begin(), queries.end(),
                       [query](const auto& q) { return q.get() == query; });
}

CServerTreeItem* CServerView::FindQueryItem(const SearchQuery* query) const {
    if (!m_pQueries)
        return nullptr;
    for (int i = 0; i < m_pQueries->childCount(); ++i) {
        CServerTreeItem* item = AsItem(m_pQueries->child(i));
        if (item && item->Object() == query)
            return item;
    }
    return nullptr;
}

CServerTreeItem* CServerView::UpdateQueryItem(SearchQuery* query) {
    // A query that is not (or no longer) the document's gets no item: the
    // item would outlive it.
    if (!query || !IsDocumentQuery(query))
        return nullptr;
    ++m_nUpdateDepth;
    const QString label = QueryLabel(*query);
    CServerTreeItem* item = FindQueryItem(query);
    if (!item) {
        item = NewItem(ITEM_QUERY, query);
        item->setText(0, label);
        item->SetImage(kImageQuery);
        int at = 0;
        while (at < m_pQueries->childCount() && !(*item < *m_pQueries->child(at)))
            ++at;
        m_pQueries->insertChild(at, item);
    } else {
        DeleteChildren(item);
        item->setText(0, label);
        m_pQueries->sortChildren(0, Qt::AscendingOrder);
    }
    QList<QTreeWidgetItem*> children;
    // A server a query found is deleted from whichever master list has it.
    for (ServerInfo* server : query->m_servers)
        if (server && !server->m_bDeleted)
            children.append(NewItem(kListGroups, server));
    item->addChildren(children);
    m_nUpdateDepth = std::max(0, m_nUpdateDepth - 1);
    return item;
}

void CServerView::UpdateAllQueryItems() {
    // Items of queries the document no longer has go first: nothing else
    // would ever remove them.
    for (int i = m_pQueries->childCount() - 1; i >= 0; --i) {
        CServerTreeItem* item = AsItem(m_pQueries->child(i));
        if (item && !IsDocumentQuery(static_cast<const SearchQuery*>(item->Object()))) {
            DeleteChildren(item);
            delete item;
        }
    }
    for (const auto& query : m_doc.GetQueries())
        UpdateQueryItem(query.get());
    viewport()->update();
    FitColumn();
}

void CServerView::UpdateFoundLabel() {
    CServerTreeItem* found = GroupItem(GROUP_FOUND);
    if (!found)
        return;
    const Query& query = m_doc.m_findQuery;
    if (query.m_strName.empty() && query.m_strExpression.empty())
        found->setText(0, QStringLiteral("Found"));
    else
        found->setText(0, QStringLiteral("Found: ") + DisplayText(query.GetDisplayName()));
}

void CServerView::RepaintServerItems(const CRedrawBatch::Servers& servers) {
    const int bottom = viewport()->height();
    for (QTreeWidgetItem* item = itemAt(0, 0); item; item = itemBelow(item)) {
        const QRect rect = visualItemRect(item);
        if (rect.top() >= bottom)
            break;
        const CServerTreeItem* own = AsItem(item);
        if (own && servers.count(own->Data().Server())) {
            viewport()->update(rect);
            FitColumn();
        }
    }
}

CServerTreeItem* CServerView::EnsureServerItem(ServerInfo* server) {
    const uint32_t flags = server->m_dwFlags;
    CServerTreeItem* group = nullptr;
    for (uint32_t bit : {GROUP_FAVOURITES, GROUP_MANUAL, GROUP_FILTERED, GROUP_FOUND}) {
        if ((flags & bit) && GroupItem(bit)->isExpanded()) {
            group = GroupItem(bit);
            break;
        }
    }
    if (!group && (flags & GROUP_STEAM) && GroupItem(GROUP_STEAM)->isExpanded())
        group = GroupItem(GROUP_STEAM);
    if (!group && GroupItem(GROUP_WON)->isExpanded())
        group = GroupItem(GROUP_WON);
    bool expandedHere = false;
    if (!group) {
        uint32_t bit = GROUP_WON;
        for (uint32_t candidate :
             {GROUP_FAVOURITES, GROUP_MANUAL, GROUP_FILTERED, GROUP_FOUND, GROUP_STEAM}) {
            if (flags & candidate) {
                bit = candidate;
                break;
            }
        }
        group = GroupItem(bit);
        group->setExpanded(true);
        expandedHere = true;
    }
    for (int i = 0; i < group->childCount(); ++i) {
        CServerTreeItem* item = AsItem(group->child(i));
        if (item && item->Data().Server() == server)
            return item;
    }
    if (expandedHere)
        ResetGroup(group);
    return nullptr;
}

void CServerView::FitColumn() {
    // Once the control has laid out what was just added, and once for many
    // changes.
    if (m_bFitPending)
        return;
    m_bFitPending = true;
    QTimer::singleShot(0, this, [this] {
        m_bFitPending = false;
        executeDelayedItemsLayout();
        const int wanted = std::max(sizeHintForColumn(0), viewport()->width());
        if (wanted != columnWidth(0))
            setColumnWidth(0, wanted);
    });
}

// ---------------------------------------------------------------------------
// The control's signals

void CServerView::OnItemExpanded(QTreeWidgetItem* item) {
    CServerTreeItem* group = AsItem(item);
    if (m_nUpdateDepth > 0 || !group || !IsServerGroup(*group, m_pServers))
        return;
    LoadGroup(group);
}

void CServerView::OnItemCollapsed(QTreeWidgetItem* item) {
    CServerTreeItem* group = AsItem(item);
    if (m_nUpdateDepth > 0 || !group || !IsServerGroup(*group, m_pServers))
        return;
    m_nUpdateDepth = 1;
    ResetGroup(group);
    m_nUpdateDepth = std::max(0, m_nUpdateDepth - 1);
}

void CServerView::OnSelectionChanged() {
    if (m_nUpdateDepth > 0)
        return;
    CServerTreeItem* item = SelectedItem();
    if (!item)
        return;
    const TreeItemData data = item->Data();
    NotifySelection(data);
    if (ServerInfo* server = data.Server())
        RequestServerInfo(server);
}

void CServerView::NotifySelection(const TreeItemData& data) {
    const TreeItemData copy = data;
    const std::vector<ITreeSelectionListener*> listeners = m_listeners;
    for (ITreeSelectionListener* listener : listeners)
        if (std::find(m_listeners.begin(), m_listeners.end(), listener) != m_listeners.end())
            listener->OnTreeSelection(copy);
}

void CServerView::RequestServerInfo(ServerInfo* server) {
    if (m_doc.RefreshServerIfIdle(server, CMD_DETAILS | CMD_PLAYERS | CMD_RULES) &&
        m_frame.HasStatusLine())
        m_frame.SetStatusLine(QStringLiteral("Retrieving..."));
}

void CServerView::AddListener(ITreeSelectionListener* listener) {
    if (listener)
        m_listeners.push_back(listener);
}

void CServerView::RemoveListener(ITreeSelectionListener* listener) {
    const auto it = std::find(m_listeners.begin(), m_listeners.end(), listener);
    if (it != m_listeners.end())
        m_listeners.erase(it);
}

// ---------------------------------------------------------------------------
// Commands

bool CServerView::OnCommand(int id) {
    switch (id) {
    case ID_REFRESH:
        OnRefresh();
        return true;
    case ID_ADD_TO_FAVOURITES:
        AddSelectedToFavourites();
        return true;
    case ID_REMOVE_FROM_FAVOURITES:
        RemoveSelectedFromFavourites();
        return true;
    case ID_JOIN_SERVER:
        if (CServerTreeItem* item = SelectedItem(); item && item->Data().Server())
            m_doc.JoinServer(item->Data().Server());
        return true;
    case ID_PROPERTIES:
        OnProperties();
        return true;
    case ID_EDIT_COPY:
    case ID_COPY_SERVER_ADDRESS:
        OnCopy();
        return true;
    case ID_JOIN_WHEN_FREE:
        if (CServerTreeItem* item = SelectedItem(); item && item->Data().Server())
            m_doc.StartBackgroundJoin(*item->Data().Server());
        return true;
    case ID_WATCH_QUERY:
        ToggleQueryWatch();
        return true;
    case ID_WATCH_FREE_PLACES:
        WatchSelectedServer(WATCH_FREE_PLACES);
        return true;
    case ID_WATCH_PLAYERS:
        WatchSelectedServer(WATCH_MIN_PLAYERS);
        return true;
    case ID_STOP_WATCHING:
        WatchSelectedServer(WATCH_NONE);
        return true;
    default:
        return false;
    }
}

bool CServerView::OnUpdateCommand(int id, bool& enabled, bool& checked) {
    const CServerTreeItem* item = SelectedItem();
    const bool server = item && item->Data().Server();
    const bool query = item && item->Data().IsQuery();
    switch (id) {
    case ID_REFRESH:
        enabled = item != nullptr;
        return true;
    case ID_ADD_TO_FAVOURITES:
    case ID_REMOVE_FROM_FAVOURITES:
    case ID_COPY_SERVER_ADDRESS:
        enabled = true;
        return true;
    case ID_JOIN_SERVER:
    case ID_JOIN_WHEN_FREE:
    case ID_WATCH_FREE_PLACES:
    case ID_WATCH_PLAYERS:
        enabled = server;
        return true;
    case ID_STOP_WATCHING:
        enabled = server && item->Data().Server()->m_nWatchKind != WATCH_NONE;
        return true;
    case ID_WATCH_QUERY:
        enabled = query;
        checked = query && item->Data().Query()->m_bWatch;
        return true;
    case ID_PROPERTIES:
        enabled =
            server || query || item == GroupItem(GROUP_FILTERED) || item == GroupItem(GROUP_FOUND);
        enabled = enabled && item;
        return true;
    case ID_EDIT_COPY:
        enabled = server || query;
        return true;
    default:
        return false;
    }
}

void CServerView::OnRefresh() {
    CServerTreeItem* item = SelectedItem();
    if (!item)
        return;
    // The item may go while the refresh runs its nested loop: work on a copy.
    const TreeItemData data = item->Data();
    if (ServerInfo* server = data.Server()) {
        RequestServerInfo(server);
        NotifySelection(data);
    } else if (SearchQuery* query = data.Query()) {
        m_doc.RunQuery(*query, true);
    } else if (data.m_dwKind == kQueriesKind) {
        WaitCursor wait(m_doc.GetUI());
        m_doc.RunAllQueries();
    } else if ((data.m_dwKind & ITEM_GROUP) && (data.m_dwKind & GROUP_ALL)) {
        WaitCursor wait(m_doc.GetUI());
        if (data.m_dwKind & GROUP_FAVOURITES)
            RefreshGroups(GROUP_FAVOURITES);
        std::vector<ServerInfo*> servers;
        for (const auto& server : m_doc.GetServerList())
            if (server->m_dwFlags & data.m_dwKind & GROUP_ALL)
                servers.push_back(server.get());
        m_doc.RefreshServers(servers);
        m_doc.RunAllQueries();
        RefreshGroups(GROUP_FILTERED);
        NotifySelection(data);
    }
}

void CServerView::OnProperties() {
    CServerTreeItem* item = SelectedItem();
    if (!item)
        return;
    if (ServerInfo* server = item->Data().Server())
        m_doc.EditServerProperties(server);
    else if (SearchQuery* query = item->Data().Query())
        m_doc.EditQuery(query);
    else if (item == GroupItem(GROUP_FILTERED))
        m_doc.EditFilter();
    else if (item == GroupItem(GROUP_FOUND))
        m_doc.FindServers();
}

void CServerView::OnCopy() {
    CServerTreeItem* item = SelectedItem();
    if (!item)
        return;
    if (const ServerInfo* server = item->Data().Server())
        m_frame.CopyToClipboard(FormatAddress(server->m_dwAddress, server->m_wPort));
    else if (const SearchQuery* query = item->Data().Query())
        m_frame.CopyToClipboard(query->GetDisplayName());
}

void CServerView::AddSelectedToFavourites() {
    CServerTreeItem* item = SelectedItem();
    if (!item || !item->Data().Server() || (item->Kind() & GROUP_FAVOURITES))
        return;
    const ServerInfo* selected = item->Data().Server();
    if (ServerInfo* server = m_doc.AddFavourite(selected->m_dwAddress, selected->m_wPort, true)) {
        RepaintServerItems({server});
        m_frame.SetMessageText(
            QStringLiteral("Added '%1' to favourites").arg(DisplayText(server->m_strName)));
    }
}

void CServerView::RemoveSelectedFromFavourites() {
    CServerTreeItem* item = SelectedItem();
    if (!item || !item->Data().Server() || !(item->Kind() & GROUP_FAVOURITES))
        return;
    ServerInfo* server = item->Data().Server();
    if (!m_doc.RemoveFavourite(server, false))
        return;
    const QString message =
        QStringLiteral("Removed '%1' from favourites").arg(DisplayText(server->m_strName));
    delete item;
    RepaintServerItems({server});
    m_frame.SetMessageText(message);
}

void CServerView::ToggleQueryWatch() {
    CServerTreeItem* item = SelectedItem();
    SearchQuery* query = item ? item->Data().Query() : nullptr;
    if (!query)
        return;
    query->m_bWatch = !query->m_bWatch;
    if (!query->m_bWatch)
        query->m_bWatchLeaving = false;
    m_doc.WatchesEdited();
    UpdateQueryItem(query);
    const QString name = DisplayText(query->GetDisplayName());
    m_frame.SetMessageText(query->m_bWatch ? QStringLiteral("Watching '%1'").arg(name)
                                           : QStringLiteral("Stopped watching '%1'").arg(name));
}

void CServerView::WatchSelectedServer(uint8_t kind) {
    CServerTreeItem* item = SelectedItem();
    ServerInfo* server = item ? item->Data().Server() : nullptr;
    if (!server)
        return;
    const QString name = DisplayText(server->m_strName);
    int count = 0;
    if (kind != WATCH_NONE) {
        const bool room = kind == WATCH_FREE_PLACES;
        if (server->m_nWatchKind == kind)
            count = server->m_nWatchCount;
        else
            count = room ? 1 : std::max(1, server->m_nPlayers + 1);
        const QString title =
            room ? QStringLiteral("Watch for free places") : QStringLiteral("Watch for players");
        bool asked = false;
        if (m_askWatchCount)
            asked = m_askWatchCount(title, count);
        else
            count = QInputDialog::getInt(
                this, title,
                room ? QStringLiteral("Tell me when this many places are free:")
                     : QStringLiteral("Tell me when at least this many play:"),
                count, 1, 255, 1, &asked);
        if (!asked || count < 1)
            return;
    }
    server->m_nWatchKind = kind;
    server->m_nWatchCount = count;
    m_doc.WatchesEdited();
    if (kind == WATCH_FREE_PLACES)
        m_frame.SetMessageText(
            QStringLiteral("Watching '%1' for %2 free place(s)").arg(name).arg(count));
    else if (kind == WATCH_MIN_PLAYERS)
        m_frame.SetMessageText(
            QStringLiteral("Watching '%1' for %2 player(s)").arg(name).arg(count));
    else
        m_frame.SetMessageText(QStringLiteral("Stopped watching '%1'").arg(name));
}

void CServerView::OnDeleteKey() {
    CServerTreeItem* item = SelectedItem();
    if (!item || item->Data().IsGroup())
        return;
    const uint32_t kind = item->Kind();
    if (SearchQuery* query = item->Data().Query()) {
        m_doc.RemoveQuery(query);
        // The document's notification may have dropped the item already.
        if (CServerTreeItem* still = FindQueryItem(query))
            delete still;
        return;
    }
    ServerInfo* server = item->Data().Server();
    if (kind & GROUP_FAVOURITES) {
        RemoveSelectedFromFavourites();
    } else if (kind & GROUP_MANUAL) {
        // An A2S server belongs with the Steam list, an old one with WON.
        const uint32_t list = server->m_nProtocol == PROTOCOL_A2S ? GROUP_STEAM : GROUP_WON;
        server->m_dwFlags = (server->m_dwFlags & ~GROUP_MANUAL) | list;
        delete item;
    } else if (kind & kListGroups) {
        server->m_dwFlags &= ~(kind & kListGroups);
        if (server->m_dwFlags == 0)
            server->m_bDeleted = 1;
        delete item;
    }
}

// ---------------------------------------------------------------------------
// Keys and mouse

void CServerView::keyPressEvent(QKeyEvent* event) {
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    if (mods == Qt::NoModifier) {
        switch (event->key()) {
        case Qt::Key_Delete:
            OnDeleteKey();
            return;
        case Qt::Key_Insert:
            AddSelectedToFavourites();
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            m_frame.PostCommand(ID_PROPERTIES);
            return;
        default:
            break;
        }
    }
    QTreeWidget::keyPressEvent(event);
}

bool CServerView::focusNextPrevChild(bool next) {
    m_frame.ActivateNextPane(this, !next);
    return true;
}

bool CServerView::IsOnItem(const QPoint& viewportPos, QTreeWidgetItem*& hit) const {
    hit = itemAt(viewportPos);
    // The row's rectangle without the indentation and expand button: the
    // icon and the label.
    return hit && visualItemRect(hit).contains(viewportPos);
}

std::unique_ptr<QMenu> CServerView::BuildContextMenu(const CServerTreeItem* item) {
    if (!item)
        return nullptr;
    auto menu = std::make_unique<QMenu>(this);
    QAction* byDefault = nullptr;
    if (item->Data().Server()) {
        AddMenuCommand(*menu, "Copy\tCtrl+C", ID_EDIT_COPY);
        if (item->Kind() & GROUP_FAVOURITES)
            AddMenuCommand(*menu, "Remove from favourites\tDelete", ID_REMOVE_FROM_FAVOURITES);
        else
            AddMenuCommand(*menu, "Add to favourites\tInsert", ID_ADD_TO_FAVOURITES);
        AddMenuCommand(*menu, "Join server\tCtrl+J", ID_JOIN_SERVER);
        AddMenuCommand(*menu, "Join when a place frees", ID_JOIN_WHEN_FREE);
        AddMenuCommand(*menu, "Watch for free places...", ID_WATCH_FREE_PLACES);
        AddMenuCommand(*menu, "Watch for players...", ID_WATCH_PLAYERS);
        if (item->Data().Server()->m_nWatchKind != WATCH_NONE)
            AddMenuCommand(*menu, "Stop watching", ID_STOP_WATCHING);
        byDefault = AddMenuCommand(*menu, "Properties\tAlt+Enter", ID_PROPERTIES);
    } else if (const SearchQuery* query = item->Data().Query()) {
        AddMenuCommand(*menu, "Copy\tCtrl+C", ID_EDIT_COPY);
        QAction* watch = AddMenuCommand(*menu, "Watch", ID_WATCH_QUERY);
        watch->setCheckable(true);
        watch->setChecked(query->m_bWatch);
        AddMenuCommand(*menu, "Properties\tAlt+Enter", ID_PROPERTIES);
    } else if (item == GroupItem(GROUP_FILTERED) || item == GroupItem(GROUP_FOUND)) {
        AddMenuCommand(*menu, "Properties\tAlt+Enter", ID_PROPERTIES);
    } else {
        return nullptr;
    }
    if (byDefault) {
        menu->setDefaultAction(byDefault);
        QFont bold = byDefault->font();
        bold.setBold(true);
        byDefault->setFont(bold);
    }
    return menu;
}

void CServerView::contextMenuEvent(QContextMenuEvent* event) {
    QTreeWidgetItem* hit = nullptr;
    QPoint globalPos = event->globalPos();
    if (event->reason() == QContextMenuEvent::Mouse) {
        if (!IsOnItem(event->pos(), hit))
            return;
    } else {
        hit = SelectedItem();
        if (!hit)
            return;
        globalPos = viewport()->mapToGlobal(visualItemRect(hit).bottomLeft());
    }
    SelectItem(hit);
    m_frame.ActivateView(this);
    // Selecting may have rebuilt the tree (a notification in between):
    // look the item up again rather than trusting the pointer.
    CServerTreeItem* item = SelectedItem();
    std::unique_ptr<QMenu> menu = BuildContextMenu(item);
    if (!menu)
        return;
    if (QAction* chosen = menu->exec(globalPos))
        m_frame.PostCommand(chosen->data().toInt());
}

void CServerView::mouseDoubleClickEvent(QMouseEvent* event) {
    QTreeWidgetItem* hit = nullptr;
    if (IsOnItem(event->position().toPoint(), hit) && hit->isSelected()) {
        const CServerTreeItem* item = AsItem(hit);
        if (item && item->Data().Server())
            m_frame.PostCommand(ID_PROPERTIES);
    }
    QTreeWidget::mouseDoubleClickEvent(event);
}
