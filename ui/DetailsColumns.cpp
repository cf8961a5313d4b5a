#include "ui/DetailsColumns.h"

#include <array>
#include <span>

#include "ui/IListSelectionListener.h"

namespace {

constexpr Qt::Alignment kLeft = Qt::AlignLeft | Qt::AlignVCenter;
constexpr Qt::Alignment kRight = Qt::AlignRight | Qt::AlignVCenter;

// "Protocol" came last, so that the numbers of the older columns stay what
// they were.
constexpr ColumnSpec kServerColumns[] = {
    {"Name", kLeft, 250, 2},        {"Game", kLeft, 75, 4},         {"Map", kLeft, 100, 5},
    {"Num Players", kRight, 35, 6}, {"Max Players", kRight, 35, 7}, {"Ping", kRight, 50, 3},
    {"IP", kLeft, 150, 1},          {"Flags", kLeft, 50, 8},        {"Annotation", kLeft, 300, 9},
    {"Protocol", kLeft, 50, 11},
};
constexpr ColumnSpec kPlayerColumns[] = {
    {"Name", kLeft, 250, 2},  {"Nr", kRight, 50, 1},   {"Frags", kRight, 50, 3},
    {"Diff.", kRight, 50, 4}, {"Time", kRight, 75, 5},
};
constexpr ColumnSpec kQueryColumns[] = {
    {"Name", kLeft, 250, 1},       {"#Players", kRight, 50, 3}, {"#Servers", kRight, 50, 4},
    {"Expression", kLeft, 250, 2}, {"Flags", kLeft, 50, 0},
};
constexpr ColumnSpec kResultColumns[] = {
    {"Name", kLeft, 200, 2},  {"Server", kLeft, 150, 5}, {"Server Name", kLeft, 150, 6},
    {"Frags", kRight, 50, 3}, {"Time", kRight, 75, 4},
};
constexpr ColumnSpec kRuleColumns[] = {
    {"Item", kLeft, 150, 1},
    {"Value", kLeft, 250, 2},
};

constexpr int kMaxColumns = 10;
constexpr int kModes = 6;

std::span<const ColumnSpec> Columns(uint32_t mode) {
    switch (mode) {
    case LIST_SERVERS:
        return kServerColumns;
    case LIST_PLAYERS:
        return kPlayerColumns;
    case LIST_QUERIES:
        return kQueryColumns;
    case LIST_RESULTS:
        return kResultColumns;
    case LIST_RULES:
        return kRuleColumns;
    default:
        return {};
    }
}

using WidthTable = std::array<std::array<int, kMaxColumns>, kModes>;

// The design widths are pixels of the old list font, whose average
// character is 6 pixels wide.
constexpr int kDesignCharWidth = 6;

WidthTable InitialWidths() {
    WidthTable table{};
    for (auto& row : table)
        row.fill(-1);
    return table;
}

WidthTable& Widths() {
    static WidthTable table = InitialWidths();
    return table;
}

bool InTable(uint32_t mode, int column) {
    return column >= 0 && column < ColumnCount(mode);
}

} // namespace

int ColumnCount(uint32_t mode) {
    return static_cast<int>(Columns(mode).size());
}

const ColumnSpec& ColumnAt(uint32_t mode, int column) {
    static constexpr ColumnSpec kNone{"", kLeft, 0, 0};
    return InTable(mode, column) ? Columns(mode)[static_cast<size_t>(column)] : kNone;
}

int SharedColumnWidth(uint32_t mode, int column) {
    return InTable(mode, column) ? Widths()[mode][static_cast<size_t>(column)] : -1;
}

void SetSharedColumnWidth(uint32_t mode, int column, int width) {
    if (InTable(mode, column) && width >= 0)
        Widths()[mode][static_cast<size_t>(column)] = width;
}

int ScaledColumnWidth(int designWidth, int averageCharWidth) {
    return (designWidth * averageCharWidth + kDesignCharWidth / 2) / kDesignCharWidth;
}

void ResetSharedColumnWidths() {
    Widths() = InitialWidths();
}
