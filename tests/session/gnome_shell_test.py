#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Orvane in a real GNOME Shell: the shell runs nested (Wayland) in a window of a private Xvfb, with
logind mocked on a private system bus. The settings window opens under the name "Orvane"; a
right-click on a file in Files (with the built module), Orvane > Compress with password, and the
runner's prompt comes up focused under the name "Orvane" with Orvane's icon; the typed password
makes the archive; the shell shows the notification "Finished compressing…" from "Orvane". A script
chosen in the menu of the folder's background fails: the shell tells it with its last error lines.

The shell's own state (read through its Eval method, which --unsafe-mode opens) tells which window
has the focus and what the top bar and the notifications show; the top bar is also read back from
the screen by OCR, and menus are found on it by OCR. Screenshots go to build/test-screenshots/.

usage: gnome_shell_test.py BUILD_DIR MODULE"""

import json
import os
import shutil
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import orvane_session  # noqa: E402
from orvane_session import RUNNER_ID, wait_for  # noqa: E402
from nautilus_menu_test import (Desktop, Display, InstalledModule, Screen, Skip, Started, check,  # noqa: E402
                                die_with_parent, log, start_bus, stop)

APP_ID = "app.orvane.Orvane"
NAUTILUS_ID = "org.gnome.Nautilus"
STAGE = (1024, 768)
META_NORMAL = 0  # Meta.WindowType.NORMAL
STILL_FOR_S = 1.0
PASSWORD = "quiet meadow 42"
SHOT_PREFIX = "gnome-shell-"

# Everything asked of the shell is one expression; its value comes back as JSON.
FOCUS_JS = """(() => {
    const Shell = imports.gi.Shell;
    const Main = imports.ui.main;
    const w = global.display.focus_window;
    if (!w)
        return null;
    const app = Shell.WindowTracker.get_default().get_window_app(w);
    const r = w.get_frame_rect();
    const button = Main.panel.statusArea.appMenu;
    const icon = app ? app.get_icon() : null;
    return {title: w.get_title(), wmClass: w.get_wm_class(), pid: w.get_pid(),
            app: app ? app.get_id() : null, name: app ? app.get_name() : null,
            icon: icon ? icon.to_string() : null,
            topBar: button && button.visible ? button._label.get_text() : null,
            rect: [r.x, r.y, r.width, r.height]};
})()"""

WINDOWS_JS = """global.get_window_actors().map(a => a.meta_window).map(w => {
    const r = w.get_frame_rect();
    return {title: w.get_title(), wmClass: w.get_wm_class(), type: w.get_window_type(), pid: w.get_pid(),
            rect: [r.x, r.y, r.width, r.height]};
})"""

NOTIFICATIONS_JS = """(() => {
    const Main = imports.ui.main;
    const MessageTray = imports.ui.messageTray;
    const tray = Main.messageTray;
    const iconOf = s => {
        try {
            const icon = s._app ? s._app.get_icon() : s.getIcon();
            return icon ? icon.to_string() : null;
        } catch (e) {
            return null; // a source whose icon is drawn some other way
        }
    };
    const sources = tray.getSources().map(s => {
        return {title: s.title, app: s._appId || null, icon: iconOf(s),
                notifications: s.notifications.map(n => ({title: n.title, body: n.bannerBodyText}))};
    });
    const bin = tray._bannerBin;
    const [x, y] = bin.get_transformed_position();
    const [width, height] = bin.get_transformed_size();
    return {sources, bannerShown: tray._notificationState === MessageTray.State.SHOWN,
            banner: [Math.round(x), Math.round(y), Math.round(width), Math.round(height)]};
})()"""

# The shell starts in the overview, once its start-up animation is over: leave it for the desktop.
READY_JS = """(() => {
    const Main = imports.ui.main;
    if (Main.layoutManager._startingUp || Main.overview.animationInProgress)
        return false;
    if (Main.overview.visible) {
        Main.overview.hide();
        return false;
    }
    return true;
})()"""

# The shell's own notices (a session of root, no screen lock) would queue before the runner's.
CLEAR_TRAY_JS = """(() => {
    const Main = imports.ui.main;
    const MessageTray = imports.ui.messageTray;
    Main.messageTray.getSources().forEach(s => s.destroy());
    return Main.messageTray._notificationState === MessageTray.State.HIDDEN;
})()"""


# Every startup sequence the shell knows from now on (one per activation token handed out), with
# when it began and when a window took it (the shell ends an untaken one by itself after 15 s),
# and when each window was made.
WATCH_ACTIVATIONS_JS = """(() => {
    const {GLib, Shell} = imports.gi;
    const now = () => GLib.get_monotonic_time() / 1000;
    globalThis.orvaneSequences = {};
    globalThis.orvaneWindows = [];
    if (!globalThis.orvaneWatching) {
        globalThis.orvaneWatching = true;
        Shell.WindowTracker.get_default().connect('startup-sequence-changed', (tracker, sequence) => {
            const id = sequence.get_id();
            const entry = globalThis.orvaneSequences[id] || {began: now(), taken: null};
            if (sequence.get_completed() && entry.taken === null)
                entry.taken = now();
            globalThis.orvaneSequences[id] = entry;
        });
        global.display.connect('window-created', (display, window) => {
            globalThis.orvaneWindows.push({window, made: now()});
        });
    }
    return true;
})()"""
ACTIVATIONS_JS = """(() => {
    const wmClass = window => {
        try {
            return window.get_wm_class();
        } catch (e) {
            return null; // a window gone since
        }
    };
    return {sequences: Object.values(globalThis.orvaneSequences),
            windows: globalThis.orvaneWindows.map(e => ({wmClass: wmClass(e.window), made: e.made}))};
})()"""
# Well inside the 15 s after which the shell ends an untaken token by itself.
TOKEN_TAKEN_WITHIN_S = 10


class Shell(Started):
    """A nested GNOME Shell on the session bus of DESKTOP, with logind mocked on a private system bus."""

    def __init__(self, desktop, log_dir):
        self.desktop = desktop
        self.log_path = os.path.join(log_dir, "gnome-shell.log")
        self.system_bus = self.logind = self.proc = None
        self.wayland_display = "orvane-shell-%d" % os.getpid()

    def start(self):
        import dbus
        self.system_bus, address = start_bus(["--session"], "the stand-in system bus")
        os.environ["DBUS_SYSTEM_BUS_ADDRESS"] = address
        self.logind = subprocess.Popen([sys.executable, "-m", "dbusmock", "--system", "--template", "logind"],
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, preexec_fn=die_with_parent)
        system = dbus.bus.BusConnection(address)
        wait_for(lambda: system.name_has_owner("org.freedesktop.login1"), timeout=30, what="the mocked logind")

        env = dict(os.environ, MUTTER_DEBUG_DUMMY_MODE_SPECS="%dx%d" % STAGE)
        with open(self.log_path, "w") as log_file:
            self.proc = subprocess.Popen(
                ["gnome-shell", "--nested", "--wayland", "--wayland-display=" + self.wayland_display, "--unsafe-mode"],
                env=env, stdout=log_file, stderr=subprocess.STDOUT, start_new_session=True, preexec_fn=die_with_parent)
        bus = self.desktop.session.bus

        def up():
            if self.proc.poll() is not None:
                raise Skip("GNOME Shell exited at start (status %s):\n%s" % (self.proc.returncode, self.output()))
            if not bus.name_has_owner("org.gnome.Shell"):
                return False
            # The name comes before the object that answers on it.
            self.shell = bus.get_object("org.gnome.Shell", "/org/gnome/Shell")
            try:
                return self.shell.Eval("true", dbus_interface="org.gnome.Shell", timeout=30)
            except dbus.exceptions.DBusException:
                return False
        try:
            ok, _ = wait_for(up, timeout=90, what="GNOME Shell on the session bus")
        except AssertionError:
            raise Skip("GNOME Shell did not start within 90 s:\n" + self.output())
        check(ok, "GNOME Shell started but does not evaluate scripts (--unsafe-mode)")
        wait_for(lambda: self.eval(READY_JS), timeout=60, what="the shell's desktop without the overview")
        wait_for(lambda: self.eval(CLEAR_TRAY_JS), timeout=30, what="the shell's own notices to go")

        # Programs started here and by the bus draw in the nested shell.
        os.environ.update({"WAYLAND_DISPLAY": self.wayland_display, "GDK_BACKEND": "wayland"})
        subprocess.run(["dbus-update-activation-environment", "WAYLAND_DISPLAY=" + self.wayland_display,
                        "GDK_BACKEND=wayland"], check=True, timeout=30)

    def eval(self, script):
        ok, result = self.shell.Eval(script, dbus_interface="org.gnome.Shell", timeout=30)
        check(ok, "the shell could not evaluate %s: %s" % (script[:60], result))
        return json.loads(str(result)) if str(result) else None

    def focus(self):
        return self.eval(FOCUS_JS)

    def windows(self):
        return self.eval(WINDOWS_JS)

    def notifications(self):
        return self.eval(NOTIFICATIONS_JS)

    def output(self):
        try:
            with open(self.log_path, errors="replace") as f:
                return f.read()[-3000:]
        except OSError:
            return ""

    def __exit__(self, *exc):
        stop(self.proc, group=True)
        stop(self.logind)
        stop(self.system_bus)
        os.environ.pop("DBUS_SYSTEM_BUS_ADDRESS", None)


class ShellScreen(Screen):
    def save(self, name):
        """A screenshot of the shell's screen (the Xvfb around it is larger)."""
        path = os.path.join(self.shots_dir, name + ".png")
        subprocess.run(["import", "-silent", "-window", "root", "-crop", "%dx%d+0+0" % STAGE, "+repage", path],
                       check=True, timeout=30)
        log("screenshot:", path)
        return path


def add_settings_application(desktop, build_dir, source_dir):
    """The settings application's desktop file and icon where the shell looks for them, as installed."""
    share = os.path.join(desktop.root, "share")
    with open(os.path.join(source_dir, "packaging", APP_ID + ".desktop")) as f:
        entry = f.read()
    entry = entry.replace("Exec=orvane", "Exec=" + os.path.join(build_dir, "settings", "orvane"))
    with open(os.path.join(share, "applications", APP_ID + ".desktop"), "w") as f:
        f.write(entry)
    icons = os.path.join(share, "icons", "hicolor", "scalable", "apps")
    os.makedirs(icons)
    shutil.copy(os.path.join(source_dir, "resources", "images", "icon-orvane.svg"), os.path.join(icons, APP_ID + ".svg"))


class Scenario:
    def __init__(self, desktop, shell, screen, build_dir):
        self.desktop = desktop
        self.shell = shell
        self.screen = screen
        self.build_dir = build_dir
        self.work = os.path.join(desktop.home, "work")
        self.procs = []

    def start(self, argv, name):
        log_path = os.path.join(self.desktop.root, name + ".log")
        with open(log_path, "w") as f:
            proc = subprocess.Popen(argv, stdout=f, stderr=subprocess.STDOUT, start_new_session=True,
                                    preexec_fn=die_with_parent)
        self.procs.append(proc)
        return proc

    def focused(self, what, test, timeout=30):
        seen = []

        def match():
            focus = self.shell.focus()
            seen[:] = [focus]
            return focus if focus and test(focus) else None
        try:
            return wait_for(match, timeout=timeout, what=what)
        except AssertionError:
            raise AssertionError("%s never had the focus; the shell's focus: %s" % (what, seen))

    def top_bar_reads(self, name):
        """The top bar's application menu, read back from the screen."""
        box = (0, 0, STAGE[0] // 2, 32)

        def read():
            lines = self.screen.words(self.screen.grab(box), box)
            return Screen.find(lines, name)
        return wait_for(read, timeout=20, what="the top bar to read %r" % name)

    def expect_identity(self, focus, app_id, what):
        check(focus["app"] == app_id + ".desktop",
              "the shell ties %s to %r, not to %s.desktop (window class %r)" % (what, focus["app"], app_id, focus["wmClass"]))
        check(focus["name"] == "Orvane", "the shell names %s %r" % (what, focus["name"]))
        check(focus["icon"] == APP_ID, "the shell shows the icon %r for %s" % (focus["icon"], what))
        check(focus["topBar"] == "Orvane", "the top bar reads %r for %s" % (focus["topBar"], what))

    def find_on_screen(self, phrase, box, shot, timeout=20):
        """Waits until BOX (or what BOX() answers) has stayed the same for a while and shows PHRASE;
        saves a screenshot; answers the phrase's middle. Menus of Files grow after they open (an
        item comes late), so a picture that held still for one look is not enough."""
        state = {"seen": None, "since": 0.0, "read": []}

        def look():
            where = box() if callable(box) else box
            return (where, self.screen.grab(where)) if where else None

        def target():
            seen = look()
            if not seen:
                return None
            if seen != state["seen"]:
                state["seen"], state["since"] = seen, time.monotonic()
                return None
            if time.monotonic() - state["since"] < STILL_FOR_S:
                return None
            where, image = seen
            lines = self.screen.words(image, where)
            state["read"] = [" ".join(w[0] for w in line) for line in lines]
            point = Screen.find(lines, phrase)
            # Still the same after reading it: the point is where the phrase is now.
            return point if point and look() == seen else None
        return self.screen.wait_to_read(target, phrase, shot, lambda: state["read"], "on the screen", timeout)

    def settings_window(self):
        proc = self.start([os.path.join(self.build_dir, "settings", "orvane")], "orvane")
        focus = self.focused("the settings window", lambda f: f["wmClass"] == APP_ID and f["topBar"])
        self.expect_identity(focus, APP_ID, "the settings window")
        self.top_bar_reads("Orvane")
        self.screen.save(SHOT_PREFIX + "1-settings")
        log("the settings window is focused and named %r in the top bar" % focus["topBar"])
        stop(proc, group=True)
        wait_for(lambda: not any(w["wmClass"] == APP_ID for w in self.shell.windows()), timeout=20,
                 what="the settings window to close")

    def files_menu_box(self):
        """Where the context menu of Files is (a pop-up window of Files), if it is open."""
        pid = self.files_window["pid"]
        popups = [w for w in self.shell.windows() if w["pid"] == pid and w["type"] != META_NORMAL]
        return tuple(popups[0]["rect"]) if popups else None

    def compress_from_files(self):
        os.makedirs(self.work)
        report = os.path.join(self.work, "report.txt")
        with open(report, "w") as f:
            f.write("the quarterly figures\n")
        self.desktop.session.add_action("compress", "-", "Compress with password")
        # A script that fails, run later; in the store before the runner reads it.
        failing = os.path.join(self.desktop.root, "scripts", "tidy.sh")
        os.makedirs(os.path.dirname(failing), exist_ok=True)
        with open(failing, "w") as f:
            f.write("echo 'looking at Downloads'\nfor n in 1 2 3 4; do echo \"tidy: step $n went wrong\" >&2; done\nexit 2\n")
        self.desktop.session.add_action("shell", failing, "Tidy downloads")
        self.desktop.start_nautilus(self.work)

        def nautilus(f):
            check(self.desktop.nautilus.poll() is None, "Nautilus exited:\n" + self.desktop.nautilus_log())
            return f["wmClass"] == NAUTILUS_ID and f["title"] == "work"
        window = self.focused("the Files window on the work folder", nautilus, timeout=60)
        self.files_window = window
        box = tuple(window["rect"])
        file_point = self.find_on_screen("report.txt", box, SHOT_PREFIX + "2-files", timeout=30)

        self.shell.eval(WATCH_ACTIVATIONS_JS)
        self.screen.click(file_point, button=3)

        self.screen.click(self.find_on_screen("Orvane", self.files_menu_box, SHOT_PREFIX + "3-menu"))
        self.screen.click(self.find_on_screen("Compress with password", self.files_menu_box, SHOT_PREFIX + "4-orvane-menu"))

        # The runner's prompt comes up in front with the focus, under Orvane's name and icon.
        def runner_prompt(f):
            return f["wmClass"] == RUNNER_ID and f["pid"] == self.desktop.session.runner_pid()
        prompt = self.focused("the runner's password prompt", runner_prompt)
        self.expect_identity(prompt, RUNNER_ID, "the runner's prompt")
        self.top_bar_reads("Orvane")
        log("the runner's prompt is focused and named %r in the top bar" % prompt["topBar"])

        # Files asked the shell for an activation token when it opened the runner (before any window
        # of the runner was made), and the prompt took it: the focus came by the shell's rule for a
        # user's click. A token the runner asks for itself carries no click and is made later.
        def token_taken():
            activations = self.shell.eval(ACTIVATIONS_JS)
            state["activations"] = activations
            made = [w["made"] for w in activations["windows"] if w["wmClass"] == RUNNER_ID]
            return made and [q for q in activations["sequences"]
                             if q["began"] < min(made) and q["taken"] is not None and q["taken"] >= min(made)]
        state = {}
        try:
            taken = wait_for(token_taken, timeout=TOKEN_TAKEN_WITHIN_S, what="the prompt to take the token of the click")
        except AssertionError:
            raise AssertionError("the runner's prompt took no activation token from Files: %s" % state.get("activations"))
        log("the prompt took the activation token of the click, made %d ms before"
            % (taken[0]["taken"] - taken[0]["began"]))

        box = tuple(prompt["rect"])
        self.find_on_screen("Enter the password", box, SHOT_PREFIX + "5-prompt")
        # The prompt has the focus, and its field has it once the prompt is up: typing goes there.
        subprocess.run(["xdotool", "type", "--delay", "30", PASSWORD], check=True, timeout=60)
        self.screen.save(SHOT_PREFIX + "6-prompt-typed")
        subprocess.run(["xdotool", "key", "Return"], check=True, timeout=30)

        def archive():
            found = [n for n in os.listdir(self.work) if n.endswith(".zip")]
            return os.path.join(self.work, found[0]) if found else None
        zipped = wait_for(archive, timeout=60, what="the archive beside the file")

        # The shell shows the runner's notification from "Orvane", with Orvane's icon.
        state = {}

        def shown():
            tray = self.shell.notifications()
            state["tray"] = tray
            for source in tray["sources"]:
                for n in source["notifications"]:
                    if n["body"].startswith("Finished compressing") and tray["bannerShown"]:
                        return source, n, tray["banner"]
            return None
        try:
            source, notification, banner = wait_for(shown, timeout=60, what="the notification in the shell")
        except AssertionError:
            raise AssertionError("the shell showed no \"Finished compressing\" notification: %s" % state.get("tray"))
        check(source["app"] == RUNNER_ID, "the notification comes from %r" % source["app"])
        check(source["title"] == "Orvane", "the shell names the notification's sender %r" % source["title"])
        check(source["icon"] == APP_ID, "the notification carries the icon %r" % source["icon"])
        check(notification["body"] == "Finished compressing '%s'" % os.path.basename(zipped),
              "the notification reads %r" % notification["body"])
        self.screen.save(SHOT_PREFIX + "7-notification")
        log("the shell shows %r from %r" % (notification["body"], source["title"]))

        listing = subprocess.run(["unzip", "-P", PASSWORD, "-p", zipped, "report.txt"], capture_output=True, timeout=60)
        check(listing.returncode == 0 and listing.stdout == b"the quarterly figures\n",
              "the archive does not open with the typed password: %r %r" % (listing.stdout, listing.stderr))
        wrong = subprocess.run(["unzip", "-P", "wrong", "-t", zipped], capture_output=True, timeout=60)
        check(wrong.returncode != 0, "the archive opens with a wrong password")
        log("the archive opens with the typed password")

    def script_failure(self):
        """A failing script, chosen in the menu of the folder's background in Files, is told by the shell,
        from Orvane, with its last three error lines."""
        x, y, width, height = self.files_window["rect"]
        # The empty lower right of the folder, away from its two files.
        self.screen.click((x + width * 3 // 4, y + height * 3 // 4), button=3, enter=True)
        self.screen.click(self.find_on_screen("Orvane", self.files_menu_box, SHOT_PREFIX + "8-background-menu"))
        self.screen.click(self.find_on_screen("Tidy downloads", self.files_menu_box, SHOT_PREFIX + "8-script-menu"))
        state = {}

        def shown():
            tray = self.shell.notifications()
            state["tray"] = tray
            for source in tray["sources"]:
                for n in source["notifications"]:
                    if n["title"] == "'Tidy downloads' failed" and tray["bannerShown"]:
                        return source, n
            return None
        try:
            source, notification = wait_for(shown, timeout=60, what="the script's failure in the shell")
        except AssertionError:
            raise AssertionError("the shell showed no failure notification: %s" % state.get("tray"))
        check(source["title"] == "Orvane", "the failure comes from %r" % source["title"])
        lines = ["tidy: step %d went wrong" % n for n in (2, 3, 4)]
        # The banner may run the lines together; each is there, in order.
        body = notification["body"]
        at = [body.find(line) for line in lines]
        check(-1 not in at and at == sorted(at), "the failure reads %r" % body)
        self.screen.save(SHOT_PREFIX + "9-script-failed")
        log("the shell shows %r: %r" % (notification["title"], body))

    def run(self):
        self.settings_window()
        self.compress_from_files()
        self.script_failure()

    def close(self):
        for proc in self.procs:
            stop(proc, group=True)


def main():
    build_dir = os.path.abspath(sys.argv[1])
    module = os.path.abspath(sys.argv[2])
    source_dir = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    orvane_session.own_session_processes()
    try:
        if not shutil.which("gnome-shell"):
            raise Skip("GNOME Shell is not installed (scripts/setup installs it)")
        if not shutil.which("nautilus"):
            raise Skip("Nautilus is not installed")
        for tool in ("Xvfb", "xdotool", "import", "convert", "tesseract", "dbus-daemon", "unzip",
                     "dbus-update-activation-environment"):
            check(shutil.which(tool), "%s is missing (scripts/setup installs it)" % tool)
        for program in (module, os.path.join(build_dir, "settings", "orvane")):
            check(os.path.exists(program), "not built: " + program)
        shots = os.path.join(build_dir, "test-screenshots")
        # Only this run's pictures are listed at the end.
        if os.path.isdir(shots):
            for name in os.listdir(shots):
                if name.startswith(SHOT_PREFIX):
                    os.remove(os.path.join(shots, name))
        # The shell draws with GL: the Xvfb needs its GLX extension.
        with Display(["+extension", "GLX"]) as display, InstalledModule(module), \
                Desktop(build_dir, display.name) as desktop:
            # The shell shows the notifications itself.
            desktop.session.notify_proc.terminate()
            desktop.session.notify_proc.wait()
            add_settings_application(desktop, build_dir, source_dir)
            with Shell(desktop, desktop.root) as shell:
                screen = ShellScreen(shots, desktop.root)
                scenario = Scenario(desktop, shell, screen, build_dir)
                started = time.monotonic()
                try:
                    scenario.run()
                except BaseException:
                    screen.save(SHOT_PREFIX + "failure")
                    print("windows in the shell:", shell.windows())
                    print("GNOME Shell output:\n" + shell.output())
                    print("Nautilus output:\n" + desktop.nautilus_log())
                    raise
                finally:
                    scenario.close()
                saved = sorted(n for n in os.listdir(shots) if n.startswith(SHOT_PREFIX))
                print("GNOME Shell test passed in %.1f s; screenshots in %s:" % (time.monotonic() - started, shots))
                for name in saved:
                    print("  " + name)
    except Skip as e:
        print("skipped:", e)
        sys.exit(77)


if __name__ == "__main__":
    main()
