#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Replacing through the real runner never loses the source: moving a folder onto the folder that
holds it fails with the error notification and keeps everything, and copying an item onto itself
(named through a link to the destination folder) is skipped, keeping the item as it was."""

import os
import plistlib
import stat
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import orvane_session  # noqa: E402
from orvane_session import Session, wait_for  # noqa: E402

MOVE_ERROR = "An error occurred while moving these files."


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def write(path, content):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w") as f:
        f.write(content)


def read(path):
    with open(path) as f:
        return f.read()


def set_preferences(values):
    suite = "app.orvane.Orvane.preferences"
    path = os.path.join(os.environ["XDG_CONFIG_HOME"], suite + ".plist")
    with open(path, "wb") as f:
        plistlib.dump({suite + "." + key: value for key, value in values.items()}, f)


def run_action(s, uid, paths):
    s.run_action(uid, paths)


def bodies(s):
    return [str(c[2][4]) for c in s.notify_calls()]


def main():
    build_dir = os.path.abspath(sys.argv[1])
    root = orvane_session.in_private_session(build_dir, [os.path.abspath(__file__), build_dir],
                                             {"GTK_A11Y": "none", "NO_AT_BRIDGE": "1"})
    s = Session(build_dir)
    try:
        set_preferences({"overwriteDestinationFile": True})
        top = os.path.join(root, "T")
        write(os.path.join(top, "photos", "photos", "a.jpg"), "a")
        write(os.path.join(top, "photos", "important.txt"), "important")
        write(os.path.join(top, "photos", "more", "b.jpg"), "b")

        move = s.add_action("move", top, "To T")
        copy = s.add_action("copy", top, "Copy to T")

        # The item to be replaced, T/photos, holds the moved folder.
        run_action(s, move, [os.path.join(top, "photos", "photos")])
        wait_for(lambda: len(s.notify_calls()) >= 1, timeout=30, what="the move's notification")
        check(bodies(s) == [MOVE_ERROR], "move notifications %r" % bodies(s))
        check(read(os.path.join(top, "photos", "important.txt")) == "important", "the source's sibling was lost")
        check(read(os.path.join(top, "photos", "more", "b.jpg")) == "b", "the source's sibling folder was lost")
        check(read(os.path.join(top, "photos", "photos", "a.jpg")) == "a", "the source was lost")
        check(sorted(os.listdir(top)) == ["photos"], "unexpected items in T: %r" % sorted(os.listdir(top)))

        # work/link leads to T: work/link/S and work/link/F are T's own items.
        special = os.path.join(top, "S")
        write(special, "set-id")
        os.chmod(special, 0o4755)
        fifo = os.path.join(top, "F")
        os.mkfifo(fifo, 0o600)
        work = os.path.join(root, "work")
        os.makedirs(work)
        os.symlink(top, os.path.join(work, "link"))
        plain = os.path.join(work, "G")
        write(plain, "g")
        run_action(s, copy, [os.path.join(work, "link", "S"), os.path.join(work, "link", "F"), plain])
        wait_for(lambda: len(s.notify_calls()) >= 2, timeout=30, what="the copy's notification")
        check(bodies(s) == [MOVE_ERROR, "Finished copying G"], "copy notifications %r" % bodies(s))
        st = os.lstat(special)
        check(stat.S_IMODE(st.st_mode) == 0o4755 and read(special) == "set-id", "the item was replaced by itself")
        check(stat.S_ISFIFO(os.lstat(fifo).st_mode), "the FIFO was replaced")
        check(sorted(os.listdir(top)) == ["F", "G", "S", "photos"], "unexpected items in T: %r" % sorted(os.listdir(top)))

        s.quit_runner()
        print("runner move and copy session test passed")
    finally:
        s.quit_runner()
        s.close()


if __name__ == "__main__":
    main()
