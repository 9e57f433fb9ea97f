#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The exported Orvane menu in the real Thunar, Nemo or Dolphin under Xvfb, driven like a user: the
menu is exported with orvane-menu --export, a file is right-clicked and Orvane's move action chosen;
the runner moves exactly that file. Menu items are found by OCR, as in the Nautilus test. In Dolphin,
which sorts service menus on its own, the Orvane submenu must also read in the store's order. In
Nemo and Thunar an action only for one item is left out for two selected files and offered for
one.

usage: file_manager_export_test.py BUILD_DIR thunar|nemo|dolphin"""

import os
import shutil
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import nautilus_menu_test as ui  # noqa: E402
from nautilus_menu_test import Skip, check, log, listing  # noqa: E402
import orvane_session  # noqa: E402
from orvane_session import wait_for  # noqa: E402

PROGRAMS = {
    # program: (window class, command, the menu items to choose in turn)
    "thunar": ("Thunar", ["thunar"], ["Orvane", "Move to a folder", "Documents"]),
    # Nemo 5.6 has no submenus: one item "Orvane: Move to a folder: Documents".
    "nemo": ("Nemo", ["nemo"], ["Documents"]),
    # Service menus nest one level: a group's items carry its title.
    "dolphin": ("dolphin", ["dolphin"], ["Orvane", "Move to a folder: Documents"]),
}

# An action only for one item (Nemo: Selection=s).
SINGLE = "Single file only"

# The Orvane submenu in Dolphin, top to bottom, as the store holds it.
DOLPHIN_ORDER = ["Move to a folder: Documents", "Move to a folder: Pictures", "Move to a folder: Desktop",
                 "Copy to Music & Co"]


class Scenario(ui.Scenario):
    def run_with(self, program):
        window_class, command, items = PROGRAMS[program]
        files = ["draft.txt", "notes.txt", "report.txt"]
        self.prepare(files)
        if program == "dolphin":
            # More entries than the move, in an order that neither their titles nor their uids sort to.
            store = self.desktop.session
            for folder in ("Pictures", "Desktop"):
                store.add_action("move-into", os.path.join(self.desktop.home, folder), folder)
            store.add_action("copy", os.path.join(self.desktop.home, "Music"), "Copy to Music & Co")
        if program in ("nemo", "thunar"):
            self.desktop.session.add_action("copy", os.path.join(self.desktop.home, "Music"), SINGLE, "1-1")
        menu = self.desktop.session.tool("orvane-menu")
        exported = subprocess.run([menu, "--export", program], capture_output=True, text=True, timeout=60)
        check(exported.returncode == 0, "orvane-menu --export %s failed: %s" % (program, exported.stderr))

        self.desktop.start_file_manager(command + [self.work])

        def window():
            if self.desktop.nautilus.poll() is not None and program == "dolphin":
                # Before its window opens nothing of Orvane has run: Dolphin itself cannot start here
                # (it refuses sudo, for one).
                raise Skip("dolphin exited before its window opened:\n%s" % self.desktop.nautilus_log())
            check(self.desktop.nautilus.poll() is None, "%s exited:\n%s" % (program, self.desktop.nautilus_log()))
            return next(iter(self.screen.windows()), None)
        self.window = wait_for(window, timeout=60, what="the %s window on the work folder" % program)

        names = self.view_names(files)
        if program in ("nemo", "thunar"):
            self.expect_left_out_for_two(program, names)
        before = self.screen.windows()
        self.screen.click(names["report.txt"], button=3, enter=True)
        if program == "dolphin" and self.first_of(lambda: sorted(self.screen.windows() - before),
                                                  ["Orvane", "Actions"]) == "Actions":
            # With more than three service menus installed, Dolphin gathers them under "Actions".
            items = ["Actions"] + items
        # GTK 3 and Qt open each submenu as a window of its own.
        if program == "nemo":
            check(self.first_of(lambda: sorted(self.screen.windows() - before), [SINGLE]) == SINGLE,
                  "the action for one item is offered for one file")
        for step, phrase in enumerate(items, 1):
            if program == "thunar" and step == 2:
                check(self.first_of(lambda: sorted(self.screen.windows() - before), [SINGLE]) == SINGLE,
                      "the action for one item is offered for one file")
            if program == "dolphin" and step == len(items):
                self.expect_order(lambda: sorted(self.screen.windows() - before), DOLPHIN_ORDER, program)
            self.choose_among(lambda: sorted(self.screen.windows() - before), phrase, "%s-%d" % (program, step),
                              timeout=30)
        try:
            wait_for(lambda: len(self.desktop.session.notify_calls()) > 0, timeout=30, what="the runner")
        except AssertionError:
            raise AssertionError("no move finished after choosing Documents in %s; Documents holds %s"
                                 % (program, listing(self.documents)))
        self.expect(program, ["report.txt"], ["draft.txt", "notes.txt"])

    def expect_left_out_for_two(self, program, names):
        """With two files selected, the menu holds the move but not the action for one item."""
        self.screen.click(names["draft.txt"], enter=True)
        self.screen.click(names["notes.txt"], modifier="ctrl")
        before = self.screen.windows()
        self.screen.click(names["notes.txt"], button=3)
        if program == "thunar":
            # Thunar keeps its custom actions in the Orvane submenu.
            self.choose_among(lambda: sorted(self.screen.windows() - before), "Orvane", "thunar-two-selected-menu",
                              timeout=30)
        images = {}

        def menu_lines():
            for window in sorted(self.screen.windows() - before):
                box = self.screen.geometry(window)
                if not box:
                    continue
                image = self.screen.grab(box)
                still = images.get(window) == image
                images[window] = image
                if not still:
                    continue
                lines = self.screen.words(image, box)
                if self.screen.find(lines, "Move to a folder" if program == "thunar" else "Documents"):
                    return lines
            return None
        lines = wait_for(menu_lines, timeout=30, what="the menu of two selected files")
        self.screen.save(program + "-two-selected")
        check(not self.screen.find(lines, SINGLE), "%s offers the action for one item to two files" % program)
        for _ in range(2 if program == "thunar" else 1):
            subprocess.run(["xdotool", "key", "Escape"], check=True, timeout=30)
        wait_for(lambda: not (self.screen.windows() - before), timeout=15, what="the menu to close")
        log("%s leaves the action for one item out for two files" % program)

    def first_of(self, menus, phrases, timeout=30):
        """The first of PHRASES that one of the still windows MENUS() shows."""
        images = {}

        def shown():
            for window in menus():
                box = self.screen.geometry(window)
                if not box:
                    continue
                image = self.screen.grab(box)
                still = images.get(window) == image
                images[window] = image
                if not still:
                    continue
                lines = self.screen.words(image, box)
                for phrase in phrases:
                    if self.screen.find(lines, phrase):
                        return phrase
            return None
        return wait_for(shown, timeout=timeout, what="one of %s in the menu" % phrases)

    def expect_order(self, menus, phrases, program, timeout=30):
        """Waits until one of the still windows MENUS() shows all PHRASES and checks that they stand
        top to bottom in that order."""
        state = {"images": {}, "read": []}

        def places():
            for window in menus():
                box = self.screen.geometry(window)
                if not box:
                    continue
                image = self.screen.grab(box)
                still = state["images"].get(window) == image
                state["images"][window] = image
                if not still:
                    continue
                lines = self.screen.words(image, box)
                state["read"] = [" ".join(w[0] for w in line) for line in lines]
                found = [self.screen.find(lines, phrase) for phrase in phrases]
                if all(found):
                    return found
            return None
        try:
            found = wait_for(places, timeout=timeout, what="the Orvane submenu")
        except AssertionError as e:
            self.screen.save(program + "-order-missing")
            raise AssertionError("%s: not all of %s in the menu, which read %s" % (e, phrases, state["read"]))
        self.screen.save(program + "-order")
        shown = [phrase for _, phrase in sorted(zip((y for _, y in found), phrases))]
        check(shown == phrases, "%s shows the Orvane submenu as %s, the store holds %s" % (program, shown, phrases))
        log("%s shows the Orvane submenu in the store's order" % program)


def main():
    build_dir = os.path.abspath(sys.argv[1])
    program = sys.argv[2]
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    orvane_session.own_session_processes()
    try:
        if not shutil.which(program):
            raise Skip("%s is not installed" % program)
        for tool in ("xdotool", "import", "convert", "tesseract", "dbus-daemon"):
            check(shutil.which(tool), "%s is missing (scripts/setup installs it)" % tool)
        shots = os.path.join(build_dir, "test-screenshots")
        with ui.Display() as display, ui.Desktop(build_dir, display.name, program) as desktop:
            started = time.monotonic()
            screen = ui.Screen(shots, desktop.root, window_class=PROGRAMS[program][0])
            try:
                Scenario(desktop, screen).run_with(program)
            except BaseException:
                screen.save(program + "-failure")
                print("%s output:\n%s" % (program, desktop.nautilus_log()))
                raise
            log("%s export test passed in %.1f s; screenshots in %s" % (program, time.monotonic() - started, shots))
    except Skip as e:
        print("skipped:", e)
        sys.exit(77)


if __name__ == "__main__":
    main()
