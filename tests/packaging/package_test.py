#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The Debian package, built from this build tree and installed into a throw-away root: every file
lands where the desktop looks for it, the installed programs start, and an upgrade and a removal
leave the user's actions and preferences as they were.

usage: package_test.py BUILD_DIR"""

import configparser
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "session"))
import orvane_session  # noqa: E402

PACKAGE = "orvane"
APP_ID = "app.orvane.Orvane"
RUNNER_ID = "app.orvane.Orvanehelper"
EXTENSION_ID = "app.orvane.Orvane.extension"
TOOLS = ("orvane-rm", "orvane-sips", "orvane-defaults", "orvane-pluginkit")
STARTED = time.monotonic()


def log(*message):
    print("[%5.1f s]" % (time.monotonic() - STARTED), *message, flush=True)


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def run(argv, **kwargs):
    result = subprocess.run(argv, capture_output=True, text=True, timeout=120, **kwargs)
    check(result.returncode == 0, "%s failed (%d):\n%s%s" % (" ".join(argv), result.returncode,
                                                             result.stdout[-3000:], result.stderr[-3000:]))
    return result.stdout


def desktop_entry(path):
    parser = configparser.RawConfigParser(strict=False, interpolation=None)
    parser.optionxform = str
    parser.read(path)
    return parser


class Root:
    """A folder standing for /: dpkg's own database in it when we may run dpkg (as root), else the
    package's files unpacked into it."""

    def __init__(self, path):
        self.path = path
        self.dpkg = os.geteuid() == 0
        if self.dpkg:
            admin = os.path.join(path, "var/lib/dpkg")
            for sub in ("info", "updates", "triggers"):
                os.makedirs(os.path.join(admin, sub))
            open(os.path.join(admin, "status"), "w").close()

    def __call__(self, absolute):
        return os.path.join(self.path, absolute.lstrip("/"))

    def install(self, deb):
        if self.dpkg:
            # The libraries are the host's; this root holds only the package.
            run(["dpkg", "--root=" + self.path, "--force-depends", "--force-script-chrootless", "-i", deb])
        else:
            run(["dpkg-deb", "-x", deb, self.path])

    def remove(self, purge):
        check(self.dpkg, "removal needs dpkg")
        run(["dpkg", "--root=" + self.path, "--force-depends", "--force-script-chrootless",
             "--purge" if purge else "--remove", PACKAGE])


def build_package(build_dir, out):
    run(["cpack", "--config", os.path.join(build_dir, "CPackConfig.cmake"), "-B", out])
    debs = [f for f in os.listdir(out) if f.endswith(".deb")]
    check(len(debs) == 1, "cpack made %s" % debs)
    return os.path.join(out, debs[0])


def older_build(deb, scratch):
    """The same package one version back, to upgrade from."""
    tree = os.path.join(scratch, "older")
    run(["dpkg-deb", "-R", deb, tree])
    control = os.path.join(tree, "DEBIAN", "control")
    with open(control) as f:
        fields = f.read()
    version = run(["dpkg-deb", "-f", deb, "Version"]).strip()
    with open(control, "w") as f:
        f.write(fields.replace("Version: %s\n" % version, "Version: %s~older\n" % version))
    older = os.path.join(scratch, "orvane_older.deb")
    run(["dpkg-deb", "--root-owner-group", "-Zxz", "-b", tree, older])
    return older


def check_control(deb):
    log("control:\n" + run(["dpkg-deb", "-f", deb]))
    depends = run(["dpkg-deb", "-f", deb, "Depends"])
    for library in ("libglib2.0-0", "libgtk-4-1", "libadwaita-1-0", "libplist3", "libzip4", "libvips42",
                    "libnautilus-extension4", "shared-mime-info"):
        check(library in depends, "Depends lacks %s: %s" % (library, depends))
    # The user's data is in the home folder; a maintainer script is the one way a package could
    # touch it on upgrade or removal.
    control_files = subprocess.run(["sh", "-c", 'dpkg-deb --ctrl-tarfile "$1" | tar -t', "_", deb],
                                   capture_output=True, text=True, check=True).stdout.split()
    scripts = [m for m in control_files if os.path.basename(m) in ("preinst", "postinst", "prerm", "postrm")]
    check(not scripts, "the package has maintainer scripts: %s" % scripts)
    listing = run(["dpkg-deb", "-c", deb])
    for line in listing.splitlines():
        path = line.split(None, 5)[5]
        # The session's autostart entry can only be in /etc.
        check(path.startswith("./usr/") or path in ("./", "./etc/", "./etc/xdg/", "./etc/xdg/autostart/",
                                                    "./etc/xdg/autostart/app.orvane.Orvane.menu-export.desktop"),
              "a file outside /usr: " + line)
    check("conffiles" in [os.path.basename(m) for m in control_files], "the autostart entry is no conffile")


def check_layout(root):
    def exists(path, executable=False):
        full = root(path)
        check(os.path.isfile(full), "missing: " + path)
        check(not executable or os.access(full, os.X_OK), "not executable: " + path)
        return full

    extension_dir = run(["pkg-config", "--variable=extensiondir", "libnautilus-extension-4"]).strip()
    module = exists(os.path.join(extension_dir, "liborvane-nautilus.so"))
    exported = run(["nm", "-D", "--defined-only", module])
    check("nautilus_module_initialize" in exported, "the module does not export its entry points")

    for program in ("/usr/bin/orvane", "/usr/bin/orvane-menu"):
        exists(program, executable=True)

    # The runner is started by D-Bus activation and as the orvane:// handler; both name one file.
    services = "/usr/share/dbus-1/services/%s.service" % RUNNER_ID
    service = desktop_entry(exists(services))["D-BUS Service"]
    check(service["Name"] == RUNNER_ID, "the service file names %s" % service["Name"])
    runner = service["Exec"].split()[0]
    exists(runner, executable=True)
    runner_entry = desktop_entry(exists("/usr/share/applications/%s.desktop" % RUNNER_ID))["Desktop Entry"]
    check(runner_entry["Exec"].split()[0] == runner, "the runner's desktop file starts %s" % runner_entry["Exec"])
    check("x-scheme-handler/orvane" in runner_entry["MimeType"].split(";"), "the runner does not handle orvane://")
    check(runner_entry.get("DBusActivatable") == "true", "the runner is not D-Bus activatable")
    # The shell names the runner's windows and notifications from this entry; it stays out of the
    # application grid, and takes the activation token of the click that opened it.
    check(runner_entry.get("Name") == "Orvane", "the runner's windows are named %r" % runner_entry.get("Name"))
    check(runner_entry.get("Icon") == APP_ID, "the runner's windows show the icon %r" % runner_entry.get("Icon"))
    check(runner_entry.get("NoDisplay") == "true", "the runner is listed among the applications")
    check(runner_entry.get("StartupNotify") == "true", "the runner is opened without an activation token")
    check(runner_entry.get("StartupWMClass") == RUNNER_ID, "the runner's X11 class is %r" % runner_entry.get("StartupWMClass"))
    # The runner looks for its tools beside itself.
    for tool in TOOLS:
        exists(os.path.join(os.path.dirname(runner), tool), executable=True)

    app = exists("/usr/share/applications/%s.desktop" % APP_ID)
    run(["desktop-file-validate", app, root("/usr/share/applications/%s.desktop" % RUNNER_ID)])
    entry = desktop_entry(app)["Desktop Entry"]
    check(entry["Exec"].split()[0] == "orvane", "the settings application starts %s" % entry["Exec"])
    exists("/usr/share/icons/hicolor/scalable/apps/%s.svg" % entry["Icon"])

    metainfo = exists("/usr/share/metainfo/%s.metainfo.xml" % APP_ID)
    run(["appstreamcli", "validate", "--no-net", metainfo])
    text = open(metainfo).read()
    check("<launchable type=\"desktop-id\">%s.desktop</launchable>" % APP_ID in text, "the metainfo launches no installed desktop file")
    # German, the translation kept complete: its catalogue, and the texts merged into the
    # desktop entries and the metainfo.
    exists("/usr/share/locale/de/LC_MESSAGES/orvane.mo")
    check("Comment[de]" in entry and "Comment[de]" in runner_entry, "the desktop entries are not translated")
    check('<summary xml:lang="de">' in text, "the metainfo is not translated")

    for data in ("DefaultFiles.plist", "BundledDescriptions.plist", "Credits.rtf", "Default Scripts/common.bash",
                 "plugins/%s.plugin" % EXTENSION_ID):
        exists("/usr/share/orvane/" + data)
    for doc in ("copyright", "changelog.gz", "README.md"):
        exists("/usr/share/doc/orvane/" + doc)
    for program in ("orvane", "orvane-menu"):
        exists("/usr/share/man/man1/%s.1.gz" % program)
    autostart = desktop_entry(exists("/etc/xdg/autostart/%s.menu-export.desktop" % APP_ID))["Desktop Entry"]
    check(autostart["Exec"].split()[0] == "orvane-menu", "the autostart entry runs " + autostart["Exec"])
    # Kept after removal (a conffile): without the program it must not be started at all.
    check(autostart.get("TryExec") == "orvane-menu", "the autostart entry has no TryExec=orvane-menu")


class Installed:
    """Runs the installed programs by their installed paths. Where a private mount namespace is
    allowed, the root's /usr is laid over the host's, so the programs find their data and tools
    where they were built to look; elsewhere they run from the root, told its folders."""

    OVERLAY = 'mount -t overlay overlay -o lowerdir="$1/usr":/usr /usr && shift && exec "$@"'

    def __init__(self, root, home):
        self.root = root
        self.env = dict(os.environ)
        self.env.update({
            "HOME": home,
            "XDG_DATA_HOME": os.path.join(home, ".local/share"),
            "XDG_CONFIG_HOME": os.path.join(home, ".config"),
            "GSETTINGS_BACKEND": "memory",
            "LANG": "C.UTF-8",
            **orvane_session.accessibility_env(),
        })
        self.env.pop("ORVANE_TOOLS_DIR", None)
        probe = subprocess.run(self.prefix(["/bin/true"]), capture_output=True, timeout=60)
        self.overlay = probe.returncode == 0
        if not self.overlay:
            log("no private mount namespace here: the installed programs are told where the root is")
            self.env["ORVANE_RESOURCES_DIR"] = root("/usr/share/orvane")
            self.env["ORVANE_LIBEXEC_DIR"] = root("/usr/libexec/orvane")

    def prefix(self, argv):
        return ["unshare", "-m", "--propagation", "private", "sh", "-c", self.OVERLAY, "_", self.root.path] + argv

    def run(self, argv):
        if self.overlay:
            return run(self.prefix(argv), env=self.env)
        return run([self.root(argv[0])] + argv[1:], env=self.env)


def check_programs(installed):
    for program in ["/usr/bin/orvane", "/usr/bin/orvane-menu", "/usr/libexec/orvane/orvane-helper"] + \
            ["/usr/libexec/orvane/" + t for t in TOOLS]:
        out = installed.run([program, "--help"])
        check("sage" in out, "%s --help printed no usage:\n%s" % (program, out))
    # The registry finds the extension's manifest in the installed data folder.
    listed = installed.run(["/usr/libexec/orvane/orvane-pluginkit", "-m", "-v", "-i", EXTENSION_ID])
    check(EXTENSION_ID in listed, "the installed registry does not know the extension: %r" % listed)
    if installed.overlay:
        check("/usr/share/orvane/plugins/%s.plugin" % EXTENSION_ID in listed,
              "the installed registry reads the manifest elsewhere: %r" % listed)


def snapshot_files(home):
    """Every file of the user's, but the doorbells that any program may ring."""
    files = {}
    for base, _, names in os.walk(home):
        for name in names:
            path = os.path.join(base, name)
            if "/wormhole/" not in path:
                with open(path, "rb") as f:
                    files[os.path.relpath(path, home)] = f.read()
    return files


def snapshot(installed, home):
    """The user's files and the menu the installed extension host builds from them."""
    menu = installed.run(["/usr/bin/orvane-menu", "--json", "--kind", "container", home])
    return snapshot_files(home), menu


def main():
    build_dir = os.path.abspath(sys.argv[1])
    orvane_session.own_session_processes()
    for tool in ("cpack", "dpkg-deb", "pkg-config", "nm", "desktop-file-validate", "appstreamcli"):
        if not shutil.which(tool):
            print("skipped: %s is missing (scripts/setup installs it)" % tool)
            sys.exit(77)
    scratch = tempfile.mkdtemp(prefix="orvane-package-")
    try:
        deb = build_package(build_dir, os.path.join(scratch, "out"))
        log("built %s, %d KiB" % (os.path.basename(deb), os.path.getsize(deb) // 1024))
        check_control(deb)
        if shutil.which("lintian"):
            # Errors fail; warnings are shown.
            lint = subprocess.run(["lintian", "--fail-on", "error", deb], capture_output=True, text=True, timeout=120)
            check(lint.returncode == 0, "lintian finds errors:\n" + lint.stdout + lint.stderr)
            log("lintian: no errors\n" + lint.stdout)

        root = Root(os.path.join(scratch, "root"))
        root.install(older_build(deb, scratch))
        check_layout(root)
        home = root("/home/user")
        os.makedirs(os.path.join(home, "Documents"))
        installed = Installed(root, home)
        check_programs(installed)
        log("the layout is right and the installed programs start")

        # The autostart entry runs the watcher for every user: one who never turned an export on
        # gets a program that leaves at once and makes nothing.
        def tree():
            return sorted(os.path.join(base, name) for base, dirs, files in os.walk(home) for name in dirs + files)
        untouched = tree()
        started = time.monotonic()
        installed.run(["/usr/bin/orvane-menu", "--watch"])
        check(time.monotonic() - started < 30, "orvane-menu --watch took %.1f s to leave" % (time.monotonic() - started))
        check(tree() == untouched, "orvane-menu --watch made %s" % sorted(set(tree()) - set(untouched)))
        log("the session watcher leaves a fresh home alone")

        # The user's actions (written by the build tree's store tool, as the settings application
        # writes them) and their election of the extension (by the installed registry).
        store_tool = os.path.join(build_dir, "tests", "session", "orvane-test-store")
        for kind, target, title in (("move-group", os.path.join(home, "Documents"), "Documents"),
                                    ("copy", os.path.join(home, "Documents"), "Copy to Documents"),
                                    ("shell", "/bin/true", "Nothing")):
            run([store_tool, kind, target, title], env=installed.env)
        installed.run(["/usr/libexec/orvane/orvane-pluginkit", "-e", "use", "-i", EXTENSION_ID])
        before = snapshot(installed, home)
        check("Documents" in before[1] and "Copy to Documents" in before[1], "the menu lacks the stored actions:\n" + before[1])
        check(any(p.endswith("Actions.plist") for p in before[0]), "no store was written: %s" % sorted(before[0]))
        check(any("orvane-pluginkit" in p for p in before[0]), "no election was written: %s" % sorted(before[0]))

        root.install(deb)
        check(snapshot(installed, home) == before, "the upgrade changed the user's files or their menu")
        log("upgraded over the older build; the store loads unchanged")
        if root.dpkg:
            root.remove(purge=True)
            check(not os.path.exists(root("/usr/bin/orvane-menu")), "the removal left the programs")
            check(snapshot_files(home) == before[0], "the removal touched the user's files")
            log("removed and purged; the user's files stay")
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    log("package test passed")


if __name__ == "__main__":
    main()
