// Plain rectangles and colours for the viewer's layout and painting rules, so that the rules
// are computed and tested without a display. Rectangles are right/bottom exclusive.
#pragma once

#include <cstdint>

namespace tarvell {

struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;

    constexpr int Width() const { return right - left; }
    constexpr int Height() const { return bottom - top; }
    constexpr bool Contains(int x, int y) const {
        return x >= left && x < right && y >= top && y < bottom;
    }
    constexpr bool operator==(const Rect&) const = default;
};

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    constexpr bool operator==(const Rgb&) const = default;
};

}  // namespace tarvell
