#include "ui/CDetailsView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMenu>
#include <QScrollBar>
#include <QStackedLayout>
#include <algorithm>
#include <optional>
#include <type_traits>
#include <unordered_set>

#include "core/CScoutwireDoc.h"
#include "core/DisplayText.h"
#include "core/IUserInterface.h"
#include "net/Address.h"
#include "ui/CDetailsListView.h"
#include "ui/CDetailsModel.h"
#include "ui/CDetailsTreeView.h"
#include "ui/CRedrawBatch.h"
#include "ui/CommandIds.h"
#include "ui/DetailsColumns.h"
#include "ui/DetailsText.h"
#include "ui/IDetailsListHost.h"
#include "ui/IMainFrame.h"

namespace {

// Details, players and rules: everything a selected server shows.
constexpr unsigned kAllServerCommands = 7;

constexpr int kViewCommands[] = {
    ID_SHOW_IN_TREE, ID_ADD_TO_FAVOURITES, ID_REMOVE_FROM_FAVOURITES,
    ID_JOIN_SERVER,  ID_EDIT_COPY,         ID_COPY_SERVER_ADDRESS,
    ID_REFRESH,      ID_PROPERTIES,        ID_ADD_PLAYER_QUERY,
};

bool IsViewCommand(int id) {
    return std::find(std::begin(kViewCommands), std::end(kViewCommands), id) !=
           std::end(kViewCommands);
}

bool HasMode(uint32_t modes, uint32_t mode) {
    return (modes & ListModeBit(mode)) != 0;
}

QAction* AddMenuCommand(QMenu& menu, const char* text, int id) {
    QAction* action = menu.addAction(QString::fromLatin1(text));
    action->setData(id);
    return action;
}

void MakeDefault(QMenu& menu, QAction* action) {
    menu.setDefaultAction(action);
    QFont bold = action->font();
    bold.setBold(true);
    action->setFont(bold);
}

} // namespace

struct CDetailsView::Impl : IDetailsListHost {
    Impl(CDetailsView& view, CScoutwireDoc& document, IMainFrame& mainFrame);

    // Content.
    void ShowServerGroup(uint32_t mask);
    void ShowPlayers(ServerInfo* server);
    void ShowQueries();
    void ShowResults(SearchQuery* query);
    void ShowRules(ServerInfo* server);
    void ClearView();
    SearchQuery* LiveShownQuery() const;
    void Refill(uint32_t mode, bool resort, bool samePlace = false);
    std::string RowKey(int row) const;
    void ApplyColumnWidths();
    void OnColumnClicked(int column);
    void OnColumnResized(int column, int width);

    // Texts.
    void SetStatusLine(const QString& text);
    void ShowServerSummary(const ServerInfo& server);
    void ShowResultsLabel(const SearchQuery* query);

    // Rows.
    std::vector<int> SelectedRows() const;
    int SingleSelectedRow() const;
    int FocusedRow() const;
    ServerInfo* CurrentServer() const;
    void SelectRow(int row);
    bool VisibleRows(int& first, int& last) const;
    void RedrawServerRow(const ServerInfo* server);
    void RedrawServerRows(const CRedrawBatch::Servers& servers, bool all);
    void RequestServerInfo(ServerInfo* server);
    void OnSelectionChanged(const QItemSelection& selected);
    void OnUpdate(int hint, const CUpdateHint* pHint);

    // Commands.
    void ShowInTree();
    void AddToFavourites();
    void RemoveFromFavourites();
    void Copy();
    void CopyServerAddress();
    void Refresh();
    void Properties();
    void AddPlayerQuery();
    std::unique_ptr<QMenu> CreateContextMenu();

    // IDetailsListHost
    void OnListTyped(const QString& text) override;
    bool OnListKey(const QKeyEvent& event) override;
    void OnListTab(bool previous) override;
    void OnListContextMenu(const QPoint& globalPos) override;
    void OnListDoubleClick() override;

    QAbstractItemView* ActiveList() const;
    uint32_t Mode() const { return model->Mode(); }

    CDetailsView& q;
    CScoutwireDoc& doc;
    IMainFrame& frame;
    bool m_bInitialized = false;
    uint32_t m_dwGroupMask = 0;
    ServerInfo* m_pShownServer = nullptr;
    SearchQuery* m_pShownQuery = nullptr;
    std::vector<IListSelectionListener*> m_listeners;
    Style style = Style::Details;

    CDetailsModel* model = nullptr;
    QItemSelectionModel* selection = nullptr;
    CDetailsTreeView* report = nullptr;
    CDetailsListView* icons = nullptr;
    QStackedLayout* stack = nullptr;
    bool m_bApplyingWidths = false;
    QString m_typed;
    QElapsedTimer m_typedTimer;
    // What each row stands for (RowKey), taken while its record was alive:
    // a refill finds the selected rows again by it.
    std::vector<std::string> m_rowKeys;
    bool m_bRestoring = false;
    CRedrawBatch m_redraws{
        [this](const CRedrawBatch::Servers& servers, bool all) { RedrawServerRows(servers, all); }};
    // The context of every connection to the widgets: destroyed first, so no
    // signal reaches this object once it is going away.
    std::unique_ptr<QObject> m_pContext = std::make_unique<QObject>();
};

CDetailsView::Impl::Impl(CDetailsView& view, CScoutwireDoc& document, IMainFrame& mainFrame)
    : q(view), doc(document), frame(mainFrame) {
    model = new CDetailsModel(&q);
    selection = new QItemSelectionModel(model, &q);
    report = new CDetailsTreeView(*this, &q);
    icons = new CDetailsListView(*this, &q);
    report->setModel(model);
    icons->setModel(model);
    // One selection for both looks, so switching looks keeps it.
    QItemSelectionModel* reportOwn = report->selectionModel();
    QItemSelectionModel* iconsOwn = icons->selectionModel();
    report->setSelectionModel(selection);
    icons->setSelectionModel(selection);
    delete reportOwn;
    delete iconsOwn;
    stack = new QStackedLayout(&q);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->addWidget(report);
    stack->addWidget(icons);
    stack->setCurrentWidget(report);
    q.setFocusProxy(report);

    QObject* context = m_pContext.get();
    // A double click on a header arrives as a click and then a double
    // click: both sort, so it turns the order twice.
    QObject::connect(report->header(), &QHeaderView::sectionClicked, context,
                     [this](int column) { OnColumnClicked(column); });
    QObject::connect(report->header(), &QHeaderView::sectionDoubleClicked, context,
                     [this](int column) { OnColumnClicked(column); });
    QObject::connect(report->header(), &QHeaderView::sectionResized, context,
                     [this](int column, int, int width) { OnColumnResized(column, width); });
    QObject::connect(selection, &QItemSelectionModel::selectionChanged, context,
                     [this](const QItemSelection& selected, const QItemSelection&) {
                         OnSelectionChanged(selected);
                     });
}

QAbstractItemView* CDetailsView::Impl::ActiveList() const {
    return style == Style::Details ? static_cast<QAbstractItemView*>(report)
                                   : static_cast<QAbstractItemView*>(icons);
}

// ---------------------------------------------------------------------------
// Content

void CDetailsView::Impl::ApplyColumnWidths() {
    const uint32_t mode = Mode();
    QHeaderView* header = report->header();
    const int charWidth = header->fontMetrics().averageCharWidth();
    for (int c = 0; c < ColumnCount(mode); ++c) {
        int width = SharedColumnWidth(mode, c);
        // Not resized yet: the design width in this font, and never less
        // than the whole title.
        if (width < 0)
            width = std::max(ScaledColumnWidth(ColumnAt(mode, c).initialWidth, charWidth),
                             header->sectionSizeHint(c));
        header->resizeSection(c, width);
    }
}

void CDetailsView::Impl::OnColumnResized(int column, int width) {
    if (!m_bApplyingWidths)
        SetSharedColumnWidth(Mode(), column, width);
}

void CDetailsView::Impl::ShowServerGroup(uint32_t mask) {
    // The tree's item kind comes with the group bits; a hint has them alone.
    const bool same = Mode() == LIST_SERVERS && (mask & GROUP_ALL) == (m_dwGroupMask & GROUP_ALL);
    m_dwGroupMask = mask;
    m_pShownServer = nullptr;
    m_pShownQuery = nullptr;
    Refill(LIST_SERVERS, false, same);
    if (mask & GROUP_FILTERED)
        SetStatusLine(QStringLiteral("Filter: ") + DisplayText(doc.m_filter.GetDescription()));
    else if (mask & GROUP_FOUND)
        SetStatusLine(DisplayText(doc.m_findQuery.GetLabel()));
    else
        SetStatusLine(QString());
    frame.SetMessageText(QStringLiteral("%1 servers in list").arg(model->rowCount()));
}

void CDetailsView::Impl::ShowPlayers(ServerInfo* server) {
    const bool same = Mode() == LIST_PLAYERS && server == m_pShownServer;
    m_pShownServer = server;
    m_pShownQuery = nullptr;
    m_dwGroupMask = 0;
    Refill(LIST_PLAYERS, false, same);
    frame.SetMessageText(server ? PlayersStatusText(*server, model->rowCount()) : QString());
}

void CDetailsView::Impl::ShowQueries() {
    m_pShownServer = nullptr;
    m_pShownQuery = nullptr;
    m_dwGroupMask = 0;
    Refill(LIST_QUERIES, false, Mode() == LIST_QUERIES);
    SetStatusLine(QString());
    const int n = model->rowCount();
    frame.SetMessageText(QStringLiteral("%1 %2").arg(n).arg(n == 1 ? QStringLiteral("query")
                                                                   : QStringLiteral("queries")));
}

void CDetailsView::Impl::ShowResults(SearchQuery* query) {
    const bool same = Mode() == LIST_RESULTS && query == m_pShownQuery;
    m_pShownQuery = query;
    m_pShownServer = nullptr;
    m_dwGroupMask = 0;
    Refill(LIST_RESULTS, false, same);
    size_t servers = 0;
    if (query)
        servers = query->m_servers.size();
    else
        for (const auto& q : doc.GetQueries())
            servers += q->m_servers.size();
    frame.SetMessageText(QStringLiteral("%1 player(s) found on %2 server(s)")
                             .arg(model->rowCount())
                             .arg(static_cast<qulonglong>(servers)));
}

void CDetailsView::Impl::ShowRules(ServerInfo* server) {
    const bool same = Mode() == LIST_RULES && server == m_pShownServer;
    m_pShownServer = server;
    m_pShownQuery = nullptr;
    m_dwGroupMask = 0;
    Refill(LIST_RULES, false, same);
}

// The shown query when it still belongs to the document, else none (all
// queries). A query that was being edited may have been deleted since it
// was shown; the pointer is only compared, never followed, until it is found.
SearchQuery* CDetailsView::Impl::LiveShownQuery() const {
    for (const auto& query : doc.GetQueries())
        if (query.get() == m_pShownQuery)
            return m_pShownQuery;
    return nullptr;
}

void CDetailsView::Impl::ClearView() {
    m_bApplyingWidths = true;
    model->SetMode(LIST_NONE);
    m_bApplyingWidths = false;
    m_rowKeys.clear();
    m_dwGroupMask = 0;
    m_pShownServer = nullptr;
    m_pShownQuery = nullptr;
}

// A row's identity across refills. Servers are known by their address, which
// is unique in the document; players, rules and found players are made anew
// by every reply or run, so they are known by what they show; queries are
// the document's own and only compared.
std::string CDetailsView::Impl::RowKey(int row) const {
    // Many players share a name; the slot tells them apart.
    const auto PlayerKey = [](const PlayerInfo& player) {
        return std::to_string(player.m_nIndex) + '\t' + player.m_strName;
    };
    const auto endpoint = [](const ServerInfo* server) {
        return server ? FormatAddress(server->m_dwAddress, server->m_wPort) : std::string();
    };
    switch (Mode()) {
    case LIST_SERVERS:
        return endpoint(model->ServerAt(row));
    case LIST_PLAYERS:
        if (const PlayerInfo* player = model->PlayerAt(row))
            return PlayerKey(*player);
        break;
    case LIST_QUERIES:
        return std::to_string(reinterpret_cast<uintptr_t>(model->QueryAt(row)));
    case LIST_RESULTS:
        if (const FoundPlayer* found = model->ResultAt(row))
            return endpoint(found->m_pServer) + '\t' + PlayerKey(*found->m_pPlayer);
        break;
    case LIST_RULES:
        if (const RuleInfo* rule = model->RuleAt(row))
            return rule->m_strKey;
        break;
    default:
        break;
    }
    return {};
}

// Fills (or re-sorts) the rows of a mode from its source: the document's
// servers of m_dwGroupMask, the shown server's players or rules, the
// document's queries, the shown query's results or those of every query.
// A refill of the list already shown (samePlace) keeps its scroll position,
// and the selected and focused rows wherever they are sorted to now.
void CDetailsView::Impl::Refill(uint32_t mode, bool resort, bool samePlace) {
    const uint32_t before = Mode();
    const bool keep = samePlace && !resort && before == mode;
    std::unordered_set<std::string> keptSelection;
    std::optional<std::string> keptFocus;
    QAbstractItemView* list = ActiveList();
    const int keptTop = list->verticalScrollBar()->value();
    const int keptLeft = list->horizontalScrollBar()->value();
    if (keep) {
        for (int row : SelectedRows())
            if (static_cast<size_t>(row) < m_rowKeys.size())
                keptSelection.insert(m_rowKeys[static_cast<size_t>(row)]);
        if (const int focused = FocusedRow();
            focused >= 0 && static_cast<size_t>(focused) < m_rowKeys.size())
            keptFocus = m_rowKeys[static_cast<size_t>(focused)];
    }
    // A change of columns resizes the header's sections: those are not the
    // user's widths.
    m_bApplyingWidths = true;
    const auto apply = [&](const auto& rows) {
        using Element = typename std::remove_cvref_t<decltype(rows)>::value_type;
        const std::span<const Element> span(rows);
        if (resort)
            model->Resort(span);
        else
            model->Fill(span);
    };
    switch (mode) {
    case LIST_SERVERS: {
        std::vector<ServerInfo*> rows;
        for (const auto& server : doc.GetServerList())
            if (!server->m_bDeleted && (server->m_dwFlags & m_dwGroupMask))
                rows.push_back(server.get());
        apply(rows);
        break;
    }
    case LIST_PLAYERS: {
        std::vector<PlayerInfo*> rows;
        if (m_pShownServer && m_pShownServer->m_pPlayers)
            for (const auto& player : *m_pShownServer->m_pPlayers)
                rows.push_back(player.get());
        apply(rows);
        break;
    }
    case LIST_QUERIES: {
        std::vector<SearchQuery*> rows;
        for (const auto& query : doc.GetQueries())
            rows.push_back(query.get());
        apply(rows);
        break;
    }
    case LIST_RESULTS: {
        std::vector<FoundPlayer*> rows;
        const auto add = [&rows](const SearchQuery& query) {
            for (const auto& found : query.m_players)
                rows.push_back(found.get());
        };
        if (m_pShownQuery)
            add(*m_pShownQuery);
        else
            for (const auto& query : doc.GetQueries())
                add(*query);
        apply(rows);
        break;
    }
    case LIST_RULES: {
        std::vector<RuleInfo*> rows;
        if (m_pShownServer && m_pShownServer->m_pRules)
            for (const auto& rule : *m_pShownServer->m_pRules)
                rows.push_back(rule.get());
        apply(rows);
        break;
    }
    default:
        m_bApplyingWidths = false;
        return;
    }
    if (Mode() != before)
        ApplyColumnWidths();
    m_bApplyingWidths = false;
    const int count = model->rowCount();
    m_rowKeys.clear();
    m_rowKeys.reserve(static_cast<size_t>(count));
    for (int row = 0; row < count; ++row)
        m_rowKeys.push_back(RowKey(row));
    // Row 0 takes the focus, not the selection, unless the focused row is
    // kept. A re-sort leaves the selection on the row positions.
    int focus = 0;
    if (keep) {
        // The listeners were told of this selection already.
        m_bRestoring = true;
        QItemSelection kept;
        const int lastColumn = std::max(model->columnCount() - 1, 0);
        int runStart = -1;
        for (int row = 0; row <= count; ++row) {
            const bool selected =
                row < count && keptSelection.count(m_rowKeys[static_cast<size_t>(row)]) > 0;
            if (selected && runStart < 0)
                runStart = row;
            if (!selected && runStart >= 0) {
                kept.select(model->index(runStart, 0), model->index(row - 1, lastColumn));
                runStart = -1;
            }
            if (row < count && keptFocus && m_rowKeys[static_cast<size_t>(row)] == *keptFocus)
                focus = row;
        }
        selection->select(kept, QItemSelectionModel::ClearAndSelect);
    }
    if (count > 0)
        selection->setCurrentIndex(model->index(focus, 0), QItemSelectionModel::NoUpdate);
    if (keep) {
        // The scroll range is only known once the list has laid out its rows.
        list->doItemsLayout();
        list->verticalScrollBar()->setValue(keptTop);
        list->horizontalScrollBar()->setValue(keptLeft);
        m_bRestoring = false;
    }
}

void CDetailsView::Impl::OnColumnClicked(int column) {
    const uint32_t mode = Mode();
    const int key = ColumnAt(mode, column).sortKey;
    if (key == 0)
        return;
    const bool additive =
        (QGuiApplication::queryKeyboardModifiers() & Qt::ControlModifier) != Qt::NoModifier;
    model->SetSortColumn(mode, key, additive);
    if (mode == LIST_RESULTS)
        m_pShownQuery = LiveShownQuery();
    Refill(mode, true);
}

// ---------------------------------------------------------------------------
// Texts

void CDetailsView::Impl::SetStatusLine(const QString& text) {
    if (frame.HasStatusLine())
        frame.SetStatusLine(text);
}

void CDetailsView::Impl::ShowServerSummary(const ServerInfo& server) {
    SetStatusLine(ServerSummaryText(server));
}

void CDetailsView::Impl::ShowResultsLabel(const SearchQuery* query) {
    if (query)
        SetStatusLine(DisplayText(query->GetLabel()));
}

// ---------------------------------------------------------------------------
// Rows

std::vector<int> CDetailsView::Impl::SelectedRows() const {
    std::vector<int> rows;
    const int count = model->rowCount();
    for (const QItemSelectionRange& range : selection->selection())
        for (int row = range.top(); row <= range.bottom(); ++row)
            if (row >= 0 && row < count)
                rows.push_back(row);
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

// The selected row when exactly one is selected, else -1.
int CDetailsView::Impl::SingleSelectedRow() const {
    int found = -1;
    for (const QItemSelectionRange& range : selection->selection()) {
        if (range.top() != range.bottom() || (found >= 0 && found != range.top()))
            return -1;
        found = range.top();
    }
    return found;
}

int CDetailsView::Impl::FocusedRow() const {
    const QModelIndex current = selection->currentIndex();
    return current.isValid() && current.row() < model->rowCount() ? current.row() : -1;
}

ServerInfo* CDetailsView::Impl::CurrentServer() const {
    switch (Mode()) {
    case LIST_SERVERS:
    case LIST_RESULTS:
        return model->RowServer(FocusedRow());
    case LIST_PLAYERS:
    case LIST_RULES:
        return m_pShownServer;
    default:
        return nullptr;
    }
}

void CDetailsView::Impl::SelectRow(int row) {
    const QModelIndex index = model->index(row, 0);
    selection->setCurrentIndex(index,
                               QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    ActiveList()->scrollTo(index, QAbstractItemView::EnsureVisible);
}

// The rows the list shows now: from the top row down one page in the
// report; in the icon looks, where rows run in reading order, the first and
// last row whose place touches the viewport.
bool CDetailsView::Impl::VisibleRows(int& first, int& last) const {
    const int count = model->rowCount();
    if (count == 0 || model->columnCount() == 0)
        return false;
    if (style == Style::Details) {
        const QModelIndex top = report->indexAt(QPoint(0, 0));
        first = top.isValid() ? top.row() : 0;
        const int height = report->visualRect(model->index(first, 0)).height();
        const int perPage = height > 0 ? report->viewport()->height() / height : 0;
        last = std::min(first + perPage, count - 1);
        return true;
    }
    const bool across = icons->flow() == QListView::LeftToRight;
    const int extent = across ? icons->viewport()->height() : icons->viewport()->width();
    const auto before = [&](int row) { // wholly before the viewport
        const QRect r = icons->visualRect(model->index(row, 0));
        return (across ? r.bottom() : r.right()) < 0;
    };
    const auto within = [&](int row) { // starts before the viewport's end
        const QRect r = icons->visualRect(model->index(row, 0));
        return (across ? r.top() : r.left()) < extent;
    };
    int low = 0;
    int high = count;
    while (low < high) {
        const int mid = (low + high) / 2;
        if (before(mid))
            low = mid + 1;
        else
            high = mid;
    }
    first = low;
    high = count;
    while (low < high) {
        const int mid = (low + high) / 2;
        if (within(mid))
            low = mid + 1;
        else
            high = mid;
    }
    last = low - 1;
    return first <= last;
}

void CDetailsView::Impl::RedrawServerRow(const ServerInfo* server) {
    m_redraws.Add(server, doc.IsRefreshing());
}

void CDetailsView::Impl::RedrawServerRows(const CRedrawBatch::Servers& servers, bool all) {
    int first = 0;
    int last = -1;
    if (Mode() != LIST_SERVERS || !VisibleRows(first, last))
        return;
    if (all) {
        model->RowsChanged(first, last);
        return;
    }
    // One change over the shown rows that were touched.
    int low = last + 1;
    int high = first - 1;
    for (int row = first; row <= last; ++row)
        if (servers.count(model->ServerAt(row))) {
            low = std::min(low, row);
            high = row;
        }
    if (low <= high)
        model->RowsChanged(low, high);
}

void CDetailsView::Impl::RequestServerInfo(ServerInfo* server) {
    if (!server || !(server->m_dwFlags & GROUP_ALL))
        return;
    if (doc.RefreshServerIfIdle(server, kAllServerCommands))
        SetStatusLine(QStringLiteral("Retrieving..."));
}

void CDetailsView::Impl::OnSelectionChanged(const QItemSelection& selected) {
    if (m_bRestoring || selected.isEmpty() || m_listeners.empty())
        return;
    const int row = SingleSelectedRow();
    if (row < 0)
        return;
    ListSelection chosen;
    chosen.m_nMode = Mode();
    switch (chosen.m_nMode) {
    case LIST_SERVERS: {
        ServerInfo* server = model->ServerAt(row);
        RequestServerInfo(server);
        chosen.m_pObject = server;
        break;
    }
    case LIST_QUERIES:
        chosen.m_pObject = model->QueryAt(row);
        break;
    case LIST_RESULTS: {
        FoundPlayer* found = model->ResultAt(row);
        RequestServerInfo(found ? found->m_pServer : nullptr);
        chosen.m_pObject = found;
        break;
    }
    default:
        return;
    }
    // A listener may unregister itself while it is told.
    const std::vector<IListSelectionListener*> listeners = m_listeners;
    for (IListSelectionListener* listener : listeners)
        listener->OnListSelection(chosen);
}

void CDetailsView::Impl::OnUpdate(int hint, const CUpdateHint* pHint) {
    if (!m_bInitialized)
        return;
    ServerInfo* hintServer = pHint ? pHint->m_pServer : nullptr;
    switch (hint) {
    case HINT_INITIAL_UPDATE:
        ClearView();
        SetStatusLine(QString());
        break;
    case HINT_DOC_CLEARED:
        // Every record goes away right after this, queries included, and a
        // message box may let the list paint before anything refills it: no
        // row and no shown object may point at them.
        model->RemoveAllRows();
        m_rowKeys.clear();
        m_pShownServer = nullptr;
        m_pShownQuery = nullptr;
        m_redraws.Clear();
        break;
    case HINT_SERVERS_RELOADED:
        switch (Mode()) {
        case LIST_SERVERS:
            ShowServerGroup(m_dwGroupMask);
            break;
        case LIST_RESULTS:
            ShowResults(LiveShownQuery());
            break;
        default:
            model->RemoveAllRows();
            m_rowKeys.clear();
            m_pShownServer = nullptr;
            break;
        }
        break;
    case HINT_SERVER_PLAYERS:
    case HINT_SERVER_DETAILS:
    case HINT_SERVER_RULES:
        if (Mode() == LIST_SERVERS) {
            RedrawServerRow(hintServer);
        } else if ((Mode() == LIST_PLAYERS || Mode() == LIST_RULES) && hintServer &&
                   hintServer == m_pShownServer) {
            if (hintServer->m_dwFlags & GROUP_ALL)
                ShowServerSummary(*hintServer);
            // The old players or rules are gone: the rows are made again even
            // for a server that has left its groups.
            if (hint == HINT_SERVER_PLAYERS && Mode() == LIST_PLAYERS)
                ShowPlayers(hintServer);
            else if (hint == HINT_SERVER_RULES && Mode() == LIST_RULES)
                ShowRules(hintServer);
        }
        break;
    case HINT_FAVOURITES_CHANGED:
        if (Mode() != LIST_SERVERS)
            break;
        if (m_dwGroupMask & GROUP_FAVOURITES)
            ShowServerGroup(m_dwGroupMask);
        else
            RedrawServerRow(hintServer);
        break;
    case HINT_QUERY_ADDED:
        if (Mode() == LIST_QUERIES)
            ShowQueries();
        break;
    case HINT_QUERY_UPDATED:
        if (pHint && pHint->m_pQuery)
            SetStatusLine(DisplayText(pHint->m_pQuery->GetLabel()));
        if (Mode() == LIST_RESULTS)
            ShowResults(pHint ? pHint->m_pQuery : nullptr);
        else if (Mode() == LIST_QUERIES)
            ShowQueries();
        break;
    case HINT_GROUPS_CHANGED:
        if (Mode() == LIST_SERVERS && pHint && (m_dwGroupMask & pHint->m_dwData))
            ShowServerGroup(pHint->m_dwData);
        break;
    default:
        break;
    }
}

// ---------------------------------------------------------------------------
// Commands

void CDetailsView::Impl::ShowInTree() {
    switch (Mode()) {
    case LIST_SERVERS:
    case LIST_RESULTS:
        if (ServerInfo* server = CurrentServer()) {
            const CUpdateHint hint(server);
            doc.UpdateAllViews(&q, HINT_SELECT_SERVER, &hint);
        }
        break;
    case LIST_QUERIES: {
        const std::vector<int> rows = SelectedRows();
        if (!rows.empty())
            if (SearchQuery* query = model->QueryAt(rows.front())) {
                const CUpdateHint hint(query);
                doc.UpdateAllViews(&q, HINT_SELECT_QUERY, &hint);
            }
        break;
    }
    default:
        break;
    }
}

void CDetailsView::Impl::AddToFavourites() {
    if (Mode() != LIST_SERVERS && Mode() != LIST_RESULTS)
        return;
    int added = 0;
    for (int row : SelectedRows()) {
        const ServerInfo* server = model->RowServer(row);
        if (!server)
            continue;
        if (doc.AddFavourite(server->m_dwAddress, server->m_wPort, false)) {
            ++added;
            model->RowsChanged(row, row);
        }
    }
    const CUpdateHint hint(0u);
    doc.UpdateAllViews(nullptr, HINT_FAVOURITES_CHANGED, &hint);
    frame.SetMessageText(QStringLiteral("Added %1 server(s) to favourites").arg(added));
}

void CDetailsView::Impl::RemoveFromFavourites() {
    if (Mode() != LIST_SERVERS || !(m_dwGroupMask & GROUP_FAVOURITES))
        return;
    const std::vector<int> rows = SelectedRows();
    int removed = 0;
    for (int row : rows)
        if (ServerInfo* server = model->ServerAt(row); server && doc.RemoveFavourite(server, false))
            ++removed;
    const ServerInfo* next = rows.empty() ? nullptr : model->ServerAt(rows.back() + 1);
    const CUpdateHint hint(0u);
    doc.UpdateAllViews(nullptr, HINT_FAVOURITES_CHANGED, &hint);
    frame.SetMessageText(QStringLiteral("Removed %1 server(s) from favourites").arg(removed));
    if (!next)
        return;
    for (int row = 0; row < model->rowCount(); ++row)
        if (model->ServerAt(row) == next) {
            SelectRow(row);
            break;
        }
}

void CDetailsView::Impl::Copy() {
    WaitCursor wait(doc.GetUI());
    const std::vector<int> rows = SelectedRows();
    const int columns = model->columnCount();
    // Each cell is read as the screen reads it: one cell in the old code page
    // must not turn the UTF-8 cells beside it into mojibake. The clipboard
    // then gets the text as UTF-8, which reads back unchanged.
    QString text;
    for (size_t i = 0; i < rows.size(); ++i) {
        if (i > 0)
            text += QStringLiteral("\r\n");
        for (int c = 0; c < columns; ++c) {
            if (c > 0)
                text += QLatin1Char('\t');
            text += DisplayText(model->CellText(rows[i], c));
        }
    }
    if (rows.size() > 1)
        text += QStringLiteral("\r\n");
    if (!text.isEmpty())
        frame.CopyToClipboard(text.toStdString());
}

void CDetailsView::Impl::CopyServerAddress() {
    if (const ServerInfo* server = CurrentServer())
        frame.CopyToClipboard(FormatAddress(server->m_dwAddress, server->m_wPort));
}

void CDetailsView::Impl::Refresh() {
    switch (Mode()) {
    case LIST_SERVERS: {
        const std::vector<int> rows = SelectedRows();
        if (rows.size() == 1) {
            RequestServerInfo(model->ServerAt(rows.front()));
            break;
        }
        std::vector<ServerInfo*> servers;
        if (rows.empty()) {
            for (int row = 0; row < model->rowCount(); ++row)
                servers.push_back(model->ServerAt(row));
        } else {
            ServerList byAddress(1);
            for (int row : rows)
                byAddress.Insert(model->ServerAt(row));
            servers.assign(byAddress.begin(), byAddress.end());
        }
        {
            WaitCursor wait(doc.GetUI());
            doc.RefreshServers(servers);
        }
        if (rows.empty()) {
            const CUpdateHint hint(GROUP_FILTERED);
            doc.UpdateAllViews(nullptr, HINT_GROUPS_CHANGED, &hint);
        }
        doc.RunAllQueries();
        break;
    }
    case LIST_PLAYERS:
    case LIST_RULES:
        RequestServerInfo(m_pShownServer);
        break;
    case LIST_QUERIES: {
        WaitCursor wait(doc.GetUI());
        doc.RunAllQueries();
        break;
    }
    case LIST_RESULTS: {
        SearchQuery* query = LiveShownQuery();
        ShowResults(query);
        ShowResultsLabel(query);
        break;
    }
    default:
        break;
    }
}

void CDetailsView::Impl::Properties() {
    switch (Mode()) {
    case LIST_SERVERS:
        if (ServerInfo* server = CurrentServer())
            doc.EditServerProperties(server);
        break;
    case LIST_QUERIES: {
        const std::vector<int> rows = SelectedRows();
        if (!rows.empty())
            if (SearchQuery* query = model->QueryAt(rows.front()))
                doc.EditQuery(query);
        break;
    }
    case LIST_RESULTS:
        if (SearchQuery* query = LiveShownQuery())
            doc.EditQuery(query);
        break;
    default:
        break;
    }
}

void CDetailsView::Impl::AddPlayerQuery() {
    const std::vector<int> rows = SelectedRows();
    if (rows.empty())
        return;
    std::string name;
    if (const PlayerInfo* player = model->PlayerAt(rows.front()))
        name = player->m_strName;
    else if (const FoundPlayer* found = model->ResultAt(rows.front()))
        name = found->m_pPlayer->m_strName;
    if (!name.empty())
        doc.AddPlayerQuery(name);
}

std::unique_ptr<QMenu> CDetailsView::Impl::CreateContextMenu() {
    auto menu = std::make_unique<QMenu>(&q);
    const uint32_t mode = Mode();
    switch (mode) {
    case LIST_SERVERS:
    case LIST_RESULTS: {
        const ServerInfo* server = CurrentServer();
        if (!server) {
            AddMenuCommand(*menu, "Properties\tAlt+Enter", ID_PROPERTIES);
            break;
        }
        MakeDefault(*menu, AddMenuCommand(*menu, "Show in tree\tEnter", ID_SHOW_IN_TREE));
        if (mode == LIST_RESULTS)
            AddMenuCommand(*menu, "Add query\tCtrl+Shift+F", ID_ADD_PLAYER_QUERY);
        AddMenuCommand(*menu, "Copy\tCtrl+C", ID_EDIT_COPY);
        AddMenuCommand(*menu, "Copy server address\tCtrl+Shift+C", ID_COPY_SERVER_ADDRESS);
        const bool favourite = (server->m_dwFlags & GROUP_FAVOURITES) != 0;
        const bool listsFavourites = (m_dwGroupMask & GROUP_FAVOURITES) != 0;
        if (favourite && listsFavourites)
            AddMenuCommand(*menu, "Remove from favourites\tDelete", ID_REMOVE_FROM_FAVOURITES);
        else if (!favourite && !listsFavourites)
            AddMenuCommand(*menu, "Add to favourites\tInsert", ID_ADD_TO_FAVOURITES);
        AddMenuCommand(*menu, "Join server\tCtrl+J", ID_JOIN_SERVER);
        AddMenuCommand(*menu, "Properties\tAlt+Enter", ID_PROPERTIES);
        break;
    }
    case LIST_PLAYERS:
        if (m_pShownServer)
            AddMenuCommand(*menu, "Add query\tCtrl+Shift+F", ID_ADD_PLAYER_QUERY);
        break;
    case LIST_RULES:
        if (m_pShownServer && !SelectedRows().empty())
            AddMenuCommand(*menu, "Copy\tCtrl+C", ID_EDIT_COPY);
        break;
    case LIST_QUERIES:
        MakeDefault(*menu, AddMenuCommand(*menu, "Show in tree\tEnter", ID_SHOW_IN_TREE));
        AddMenuCommand(*menu, "Copy\tCtrl+C", ID_EDIT_COPY);
        AddMenuCommand(*menu, "Properties\tAlt+Enter", ID_PROPERTIES);
        break;
    default:
        break;
    }
    if (menu->isEmpty())
        return nullptr;
    return menu;
}

// ---------------------------------------------------------------------------
// The list's own input

void CDetailsView::Impl::OnListTyped(const QString& text) {
    if (!m_typedTimer.isValid() || m_typedTimer.elapsed() > QApplication::keyboardInputInterval())
        m_typed.clear();
    m_typed += text;
    m_typedTimer.start();
    // As the list asks: a new search starts after the focused row, so that
    // typing one letter again and again steps through the rows it begins;
    // more letters of one word go on from the focused row itself.
    QString probe = m_typed;
    bool fresh = m_typed.size() == 1;
    if (m_typed.size() > 1 && m_typed.count(m_typed.front()) == m_typed.size()) {
        probe = m_typed.left(1);
        fresh = true;
    }
    const int focused = FocusedRow();
    int start = focused < 0 ? 0 : (fresh ? focused + 1 : focused);
    if (start >= model->rowCount())
        start = 0;
    const int row = model->FindRowByText(StoredText(probe), start);
    if (row >= 0 && row < model->rowCount())
        SelectRow(row);
}

bool CDetailsView::Impl::OnListKey(const QKeyEvent& event) {
    if (event.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    switch (event.key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        ShowInTree();
        return true;
    case Qt::Key_Insert:
        AddToFavourites();
        return true;
    case Qt::Key_Delete:
        RemoveFromFavourites();
        return true;
    default:
        return false;
    }
}

void CDetailsView::Impl::OnListTab(bool previous) {
    frame.ActivateNextPane(&q, previous);
}

void CDetailsView::Impl::OnListContextMenu(const QPoint& globalPos) {
    std::unique_ptr<QMenu> menu = CreateContextMenu();
    if (!menu)
        return;
    if (QAction* chosen = menu->exec(globalPos))
        frame.PostCommand(chosen->data().toInt());
}

void CDetailsView::Impl::OnListDoubleClick() {
    ShowInTree();
}

// ---------------------------------------------------------------------------
// CDetailsView

CDetailsView::CDetailsView(CScoutwireDoc& doc, IMainFrame& frame, QWidget* parent)
    : QWidget(parent), m_pImpl(std::make_unique<Impl>(*this, doc, frame)) {
    setFocusPolicy(Qt::StrongFocus);
}

CDetailsView::~CDetailsView() {
    // The lists call back into the state: they go first.
    m_pImpl->m_pContext.reset();
    delete m_pImpl->report;
    delete m_pImpl->icons;
    delete m_pImpl->selection;
    delete m_pImpl->model;
}

void CDetailsView::OnInitialUpdate() {
    // The document's own first update comes before the list is set up and
    // is not acted on.
    OnUpdate(nullptr, HINT_INITIAL_UPDATE, nullptr);
    m_pImpl->model->SetImageList(&m_pImpl->frame.GetImageList());
    m_pImpl->m_bInitialized = true;
}

void CDetailsView::OnUpdate(IDocView*, int hint, const CUpdateHint* pHint) {
    m_pImpl->OnUpdate(hint, pHint);
}

void CDetailsView::OnTreeSelection(const TreeItemData& item) {
    Impl& d = *m_pImpl;
    const uint32_t kind = item.m_dwKind;
    if (item.IsGroup() && (kind & ITEM_QUERY)) {
        if (HasMode(m_dwTreeModes, LIST_QUERIES)) {
            d.ShowQueries();
            return;
        }
    } else if (item.IsGroup() && (kind & GROUP_ALL)) {
        if (HasMode(m_dwTreeModes, LIST_SERVERS)) {
            d.ShowServerGroup(kind);
            return;
        }
    } else if (item.IsQuery()) {
        if (HasMode(m_dwTreeModes, LIST_RESULTS)) {
            d.ShowResultsLabel(item.Query());
            d.ShowResults(item.Query());
            return;
        }
    } else if (item.IsServer()) {
        if (HasMode(m_dwTreeModes, LIST_PLAYERS)) {
            d.ShowPlayers(item.Server());
            return;
        }
        if (HasMode(m_dwTreeModes, LIST_RULES)) {
            d.ShowRules(item.Server());
            return;
        }
    }
    d.ClearView();
}

void CDetailsView::OnListSelection(const ListSelection& selection) {
    Impl& d = *m_pImpl;
    switch (selection.m_nMode) {
    case LIST_SERVERS: {
        auto* server = static_cast<ServerInfo*>(selection.m_pObject);
        if (HasMode(m_dwListModes, LIST_PLAYERS)) {
            d.ShowPlayers(server);
            return;
        }
        if (HasMode(m_dwListModes, LIST_RULES)) {
            d.ShowRules(server);
            return;
        }
        break;
    }
    case LIST_QUERIES:
        if (HasMode(m_dwListModes, LIST_RESULTS)) {
            auto* query = static_cast<SearchQuery*>(selection.m_pObject);
            d.ShowResultsLabel(query);
            d.ShowResults(query);
            return;
        }
        break;
    case LIST_RESULTS:
        if (HasMode(m_dwListModes, LIST_PLAYERS)) {
            const auto* found = static_cast<const FoundPlayer*>(selection.m_pObject);
            d.ShowPlayers(found ? found->m_pServer : nullptr);
            return;
        }
        break;
    default:
        break;
    }
    d.ClearView();
}

bool CDetailsView::OnCommand(int id) {
    Impl& d = *m_pImpl;
    switch (id) {
    case ID_SHOW_IN_TREE:
        d.ShowInTree();
        return true;
    case ID_ADD_TO_FAVOURITES:
        d.AddToFavourites();
        return true;
    case ID_REMOVE_FROM_FAVOURITES:
        d.RemoveFromFavourites();
        return true;
    case ID_JOIN_SERVER:
        if (d.Mode() != LIST_QUERIES)
            if (ServerInfo* server = d.CurrentServer())
                d.doc.JoinServer(server);
        return true;
    case ID_EDIT_COPY:
        d.Copy();
        return true;
    case ID_COPY_SERVER_ADDRESS:
        d.CopyServerAddress();
        return true;
    case ID_REFRESH:
        d.Refresh();
        return true;
    case ID_PROPERTIES:
        d.Properties();
        return true;
    case ID_ADD_PLAYER_QUERY:
        d.AddPlayerQuery();
        return true;
    default:
        return false;
    }
}

bool CDetailsView::OnUpdateCommand(int id, bool& enabled, bool& checked) {
    // Every command of the list is offered while the list is the active
    // pane, whatever it shows; a command without its object does nothing.
    if (!IsViewCommand(id))
        return false;
    enabled = true;
    checked = false;
    return true;
}

void CDetailsView::AddSelectionListener(IListSelectionListener* listener) {
    m_pImpl->m_listeners.push_back(listener);
}

void CDetailsView::RemoveSelectionListener(IListSelectionListener* listener) {
    auto& listeners = m_pImpl->m_listeners;
    const auto it = std::find(listeners.begin(), listeners.end(), listener);
    if (it != listeners.end())
        listeners.erase(it);
}

void CDetailsView::SetStyle(Style style) {
    Impl& d = *m_pImpl;
    const bool hadFocus = d.ActiveList()->hasFocus();
    d.style = style;
    CDetailsListView& icons = *d.icons;
    switch (style) {
    case Style::LargeIcons:
        icons.setViewMode(QListView::IconMode);
        icons.setFlow(QListView::LeftToRight);
        icons.setIconSize(QSize(32, 32));
        break;
    case Style::SmallIcons:
        icons.setViewMode(QListView::ListMode);
        icons.setFlow(QListView::LeftToRight);
        icons.setIconSize(QSize(16, 16));
        break;
    case Style::List:
        icons.setViewMode(QListView::ListMode);
        icons.setFlow(QListView::TopToBottom);
        icons.setIconSize(QSize(16, 16));
        break;
    case Style::Details:
        break;
    }
    icons.setMovement(QListView::Static);
    icons.setWrapping(true);
    QAbstractItemView* shown = d.ActiveList();
    d.stack->setCurrentWidget(shown);
    setFocusProxy(shown);
    if (hadFocus)
        shown->setFocus(Qt::OtherFocusReason);
    if (const QModelIndex current = d.selection->currentIndex(); current.isValid())
        shown->scrollTo(current);
}

CDetailsView::Style CDetailsView::GetStyle() const {
    return m_pImpl->style;
}

uint32_t CDetailsView::GetMode() const {
    return m_pImpl->Mode();
}

ServerInfo* CDetailsView::GetCurrentServer() const {
    return m_pImpl->CurrentServer();
}

QWidget* CDetailsView::FocusWidget() const {
    return m_pImpl->ActiveList();
}

std::unique_ptr<QMenu> CDetailsView::CreateContextMenu() {
    return m_pImpl->CreateContextMenu();
}
