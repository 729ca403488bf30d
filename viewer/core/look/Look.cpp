#include "viewer/core/look/Look.h"

namespace tarvell {

namespace {
std::uint8_t Mix(int a, int b, int num, int den) {
    return static_cast<std::uint8_t>(a + (b - a) * num / den);
}
}  // namespace

Rgb GradientAt(Rgb left, Rgb right, int x, int width) {
    if (width <= 1 || x <= 0) return left;
    if (x >= width - 1) return right;
    const int den = width - 1;
    return Rgb{Mix(left.r, right.r, x, den), Mix(left.g, right.g, x, den),
               Mix(left.b, right.b, x, den)};
}

Rgb DotPixel(Rgb dark, Rgb light, int dx, int dy) {
    const bool edgeX = dx == 0 || dx == kDotSize - 1;
    const bool edgeY = dy == 0 || dy == kDotSize - 1;
    if (edgeX && edgeY) return light;
    if (!edgeX && !edgeY) return dark;
    return Rgb{Mix(dark.r, light.r, 1, 2), Mix(dark.g, light.g, 1, 2), Mix(dark.b, light.b, 1, 2)};
}

std::vector<int> DotTops(int firstTop, int bottom) {
    std::vector<int> tops;
    for (int y = firstTop; y + kDotSize <= bottom; y += kDotPitch) tops.push_back(y);
    return tops;
}

std::vector<ArrowLine> SortArrowLines(bool ascending) {
    if (ascending) {
        return {{8, 4, 2, 11, false},    // left edge, in shadow
                {8, 4, 12, 11, true},    // right edge, lit
                {2, 11, 12, 11, true}};  // base, lit
    }
    return {{3, 4, 11, 4, false},   // top edge, in shadow
            {3, 4, 7, 12, false},   // left edge, in shadow
            {11, 4, 7, 12, true}};  // right edge, lit
}

}  // namespace tarvell
