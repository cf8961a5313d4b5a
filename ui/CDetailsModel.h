#pragma once

#include <QAbstractTableModel>
#include <QIcon>
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/FoundPlayerList.h"
#include "core/PlayerList.h"
#include "core/RuleList.h"
#include "core/ServerList.h"
#include "search/QueryList.h"

class CImageList;

// The rows of one details view: a sorted pointer array per row type, of
// which only the current mode's holds rows, and the columns of that mode.
// The row count is always the size of that array, and a cell's text is made
// only when the list asks for it. The arrays point at records the document
// owns; whoever changes those records tells the model first.
class CDetailsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit CDetailsModel(QObject* parent = nullptr);
    ~CDetailsModel() override;

    // The row images; the model does not own them.
    void SetImageList(const CImageList* images);

    uint32_t Mode() const { return m_nMode; }
    // Switches to a mode without rows: every array emptied, the new mode's
    // columns. The arrays keep their sort keys.
    void SetMode(uint32_t mode);
    // Deletes every row, without reading any; mode and columns stay.
    void RemoveAllRows();

    // Replace the rows by these records, each inserted in sorted position,
    // switching the mode when it differs. The selection is dropped.
    void Fill(std::span<ServerInfo* const> records);
    void Fill(std::span<PlayerInfo* const> records);
    void Fill(std::span<SearchQuery* const> records);
    void Fill(std::span<FoundPlayer* const> records);
    void Fill(std::span<RuleInfo* const> records);
    // The same, in the current mode, after a change of sort keys: the
    // selection stays with the row positions, not with the records.
    void Resort(std::span<ServerInfo* const> records);
    void Resort(std::span<PlayerInfo* const> records);
    void Resort(std::span<SearchQuery* const> records);
    void Resort(std::span<FoundPlayer* const> records);
    void Resort(std::span<RuleInfo* const> records);

    // The header-click rule on a mode's key list.
    void SetSortColumn(uint32_t mode, int key, bool additive);
    const std::vector<int32_t>& SortKeys(uint32_t mode) const;

    // The record of a row when it is of that type in the current mode.
    ServerInfo* ServerAt(int row) const;
    PlayerInfo* PlayerAt(int row) const;
    SearchQuery* QueryAt(int row) const;
    FoundPlayer* ResultAt(int row) const;
    RuleInfo* RuleAt(int row) const;
    // The server a row stands for: its own in LIST_SERVERS, the found
    // player's in LIST_RESULTS.
    ServerInfo* RowServer(int row) const;

    // A cell as shown, in the record's bytes.
    std::string CellText(int row, int column) const;
    // Type-ahead: the row the typed text leads to from start, or -1.
    int FindRowByText(const std::string& text, int start) const;
    // Tells the views that these rows (all columns) need painting again.
    void RowsChanged(int first, int last);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    template <class List>
    void Replace(uint32_t mode, List& list, std::span<typename List::Element* const> records);
    template <class List>
    void Reorder(uint32_t mode, List& list, std::span<typename List::Element* const> records);
    void EmptyArrays();
    QIcon RowIcon(int row) const;

    uint32_t m_nMode = 0;
    ServerList m_serverList{2};
    PlayerRefList m_playerList{2};
    QueryList m_queryList{1};
    FoundPlayerList m_resultList{2};
    RuleRefList m_ruleList{1};
    const CImageList* m_pImages = nullptr;
    // Server images with their overlays, made once: [answering][overlay].
    mutable std::array<std::array<QIcon, 3>, 2> m_serverIcons;
    mutable bool m_bServerIconsMade = false;
};
