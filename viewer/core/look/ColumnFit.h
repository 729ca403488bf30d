// How a report list shares its width among its columns: every column but the last gets the width
// of its header and its cells, and the last column takes what is left. Where the list is too
// narrow, the last column keeps a share of the width first (enough for a status or a date,
// never its whole text when that is long), then the widest other columns give way, down to their
// floor: the header's width, or the whole text for a column whose text must never be cut (an
// event key, an alert's date). Below the sum of the floors the list scrolls sideways.
#pragma once

#include <vector>

namespace tarvell {

struct ColumnNeed {
    int wanted = 0;  // header and widest cell, with the cell's margins, in pixels
    int floor = 0;   // never narrower than this; floor > wanted reads as wanted
};

// The most of the width the last column keeps before the other columns give way, in percent.
inline constexpr int kLastColumnSharePercent = 30;

// The widths of `needs` in a list `available` pixels wide (the viewport, without a vertical
// scroll bar). Empty for no columns; a single column takes the whole width. The last width is
// at least its floor and fills the rest of `available` when the others leave any.
std::vector<int> FitColumnWidths(const std::vector<ColumnNeed>& needs, int available);

// The width of the details pane at the right of the monitors' and the alerts' list on a page
// `pageWidth` pixels wide: 242 on a wide page; on a narrower one it gives up to 82 pixels, down
// to 160 at the window's opening width, so that the list keeps room for its whole columns (the
// key or date, the device's name and address) and a blocking date.
int DetailsPaneWidth(int pageWidth);

}  // namespace tarvell
