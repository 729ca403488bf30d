#include "viewer/core/look/ListPaintRules.h"

#include <climits>

#include "platform/Text.h"

namespace tarvell {

RowFill ChooseRowFill(bool drawnSelected, bool itemSelected, bool keepSelection) {
    if (drawnSelected) return RowFill::Selected;
    if (keepSelection && itemSelected) return RowFill::Kept;
    return RowFill::Normal;
}

int CellTextInset(int column) { return column == 0 ? 2 : 6; }

int CellImageLeft(IconAlign align, int cellLeft, int cellRight, int imageWidth) {
    switch (align) {
        case IconAlign::Left: return cellLeft + 2;
        case IconAlign::Right: return cellRight - imageWidth;
        case IconAlign::Center: return cellLeft + (cellRight - cellLeft - imageWidth) / 2;
    }
    return cellLeft + 2;
}

long StateImageIndex(std::string_view cellText) {
    const std::int64_t v = AtoL(cellText);
    if (v > LONG_MAX) return LONG_MAX;
    if (v < LONG_MIN) return LONG_MIN;
    return static_cast<long>(v);
}

}  // namespace tarvell
