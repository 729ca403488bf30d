// The viewer's own look: its colours and the pixel rules of its gradients, dotted dividers and
// sort arrows. The widgets paint with these; tests check the rules here and the pixels there.
#pragma once

#include <vector>

#include "viewer/core/look/Geometry.h"

namespace tarvell {

namespace look {
inline constexpr Rgb kText{83, 83, 83};           // body text
inline constexpr Rgb kLink{66, 26, 66};           // links and hot buttons
inline constexpr Rgb kPageLink{0, 70, 213};       // links on property pages
inline constexpr Rgb kPageLeft{240, 230, 245};    // page background gradient, left ...
inline constexpr Rgb kPageRight{250, 240, 255};   // ... to right
inline constexpr Rgb kPanelFrame{193, 193, 193};  // rounded panels, selected-row frame
inline constexpr int kPanelCorner = 6;
inline constexpr Rgb kSelectedRow{231, 217, 239};
inline constexpr Rgb kWhite{255, 255, 255};
inline constexpr Rgb kBlack{0, 0, 0};
inline constexpr Rgb kMagenta{255, 0, 255};    // transparent colour of bitmap strips
inline constexpr Rgb kBandLeft{120, 85, 155};  // the main view's header band
inline constexpr Rgb kBandRight{185, 165, 215};
inline constexpr Rgb kBandEdge{135, 135, 135};
inline constexpr Rgb kMakerGrey{114, 117, 122};
inline constexpr Rgb kProductRed{235, 40, 0};
inline constexpr Rgb kSplashBack{240, 231, 245};
inline constexpr Rgb kDotDark{214, 199, 229};  // toolbar divider dots, lavender
inline constexpr Rgb kDotLight{243, 238, 248};
inline constexpr Rgb kHeaderDotDark{151, 130, 184};  // header divider dots, purple-grey
inline constexpr Rgb kHeaderDotLight{216, 208, 234};
}  // namespace look

// Colour of column x (0-based) of a left-to-right gradient `width` columns wide: the first
// column is `left`, the last `right`, each component interpolated linearly and truncated.
Rgb GradientAt(Rgb left, Rgb right, int x, int width);

// Dotted dividers: one 4 x 4 dot every 7 pixels. The dot's inner 2 x 2 pixels are `dark`, its
// corners `light`, the other edge pixels half-way between.
inline constexpr int kDotSize = 4;
inline constexpr int kDotPitch = 7;
Rgb DotPixel(Rgb dark, Rgb light, int dx, int dy);
// Tops of the dots from `firstTop` down to `bottom` (a dot that would pass `bottom` is left out).
std::vector<int> DotTops(int firstTop, int bottom);

// The sort arrow of a column header, in a 16 x 16 box: one-pixel lines, light edges in the
// highlight colour and dark edges in the shadow colour. Ascending points up (apex (8, 4), base
// from (2, 11) to (12, 11)); descending points down (apex (7, 12), top from (3, 4) to (11, 4)).
inline constexpr int kSortArrowBox = 16;
struct ArrowLine {
    int x0, y0, x1, y1;
    bool light;
};
std::vector<ArrowLine> SortArrowLines(bool ascending);

}  // namespace tarvell
