// The rules of the owner-painted list's row painter (widgets/CPaintListCtrl): how a row is
// filled, where cell texts and images stand, and which state image a state column shows.
#pragma once

#include <string_view>

namespace tarvell {

// Where cell images stand in their cell.
enum class IconAlign { Left = 0, Right = 1, Center = 2 };

// How a row is filled. Selected: the selection colour and, after the cells, a frame; Kept: a
// row that is selected while the list has no focus, kept visible (same fill, no frame).
enum class RowFill { Normal, Selected, Kept };

// `drawnSelected`: the list paints the row as selected now (selected and the list has focus);
// `itemSelected`: the row is in the selection; `keepSelection`: the list keeps its selection
// visible without focus.
RowFill ChooseRowFill(bool drawnSelected, bool itemSelected, bool keepSelection);

// The state image list a row takes its images from: the selected-rows list for a row filled as
// selected (either way), the unselected-rows list otherwise.
inline bool UsesSelectedStateImages(RowFill fill) { return fill != RowFill::Normal; }

// Pixels from a cell's left edge to its text: 2 in the first column, 6 in the others.
int CellTextInset(int column);
// Cell image images start 2 pixels in (Left), end flush with the cell's right edge (Right) or
// are centred (Center).
int CellImageLeft(IconAlign align, int cellLeft, int cellRight, int imageWidth);
// The top that centres something `height` tall between top and bottom.
inline int CenteredTop(int top, int bottom, int height) {
    return top + (bottom - top - height) / 2;
}

// The image index a state column's cell text names: the text read as a decimal number the way
// atol reads it ("" and "x" read 0). Indexes past the image list draw nothing.
long StateImageIndex(std::string_view cellText);

}  // namespace tarvell
