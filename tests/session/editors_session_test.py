#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Entries made in the settings window run from the menu: a new "Move to a folder" entry with a folder
added in its editor, and a new shell script typed into the script editor, both chosen with
orvane-menu --run and carried out by the runner."""

import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import orvane_session  # noqa: E402
from orvane_session import Session, wait_for  # noqa: E402


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def main():
    build_dir = os.path.abspath(sys.argv[1])
    if not os.environ.get("DISPLAY") and not os.environ.get("WAYLAND_DISPLAY"):
        print("no display")
        sys.exit(77)
    root = orvane_session.in_private_session(build_dir, [os.path.abspath(__file__), build_dir])
    s = Session(build_dir)
    menu = s.tool("orvane-menu")
    maker = s.tool("orvane-test-editors")
    if not menu or not maker:
        print("orvane-menu or orvane-test-editors is not built")
        sys.exit(77)
    try:
        work = os.path.join(root, "work")
        dest = os.path.join(work, "Archive folder")
        os.makedirs(dest)
        script = 'for p in "$@"; do cp "$p" "$p.marked"; done\n'
        made = subprocess.run([maker, dest, script], capture_output=True, text=True, timeout=60)
        if made.returncode == 77:
            print("no display for the settings window")
            sys.exit(77)
        check(made.returncode == 0, "making the entries failed: %s" % made.stderr)
        uids = dict(line.split() for line in made.stdout.splitlines())
        check(set(uids) == {"move", "shell"}, "printed %r" % made.stdout)

        scripts = os.path.join(s.container, "scripts")
        written = os.listdir(scripts)
        check(len(written) == 1, "scripts written: %r" % written)
        with open(os.path.join(scripts, written[0])) as f:
            check(f.read() == script, "the script file holds something else")

        report = os.path.join(work, "report 1.txt")
        with open(report, "w") as f:
            f.write("one")
        subprocess.check_call([menu, "--run", uids["shell"], report], timeout=60)
        wait_for(lambda: os.path.exists(report + ".marked"), what="the script run")

        subprocess.check_call([menu, "--run", uids["move"], report], timeout=60)
        moved = os.path.join(dest, "report 1.txt")
        wait_for(lambda: os.path.exists(moved) and not os.path.exists(report), what="the move")
        with open(moved) as f:
            check(f.read() == "one", "the moved file changed")
        s.quit_runner()
    finally:
        s.close()
    print("ok")


if __name__ == "__main__":
    main()
