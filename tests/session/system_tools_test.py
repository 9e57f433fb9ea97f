#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The tool-running kinds from a run request through the real runner on a private session bus:
converting an image, resetting an application's settings, and secure delete with its
confirmation answered in the dialog itself (typed into its field under Xvfb)."""

import os
import shutil
import struct
import subprocess
import sys
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import orvane_session  # noqa: E402
from orvane_session import RUNNER_WINDOW_CLASSNAME, Session, wait_for  # noqa: E402

APP_ID = "app.orvane.SessionTest"
SCHEMA = """<schemalist>
  <schema id="%s" path="/app/orvane/SessionTest/">
    <key name="greeting" type="s"><default>'hello'</default></key>
  </schema>
</schemalist>
""" % APP_ID


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def png_bytes():
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    rows = b"".join(b"\x00" + bytes([200, 30, 30] * 4) for _ in range(3))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 4, 3, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


class Runner:
    def __init__(self, session):
        self.s = session

    def request(self, uid, paths):
        self.s.run_action(uid, paths)

    def texts(self):
        return [str(c[2][4]) for c in self.s.notify_calls()]

    def wait_text(self, count, what):
        wait_for(lambda: len(self.texts()) >= count, timeout=60, what=what)
        return self.texts()[count - 1]


def gsettings(*args):
    return subprocess.run(["gsettings"] + list(args), capture_output=True, text=True).stdout.strip()


def dialog_window():
    """The runner's confirmation dialog on the X screen, if it is up."""
    found = subprocess.run(["xdotool", "search", "--onlyvisible", "--classname", RUNNER_WINDOW_CLASSNAME],
                           capture_output=True, text=True)
    ids = found.stdout.split()
    return ids[-1] if ids else None


def answer_dialog(typed, key, gone):
    """Types into the dialog's field and presses key, as a user would, until gone() holds. The
    field takes the keyboard a moment after the dialog appears, so typing is repeated over a
    cleared field until the answer lands."""
    wait_for(dialog_window, timeout=60, what="the confirmation dialog")
    for _ in range(200):
        if gone():
            return
        # Found again each time: a window seen while an earlier dialog was closing may be gone.
        window = wait_for(dialog_window, timeout=10, what="the confirmation dialog")
        # No window manager here: the keyboard follows the pointer.
        subprocess.call(["xdotool", "mousemove", "--window", window, "40", "40"])
        subprocess.call(["xdotool", "key", "--window", window, "ctrl+a", "BackSpace"])
        subprocess.call(["xdotool", "type", "--window", window, "--delay", "5", typed])
        subprocess.call(["xdotool", "key", "--window", window, key])
        try:
            wait_for(gone, timeout=0.5, what="the answer")
            return
        except AssertionError:
            pass
    raise AssertionError("the dialog did not take the answer")


def main():
    build_dir = os.path.abspath(sys.argv[1])
    if not os.environ.get("DISPLAY") or not shutil.which("xdotool"):
        print("needs a display and xdotool")
        sys.exit(77)
    root = orvane_session.in_private_session(
        build_dir, [os.path.abspath(__file__), build_dir],
        {"GSETTINGS_BACKEND": "keyfile", "GSETTINGS_SCHEMA_DIR": "{root}/schemas"})
    s = Session(build_dir)
    r = Runner(s)
    subprocess.call(["dbus-update-activation-environment", "DISPLAY", "XAUTHORITY"],
                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        work = os.path.join(root, "work")
        os.makedirs(work)

        # Every action is in the store before the runner starts and reads it.
        convert = s.add_action("convert", "jpeg:jpg", "To JPEG")
        reset = s.add_action("resetprefs", "-", "Reset")
        remove = s.add_action("secureremove", "-", "Secure Delete")

        # Convert image: started and finished notifications, the output revealed.
        photo = os.path.join(work, "photo.png")
        with open(photo, "wb") as f:
            f.write(png_bytes())
        r.request(convert, [photo])
        check(r.wait_text(1, "the start notification") == "Started converting 'photo.png'", "start: %r" % r.texts())
        check(r.wait_text(2, "the finish notification") == "Finished converting 'photo.jpg'", "finish: %r" % r.texts())
        with open(os.path.join(work, "photo.jpg"), "rb") as f:
            check(f.read(2) == b"\xff\xd8", "photo.jpg is no JPEG")
        shown = wait_for(lambda: s.file_manager_calls("ShowItems"), what="the reveal")
        check([str(u) for u in shown[-1][2][0]] == ["file://" + os.path.join(work, "photo.jpg")], "revealed %r" % shown)

        # Reset app preferences: a test schema in the session's schema folder.
        schemas = os.path.join(root, "schemas")
        os.makedirs(schemas)
        with open(os.path.join(schemas, APP_ID + ".gschema.xml"), "w") as f:
            f.write(SCHEMA)
        subprocess.check_call(["glib-compile-schemas", schemas])
        apps = os.path.join(os.environ["XDG_DATA_HOME"], "applications")
        os.makedirs(apps, exist_ok=True)
        desktop = os.path.join(apps, APP_ID + ".desktop")
        with open(desktop, "w") as f:
            f.write("[Desktop Entry]\nType=Application\nName=Session Test\nExec=true\n")
        subprocess.check_call(["gsettings", "set", APP_ID, "greeting", "'changed'"])
        r.request(reset, [desktop])
        text = r.wait_text(3, "the reset notification")
        check(text == "Preferences for %s.desktop have been reset." % APP_ID, "reset: %r" % text)
        check(gsettings("get", APP_ID, "greeting") == "'hello'", "the setting was not reset")
        stray = os.path.join(work, "org.gnome.desktop")
        shutil.copy(desktop, stray)
        r.request(reset, [stray])
        text = r.wait_text(4, "the failed reset notification")
        check(text == "Preferences for org.gnome.desktop could not be reset.", "vendor prefix: %r" % text)

        # Secure delete: a wrong word and Escape cancel; DELETE and Return remove.
        tree = os.path.join(work, "tree")
        os.makedirs(os.path.join(tree, "sub"))
        with open(os.path.join(tree, "sub", "secret.txt"), "w") as f:
            f.write("secret")
        keep = os.path.join(work, "keep.txt")
        with open(keep, "w") as f:
            f.write("keep")
        os.symlink(keep, os.path.join(tree, "link"))

        r.request(remove, [tree])
        window = wait_for(dialog_window, timeout=60, what="the confirmation dialog")
        subprocess.call(["xdotool", "mousemove", "--window", window, "40", "40"])
        subprocess.call(["xdotool", "type", "--window", window, "delete"])
        subprocess.call(["xdotool", "key", "--window", window, "Return"])
        check(dialog_window() is not None, "Return closed the dialog with the wrong word")
        answer_dialog("", "Escape", lambda: dialog_window() is None)
        check(os.path.exists(os.path.join(tree, "sub", "secret.txt")), "removed without confirmation")

        r.request(remove, [tree])
        answer_dialog("DELETE", "Return", lambda: not os.path.exists(tree))
        text = r.wait_text(5, "the removal notification")
        check(text == "Successfully removed 'tree' ", "removal: %r" % text)
        check(len(r.texts()) == 5, "the cancelled request notified: %r" % r.texts())
        with open(keep) as f:
            check(f.read() == "keep", "the link's target was touched")

        s.quit_runner()
        print("system tools session test passed")
    finally:
        s.quit_runner()
        s.close()


if __name__ == "__main__":
    main()
