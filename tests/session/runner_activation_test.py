#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The runner on a real session bus: opening an orvane:// URL starts it by D-Bus activation, the
request runs, its notification arrives with a "Show" button, and a click reveals the moved file."""

import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import orvane_session  # noqa: E402
from orvane_session import Session, wait_for  # noqa: E402


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def file_uri(path):
    return "file://" + path


def main():
    build_dir = os.path.abspath(sys.argv[1])
    # "gio": the test writes the request and opens the URL; "menu": orvane-menu --run does both.
    mode = sys.argv[2] if len(sys.argv) > 2 else "gio"
    root = orvane_session.in_private_session(build_dir, [os.path.abspath(__file__), build_dir, mode])
    s = Session(build_dir)
    menu = s.tool("orvane-menu")
    if mode == "menu" and not menu:
        print("orvane-menu is not built")
        sys.exit(77)

    def choose(uid, path):
        if mode == "menu":
            subprocess.check_call([menu, "--run", uid, path], timeout=60)
        else:
            s.run_action(uid, [path])

    try:
        work = os.path.join(root, "work")
        dest = os.path.join(work, "Dest")
        os.makedirs(dest)
        first = os.path.join(work, "first.txt")
        with open(first, "w") as f:
            f.write("one")

        uid = s.add_action("move", dest, "Dest")
        check(len(uid) == 32, "the store tool printed no uid")
        check(s.runner_pid() is None, "the runner runs before any request")

        # Cold: the URL starts the runner through its desktop file's D-Bus activation.
        choose(uid, first)
        wait_for(s.runner_pid, what="D-Bus activation of the runner")
        moved = os.path.join(dest, "first.txt")
        wait_for(lambda: os.path.exists(moved) and not os.path.exists(first), what="the move")
        leftovers = [n for n in os.listdir(s.container) if len(n) == 36]
        check(not leftovers, "request files were not removed: %r" % leftovers)

        calls = wait_for(s.notify_calls, what="the notification")
        args = calls[0][2]
        summary, body, actions = str(args[3]), str(args[4]), [str(a) for a in args[5]]
        check(summary == "Orvane", "notification title %r" % summary)
        check(body == "Finished moving 'first.txt'", "notification text %r" % body)
        labels = dict(zip(actions[1::2], actions[0::2]))
        check("Show" in labels, "no Show button in %r" % actions)
        check("default" in actions[0::2], "no default action in %r" % actions)

        # Revealed at once (showFileOnMoveCopyComplete is on by default), then on every click.
        wait_for(lambda: s.file_manager_calls("ShowItems"), what="the reveal after the move")
        before = len(s.file_manager_calls("ShowItems"))
        s.invoke_notification_action(1, labels["Show"])
        shown = wait_for(lambda: s.file_manager_calls("ShowItems")[before:], what="ShowItems after Show")
        check([str(u) for u in shown[0][2][0]] == [file_uri(moved)], "revealed %r" % (shown[0][2][0],))

        # Warm: a second request reaches the same process.
        pid = s.runner_pid()
        second = os.path.join(work, "second.txt")
        with open(second, "w") as f:
            f.write("two")
        choose(uid, second)
        wait_for(lambda: os.path.exists(os.path.join(dest, "second.txt")), what="the second move")
        check(s.runner_pid() == pid, "a second runner was started")
        wait_for(lambda: len(s.notify_calls()) == 2, what="the second notification")
        wait_for(lambda: len(s.file_manager_calls("ShowItems")) == before + 2, what="the reveal after the second move")
        # A click on the notification itself reveals too (the daemon numbers notifications from 1).
        s.invoke_notification_action(2, "default")
        shown = wait_for(lambda: s.file_manager_calls("ShowItems")[before + 2:], what="ShowItems after a click")
        check([str(u) for u in shown[0][2][0]] == [file_uri(os.path.join(dest, "second.txt"))],
              "revealed %r" % (shown[0][2][0],))

        # A request naming a file outside the container is refused and leaves it alone.
        outside = os.path.join(work, "outside.json")
        with open(outside, "w") as f:
            f.write('{"paths": ["%s"]}' % os.path.join(work, "keep.txt"))
        subprocess.check_call(["gio", "open", s.hostile_request_url(uid, "../../work/outside.json")])
        subprocess.check_call(["gio", "open", s.hostile_request_url(uid, outside)])
        # Any later request is handled after these; once it is done, they were ignored.
        third = os.path.join(work, "third.txt")
        with open(third, "w") as f:
            f.write("three")
        s.run_action(uid, [third])
        wait_for(lambda: os.path.exists(os.path.join(dest, "third.txt")), what="the third move")
        check(os.path.exists(outside), "a file outside the container was removed")

        # The exported quit action ends it.
        s.quit_runner()
        print("runner session test passed")
    finally:
        s.quit_runner()
        s.close()


if __name__ == "__main__":
    main()
