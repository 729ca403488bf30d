// The rules of the themed tab control (widgets/CThemeTabCtrl): where a tab and its text are
// painted, and which tab is hot under the mouse.
#pragma once

#include <vector>

#include "viewer/core/look/Geometry.h"

namespace tarvell {

// The pane: the area below the tabs, inflated by 4 pixels horizontally and 2 vertically.
Rect TabPaneRect(Rect adjustedClient);
// A tab as painted: the selected tab grows by 2 at the left and top and 1 at the bottom; the
// first tab, when not selected, starts 2 pixels further right.
Rect TabPaintRect(Rect tab, bool selected, bool first);
// The text of a tab: 1 pixel lower than the tab (3 pixels higher for the selected tab). The
// first tab's text is centred; the others are inset by 5 at each side, the selected one a further
// 3 at the left.
struct TabTextPlace {
    Rect rect;
    bool centred;
};
TabTextPlace TabTextRect(Rect paintRect, bool selected, bool first);

// Hot tracking by hover and leave. The hot tab follows the mouse from tab to tab and is reset
// when the mouse leaves the tabs or the control; each call returns the tabs to repaint (the old
// hot tab as normal, the new one as hot). There is no mouse capture, so a click elsewhere is
// never swallowed.
class TabHotTracker {
public:
    // `tab`: the tab under the mouse, -1 for none.
    std::vector<int> MouseAt(int tab);
    std::vector<int> Leave() { return MouseAt(-1); }
    int Hot() const { return hot_; }

private:
    int hot_ = -1;
};

}  // namespace tarvell
