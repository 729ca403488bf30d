// Dialog units. The viewer's dialogs and panels are laid out in Windows dialog units (a
// quarter of the average character width across, an eighth of the font height down). The
// base units are fixed (those of an 8-point dialog font at 96 dots per inch)
// instead of being measured from the installed font, so a layout is the same on every machine
// whatever fonts it has.
#pragma once

#include "viewer/core/look/Geometry.h"

namespace tarvell {

inline constexpr int kDialogBaseUnitX = 6;   // average character width, pixels
inline constexpr int kDialogBaseUnitY = 13;  // character height, pixels

// Horizontal units are quarters of the base width, vertical ones eighths of the base height;
// the result is rounded to the nearest pixel (halves away from zero).
int DluToPixelsX(int dlu);
int DluToPixelsY(int dlu);
// A rectangle given as left, top, width and height in dialog units.
Rect DluRect(int x, int y, int width, int height);

}  // namespace tarvell
