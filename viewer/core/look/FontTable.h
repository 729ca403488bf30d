// Font substitution. The viewer names Windows faces; this system draws with free fonts of the
// distribution instead: Liberation Sans (metric-compatible) for Tahoma, Arial and MS Sans Serif,
// and DejaVu Sans Bold, the nearest heavy face, for Impact. Any other face is used as named.
#pragma once

#include <string_view>

namespace tarvell {

struct FontFace {
    std::string_view family;
    bool forceBold = false;  // the stand-in needs its bold weight to look like the original
};

// Face names compare without regard to case.
FontFace SubstituteFace(std::string_view face);

// The text height of the Windows screens, "horizontal pixels per inch / 7" (13 pixels at
// 96 dpi), at least 1.
int DesignTextHeight(int pixelsPerInch);

}  // namespace tarvell
