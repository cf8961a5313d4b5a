#pragma once

#include <Qt>
#include <cstdint>

// One column of a details list: its title, alignment, width when a process
// starts, and the sort key a click on its header selects (0: none).
struct ColumnSpec {
    const char* title;
    Qt::Alignment align;
    int initialWidth;
    int sortKey;
};

// The columns of a list mode; none for LIST_NONE or an unknown mode.
int ColumnCount(uint32_t mode);
const ColumnSpec& ColumnAt(uint32_t mode, int column);

// One width per mode and column, shared by every details view for the life
// of the process: a width the user drags is what the next view to switch to
// that mode starts with. Nothing of it is saved. -1 until the user sets one:
// the view then makes the initial width for its font (ScaledColumnWidth).
int SharedColumnWidth(uint32_t mode, int column);
void SetSharedColumnWidth(uint32_t mode, int column, int width);
// An initial width, given in pixels of the old list font, in pixels of a
// font with this average character width: today's fonts are wider.
int ScaledColumnWidth(int designWidth, int averageCharWidth);
// Back to the initial widths, as at the start of a process.
void ResetSharedColumnWidths();
