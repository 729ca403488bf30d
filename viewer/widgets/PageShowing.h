// Which show and hide events of a page are a page change. The view hides a page and shows
// another (or the same one for a new mode, or again on "Update now"): those start and stop the
// page. Qt sends a page show and hide events too when its window is minimised and restored
// (spontaneous events) or hidden to the tray and opened again (events the window passes on to
// the children it did not hide itself); a page keeps its state through those: its edits, its
// selection, its scroll position, its sort and its search. GUI thread only.
#pragma once

#include <QHideEvent>
#include <QShowEvent>
#include <QWidget>

namespace tarvell {

class PageShowing {
public:
    // True when this show starts the page: its first show, or the first since the view hid it.
    bool Starts(const QShowEvent& event) {
        if (event.spontaneous() || !away_) return false;
        away_ = false;
        return true;
    }
    // True when the view hid `page` itself; false when only its window went away.
    bool Stops(const QWidget& page, const QHideEvent& event) {
        if (event.spontaneous() || !page.isHidden()) return false;
        away_ = true;
        return true;
    }

private:
    bool away_ = true;  // not shown since created or since the view hid the page
};

}  // namespace tarvell
