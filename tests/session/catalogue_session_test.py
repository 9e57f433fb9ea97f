#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Every entry of a first run does its job when chosen from the menu: the catalogue is written as the
settings application writes it, each entry is run with orvane-menu --run, and the runner carries it
out. Terminals, editors, the clipboard, the settings tool and the mail client are stand-ins on the
runner's PATH that note how they were called; the user's folders have names of their own.

Each entry has one check. The runner has no display here, so the two entries that ask first (secure
delete, compress with password) are checked up to their prompt, which counts as declined; their work
is checked in their own tests with the prompt answered."""

import json
import os
import re
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import orvane_session  # noqa: E402
from orvane_session import Session, wait_for  # noqa: E402

STAND_INS = ["gnome-terminal", "vim", "emacs", "emacsclient", "wl-copy", "gsettings", "tilix", "xdg-email"]
COMPLETE = re.compile(r"Action complete: <(\w+): \S+ title=(.*?)> (\d) - (.*)")


def check(condition, message):
    if not condition:
        raise AssertionError(message)


class Catalogue:
    def __init__(self, s, root):
        self.s = s
        self.root = root
        self.home = os.path.join(root, "home")
        self.work = os.path.join(root, "work")
        self.bin = os.path.join(root, "bin")
        self.record = os.path.join(root, "record")
        self.log = os.path.join(root, "runner.log")
        self.folders = {}
        self.declined = 0
        self.runner = None

    # --- the private desktop ------------------------------------------------------------------

    def prepare(self):
        config = os.environ["XDG_CONFIG_HOME"]
        # The user's folders, named as in a German session: the entries are titled by them.
        lines = []
        for key, name in (("DOCUMENTS", "Dokumente"), ("PICTURES", "Bilder"), ("DESKTOP", "Schreibtisch")):
            path = os.path.join(self.home, name)
            os.makedirs(path)
            self.folders[name] = path
            lines.append('XDG_%s_DIR="%s"\n' % (key, path))
        with open(os.path.join(config, "user-dirs.dirs"), "w") as f:
            f.writelines(lines)
        os.makedirs(self.work)
        os.makedirs(self.bin)
        for name in STAND_INS:
            body = '#!/bin/bash\nline=${0##*/}\nfor a in "$@"; do line+=" $a"; done\n'
            if name == "wl-copy":
                body += "IFS= read -r -d '' input\ninput=${input//$'\\n'/|}\nline+=\" <<$input>>\"\n"
            if name == "gsettings":
                body += '[ "$1" = writable ] && { echo true; exit 0; }\n'
            body += 'printf "%%s\\n" "$line" >> "%s"\n' % self.record
            path = os.path.join(self.bin, name)
            with open(path, "w") as f:
                f.write(body)
            os.chmod(path, 0o755)
        # The default mail client is the stand-in.
        apps = os.path.join(os.environ["XDG_DATA_HOME"], "applications")
        os.makedirs(apps, exist_ok=True)
        with open(os.path.join(apps, "orvane-test-mail.desktop"), "w") as f:
            f.write("[Desktop Entry]\nType=Application\nName=Mail\nExec=%s %%u\n"
                    "MimeType=x-scheme-handler/mailto;\n" % os.path.join(self.bin, "xdg-email"))
        with open(os.path.join(config, "mimeapps.list"), "a") as f:
            f.write("x-scheme-handler/mailto=orvane-test-mail.desktop\n")

    def first_run(self):
        out = subprocess.check_output([self.s.tool("orvane-test-catalogue"), "first-run"])
        return json.loads(out)

    def enable(self, names):
        subprocess.check_call([self.s.tool("orvane-test-catalogue"), "enable"] + names, stdout=subprocess.DEVNULL)

    def start_runner(self):
        env = dict(os.environ)
        env.update({"PATH": self.bin, "WAYLAND_DISPLAY": "wayland-orvane-test"})
        env.pop("DISPLAY", None)
        helper = os.path.join(self.s.build_dir, "runner", "orvane-helper")
        self.runner_log = open(self.log, "w")
        self.runner = subprocess.Popen([helper, "--gapplication-service"], env=env, stderr=self.runner_log,
                                       stdout=subprocess.DEVNULL)
        wait_for(lambda: self.s.runner_pid() == self.runner.pid, what="the runner on the bus")

    # --- choosing and observing ---------------------------------------------------------------

    def menu(self, *args):
        return subprocess.check_output([self.s.tool("orvane-menu")] + list(args), timeout=60).decode()

    def choose(self, name, path):
        self.menu("--run", name, path)

    def recorded(self):
        try:
            with open(self.record) as f:
                return f.read().splitlines()
        except FileNotFoundError:
            return []

    def completions(self):
        with open(self.log, errors="replace") as f:
            return [m.groups() for m in COMPLETE.finditer(f.read())]

    def file(self, name, content="content"):
        path = os.path.join(self.work, name)
        with open(path, "w") as f:
            f.write(content)
        return path

    def folder(self, name):
        path = os.path.join(self.work, name)
        os.makedirs(path, exist_ok=True)
        return path


# --- checks: each takes the catalogue and the chosen path, and waits for the entry's effect ---------

def completes(kind, title, success):
    def wait(c, path):
        wait_for(lambda: any(k == kind and t == title and s == success for k, t, s, _ in c.completions()),
                 what="%s %r to complete" % (kind, title))
    return wait


def new_file(name, template):
    def run(c, path):
        made = os.path.join(path, name)
        wait_for(lambda: os.path.exists(made), what=name)
        source = os.path.join(c.s.build_dir, "resources", "share-orvane", "Default Templates", template)
        with open(made, "rb") as a, open(source, "rb") as b:
            check(a.read() == b.read(), "%s is not a copy of its template" % name)
        check(os.stat(made).st_mode & 0o111 == os.stat(source).st_mode & 0o111, "%s lost its mode" % name)
    return run


def moved_into(folder):
    def run(c, path):
        target = os.path.join(c.folders[folder], os.path.basename(path))
        wait_for(lambda: os.path.exists(target) and not os.path.exists(path), what="the move into " + folder)
    return run


def shown_folder(folder):
    def run(c, path):
        uri = "file://" + c.folders[folder]
        wait_for(lambda: any([str(u) for u in call[2][0]] == [uri] for call in c.s.file_manager_calls("ShowFolders")),
                 what="a window at " + folder)
    return run


def recorded(line):
    def run(c, path):
        expected = line.replace("$P", path).replace("$F", os.path.dirname(path))
        wait_for(lambda: expected in c.recorded(), what="%r among %r" % (expected, c.recorded()))
    return run


def copied_into(folder):
    def run(c, path):
        target = os.path.join(c.folders[folder], os.path.basename(path))
        wait_for(lambda: os.path.exists(target), what="the copy into " + folder)
        check(os.path.exists(path), "the copy of %s removed its source" % path)
    return run


# Without a display the runner's prompts count as closed: the entry asks and then does nothing.
def declined_prompt():
    def run(c, path):
        seen = c.declined
        wait_for(lambda: len(re.findall(r"Action was cancelled\? 1", open(c.log, errors="replace").read())) > seen,
                 what="the prompt of the entry for " + path)
        c.declined += 1
        check(os.path.exists(path), "%s went away although its prompt was declined" % path)
    return run


def write_png(path):
    """A valid 2x2 RGB picture, so that the conversions have something to convert."""
    import struct
    import zlib

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    rows = b"".join(b"\x00" + b"\xff\x00\x00" * 2 for _ in range(2))
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 2, 2, 8, 2, 0, 0, 0))
                + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def main():
    build_dir = os.path.abspath(sys.argv[1])
    root = orvane_session.in_private_session(build_dir, [os.path.abspath(__file__), build_dir])
    s = Session(build_dir)
    for tool in ("orvane-test-catalogue", "orvane-menu"):
        if not s.tool(tool):
            print(tool, "is not built")
            sys.exit(77)
    c = Catalogue(s, root)
    try:
        c.prepare()
        store = c.first_run()
        check([e["title"] for e in store][:5] == ["Create new file", "Move to a folder", "Copy to a folder",
                                                  "Open new window", "Open With"], "first entries %r" % store)
        check(len(store) == 19, "a first run holds %d entries" % len(store))
        check(store[4]["children"] == [], "Open With has children")
        check([e["title"] for e in store[1]["children"]] == ["Dokumente", "Bilder", "Schreibtisch"],
              "the folder entries are %r" % store[1]["children"])

        # Right after the first run, the menu of a text file offers the enabled entries that fit.
        text = c.file("menu.txt")
        menu = json.loads(c.menu("--json", text))
        check([i["title"] for i in menu[0]["submenu"]] ==
              ["Create new file", "Move to a folder", "Copy to a folder", "Open new window",
               "Compress with password", "Send via Email", "Copy paths to clipboard", "Edit with Vim"],
              "the menu of a text file: %r" % [i["title"] for i in menu[0]["submenu"]])

        # The entries that start disabled, switched on as the user would.
        c.enable(["Create new file/Python Script", "Create new file/HTML File", "Secure Delete",
                  "New Terminal Tab Here", "Show hidden files", "Hide hidden files",
                  "Edit with Emacs", "New Tab Here in Another Terminal", "New Window Here in Another Terminal"])
        c.start_runner()

        png = c.file("picture.png")
        write_png(png)
        app = c.file("app.desktop", "[Desktop Entry]\nType=Application\nName=App\nExec=true\n")
        entries = [
            ("Create new file/Text File", c.folder("t1"), new_file("Untitled.txt", "Untitled.txt")),
            ("Create new file/Markdown File", c.folder("t2"), new_file("Untitled.md", "Untitled.md")),
            ("Create new file/Document", c.folder("t3"), new_file("Untitled.odt", "Untitled.odt")),
            ("Create new file/Shell Script", c.folder("t4"), new_file("script.sh", "script.sh")),
            ("Create new file/Python Script", c.folder("t5"), new_file("script.py", "script.py")),
            ("Create new file/HTML File", c.folder("t6"), new_file("index.html", "index.html")),
            ("Move to a folder/Dokumente", c.file("m1.txt"), moved_into("Dokumente")),
            ("Move to a folder/Bilder", c.file("m2.txt"), moved_into("Bilder")),
            ("Move to a folder/Schreibtisch", c.file("m3.txt"), moved_into("Schreibtisch")),
            ("Copy to a folder/Dokumente", c.file("c1.txt"), copied_into("Dokumente")),
            ("Copy to a folder/Bilder", c.file("c2.txt"), copied_into("Bilder")),
            ("Copy to a folder/Schreibtisch", c.file("c3.txt"), copied_into("Schreibtisch")),
            ("Open new window/Dokumente", text, shown_folder("Dokumente")),
            ("Open new window/Bilder", text, shown_folder("Bilder")),
            ("Open new window/Schreibtisch", text, shown_folder("Schreibtisch")),
            ("Secure Delete", c.file("secret.txt"), declined_prompt()),
            ("Compress with password", text, declined_prompt()),
            ("Send via Email", text, recorded("xdg-email --attach $P")),
            ("Convert Image/JPEG", png, completes("OVConvertImageAction", "JPEG", "1")),
            ("Convert Image/GIF", png, completes("OVConvertImageAction", "GIF", "1")),
            ("Convert Image/PNG", png, completes("OVConvertImageAction", "PNG", "1")),
            ("Convert Image/TIFF", png, completes("OVConvertImageAction", "TIFF", "1")),
            ("Reset App Preferences", app, completes("OVResetAppPreferencesAction", "Reset App Preferences", "0")),
            ("Copy paths to clipboard", text, recorded("wl-copy <<$P>>")),
            ("New Terminal Tab Here", c.folder("tab"), recorded("gnome-terminal --tab --working-directory=$P")),
            ("New Terminal Window Here", c.folder("win"), recorded("gnome-terminal --window --working-directory=$P")),
            ("Edit with Vim", text, recorded("gnome-terminal -- vim -- $P")),
            ("Show hidden files", text,
             recorded("gsettings set org.gtk.gtk4.Settings.FileChooser show-hidden true")),
            ("Hide hidden files", text,
             recorded("gsettings set org.gtk.gtk4.Settings.FileChooser show-hidden false")),
            ("Edit with Emacs", text, recorded("emacsclient --create-frame --no-wait --alternate-editor=emacs $P")),
            ("New Tab Here in Another Terminal", c.folder("itab"),
             recorded("tilix --action=app-new-session --working-directory=$P")),
            ("New Window Here in Another Terminal", c.folder("iwin"),
             recorded("tilix --action=app-new-window --working-directory=$P")),
        ]
        for name, path, effect in entries:
            c.choose(name, path)
            effect(c, path)

        # Every run was taken and completed, or declined at its prompt: one ending per choice.
        wanted = len(entries) - c.declined
        wait_for(lambda: len(c.completions()) >= wanted, what="a completion for each of %d runs" % wanted)
        check(len(c.completions()) == wanted, "more completions than runs:\n%s"
              % "\n".join(map(str, c.completions())))
        print("catalogue session test passed (%d choices, %d declined at their prompt)" % (len(entries), c.declined))
    finally:
        s.quit_runner()
        if c.runner:
            c.runner.wait(timeout=30)
            c.runner_log.close()
        s.close()
        shutil.rmtree(c.home, ignore_errors=True)


if __name__ == "__main__":
    main()
