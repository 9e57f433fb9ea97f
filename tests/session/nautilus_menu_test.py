#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The Nautilus module in the real Nautilus under Xvfb, driven like a user: a right-click on a file,
on two selected files and on a folder's background, then Orvane > Move to a folder > Documents;
exactly what was clicked moves. Menu items are found by OCR on screenshots of the open menu.

usage: nautilus_menu_test.py BUILD_DIR MODULE"""

import ctypes
import fcntl
import json
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import orvane_session  # noqa: E402
from orvane_session import Session, wait_for  # noqa: E402

# Shared by every build tree on the machine: the extension folder is.
STATE_DIR = "/var/tmp/orvane-nautilus-module"
LOCK_WAIT = 100
SCREEN = "1280x800x24"
NAUTILUS_CLASS = "org.gnome.Nautilus"
# Small interface text reads far better scaled up; a second preprocessing catches what the first misses.
OCR_VARIANTS = (["-resize", "300%"], ["-resize", "300%", "-colorspace", "Gray", "-threshold", "60%"])
OCR_SCALE = 3
FILE_NAME = re.compile(r"^[a-z]+\.txt$")
STARTED = time.monotonic()


def log(*message):
    print("[%5.1f s]" % (time.monotonic() - STARTED), *message, flush=True)


class Skip(Exception):
    pass


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def die_with_parent():
    # Children must not outlive the test, even when it is killed.
    ctypes.CDLL("libc.so.6", use_errno=True).prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG


def stop(proc, group=False):
    if proc is None or proc.poll() is not None:
        return
    try:
        if group:
            os.killpg(proc.pid, signal.SIGTERM)
        else:
            proc.terminate()
        proc.wait(timeout=5)
    except subprocess.TimeoutExpired:
        if group:
            os.killpg(proc.pid, signal.SIGKILL)
        else:
            proc.kill()
        proc.wait()
    except ProcessLookupError:
        proc.wait()


def copy_atomically(src, dst):
    tmp = "%s.tmp-%d" % (dst, os.getpid())  # no ".so" ending: Nautilus must never load it
    shutil.copy2(src, tmp)
    with open(tmp, "rb") as f:
        os.fsync(f.fileno())
    os.replace(tmp, dst)


class InstalledModule:
    """The module in Nautilus' system extension folder for the test's duration, under a machine-wide
    lock. A journal lets the next run put back what a killed run left installed."""

    def __init__(self, module):
        self.module = module
        self.folder = subprocess.check_output(
            ["pkg-config", "--variable=extensiondir", "libnautilus-extension-4"], text=True).strip()
        check(self.folder, "pkg-config names no Nautilus extension folder")
        self.target = os.path.join(self.folder, os.path.basename(module))
        self.journal = os.path.join(STATE_DIR, "installed.json")
        self.saved = os.path.join(STATE_DIR, "saved-module")
        self.lock = None

    def __enter__(self):
        os.makedirs(STATE_DIR, mode=0o700, exist_ok=True)
        self.lock = open(os.path.join(STATE_DIR, "lock"), "w")
        deadline = time.monotonic() + LOCK_WAIT
        waiting = False
        while True:
            try:
                fcntl.flock(self.lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
                break
            except BlockingIOError:
                if not waiting:
                    log("waiting for another run to leave the Nautilus extension folder")
                    waiting = True
                check(time.monotonic() < deadline,
                      "another run held the Nautilus extension folder for %d s" % LOCK_WAIT)
                time.sleep(0.1)
        try:
            self.restore()
            had_one = os.path.exists(self.target)
            if had_one:
                copy_atomically(self.target, self.saved)
            tmp = self.journal + ".tmp"
            with open(tmp, "w") as f:
                json.dump({"target": self.target, "saved": had_one}, f)
                f.flush()
                os.fsync(f.fileno())
            os.replace(tmp, self.journal)
            copy_atomically(self.module, self.target)
        except BaseException:
            self.__exit__()
            raise
        return self

    def restore(self):
        try:
            with open(self.journal) as f:
                entry = json.load(f)
        except FileNotFoundError:
            return
        if entry["saved"]:
            copy_atomically(self.saved, entry["target"])
        elif os.path.exists(entry["target"]):
            os.remove(entry["target"])
        os.remove(self.journal)
        if os.path.exists(self.saved):
            os.remove(self.saved)

    def __exit__(self, *exc):
        try:
            self.restore()
        finally:
            self.lock.close()


class Display:
    """A private Xvfb; the display this runs under only when there is no Xvfb to start."""

    def __init__(self, options=()):
        self.proc = None
        self.options = list(options)

    def __enter__(self):
        if shutil.which("Xvfb"):
            read_end, write_end = os.pipe()
            self.log = tempfile.TemporaryFile()
            self.proc = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_end), "-screen", "0", SCREEN, "-nolisten", "tcp", "-noreset"] + self.options,
                pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=self.log, preexec_fn=die_with_parent)
            os.close(write_end)
            # Xvfb writes the number and its newline apart, and stops if the pipe closes between them.
            with os.fdopen(read_end, "rb") as numbers:
                ready, _, _ = select.select([numbers], [], [], 30)
                number = numbers.readline().decode().strip() if ready else ""
            if number.isdigit():
                self.name = ":" + number
                return self
            stop(self.proc)
            self.proc = None
            self.log.seek(0)
            print("Xvfb did not start:", self.log.read().decode(errors="replace"))
        if os.environ.get("DISPLAY"):
            self.name = os.environ["DISPLAY"]
            return self
        raise Skip("no X display: Xvfb did not start and DISPLAY is not set")

    def __exit__(self, *exc):
        stop(self.proc)


class Started:
    """A context whose start() is undone by __exit__ also when it fails half-way."""

    def __enter__(self):
        try:
            self.start()
        except BaseException:
            self.__exit__()
            raise
        return self


def start_bus(options, what):
    """A dbus-daemon of its own; answers the process and its address."""
    proc = subprocess.Popen(["dbus-daemon", "--nofork", "--print-address=1"] + options,
                            stdout=subprocess.PIPE, preexec_fn=die_with_parent)
    ready, _, _ = select.select([proc.stdout], [], [], 30)
    address = proc.stdout.readline().decode().strip() if ready else ""
    if not address:
        stop(proc)
    check(address, what + " did not start")
    return proc, address


class Desktop(Started):
    """A private desktop session for Nautilus: HOME with the usual folders, a session bus that knows
    only the build tree's services, the runner as the orvane:// handler, mocked notifications and
    file manager (so no reveal opens a window over the one under test)."""

    def __init__(self, build_dir, display, program="nautilus"):
        # Nautilus does not open folders under /tmp.
        parent = build_dir if not os.path.realpath(build_dir).startswith("/tmp/") else "/var/tmp"
        sessions = os.path.join(parent, "test-" + program)
        # Made under a lock (the module's, or one test per program at a time): any session folder
        # already there is a killed run's.
        shutil.rmtree(sessions, ignore_errors=True)
        os.makedirs(sessions)
        self.root = tempfile.mkdtemp(prefix="session-", dir=sessions)
        self.build_dir = build_dir
        self.display = display
        self.bus = self.session = self.nautilus = None

    def start(self):
        env = orvane_session.private_folders(self.build_dir, self.root)
        self.home = os.path.join(self.root, "home")
        folders = {"DESKTOP": "Desktop", "DOCUMENTS": "Documents", "DOWNLOAD": "Downloads", "MUSIC": "Music",
                   "PICTURES": "Pictures", "PUBLICSHARE": "Public", "TEMPLATES": "Templates", "VIDEOS": "Videos"}
        for name in folders.values():
            os.makedirs(os.path.join(self.home, name))
        with open(os.path.join(env["XDG_CONFIG_HOME"], "user-dirs.dirs"), "w") as f:
            for key, name in folders.items():
                f.write('XDG_%s_DIR="$HOME/%s"\n' % (key, name))
        runtime = os.path.join(self.root, "runtime")
        os.makedirs(runtime, mode=0o700)
        env.update({
            "HOME": self.home,
            "XDG_CACHE_HOME": os.path.join(self.root, "cache"),
            "XDG_RUNTIME_DIR": runtime,
            "DISPLAY": self.display,
            "GDK_BACKEND": "x11",
            "GSK_RENDERER": "cairo",  # Xvfb has no GL worth using
            "GTK_A11Y": "none",
            "NO_AT_BRIDGE": "1",
            "LANG": "C.UTF-8",
            "LC_ALL": "C.UTF-8",
        })
        for name in ("WAYLAND_DISPLAY", "SESSION_MANAGER", "DBUS_SESSION_BUS_ADDRESS", "LANGUAGE"):
            os.environ.pop(name, None)
        os.environ.update(env)

        # The bus starts after the display, so what it activates (the runner) inherits DISPLAY.
        config = os.path.join(self.root, "bus.conf")
        with open(config, "w") as f:
            f.write("""<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:tmpdir=/tmp</listen>
  <auth>EXTERNAL</auth>
  <servicedir>%s</servicedir>
  <policy context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/><allow own="*"/></policy>
</busconfig>
""" % os.path.join(self.root, "share", "dbus-1", "services"))
        self.bus, address = start_bus(["--config-file=" + config], "the session bus")
        os.environ["DBUS_SESSION_BUS_ADDRESS"] = address
        self.session = Session(self.build_dir)

    def start_nautilus(self, folder):
        self.start_file_manager(["nautilus", "--new-window", folder])

    def start_file_manager(self, argv):
        self.log_path = os.path.join(self.root, "file-manager.log")
        log = open(self.log_path, "w")
        self.nautilus = subprocess.Popen(argv, stdout=log, stderr=subprocess.STDOUT,
                                         start_new_session=True, preexec_fn=die_with_parent)
        log.close()

    def nautilus_log(self):
        try:
            with open(self.log_path, errors="replace") as f:
                return f.read()[-3000:]
        except (AttributeError, OSError):
            return ""

    def __exit__(self, *exc):
        stop(self.nautilus, group=True)
        if self.session:
            try:
                self.session.quit_runner()
            except Exception as e:  # the bus going away below ends the runner all the same
                print("the runner did not quit:", e)
            self.session.close()
        stop(self.bus)
        shutil.rmtree(self.root, ignore_errors=True)


class Screen:
    """What a user sees and does: windows, screenshots read by OCR, pointer and keys."""

    def __init__(self, shots_dir, scratch, window_class=NAUTILUS_CLASS):
        self.window_class = window_class
        self.shots_dir = shots_dir
        self.scratch = scratch
        self.variant = 0
        os.makedirs(shots_dir, exist_ok=True)
        out = subprocess.run(["xdotool", "getdisplaygeometry"], capture_output=True, text=True, check=True, timeout=30)
        self.size = tuple(int(v) for v in out.stdout.split())

    def windows(self):
        out = subprocess.run(["xdotool", "search", "--onlyvisible", "--class", self.window_class],
                             capture_output=True, text=True, timeout=30).stdout
        return {int(w) for w in out.split()}

    def window_named(self, title):
        out = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^%s$" % re.escape(title)],
                             capture_output=True, text=True, timeout=30).stdout
        return int(out.split()[0]) if out.split() else None

    def geometry(self, window):
        out = subprocess.run(["xdotool", "getwindowgeometry", "--shell", str(window)],
                             capture_output=True, text=True, timeout=30)
        if out.returncode != 0:
            return None
        values = dict(line.split("=", 1) for line in out.stdout.split() if "=" in line)
        return tuple(int(values[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))

    def grab(self, box):
        x, y, w, h = box
        return subprocess.run(["import", "-silent", "-window", "root", "-crop", "%dx%d+%d+%d" % (w, h, x, y),
                               "+repage", "ppm:-"], capture_output=True, check=True, timeout=30).stdout

    def save(self, name):
        path = os.path.join(self.shots_dir, name + ".png")
        subprocess.run(["import", "-silent", "-window", "root", path], check=True, timeout=30)
        log("screenshot:", path)
        return path

    def wait_to_read(self, target, phrase, shot, read, place, timeout):
        """Waits until TARGET() answers where PHRASE is, and saves SHOT; on failure saves
        SHOT-missing and says what READ() last held, the lines PLACE showed."""
        try:
            point = wait_for(target, timeout=timeout, what=phrase)
        except AssertionError as e:
            self.save(shot + "-missing")
            raise AssertionError("%s: %r not found %s, which read %s" % (e, phrase, place, read()))
        self.save(shot)
        return point

    def words(self, image, box):
        """Word boxes in screen coordinates, grouped into lines: [[(text, x, y, w, h), ...], ...]."""
        variant = OCR_VARIANTS[self.variant % len(OCR_VARIANTS)]
        self.variant += 1
        png = os.path.join(self.scratch, "ocr.png")
        # One thread each: on a busy machine their thread pools only fight over the cores.
        env = dict(os.environ, OMP_THREAD_LIMIT="1", MAGICK_THREAD_LIMIT="1")
        subprocess.run(["convert", "ppm:-"] + variant + [png], input=image, check=True, timeout=30, env=env)
        tsv = subprocess.run(["tesseract", png, "-", "--psm", "11", "tsv"], capture_output=True, text=True,
                             check=True, timeout=60, env=env).stdout
        found = []
        for row in tsv.splitlines()[1:]:
            cols = row.split("\t")
            if len(cols) < 12 or not cols[11].strip() or float(cols[10]) < 0:
                continue
            left, top, width, height = (int(c) / OCR_SCALE for c in cols[6:10])
            found.append((cols[11].strip(), box[0] + left, box[1] + top, width, height))
        # Sparse-text mode numbers every word apart; lines are words whose middles share a height.
        lines = []
        for word in sorted(found, key=lambda w: w[2] + w[4] / 2):
            middle = word[2] + word[4] / 2
            if lines and abs(middle - (lines[-1][0][2] + lines[-1][0][4] / 2)) < max(word[4], lines[-1][0][4]) / 2:
                lines[-1].append(word)
            else:
                lines.append([word])
        return [sorted(line, key=lambda w: w[1]) for line in lines]

    @staticmethod
    def find(lines, phrase):
        """The middle of the words spelling PHRASE on one line, or None."""
        wanted = phrase.split()
        for line in lines:
            texts = [w[0] for w in line]
            for i in range(len(texts) - len(wanted) + 1):
                if texts[i:i + len(wanted)] == wanted:
                    hit = line[i:i + len(wanted)]
                    left, right = hit[0][1], hit[-1][1] + hit[-1][3]
                    top = min(w[2] for w in hit)
                    bottom = max(w[2] + w[4] for w in hit)
                    return (round((left + right) / 2), round((top + bottom) / 2))
        return None

    def click(self, point, button=1, modifier=None, enter=False):
        if enter:
            # After a menu closes, the folder window ignores a press for some 15 s unless the pointer
            # has entered it again since.
            subprocess.run(["xdotool", "mousemove", "--sync", str(self.size[0] - 1), str(self.size[1] - 1)],
                           check=True, timeout=30)
        subprocess.run(["xdotool", "mousemove", "--sync", str(point[0]), str(point[1])], check=True, timeout=30)
        keys = ["keydown", modifier] if modifier else []
        keys += ["click", str(button)]
        keys += ["keyup", modifier] if modifier else []
        subprocess.run(["xdotool"] + keys, check=True, timeout=30)


def listing(path):
    return sorted(os.listdir(path)) if os.path.isdir(path) else None


class Scenario:
    def __init__(self, desktop, screen):
        self.desktop = desktop
        self.screen = screen
        self.work = os.path.join(desktop.home, "work")
        self.documents = os.path.join(desktop.home, "Documents")
        self.window = None

    def view_names(self, expected, timeout=30):
        """Waits until the folder window shows exactly EXPECTED file names; answers where each is."""
        seen = []

        def shown():
            box = self.screen.geometry(self.window)
            if not box:
                return None
            lines = self.screen.words(self.screen.grab(box), box)
            names = {w[0]: (round(w[1] + w[3] / 2), round(w[2] + w[4] / 2))
                     for line in lines for w in line if FILE_NAME.match(w[0])}
            seen[:] = [sorted(names)]
            log("the window shows", sorted(names))
            return names if sorted(names) == sorted(expected) else None
        try:
            return wait_for(shown, timeout=timeout, what="the window to show %s" % expected)
        except AssertionError:
            raise AssertionError("the folder window never showed exactly %s; last read %s" % (expected, seen))

    def open_menu(self, point, step):
        before = self.screen.windows()
        self.screen.click(point, button=3, enter=True)
        popup = wait_for(lambda: next(iter(self.screen.windows() - before), None), timeout=15,
                         what="the context menu of the %s to open" % step)
        return popup

    def choose(self, popup, phrase, shot):
        """Waits until the open menu is still and shows PHRASE, saves a screenshot, clicks it."""
        self.choose_among(lambda: [popup], phrase, shot, closing_fails=True)

    def choose_among(self, menus, phrase, shot, closing_fails=False, timeout=20):
        """Waits until one of the windows MENUS() answers is still and shows PHRASE, saves a
        screenshot and clicks it."""
        state = {"images": {}, "read": []}

        def target():
            for window in menus():
                box = self.screen.geometry(window)
                if not box:
                    check(not closing_fails, "the menu closed before %r could be chosen" % phrase)
                    continue
                image = self.screen.grab(box)
                still = state["images"].get(window) == image
                state["images"][window] = image
                if not still:
                    continue
                lines = self.screen.words(image, box)
                state["read"] = [" ".join(w[0] for w in line) for line in lines]
                point = self.screen.find(lines, phrase)
                if point:
                    return point
            return None
        point = self.screen.wait_to_read(target, phrase, shot, lambda: state["read"], "in the menu", timeout)
        self.screen.click(point)

    def move_with_menu(self, point, step, notifications):
        popup = self.open_menu(point, step)
        self.choose(popup, "Orvane", "nautilus-%s-1-menu" % step)
        self.choose(popup, "Move to a folder", "nautilus-%s-2-orvane" % step)
        self.choose(popup, "Documents", "nautilus-%s-3-move" % step)
        wait_for(lambda: popup not in self.screen.windows(), timeout=10, what="the menu to close")
        log("the %s menu closed" % step)
        # The runner notifies once it has moved everything of one request.
        try:
            wait_for(lambda: len(self.desktop.session.notify_calls()) > notifications, timeout=30,
                     what="the runner")
        except AssertionError:
            raise AssertionError("no move finished after choosing Documents in the %s menu; Documents holds %s"
                                 % (step, listing(self.documents)))
        log("the runner finished the %s menu's move" % step)

    def expect(self, step, documents, work):
        check(listing(self.documents) == sorted(documents),
              "after the %s menu Documents holds %s, expected %s" % (step, listing(self.documents), sorted(documents)))
        check(listing(self.work) == (sorted(work) if work is not None else None),
              "after the %s menu the work folder holds %s, expected %s" % (step, listing(self.work), work))

    def prepare(self, files):
        """The work folder holding the files, and a "Move to a folder" group with Documents."""
        os.makedirs(self.work)
        for name in files:
            with open(os.path.join(self.work, name), "w") as f:
                f.write(name + "\n")
        uid = self.desktop.session.add_action("move-group", self.documents, "Documents")
        check(len(uid) == 32, "the store tool printed no uid")

    def run(self):
        files = ["draft.txt", "letter.txt", "notes.txt", "report.txt"]
        self.prepare(files)

        self.desktop.start_nautilus(self.work)

        def window():
            check(self.desktop.nautilus.poll() is None, "Nautilus exited:\n" + self.desktop.nautilus_log())
            return self.screen.window_named("work")
        self.window = wait_for(window, timeout=60, what="the Nautilus window on the work folder")

        # One file: the file menu acts on the file, not on the folder showing it.
        names = self.view_names(files)
        self.move_with_menu(names["report.txt"], "file", 0)
        self.expect("file", ["report.txt"], ["draft.txt", "letter.txt", "notes.txt"])

        # Two files picked with ctrl-click: both move, the third stays.
        names = self.view_names(["draft.txt", "letter.txt", "notes.txt"])
        self.screen.click(names["letter.txt"], enter=True)
        self.screen.click(names["notes.txt"], modifier="ctrl")
        self.move_with_menu(names["notes.txt"], "selection", 1)
        self.expect("selection", ["letter.txt", "notes.txt", "report.txt"], ["draft.txt"])

        # The background menu acts on the folder itself.
        self.view_names(["draft.txt"])
        x, y, w, h = self.screen.geometry(self.window)
        self.move_with_menu((x + w * 2 // 3, y + h * 3 // 4), "background", 2)
        self.expect("background", ["letter.txt", "notes.txt", "report.txt", "work"], None)
        moved = os.path.join(self.documents, "work")
        check(listing(moved) == ["draft.txt"], "the moved folder holds %s" % listing(moved))


def main():
    build_dir = os.path.abspath(sys.argv[1])
    module = os.path.abspath(sys.argv[2])
    # A kill by the test driver still runs the clean-up below.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    orvane_session.own_session_processes()
    try:
        if not shutil.which("nautilus"):
            raise Skip("Nautilus is not installed")
        for tool in ("xdotool", "import", "convert", "tesseract", "dbus-daemon", "pkg-config"):
            check(shutil.which(tool), "%s is missing (scripts/setup installs it)" % tool)
        check(os.path.exists(module), "the module is not built: " + module)
        shots = os.path.join(build_dir, "test-screenshots")
        with Display() as display, InstalledModule(module), Desktop(build_dir, display.name) as desktop:
            started = time.monotonic()
            screen = Screen(shots, desktop.root)
            try:
                Scenario(desktop, screen).run()
            except BaseException:
                screen.save("nautilus-failure")
                print("Nautilus output:\n" + desktop.nautilus_log())
                raise
            print("nautilus menu test passed in %.1f s; menu screenshots in %s" % (time.monotonic() - started, shots))
    except Skip as e:
        print("skipped:", e)
        sys.exit(77)


if __name__ == "__main__":
    main()
