"""A private desktop session for the runner: XDG folders holding the build-tree desktop and D-Bus
service files, a session bus started with them, a mocked notification daemon and file manager."""

import os
import shutil
import subprocess
import sys
import tempfile
import time

RUNNER_ID = "app.orvane.Orvanehelper"
RUNNER_PATH = "/app/orvane/Orvanehelper"
GROUP = "ORVANE.app.orvane.Orvane"
MOCK_IFACE = "org.freedesktop.DBus.Mock"


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
    }


def in_private_session(build_dir, argv, extra_env=None):
    """Re-runs this script under dbus-run-session with private XDG folders, unless already there.
    extra_env values may name the session's root folder as {root}. Answers the root folder (inside)."""
    if os.environ.get("ORVANE_PRIVATE_SESSION") == "1":
        return os.environ["ORVANE_SESSION_ROOT"]
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

    def add_action(self, kind, target, title):
        out = subprocess.check_output([self.tool("orvane-test-store"), kind, target, title])
        return out.decode().strip()

    def write_request(self, paths):
        import json
        import uuid
        os.makedirs(self.container, exist_ok=True)
        name = str(uuid.uuid4()).upper()
        with open(os.path.join(self.container, name), "w") as f:
            json.dump({"paths": paths}, f, indent=2)
        return name

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
