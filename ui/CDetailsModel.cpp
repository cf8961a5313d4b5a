#include "ui/CDetailsModel.h"

#include "core/DisplayText.h"
#include "ui/CImageList.h"
#include "ui/DetailsColumns.h"
#include "ui/DetailsSearch.h"
#include "ui/DetailsText.h"
#include "ui/IListSelectionListener.h"
#include "ui/SortedInsertion.h"

namespace {

// Row images of the list modes (servers choose theirs per row).
constexpr int kPlayerImage = 7;
constexpr int kQueryImage = 5;
constexpr int kRuleImage = 8;

template <class List> typename List::Element* RowOf(const List& list, int row) {
    return row >= 0 && row < list.GetSize() ? list.GetAt(row) : nullptr;
}

int PrimaryKey(const std::vector<int32_t>& keys) {
    return keys.empty() ? 0 : (keys.front() < 0 ? -keys.front() : keys.front());
}

} // namespace

CDetailsModel::CDetailsModel(QObject* parent) : QAbstractTableModel(parent) {}
CDetailsModel::~CDetailsModel() = default;

void CDetailsModel::SetImageList(const CImageList* images) {
    m_pImages = images;
    m_bServerIconsMade = false;
    if (rowCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::DecorationRole});
}

void CDetailsModel::EmptyArrays() {
    m_serverList.RemoveAll();
    m_playerList.RemoveAll();
    m_queryList.RemoveAll();
    m_resultList.RemoveAll();
    m_ruleList.RemoveAll();
}

void CDetailsModel::SetMode(uint32_t mode) {
    beginResetModel();
    m_nMode = mode;
    EmptyArrays();
    endResetModel();
}

void CDetailsModel::RemoveAllRows() {
    // A reset rather than a removal of rows: the records may be gone
    // already (Clear Server List frees them before it tells the views), and
    // a removal lets its observers read the rows first.
    beginResetModel();
    EmptyArrays();
    endResetModel();
}

template <class List>
void CDetailsModel::Replace(uint32_t mode, List& list,
                            std::span<typename List::Element* const> records) {
    beginResetModel();
    if (mode != m_nMode) {
        m_nMode = mode;
        EmptyArrays();
    }
    list.RemoveAll();
    InsertAllSorted(list, records);
    endResetModel();
}

template <class List>
void CDetailsModel::Reorder(uint32_t mode, List& list,
                            std::span<typename List::Element* const> records) {
    if (mode != m_nMode) {
        Replace(mode, list, records);
        return;
    }
    // The count changes first, at the end of the list, so that the rows
    // that stay keep their selection through the change of layout.
    const int before = list.GetSize();
    const int after = static_cast<int>(records.size());
    if (after < before) {
        beginRemoveRows(QModelIndex(), after, before - 1);
        while (list.GetSize() > after)
            list.RemoveAt(list.GetSize() - 1);
        endRemoveRows();
    } else if (after > before) {
        beginInsertRows(QModelIndex(), before, after - 1);
        for (int i = before; i < after; ++i)
            list.Append(records[static_cast<size_t>(i)]);
        endInsertRows();
    }
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    list.RemoveAll();
    InsertAllSorted(list, records);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void CDetailsModel::Fill(std::span<ServerInfo* const> r) {
    Replace(LIST_SERVERS, m_serverList, r);
}
void CDetailsModel::Fill(std::span<PlayerInfo* const> r) {
    Replace(LIST_PLAYERS, m_playerList, r);
}
void CDetailsModel::Fill(std::span<SearchQuery* const> r) {
    Replace(LIST_QUERIES, m_queryList, r);
}
void CDetailsModel::Fill(std::span<FoundPlayer* const> r) {
    Replace(LIST_RESULTS, m_resultList, r);
}
void CDetailsModel::Fill(std::span<RuleInfo* const> r) {
    Replace(LIST_RULES, m_ruleList, r);
}
void CDetailsModel::Resort(std::span<ServerInfo* const> r) {
    Reorder(LIST_SERVERS, m_serverList, r);
}
void CDetailsModel::Resort(std::span<PlayerInfo* const> r) {
    Reorder(LIST_PLAYERS, m_playerList, r);
}
void CDetailsModel::Resort(std::span<SearchQuery* const> r) {
    Reorder(LIST_QUERIES, m_queryList, r);
}
void CDetailsModel::Resort(std::span<FoundPlayer* const> r) {
    Reorder(LIST_RESULTS, m_resultList, r);
}
void CDetailsModel::Resort(std::span<RuleInfo* const> r) {
    Reorder(LIST_RULES, m_ruleList, r);
}

void CDetailsModel::SetSortColumn(uint32_t mode, int key, bool additive) {
    switch (mode) {
    case LIST_SERVERS:
        m_serverList.SetSortColumn(key, additive);
        break;
    case LIST_PLAYERS:
        m_playerList.SetSortColumn(key, additive);
        break;
    case LIST_QUERIES:
        m_queryList.SetSortColumn(key, additive);
        break;
    case LIST_RESULTS:
        m_resultList.SetSortColumn(key, additive);
        break;
    case LIST_RULES:
        m_ruleList.SetSortColumn(key, additive);
        break;
    default:
        break;
    }
}

const std::vector<int32_t>& CDetailsModel::SortKeys(uint32_t mode) const {
    static const std::vector<int32_t> kNone;
    switch (mode) {
    case LIST_SERVERS:
        return m_serverList.GetSortKeys();
    case LIST_PLAYERS:
        return m_playerList.GetSortKeys();
    case LIST_QUERIES:
        return m_queryList.GetSortKeys();
    case LIST_RESULTS:
        return m_resultList.GetSortKeys();
    case LIST_RULES:
        return m_ruleList.GetSortKeys();
    default:
        return kNone;
    }
}

ServerInfo* CDetailsModel::ServerAt(int row) const {
    return m_nMode == LIST_SERVERS ? RowOf(m_serverList, row) : nullptr;
}
PlayerInfo* CDetailsModel::PlayerAt(int row) const {
    return m_nMode == LIST_PLAYERS ? RowOf(m_playerList, row) : nullptr;
}
SearchQuery* CDetailsModel::QueryAt(int row) const {
    return m_nMode == LIST_QUERIES ? RowOf(m_queryList, row) : nullptr;
}
FoundPlayer* CDetailsModel::ResultAt(int row) const {
    return m_nMode == LIST_RESULTS ? RowOf(m_resultList, row) : nullptr;
}
RuleInfo* CDetailsModel::RuleAt(int row) const {
    return m_nMode == LIST_RULES ? RowOf(m_ruleList, row) : nullptr;
}

ServerInfo* CDetailsModel::RowServer(int row) const {
    if (ServerInfo* server = ServerAt(row))
        return server;
    const FoundPlayer* found = ResultAt(row);
    return found ? found->m_pServer : nullptr;
}

std::string CDetailsModel::CellText(int row, int column) const {
    switch (m_nMode) {
    case LIST_SERVERS:
        if (const ServerInfo* server = ServerAt(row))
            return ServerCellText(*server, column);
        break;
    case LIST_PLAYERS:
        if (const PlayerInfo* player = PlayerAt(row))
            return PlayerCellText(*player, column);
        break;
    case LIST_QUERIES:
        if (const SearchQuery* query = QueryAt(row))
            return QueryCellText(*query, column);
        break;
    case LIST_RESULTS:
        if (const FoundPlayer* found = ResultAt(row))
            return ResultCellText(*found, column);
        break;
    case LIST_RULES:
        if (const RuleInfo* rule = RuleAt(row))
            return RuleCellText(*rule, column);
        break;
    default:
        break;
    }
    return {};
}

int CDetailsModel::FindRowByText(const std::string& text, int start) const {
    if (text.empty() || m_nMode == LIST_NONE)
        return 0;
    const int key = PrimaryKey(SortKeys(m_nMode));
    switch (m_nMode) {
    case LIST_SERVERS: {
        ServerInfo probe;
        FillServerProbe(probe, text, key);
        return FindTypedRow(m_serverList, probe, start);
    }
    case LIST_PLAYERS: {
        PlayerInfo probe;
        FillPlayerProbe(probe, text, key);
        return FindTypedRow(m_playerList, probe, start);
    }
    case LIST_QUERIES: {
        size_t largest = 0;
        for (const SearchQuery* query : m_queryList)
            largest = std::max({largest, query->m_players.size(), query->m_servers.size()});
        SearchQuery probe;
        FillQueryProbe(probe, text, key, largest + 1);
        return FindTypedRow(m_queryList, probe, start);
    }
    case LIST_RESULTS: {
        ServerInfo probeServer;
        FoundPlayer probe;
        FillResultProbe(probe, probeServer, text, key);
        return FindTypedRow(m_resultList, probe, start);
    }
    case LIST_RULES: {
        RuleInfo probe;
        FillRuleProbe(probe, text, key);
        return FindTypedRow(m_ruleList, probe, start);
    }
    default:
        return 0;
    }
}

void CDetailsModel::RowsChanged(int first, int last) {
    const int columns = columnCount();
    if (columns == 0 || first < 0 || last < first || last >= rowCount())
        return;
    emit dataChanged(index(first, 0), index(last, columns - 1));
}

int CDetailsModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid())
        return 0;
    switch (m_nMode) {
    case LIST_SERVERS:
        return m_serverList.GetSize();
    case LIST_PLAYERS:
        return m_playerList.GetSize();
    case LIST_QUERIES:
        return m_queryList.GetSize();
    case LIST_RESULTS:
        return m_resultList.GetSize();
    case LIST_RULES:
        return m_ruleList.GetSize();
    default:
        return 0;
    }
}

int CDetailsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount(m_nMode);
}

QIcon CDetailsModel::RowIcon(int row) const {
    if (!m_pImages)
        return {};
    switch (m_nMode) {
    case LIST_SERVERS: {
        const ServerInfo* server = ServerAt(row);
        if (!server)
            return {};
        if (!m_bServerIconsMade) {
            for (int image = 0; image < 2; ++image)
                for (int overlay = 0; overlay < 3; ++overlay)
                    m_serverIcons[static_cast<size_t>(image)][static_cast<size_t>(overlay)] =
                        m_pImages->IconWithOverlay(image, overlay);
            m_bServerIconsMade = true;
        }
        const int image = server->m_nPing != 0 ? 0 : 1;
        const int overlay = !server->m_strError.empty()              ? 2
                            : (server->m_dwFlags & GROUP_FAVOURITES) ? 1
                                                                     : 0;
        return m_serverIcons[static_cast<size_t>(image)][static_cast<size_t>(overlay)];
    }
    case LIST_PLAYERS:
    case LIST_RESULTS:
        return m_pImages->Icon(kPlayerImage);
    case LIST_QUERIES:
        return m_pImages->Icon(kQueryImage);
    case LIST_RULES:
        return m_pImages->Icon(kRuleImage);
    default:
        return {};
    }
}

QVariant CDetailsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount())
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return DisplayText(CellText(index.row(), index.column()));
    case Qt::DecorationRole:
        if (index.column() == 0)
            return RowIcon(index.row());
        return {};
    case Qt::TextAlignmentRole:
        return static_cast<int>(ColumnAt(m_nMode, index.column()).align);
    default:
        return {};
    }
}

QVariant CDetailsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount())
        return {};
    const ColumnSpec& column = ColumnAt(m_nMode, section);
    switch (role) {
    case Qt::DisplayRole:
        return QString::fromLatin1(column.title);
    case Qt::TextAlignmentRole:
        return static_cast<int>(column.align);
    default:
        return {};
    }
}

Qt::ItemFlags CDetailsModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}
