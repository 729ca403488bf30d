// The core's rectangles (right/bottom exclusive) as Qt rectangles and back, and dialog-unit
// layouts as Qt rectangles.
#pragma once

#include <QRect>

#include "viewer/core/look/DialogUnits.h"
#include "viewer/core/look/Geometry.h"

namespace tarvell {

inline QRect ToQRect(const Rect& r) { return QRect(r.left, r.top, r.Width(), r.Height()); }
inline Rect FromQRect(const QRect& r) {
    return Rect{r.left(), r.top(), r.right() + 1, r.bottom() + 1};
}
// A control's place given in dialog units (x, y, width, height), in pixels.
inline QRect DluQRect(int x, int y, int width, int height) {
    return ToQRect(DluRect(x, y, width, height));
}

}  // namespace tarvell
