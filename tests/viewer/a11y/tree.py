"""Finds the viewer's controls by name and role in the accessible trees of the main window and
the gallery, and presses a page button as a screen reader would."""
import sys
import time

import pyatspi

failures = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what)
    if not ok:
        failures.append(what)


def window_of(name, seconds=20):
    end = time.time() + seconds
    while time.time() < end:
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.name == name and app.childCount > 0:
                return app.getChildAtIndex(0)
        time.sleep(0.25)
    sys.exit(f"FAIL {name} did not appear on the accessibility bus")


def nodes(root, depth=0):
    """Every accessible below root; lists are not entered (their cells are many)."""
    yield root
    if depth < 20 and root.getRoleName() != "tree":
        for child in (root.getChildAtIndex(i) for i in range(root.childCount)):
            if child is not None:
                yield from nodes(child, depth + 1)


def find(root, role, name=None, showing=False):
    return [n for n in nodes(root) if n.getRoleName() == role and (name is None or n.name == name)
            and (not showing or n.getState().contains(pyatspi.STATE_SHOWING))]


def eventually(probe, seconds=10):
    end = time.time() + seconds
    while not probe() and time.time() < end:
        time.sleep(0.25)
    return probe()


window = window_of("Tarvell")
bars = find(window, "menu bar")
menus = [(m.getRoleName(), m.name) for bar in bars for m in (bar.getChildAtIndex(i) for i in range(bar.childCount))]
check(menus == [("menu item", w) for w in ("File", "Options", "Tools", "Help")], f"the banner's menus {menus}")
for name in ("Monitor", "Protect", "Alerts", "Monitor Scanner", "Protection Scanner", "Alerts Scanner",
             "Tarvell Definitions"):
    check(bool(find(window, "push button", name, showing=True)), f"toolbar button {name!r}")
check(bool(find(window, "push button", "Service")), "the service state icon is the button 'Service'")

# Press on a banner button switches the page as a click does: the monitor overview's links show.
monitor = find(window, "push button", "Monitor", showing=True)
action = monitor[0].queryAction() if monitor else None
check(action is not None and action.getName(0) == "Press" and action.doAction(0), "Monitor pressed")
for name in ("View detection monitor", "View prevention monitor"):
    check(eventually(lambda: find(window, "link", name, showing=True)), f"monitor overview link {name!r}")

lists = find(window_of("tarvell-gallery"), "tree")
table = lists[0].queryTable() if lists else None
check(table is not None and table.nRows == 100000, "the gallery's list exposes its 100000 rows")
if table is not None:
    headers = [table.getColumnHeader(c).name for c in range(table.nColumns)]
    check(headers == ["Device Mac", "Device Port", "Description", "State"], f"column headers {headers}")
    cells = [table.getAccessibleAt(r, c).name for r in (0, 99999) for c in range(2)]
    check(cells == ["00A0C9000000", "switch-0 port 1", "00A0C901869F", "switch-15 port 16"],
          f"cells of the first and last rows {cells}")

sys.exit(1 if failures else 0)
