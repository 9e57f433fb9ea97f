#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The installed package in the real Nautilus: the package built from this tree is laid over /usr in
a private mount namespace, so Nautilus loads the packaged module from its own extension folder and
the session bus starts the packaged runner by its installed service file. The first right-click on a
file in a home where Orvane never ran shows the built-in actions; Orvane > Compress with password, a
password typed into the runner's prompt: the archive beside the file opens with that password in
unzip. Screenshots of the menu and the prompt are saved.

usage: nautilus_package_test.py BUILD_DIR"""

import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, here)
sys.path.insert(0, os.path.join(os.path.dirname(here), "packaging"))
import package_test  # noqa: E402
from nautilus_menu_test import Display, Desktop, Screen, Scenario, Skip, check, log  # noqa: E402
import orvane_session  # noqa: E402
from orvane_session import RUNNER_ID, wait_for  # noqa: E402

PASSWORD = "correct horse 7"
INSIDE = "ORVANE_PACKAGE_OVERLAY"


def session_folder(build_dir, scratch):
    """A stand-in for the build tree as the session helpers read it: the installed desktop and
    service files of the runner, and the build tree's store tool."""
    folder = os.path.join(scratch, "installed")
    for sub, name in (("applications", RUNNER_ID + ".desktop"), ("dbus-1/services", RUNNER_ID + ".service")):
        os.makedirs(os.path.join(folder, "test-xdg", sub))
        shutil.copy(os.path.join("/usr/share", sub, name), os.path.join(folder, "test-xdg", sub))
    os.makedirs(os.path.join(folder, "tests"))
    os.symlink(os.path.join(build_dir, "tests", "session"), os.path.join(folder, "tests", "session"))
    return folder


def runner_windows(desktop):
    pid = desktop.session.runner_pid()
    if not pid:
        return []
    out = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(pid)],
                         capture_output=True, text=True, timeout=30).stdout
    return [int(w) for w in out.split()]


def compress(desktop, screen):
    scenario = Scenario(desktop, screen)
    os.makedirs(scenario.work)
    report = os.path.join(scenario.work, "report.txt")
    with open(report, "w") as f:
        f.write("the quarterly figures\n")
    # No action list yet: the module writes the built-in one for its first menu.
    store = os.path.join(desktop.session.container, "Actions.plist")
    check(not os.path.exists(store), "the fresh home already holds an action list")
    desktop.start_nautilus(scenario.work)

    def window():
        check(desktop.nautilus.poll() is None, "Nautilus exited:\n" + desktop.nautilus_log())
        return screen.window_named("work")
    scenario.window = wait_for(window, timeout=60, what="the Nautilus window on the work folder")
    names = scenario.view_names(["report.txt"])

    popup = scenario.open_menu(names["report.txt"], "file")
    scenario.choose(popup, "Orvane", "package-compress-1-menu")
    catalogue = json.loads(subprocess.check_output([desktop.session.tool("orvane-test-catalogue"), "show"], timeout=30))
    check(len(catalogue) == 19, "the first menu wrote %d built-in actions, not 19" % len(catalogue))
    scenario.choose(popup, "Compress with password", "package-compress-2-orvane")

    prompt = wait_for(lambda: next(iter(runner_windows(desktop)), None), timeout=30,
                      what="the installed runner's password prompt")
    box = wait_for(lambda: screen.geometry(prompt), timeout=10, what="the prompt's geometry")

    def field():
        text = Screen.find(screen.words(screen.grab(box), box), "Enter the password")
        return (box[0] + box[2] // 2, text[1] + 35) if text else None
    # The prompt focuses its field a moment after it shows: a click there makes sure. Without a
    # window manager the keyboard follows the pointer, which stays on the field.
    screen.click(wait_for(field, timeout=20, what="the prompt's text"))
    subprocess.run(["xdotool", "key", "ctrl+a", "BackSpace"], check=True, timeout=30)
    subprocess.run(["xdotool", "type", "--delay", "20", PASSWORD], check=True, timeout=30)
    scenario.choose(prompt, "Continue", "package-compress-3-prompt")

    def archive():
        found = [n for n in os.listdir(scenario.work) if n.endswith(".zip")]
        return os.path.join(scenario.work, found[0]) if found else None
    zipped = wait_for(archive, timeout=60, what="the archive beside the file")
    wait_for(lambda: len(desktop.session.notify_calls()) > 0, timeout=30, what="the runner to finish the archive")
    listing = subprocess.run(["unzip", "-P", PASSWORD, "-t", zipped], capture_output=True, text=True, timeout=60)
    check(listing.returncode == 0, "unzip cannot read the archive with the password:\n" + listing.stdout + listing.stderr)
    content = subprocess.run(["unzip", "-P", PASSWORD, "-p", zipped, "report.txt"], capture_output=True, timeout=60)
    check(content.stdout == b"the quarterly figures\n", "the archive holds %r" % content.stdout)
    wrong = subprocess.run(["unzip", "-P", "wrong", "-t", zipped], capture_output=True, timeout=60)
    check(wrong.returncode != 0, "the archive opens with a wrong password")
    log("the archive %s opens with the password typed into the prompt" % os.path.basename(zipped))


def inside(build_dir, scratch):
    """Runs in the mount namespace where /usr holds the package."""
    extension_dir = subprocess.check_output(
        ["pkg-config", "--variable=extensiondir", "libnautilus-extension-4"], text=True).strip()
    check(os.path.exists(os.path.join(extension_dir, "liborvane-nautilus.so")), "the overlay holds no module")
    folder = session_folder(build_dir, scratch)
    shots = os.path.join(build_dir, "test-screenshots")
    with Display() as display, Desktop(folder, display.name) as desktop:
        screen = Screen(shots, desktop.root)
        try:
            compress(desktop, screen)
        except BaseException:
            screen.save("package-compress-failure")
            print("Nautilus output:\n" + desktop.nautilus_log())
            raise


def main():
    build_dir = os.path.abspath(sys.argv[1])
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    orvane_session.own_session_processes()
    try:
        if os.environ.get(INSIDE):
            inside(build_dir, os.environ[INSIDE])
            return
        if not shutil.which("nautilus"):
            raise Skip("Nautilus is not installed")
        for tool in ("xdotool", "import", "convert", "tesseract", "dbus-daemon", "unzip", "cpack", "unshare"):
            check(shutil.which(tool), "%s is missing (scripts/setup installs it)" % tool)
        # Nautilus does not open folders under /tmp: the session lives in the build tree.
        scratch = tempfile.mkdtemp(prefix="test-nautilus-package-", dir=build_dir)
        try:
            deb = package_test.build_package(build_dir, os.path.join(scratch, "out"))
            root = os.path.join(scratch, "root")
            subprocess.run(["dpkg-deb", "-x", deb, root], check=True, timeout=120)
            probe = subprocess.run(["unshare", "-m", "--propagation", "private", "true"], capture_output=True)
            if probe.returncode != 0:
                raise Skip("no private mount namespace here to lay the package over /usr")
            env = dict(os.environ, **{INSIDE: scratch})
            status = subprocess.call(["unshare", "-m", "--propagation", "private", "sh", "-c",
                                      package_test.Installed.OVERLAY, "_", root, sys.executable, os.path.abspath(__file__),
                                      build_dir], env=env, timeout=300)
            sys.exit(status)
        finally:
            shutil.rmtree(scratch, ignore_errors=True)
    except Skip as e:
        print("skipped:", e)
        sys.exit(77)


if __name__ == "__main__":
    main()
