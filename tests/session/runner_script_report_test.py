#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Scripts through the real runner: a script sees the selection and the clicked folder in its
environment; a failing one is told (even with action notifications off) with its last error lines,
and "Show Output" opens its whole output in the text editor; Stop on a long script ends its process
group, killing what ignores SIGTERM three seconds later."""

import os
import plistlib
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import orvane_session  # noqa: E402
from orvane_session import Session, wait_for  # noqa: E402


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def write(path, content, mode=0o644):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w") as f:
        f.write(content)
    os.chmod(path, mode)


def read(path):
    with open(path, errors="replace") as f:
        return f.read()


def set_preferences(values):
    suite = "app.orvane.Orvane.preferences"
    path = os.path.join(os.environ["XDG_CONFIG_HOME"], suite + ".plist")
    with open(path, "wb") as f:
        plistlib.dump({suite + "." + key: value for key, value in values.items()}, f)


def use_stub_editor(root):
    """Makes a stub the default application for text/plain: it writes down the file it is given."""
    opened = os.path.join(root, "opened.txt")
    stub = os.path.join(root, "bin", "stub-editor")
    write(stub, "#!/bin/sh\nprintf '%%s' \"$1\" > '%s.tmp' && mv '%s.tmp' '%s'\n" % (opened, opened, opened), 0o755)
    apps = os.path.join(os.environ["XDG_DATA_HOME"], "applications")
    write(os.path.join(apps, "orvane-stub-editor.desktop"),
          "[Desktop Entry]\nType=Application\nName=Stub Editor\nExec=%s %%f\nMimeType=text/plain;\n" % stub)
    with open(os.path.join(os.environ["XDG_CONFIG_HOME"], "mimeapps.list"), "a") as f:
        f.write("text/plain=orvane-stub-editor.desktop\n")
    return opened


def process_state(pid):
    """(state, process group) from /proc, or None when the process is gone."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            stat = f.read()
    except OSError:
        return None
    fields = stat[stat.rindex(")") + 2:].split()
    return fields[0], int(fields[2])


def group_alive(group):
    """Whether a process of the group is left (an unreaped zombie is not)."""
    for name in os.listdir("/proc"):
        if name.isdigit():
            state = process_state(int(name))
            if state and state[1] == group and state[0] != "Z":
                return True
    return False


def notify_with_summary(s, summary):
    return [c for c in s.notify_calls() if str(c[2][3]) == summary]


def main():
    build_dir = os.path.abspath(sys.argv[1])
    root = orvane_session.in_private_session(build_dir, [os.path.abspath(__file__), build_dir],
                                             {"GTK_A11Y": "none", "NO_AT_BRIDGE": "1",
                                              "XDG_CACHE_HOME": "{root}/cache"})
    s = Session(build_dir)
    try:
        # Successes are not told with this; failures are all the same.
        set_preferences({"disableActionNotifications": True})
        opened = use_stub_editor(root)
        work = os.path.join(root, "work")
        first = os.path.join(work, "docs", "a b.txt")
        second = os.path.join(work, "docs", "c.txt")
        write(first, "a")
        write(second, "c")

        # (c) The environment, with the folder the request names and without one.
        seen = os.path.join(root, "seen.txt")
        env_script = os.path.join(root, "scripts", "env.sh")
        write(env_script, "{ printf '%%s' \"$ORVANE_SELECTED_FILE_PATHS\"; echo \"[$ORVANE_CURRENT_FOLDER]\"; } > '%s.tmp'\n"
              "mv '%s.tmp' '%s'\n" % (seen, seen, seen))
        failing = os.path.join(root, "scripts", "fail.sh")
        write(failing, "echo 'starting up'\nfor i in 1 2 3 4; do echo \"line $i\" >&2; done\nexit 3\n")
        long_runs = []
        for stubborn in (False, True):
            pid_file = os.path.join(root, "child-%d" % stubborn)
            long_script = os.path.join(root, "scripts", "long-%d.sh" % stubborn)
            termed = pid_file + ".term"
            if stubborn:
                # Notes the SIGTERM and goes on; its short sleeps die of it, the loop does not.
                body = ("trap \"echo > '%s'\" TERM\nsleep 300 &\necho $! > '%s.tmp'\nmv '%s.tmp' '%s'\n"
                        "while :; do sleep 0.2; done\n" % (termed, pid_file, pid_file, pid_file))
            else:
                body = "sleep 300 &\necho $! > '%s.tmp'\nmv '%s.tmp' '%s'\nwait\n" % (pid_file, pid_file, pid_file)
            write(long_script, body)
            title = "Stubborn" if stubborn else "Long"
            long_runs.append((stubborn, pid_file, title, s.add_action("shell", long_script, title)))
        # All in the store before the runner starts: it reads the store again only after a change.
        failing_uid = s.add_action("shell", failing, "Broken")
        uid = s.add_action("shell", env_script, "Show env")
        s.run_action(uid, [first, second], folder=work)
        wait_for(lambda: os.path.exists(seen), timeout=30, what="the environment script")
        check(read(seen) == "%s\n%s\n[%s]\n" % (first, second, work), "environment %r" % read(seen))
        os.remove(seen)
        s.run_action(uid, [second])
        wait_for(lambda: os.path.exists(seen), timeout=30, what="the environment script again")
        check(read(seen) == "%s\n[%s]\n" % (second, os.path.dirname(second)), "environment %r" % read(seen))

        # (a) A failing script.
        s.run_action(failing_uid, [first])
        calls = wait_for(lambda: notify_with_summary(s, "'Broken' failed"), timeout=30, what="the failure notification")
        check(len(calls) == 1, "one failure notification, got %d" % len(calls))
        check(str(calls[0][2][4]) == "line 2\nline 3\nline 4", "body %r" % str(calls[0][2][4]))
        actions = [str(a) for a in calls[0][2][5]]
        labels = dict(zip(actions[1::2], actions[0::2]))
        check("Show Output" in labels, "no Show Output button in %r" % actions)
        index = s.notify_calls().index(calls[0]) + 1  # the daemon numbers notifications from 1
        s.invoke_notification_action(index, labels["Show Output"])
        wait_for(lambda: os.path.exists(opened), timeout=30, what="the editor to open the output")
        output = read(read(opened))
        check(read(opened).startswith(os.path.join(root, "cache", "orvane", "script-output") + "/"),
              "opened %r" % read(opened))
        for part in ("starting up\n", "line 1\n", "line 4\n"):
            check(part in output, "%r not in the output %r" % (part, output))
        check(not [c for c in s.notify_calls() if "Show env" in str(c[2][3]) + str(c[2][4])],
              "a quick success was told")

        # (b) Long scripts, one ignoring SIGTERM, each with a child: Stop leaves nothing behind.
        for stubborn, pid_file, title, uid in long_runs:
            s.run_action(uid, [first])
            wait_for(lambda: os.path.exists(pid_file), timeout=30, what="the long script's child")
            child = int(read(pid_file))
            group = process_state(child)[1]
            runner = s.runner_pid()
            check(group != process_state(runner)[1], "the script shares the runner's process group")
            check(process_state(group) is not None, "the group is not led by the script")
            stopped_at = time.monotonic()
            s.activate_runner_action("stop-run", s.dbus.Int64(group))
            if stubborn:
                wait_for(lambda: os.path.exists(pid_file + ".term"), timeout=15, what="the script to get SIGTERM")
                check(group_alive(group), "a script that outlives SIGTERM was gone before the SIGKILL")
            wait_for(lambda: not group_alive(group), timeout=15, what="the process group to end")
            took = time.monotonic() - stopped_at
            if stubborn:
                check(took >= 2.5, "killed after %.1f s, not three" % took)
            wait_for(lambda: notify_with_summary(s, "'%s' failed" % title), timeout=15,
                     what="the stopped run's notification")
            check(s.runner_pid() == runner, "the runner went with the script")

        s.quit_runner()
        print("runner script report session test passed")
    finally:
        s.quit_runner()
        s.close()


if __name__ == "__main__":
    main()
