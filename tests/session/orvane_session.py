# SPDX-License-Identifier: GPL-3.0-or-later
"""A private desktop session for the runner: XDG folders holding the build-tree desktop and D-Bus
service files, a session bus started with them, a mocked notification daemon and file manager."""

import atexit
import ctypes
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

RUNNER_ID = "app.orvane.Orvanehelper"
# The runner's windows on X11, for `xdotool search --classname`: their instance name is its id.
RUNNER_WINDOW_CLASSNAME = "^app\\.orvane\\.Orvanehelper$"
RUNNER_PATH = "/app/orvane/Orvanehelper"
GROUP = "ORVANE.app.orvane.Orvane"
MOCK_IFACE = "org.freedesktop.DBus.Mock"


# The accessibility bridge off: a registry daemon the bus starts late would outlive the test and
# keep its output open. A test of accessibility itself sets ORVANE_TEST_ACCESSIBILITY=1.
QUIET_ACCESSIBILITY = {"GTK_A11Y": "none", "NO_AT_BRIDGE": "1"}


def accessibility_env():
    return {} if os.environ.get("ORVANE_TEST_ACCESSIBILITY") == "1" else dict(QUIET_ACCESSIBILITY)


def _process_table():
    """{pid: parent pid} of every process that can be seen."""
    table = {}
    for name in os.listdir("/proc"):
        if not name.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % name, "rb") as f:
                stat = f.read().decode(errors="replace")
        except OSError:
            continue
        # The command name (in parentheses) may hold spaces and parentheses itself.
        fields = stat[stat.rfind(")") + 2:].split()
        if len(fields) >= 2 and fields[0] != "Z":
            table[int(name)] = int(fields[1])
    return table


def descendants(pid=None):
    """The living processes below PID (this process by default)."""
    pid = os.getpid() if pid is None else pid
    table = _process_table()
    children = {}
    for child, parent in table.items():
        children.setdefault(parent, []).append(child)
    found, todo = [], [pid]
    while todo:
        for child in children.get(todo.pop(), []):
            found.append(child)
            todo.append(child)
    return found


def _reap():
    while True:
        try:
            pid, _ = os.waitpid(-1, os.WNOHANG)
        except ChildProcessError:
            return
        if pid == 0:
            return


def end_descendants(grace=5.0):
    """Ends every process below this one: politely, then with SIGKILL after GRACE seconds."""
    for sig, wait in ((signal.SIGTERM, grace), (signal.SIGKILL, 5.0)):
        left = descendants()
        if not left:
            return []
        for pid in left:
            try:
                os.kill(pid, sig)
            except ProcessLookupError:
                pass
        deadline = time.monotonic() + wait
        while time.monotonic() < deadline:
            _reap()
            if not descendants():
                return left
            time.sleep(0.02)
    _reap()
    return descendants()


_owning = False


def own_session_processes():
    """Makes every process this test starts, and every daemon they start in turn, this process's
    to end: orphans are handed to it (a child subreaper) instead of to init, and all of them are
    ended when it exits, also when the test driver ends it with SIGTERM."""
    global _owning
    if _owning:
        return
    _owning = True
    PR_SET_CHILD_SUBREAPER = 36
    ctypes.CDLL("libc.so.6", use_errno=True).prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0)
    os.environ.update(accessibility_env())
    if signal.getsignal(signal.SIGTERM) in (signal.SIG_DFL, None):
        signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))

    def at_exit():
        left = end_descendants()
        if left:
            print("processes that outlived the test were ended:", left, flush=True)
    atexit.register(at_exit)


def private_folders(build_dir, root):
    """Fills ROOT with XDG folders holding the build-tree desktop and D-Bus service files, with the
    runner as the orvane:// handler. Answers the environment variables that select them."""
    share = os.path.join(root, "share")
    xdg = os.path.join(build_dir, "test-xdg")
    for sub in ("applications", "dbus-1/services"):
        src = os.path.join(xdg, sub)
        dst = os.path.join(share, sub)
        os.makedirs(dst, exist_ok=True)
        for name in os.listdir(src):
            shutil.copy(os.path.join(src, name), dst)
    config = os.path.join(root, "config")
    os.makedirs(config)
    with open(os.path.join(config, "mimeapps.list"), "w") as f:
        f.write("[Default Applications]\nx-scheme-handler/orvane=%s.desktop\n" % RUNNER_ID)
    data = os.path.join(root, "data")
    os.makedirs(data)
    return {
        "ORVANE_SESSION_ROOT": root,
        "XDG_DATA_HOME": data,
        "XDG_DATA_DIRS": share + ":/usr/local/share:/usr/share",
        "XDG_CONFIG_HOME": config,
        "GSETTINGS_BACKEND": "memory",
        "GIO_USE_VFS": "local",
        **accessibility_env(),
    }


def in_private_session(build_dir, argv, extra_env=None):
    """Re-runs this script under dbus-run-session with private XDG folders, unless already there.
    extra_env values may name the session's root folder as {root}. Answers the root folder (inside)."""
    if os.environ.get("ORVANE_PRIVATE_SESSION") == "1":
        own_session_processes()
        return os.environ["ORVANE_SESSION_ROOT"]
    own_session_processes()
    helper = os.path.join(build_dir, "runner", "orvane-helper")
    if not os.access(helper, os.X_OK):
        print("orvane-helper is not built:", helper)
        sys.exit(77)
    root = tempfile.mkdtemp(prefix="orvane-session-")
    env = dict(os.environ)
    env.update(private_folders(build_dir, root))
    env["ORVANE_PRIVATE_SESSION"] = "1"
    for key, value in (extra_env or {}).items():
        env[key] = value.replace("{root}", root)
    env.pop("DBUS_SESSION_BUS_ADDRESS", None)
    try:
        status = subprocess.call(["dbus-run-session", "--", sys.executable] + argv, env=env)
        # What the bus started and what the test left running go with the session, before the
        # folders they use.
        end_descendants()
    finally:
        shutil.rmtree(root, ignore_errors=True)
    sys.exit(status)


def wait_for(predicate, timeout=10.0, what="condition"):
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError("timed out waiting for " + what)
        time.sleep(0.005)


class Session:
    def __init__(self, build_dir):
        import dbus
        import dbusmock

        self.build_dir = build_dir
        self.root = os.environ["ORVANE_SESSION_ROOT"]
        self.container = os.path.join(os.environ["XDG_DATA_HOME"], GROUP)
        self.bus = dbus.SessionBus()
        self.dbus = dbus
        quiet = subprocess.DEVNULL
        self.notify_proc, self.notifications = dbusmock.DBusTestCase.spawn_server_template(
            "notification_daemon", {}, stdout=quiet)
        self.fm_proc = dbusmock.DBusTestCase.spawn_server(
            "org.freedesktop.FileManager1", "/org/freedesktop/FileManager1", "org.freedesktop.FileManager1",
            system_bus=False, stdout=quiet)
        self.file_manager = self.bus.get_object("org.freedesktop.FileManager1", "/org/freedesktop/FileManager1")
        for method in ("ShowItems", "ShowFolders"):
            self.file_manager.AddMethod("org.freedesktop.FileManager1", method, "ass", "", "",
                                        dbus_interface=MOCK_IFACE)

    def tool(self, name):
        for sub in ("tests/session", "extension", "runner", "tools"):
            path = os.path.join(self.build_dir, sub, name)
            if os.access(path, os.X_OK):
                return path
        return None

    def add_action(self, kind, target, title, counts=None):
        out = subprocess.check_output([self.tool("orvane-test-store"), kind, target, title]
                                      + ([counts] if counts else []))
        return out.decode().strip()

    def request_url(self, uid, paths, folder=None):
        """Writes the run request of PATHS (clicked in FOLDER, when given) as the extension does and
        returns the URL naming it."""
        os.makedirs(self.container, exist_ok=True)
        folder_args = ["--folder", folder] if folder is not None else []
        out = subprocess.check_output([self.tool("orvane-test-request")] + folder_args + [uid] + list(paths))
        return out.decode().strip()

    def run_action(self, uid, paths, folder=None):
        """Asks the runner to run an action on PATHS, as a menu choice does."""
        subprocess.check_call(["gio", "open", self.request_url(uid, paths, folder)])

    def hostile_request_url(self, uid, file_name):
        """A request URL with FILE_NAME as it stands, unescaped."""
        fmt = subprocess.check_output([self.tool("orvane-test-request"), "--format"]).decode().strip()
        return fmt % (uid, file_name)

    def runner_pid(self):
        try:
            return int(self.bus.call_blocking("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                              "GetConnectionUnixProcessID", "s", [RUNNER_ID]))
        except self.dbus.exceptions.DBusException:
            return None

    def notify_calls(self):
        return [c for c in self.notifications.GetCalls(dbus_interface=MOCK_IFACE) if c[1] == "Notify"]

    def file_manager_calls(self, method):
        return [c for c in self.file_manager.GetCalls(dbus_interface=MOCK_IFACE) if c[1] == method]

    def invoke_notification_action(self, notification_id, key):
        self.notifications.EmitSignal("org.freedesktop.Notifications", "ActionInvoked", "us",
                                      [self.dbus.UInt32(notification_id), key], dbus_interface=MOCK_IFACE)

    def activate_runner_action(self, name, parameter=None):
        params = self.dbus.Array([parameter] if parameter is not None else [], signature="v")
        self.bus.call_blocking(RUNNER_ID, RUNNER_PATH, "org.freedesktop.Application", "ActivateAction", "sava{sv}",
                               [name, params, self.dbus.Dictionary({}, signature="sv")])

    def quit_runner(self):
        if self.runner_pid() is None:
            return
        self.activate_runner_action("quit")
        # A generous cap: the runner first finishes what it still runs, slow on a loaded machine.
        wait_for(lambda: self.runner_pid() is None, timeout=30.0, what="the runner to quit")

    def close(self):
        for proc in (self.notify_proc, self.fm_proc):
            proc.terminate()
            proc.wait()
