"""Reads kvbview's main window over AT-SPI, as a screen reader does: every described control is
there with its role and name, and Tab moves the focus through the controls in the described
order. Usage: accessibility_tree.py KVBVIEW DESCRIBE_MAIN_WINDOW ARCHIVE. Runs in a session with
a display and a D-Bus session bus (accessibility_tree.sh makes both); the mouse and the keys are
xdotool's, as a user's reach the window."""

import os
import subprocess
import sys
import time

import pyatspi

# The AT-SPI role of each kind of control as the Qt face draws it.
ROLES = {
    "Button": "push button",
    "CheckBox": "check box",
    "Label": "label",
    "Note": "label",
    "Text": "label",
    "StatusText": "label",
    "Link": "link",
    "ReportList": "tree",
    "InfoList": "list",
    "Edit": "text",
    "BlockSelector": "combo box",
    "ProgressBar": "progress bar",
}
# Their rows and items are the lists' own business, not the window's controls.
CONTAINERS = {"tree", "tree table", "table", "list", "combo box"}


def fail(message):
    print("FAILED: " + message, file=sys.stderr)
    sys.exit(1)


def wait_for(what, probe, seconds=20.0):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        found = probe()
        if found is not None:
            return found
        time.sleep(0.05)
    fail("no " + what + " within %g s" % seconds)


def main_frame(pid):
    desktop = pyatspi.Registry.getDesktop(0)
    for app in desktop:
        if app is None:
            continue
        try:
            if app.get_process_id() != pid:
                continue
            for frame in app:
                if frame is not None and frame.name == "KVB Editor":
                    return frame
        except Exception:  # an application that went away while it was read
            continue
    return None


def controls(root):
    """The accessibles below root, without the lists' rows."""
    found = []
    for child in root:
        if child is None:
            continue
        found.append(child)
        if child.getRoleName() not in CONTAINERS:
            found.extend(controls(child))
    return found


def named(a):
    """What a listener hears a control called: a drop-down list is named by the label it shows,
    and described by what it is for."""
    return a.description if a.getRoleName() == "combo box" else a.name


def focused(frame):
    for a in controls(frame):
        if a.getState().contains(pyatspi.STATE_FOCUSED):
            return a
    return None


def moved(frame, before):
    now = focused(frame)
    return named(now) if now is not None and named(now) != before else None


def main():
    kvbview, describe, archive = sys.argv[1:4]
    described = []
    for line in subprocess.run([describe], check=True, capture_output=True, text=True).stdout.splitlines():
        kind, name, accessible, tab, reached = line.split("\t")
        described.append((kind, name, accessible, int(tab), reached == "1"))

    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
    env.pop("QT_QPA_PLATFORM", None)
    view = subprocess.Popen([kvbview, archive], env=env)
    try:
        frame = wait_for("main window in the accessibility tree", lambda: main_frame(view.pid))
        # The archive is read: its blocks are listed.
        wait_for("archive in the window", lambda: True if any(
            a.getRoleName() == "combo box" and a.childCount > 0 for a in controls(frame)) else None)

        present = [(a.getRoleName(), named(a)) for a in controls(frame)]
        unnamed = [r for r, n in present if r not in ("filler", "label") and not n]
        if unnamed:
            fail("controls without a name: %s; the tree holds %s" % (unnamed, present))
        for kind, name, accessible, _, _ in described:
            if not accessible:  # text that names itself by what it shows
                continue
            if (ROLES[kind], accessible) not in present:
                fail('%s: no %s named "%s"; the tree holds %s' % (name, ROLES[kind], accessible, present))
        print("%d controls named, with their roles" % sum(1 for d in described if d[2]))

        # Focus the window as a click does, then Tab through the controls it reaches twice round.
        order = [d[2] for d in sorted((d for d in described if d[3] >= 0 and d[4]), key=lambda d: d[3])]
        note = next(a for a in controls(frame) if a.getRoleName() == "label" and len(a.name) > 40)
        box = note.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        subprocess.run(["xdotool", "mousemove", str(box.x + box.width // 2), str(box.y + box.height // 2),
                        "click", "1"], check=True)
        wait_for("focus in the window", lambda: focused(frame))
        visited = []
        for _ in range(2 * len(order) + 1):
            before = named(focused(frame))
            subprocess.run(["xdotool", "key", "Tab"], check=True)
            visited.append(wait_for("focus moved by Tab from " + before, lambda: moved(frame, before), 5))
        start = visited.index(order[0])
        cycle = visited[start:start + len(order) + 1]
        if cycle != order + order[:1]:
            fail("Tab visits %s, expected %s" % (cycle, order + order[:1]))
        print("Tab visits the %d controls in order: %s" % (len(order), ", ".join(order)))
    finally:
        view.terminate()
        view.wait(10)


main()
