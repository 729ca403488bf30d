#include "viewer/core/look/ColumnFit.h"

#include <algorithm>

namespace tarvell {
namespace {

// The widths of the fixed columns when each is cut at `level` but kept at its floor.
int FixedSum(const std::vector<ColumnNeed>& needs, std::size_t fixed, int level,
             std::vector<int>* widths) {
    int sum = 0;
    for (std::size_t i = 0; i < fixed; ++i) {
        const int wanted = std::max(0, needs[i].wanted);
        const int floor = std::min(std::max(0, needs[i].floor), wanted);
        const int w = std::max(floor, std::min(wanted, level));
        if (widths != nullptr) (*widths)[i] = w;
        sum += w;
    }
    return sum;
}

}  // namespace

std::vector<int> FitColumnWidths(const std::vector<ColumnNeed>& needs, int available) {
    std::vector<int> widths(needs.size(), 0);
    if (needs.empty()) return widths;
    available = std::max(0, available);
    const std::size_t fixed = needs.size() - 1;
    const ColumnNeed& last = needs.back();
    const int lastFloor = std::max(0, last.floor);
    // The last column's reserve: its text, up to its share, and never below its floor.
    const int reserve = std::max(
        lastFloor, std::min(std::max(0, last.wanted), available * kLastColumnSharePercent / 100));
    const int budget = std::max(0, available - reserve);

    int top = 0;
    for (std::size_t i = 0; i < fixed; ++i) top = std::max(top, needs[i].wanted);
    int level = top;
    if (FixedSum(needs, fixed, top, nullptr) > budget) {
        // The highest cut at which the fixed columns fit the budget (0 leaves them at floors).
        int low = 0, high = top;
        while (low < high) {
            const int mid = low + (high - low + 1) / 2;
            if (FixedSum(needs, fixed, mid, nullptr) <= budget) low = mid;
            else high = mid - 1;
        }
        level = low;
    }
    const int used = FixedSum(needs, fixed, level, &widths);
    widths.back() = std::max(lastFloor, available - used);
    return widths;
}

int DetailsPaneWidth(int pageWidth) { return std::clamp(pageWidth - 608, 160, 242); }

}  // namespace tarvell
