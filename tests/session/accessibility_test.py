#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The settings window read through the accessibility bus (AT-SPI), as a screen reader reads it:
on every page and in every action's editor, each element a user can act on (buttons, switches,
check boxes, list rows, menu items, fields, combos) has a name. Runs on an Xvfb of its own with a
private session bus and accessibility bus, and ends every process it started."""

import os
import re
import select
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import orvane_session  # noqa: E402
from orvane_session import wait_for  # noqa: E402

SCREEN = "1280x800x24"
# What a user acts on, by the role names of AT-SPI.
INTERACTIVE = {
    "push button", "toggle button", "check box", "radio button", "switch", "list item", "table cell",
    "menu item", "check menu item", "radio menu item", "entry", "password text", "combo box",
    "spin button", "slider", "link", "tree item", "page tab",
}
# A text view is interactive when it can be typed into.
EDITABLE_TEXT = {"text"}
# The title orvane-test-accessible gives the first action last.
RENAMED = "Renamed for screen readers"


def start_display():
    """A private Xvfb, so the accessibility bus it announces is this test's alone."""
    if not shutil.which("Xvfb"):
        print("Xvfb is not installed")
        sys.exit(77)
    read_end, write_end = os.pipe()
    proc = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_end), "-screen", "0", SCREEN, "-nolisten", "tcp", "-noreset"],
        pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    with os.fdopen(read_end, "rb") as numbers:
        ready, _, _ = select.select([numbers], [], [], 30)
        number = numbers.readline().decode().strip() if ready else ""
    if not number.isdigit():
        proc.kill()
        print("Xvfb did not start")
        sys.exit(77)
    return ":" + number


def accessibility_bus():
    out = subprocess.run(
        ["gdbus", "call", "--session", "--dest", "org.a11y.Bus", "--object-path", "/org/a11y/bus",
         "--method", "org.a11y.Bus.GetAddress"], capture_output=True, text=True, timeout=30)
    if out.returncode != 0:
        print("no accessibility bus:", out.stderr.strip())
        sys.exit(77)
    # ('unix:path=...,guid=...',)
    return out.stdout.strip()[2:-3]


def spoken(name):
    """Whether the name is one a person can use: the toolkit gives a widget without one its type's
    name ("GtkMenuButton"), which says nothing to a listener."""
    name = name.strip()
    return bool(name) and not re.fullmatch(r"(Gtk|Adw|Gdk)[A-Z][A-Za-z]*", name)


def unnamed_elements(app, Atspi):
    """(role, path) of every shown interactive element without a name."""
    found = []

    def walk(node, path, depth):
        if depth > 60:
            return
        try:
            count = node.get_child_count()
        except Exception:
            return
        for i in range(count):
            try:
                child = node.get_child_at_index(i)
            except Exception:
                continue
            if child is None:
                continue
            try:
                role = child.get_role_name()
                name = child.get_name() or ""
                states = child.get_state_set()
            except Exception:
                continue
            if not states.contains(Atspi.StateType.VISIBLE):
                continue
            here = path + [(role, name)]
            interactive = role in INTERACTIVE or (role in EDITABLE_TEXT and states.contains(Atspi.StateType.EDITABLE))
            if interactive and not spoken(name):
                found.append((role, " > ".join("%s %r" % (r, n) if n else r for r, n in here[-4:])))
            walk(child, here, depth + 1)

    walk(app, [], 0)
    return found


def named(node, Atspi, role, name, depth=0):
    """Whether an element of the role with the name is below the node."""
    if depth > 60:
        return False
    for i in range(node.get_child_count()):
        child = node.get_child_at_index(i)
        if child is None:
            continue
        if child.get_role_name() == role and child.get_name() == name:
            return True
        if named(child, Atspi, role, name, depth + 1):
            return True
    return False


def find_app(Atspi, pid):
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(i)
        try:
            if app is not None and app.get_process_id() == pid:
                return app
        except Exception:
            continue
    return None


def main():
    build_dir = os.path.abspath(sys.argv[1])
    program = os.path.join(build_dir, "tests", "session", "orvane-test-accessible")
    if not os.access(program, os.X_OK):
        print("orvane-test-accessible is not built")
        sys.exit(77)
    # The bridge is what is under test: on, whatever the caller set.
    os.environ["ORVANE_TEST_ACCESSIBILITY"] = "1"
    for key in orvane_session.QUIET_ACCESSIBILITY:
        os.environ.pop(key, None)
    extra = None
    if os.environ.get("ORVANE_PRIVATE_SESSION") != "1":
        orvane_session.own_session_processes()
        extra = {"DISPLAY": start_display()}
    orvane_session.in_private_session(build_dir, [os.path.abspath(__file__), build_dir], extra)
    os.environ.pop("WAYLAND_DISPLAY", None)
    os.environ["AT_SPI_BUS_ADDRESS"] = accessibility_bus()
    try:
        import gi
        gi.require_version("Atspi", "2.0")
        from gi.repository import Atspi
    except (ImportError, ValueError) as e:
        print("no AT-SPI bindings (gir1.2-atspi-2.0):", e)
        sys.exit(77)

    env = dict(os.environ, GSK_RENDERER="cairo", GDK_BACKEND="x11")
    app = subprocess.Popen([program], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True, env=env)
    failures = []
    pages = 0
    try:
        while True:
            ready, _, _ = select.select([app.stdout], [], [], 60)
            line = app.stdout.readline().strip() if ready else ""
            if line == "done":
                break
            if not line.startswith("shown "):
                raise AssertionError("the window stopped before every page was shown (%r, exit %r)"
                                     % (line, app.poll()))
            page = line[len("shown "):]
            pages += 1
            root = wait_for(lambda: find_app(Atspi, app.pid), timeout=30, what="the window on the accessibility bus")
            for role, path in unnamed_elements(root, Atspi):
                failures.append("%s: a %s without a name (%s)" % (page, role, path))
            if page == "renamed" and not named(root, Atspi, "list item", RENAMED):
                failures.append("renamed: no list item reads the new title %r" % RENAMED)
            app.stdin.write("next\n")
            app.stdin.flush()
        status = app.wait(timeout=30)
        if status != 0:
            raise AssertionError("orvane-test-accessible ended with %d" % status)
    finally:
        if app.poll() is None:
            app.kill()
            app.wait()
    if pages < 10:
        raise AssertionError("only %d pages were shown" % pages)
    if failures:
        print("\n".join(failures))
        raise AssertionError("%d elements are not read out as they should be" % len(failures))
    print("every interactive element of %d pages has a name" % pages)


if __name__ == "__main__":
    main()
