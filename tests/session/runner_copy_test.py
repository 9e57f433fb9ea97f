#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Copy through the real runner: a run request for a copy action copies every item under a free
name of its own, each announced with a "Finished copying" notification whose "Show" reveals it."""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import orvane_session  # noqa: E402
from orvane_session import Session, wait_for  # noqa: E402


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


def main():
    build_dir = os.path.abspath(sys.argv[1])
    root = orvane_session.in_private_session(build_dir, [os.path.abspath(__file__), build_dir])
    s = Session(build_dir)
    try:
        work = os.path.join(root, "work")
        dest = os.path.join(work, "Dest")
        os.makedirs(dest)
        first = os.path.join(work, "a", "Report.pdf")
        second = os.path.join(work, "b", "Report.pdf")
        write(first, "from a")
        write(second, "from b")
        tree = os.path.join(work, "tree")
        write(os.path.join(tree, ".hidden"), "hidden")
        write(os.path.join(tree, "sub", "data.txt"), "x" * 200000)
        os.symlink("sub/data.txt", os.path.join(tree, "link"))

        uid = s.add_action("copy", dest, "Dest")
        s.run_action(uid, [first, second, tree])

        calls = wait_for(lambda: len(s.notify_calls()) >= 3 and s.notify_calls(), timeout=30,
                         what="three notifications")
        bodies = sorted(str(c[2][4]) for c in calls)
        check(bodies == ["Finished copying Report 2.pdf", "Finished copying Report.pdf", "Finished copying tree"],
              "notification texts %r" % bodies)
        for c in calls:
            check(str(c[2][3]) == "Orvane", "notification title %r" % str(c[2][3]))
            actions = [str(a) for a in c[2][5]]
            check("Show" in actions[1::2], "no Show button in %r" % actions)

        check(read(os.path.join(dest, "Report.pdf")) == "from a", "the first item did not keep its name")
        check(read(os.path.join(dest, "Report 2.pdf")) == "from b", "the second item has no free name of its own")
        check(read(os.path.join(dest, "tree", ".hidden")) == "hidden", "hidden file not copied")
        check(read(os.path.join(dest, "tree", "sub", "data.txt")) == "x" * 200000, "folder content not copied")
        check(os.readlink(os.path.join(dest, "tree", "link")) == "sub/data.txt", "the link was not copied as a link")
        check(sorted(os.listdir(dest)) == ["Report 2.pdf", "Report.pdf", "tree"],
              "unexpected items in the folder: %r" % sorted(os.listdir(dest)))
        check(read(first) == "from a" and os.path.isdir(tree), "a source was changed")

        # Each copy is revealed once done (showFileOnMoveCopyComplete is on by default), and again
        # by "Show" on its notification (the daemon numbers notifications from 1).
        wait_for(lambda: len(s.file_manager_calls("ShowItems")) >= 3, what="the reveals after the copies")
        before = len(s.file_manager_calls("ShowItems"))
        tree_index = [str(c[2][4]) for c in calls].index("Finished copying tree")
        actions = [str(a) for a in calls[tree_index][2][5]]
        labels = dict(zip(actions[1::2], actions[0::2]))
        s.invoke_notification_action(tree_index + 1, labels["Show"])
        shown = wait_for(lambda: s.file_manager_calls("ShowItems")[before:], what="ShowItems after Show")
        check([str(u) for u in shown[-1][2][0]] == ["file://" + os.path.join(dest, "tree")],
              "revealed %r" % (shown[-1][2][0],))

        s.quit_runner()
        print("runner copy session test passed")
    finally:
        s.quit_runner()
        s.close()


if __name__ == "__main__":
    main()
