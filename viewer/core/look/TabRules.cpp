#include "viewer/core/look/TabRules.h"

namespace tarvell {

Rect TabPaneRect(Rect c) { return Rect{c.left - 4, c.top - 2, c.right + 4, c.bottom + 2}; }

Rect TabPaintRect(Rect tab, bool selected, bool first) {
    if (selected) return Rect{tab.left - 2, tab.top - 2, tab.right, tab.bottom + 1};
    if (first) tab.left += 2;
    return tab;
}

TabTextPlace TabTextRect(Rect r, bool selected, bool first) {
    r.top += selected ? -3 : 1;
    if (first) return TabTextPlace{r, true};
    r.left += 5 + (selected ? 3 : 0);
    r.right -= 5;
    return TabTextPlace{r, false};
}

std::vector<int> TabHotTracker::MouseAt(int tab) {
    if (tab == hot_) return {};
    std::vector<int> repaint;
    if (hot_ >= 0) repaint.push_back(hot_);
    hot_ = tab < 0 ? -1 : tab;
    if (hot_ >= 0) repaint.push_back(hot_);
    return repaint;
}

}  // namespace tarvell
