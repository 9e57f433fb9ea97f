#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The status logic on a private session bus: it starts the runner by D-Bus activation and asks it to
quit through its exported action; a runner busy with an action quits only once the action has ended
(and keeps taking requests meanwhile); starting it again keeps it; a forced restart leaves the
extension elected for use, also when the settings application quits in the middle of it."""

import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import orvane_session  # noqa: E402
from orvane_session import Session, wait_for  # noqa: E402

EXTENSION_ID = "app.orvane.Orvane.extension"


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def main():
    build_dir = os.path.abspath(sys.argv[1])
    root = orvane_session.in_private_session(build_dir, [os.path.abspath(__file__), build_dir])
    s = Session(build_dir)
    status_tool = s.tool("orvane-test-status")
    pluginkit = s.tool("orvane-pluginkit")
    if not status_tool or not pluginkit:
        print("orvane-test-status or orvane-pluginkit is not built")
        sys.exit(77)

    def status(*args):
        return subprocess.check_output([status_tool] + list(args), timeout=120).decode()

    def listed():
        return subprocess.check_output([pluginkit, "-m", "-A", "-i", EXTENSION_ID]).decode()

    work = os.path.join(root, "work")
    os.makedirs(work)
    # An action that holds the runner busy until the test releases it through a pipe.
    fifo = os.path.join(work, "release")
    os.mkfifo(fifo)
    held = os.path.join(work, "held.sh")
    with open(held, "w") as f:
        f.write('#!/bin/bash\necho started >> "%s/started"\nread -r _ < "%s"\necho done >> "%s/finished"\n'
                % (work, fifo, work))
    quick = os.path.join(work, "quick.sh")
    with open(quick, "w") as f:
        f.write('#!/bin/bash\necho "$PPID" >> "%s/quick"\n' % work)

    def count(name):
        try:
            with open(os.path.join(work, name)) as f:
                return len(f.read().splitlines())
        except FileNotFoundError:
            return 0

    def request(uid):
        s.run_action(uid, [work])

    def release():
        with open(fifo, "w") as f:
            f.write("go\n")

    try:
        held_uid = s.add_action("shell", held, "Hold")
        quick_uid = s.add_action("shell", quick, "Quick")

        # Started by activation, and an idle runner quits at once when asked.
        status("launch")
        pid = wait_for(s.runner_pid, what="the runner started by activation")
        status("kill")
        wait_for(lambda: s.runner_pid() is None, what="the idle runner to quit")

        # Busy: the quit waits for the running action; a request meanwhile still runs there.
        status("launch")
        pid = wait_for(s.runner_pid, what="the runner started again")
        request(held_uid)
        wait_for(lambda: count("started") == 1, what="the held action to start")
        status("kill")
        request(quick_uid)
        wait_for(lambda: count("quick") == 1, what="a request while quitting")
        check(s.runner_pid() == pid, "the runner quit with an action running")
        release()
        wait_for(lambda: count("finished") == 1, what="the held action to end")
        wait_for(lambda: s.runner_pid() is None, what="the runner to quit after the action")

        # A request starts it again; a quit followed by a start (a restart) keeps it.
        request(held_uid)
        wait_for(lambda: count("started") == 2, what="the runner started by a request")
        pid = s.runner_pid()
        status("launch")  # asks it to quit, and starts it a moment later
        release()
        wait_for(lambda: count("finished") == 2, what="the second held action to end")
        request(quick_uid)
        wait_for(lambda: count("quick") == 2, what="a request after the restart")
        check(s.runner_pid() == pid, "a restart of a busy runner ended it")

        # A forced restart of an ignored extension ends with it in use and the runner up.
        subprocess.check_call([pluginkit, "-e", "ignore", "-i", EXTENSION_ID])
        check(listed().startswith("-"), "the election was not recorded: %r" % listed())
        check(status("force-restart").strip() == "enabled", "the forced restart did not end enabled")
        check(listed().startswith("+"), "after the restart the registry says %r" % listed())
        check(s.runner_pid() is not None, "the runner is not up after the restart")

        # Quitting within the restart's second still leaves the extension in use.
        status("force-restart", "--exit-early")
        check(listed().startswith("+"), "quitting during a restart left %r" % listed())
        print("status session test passed")
    finally:
        s.quit_runner()
        s.close()


if __name__ == "__main__":
    main()
