"""Finds the viewer's controls in the accessible trees of the main window and the gallery."""
import sys
import time

import pyatspi

failures = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what)
    if not ok:
        failures.append(what)


def application(name, seconds=20):
    end = time.time() + seconds
    while time.time() < end:
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.name == name and app.childCount > 0:
                return app
        time.sleep(0.25)
    sys.exit(f"FAIL {name} did not appear on the accessibility bus")


def nodes(root, depth=0):
    """Every accessible below root, without descending into lists (their cells are many)."""
    yield root
    if depth > 20 or root.getRoleName() in ("tree", "table", "tree table", "list"):
        return
    for i in range(root.childCount):
        child = root.getChildAtIndex(i)
        if child is not None:
            yield from nodes(child, depth + 1)


def find(root, role, name):
    return [n for n in nodes(root) if n.getRoleName() == role and n.name == name]


def showing(node):
    return node.getState().contains(pyatspi.STATE_SHOWING)


def wait_showing(root, role, name, seconds=10):
    end = time.time() + seconds
    while time.time() < end:
        if any(showing(n) for n in find(root, role, name)):
            return True
        time.sleep(0.25)
    return False


def press(node):
    action = node.queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    action.doAction(0)
    return names


viewer = application("Tarvell")
window = viewer.getChildAtIndex(0)
check(window.name.endswith("Tarvell - Local"), f"main window named {window.name!r}")

bars = [n for n in nodes(window) if n.getRoleName() == "menu bar"]
check(len(bars) == 1, "the banner's words form one menu bar")
menus = [bars[0].getChildAtIndex(i) for i in range(bars[0].childCount)] if bars else []
check([(m.getRoleName(), m.name) for m in menus] ==
      [("menu item", w) for w in ("File", "Options", "Tools", "Help")],
      "menu items File, Options, Tools, Help: " + repr([(m.getRoleName(), m.name) for m in menus]))

for name in ("Monitor", "Protect", "Alerts"):
    check(any(showing(b) for b in find(window, "push button", name)), f"banner button {name!r}")
check(bool(find(window, "push button", "Service")), "the service state icon is the button 'Service'")
for name in ("Monitor Scanner", "Protection Scanner", "Alerts Scanner", "Tarvell Definitions"):
    check(any(showing(b) for b in find(window, "push button", name)), f"Summary button {name!r}")

# The press action of a banner button switches the page, as a click does: the monitor overview
# shows its links.
monitor = [b for b in find(window, "push button", "Monitor") if showing(b)]
if monitor:
    check(press(monitor[0]) == ["Press"], "a button's one action is Press")
for name in ("View detection monitor", "View prevention monitor"):
    check(wait_showing(window, "link", name), f"monitor overview link {name!r} after pressing Monitor")

gallery = application("tarvell-gallery")
lists = [n for n in nodes(gallery.getChildAtIndex(0)) if n.getRoleName() == "tree"]
check(bool(lists), "the gallery has lists")
if lists:
    table = lists[0].queryTable()
    headers = [table.getColumnHeader(c).name for c in range(table.nColumns)]
    check(headers == ["Device Mac", "Device Port", "Description", "State"], f"column headers {headers}")
    check(table.nRows == 100000, f"{table.nRows} rows")
    cells = [table.getAccessibleAt(r, c).name for r in (0, 99999) for c in range(2)]
    check(cells == ["00A0C9000000", "switch-0 port 1", "00A0C901869F", "switch-15 port 16"],
          f"cells of the first and last rows {cells}")

sys.exit(1 if failures else 0)
