#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes the message template of every text a person reads in Orvane.

usage: make_pot.py SOURCE_DIR OUTPUT.pot

The programs' C++ sources (the gettext marks _, N_, C_, NC_ and ov::translatePlural), the
interface files, the desktop entries, the AppStream metadata and the built-in catalogue's
property lists. The template lists files without line numbers, so that it only changes when a
message does.
"""
import os
import subprocess
import sys
import tempfile

CODE_FOLDERS = ["platform", "model", "menus", "ui", "settings", "runner", "extension"]
MARKS = ("_(", "N_(", "C_(", "NC_(", "translatePlural(")
DESKTOP_FILES = ["packaging/app.orvane.Orvane.desktop", "packaging/app.orvane.Orvanehelper.desktop.in",
                 "packaging/app.orvane.Orvane.menu-export.desktop"]
METAINFO = "packaging/app.orvane.Orvane.metainfo.xml.in"
PLISTS = ["resources/BundledDescriptions.plist", "resources/DefaultFiles.plist"]
METAINFO_ITS = ["/usr/share/gettext/its/metainfo.its", "/usr/share/gettext-0.21/its/metainfo.its"]


def marked_sources(root, suffixes):
    found = []
    for folder in CODE_FOLDERS:
        for here, dirs, files in os.walk(os.path.join(root, folder)):
            dirs.sort()
            for name in sorted(files):
                if not name.endswith(suffixes):
                    continue
                path = os.path.join(here, name)
                if name.endswith(".ui"):
                    with open(path, encoding="utf-8") as f:
                        if 'translatable="yes"' in f.read():
                            found.append(path)
                    continue
                with open(path, encoding="utf-8") as f:
                    text = f.read()
                if "platform/Translation.h" in text and any(m in text for m in MARKS):
                    found.append(path)
    return [os.path.relpath(p, root) for p in found]


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    root, output = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    its = next((p for p in METAINFO_ITS if os.path.exists(p)), None)
    if its is None:
        sys.exit("make_pot.py: the ITS rules of AppStream metadata (metainfo.its) are missing")
    common = ["xgettext", "--from-code=UTF-8", "--add-location=file", "--package-name=orvane",
              "--msgid-bugs-address=dev@orvane.app", "--add-comments=TRANSLATORS:", "--sort-by-file"]
    with tempfile.TemporaryDirectory() as tmp:
        pot = os.path.join(tmp, "orvane.pot")
        steps = [
            ["-L", "C++", "--keyword=_", "--keyword=N_", "--keyword=C_:1c,2", "--keyword=NC_:1c,2",
             "--keyword=translatePlural:1,2", "--flag=_:1:pass-c-format", "--flag=C_:2:pass-c-format",
             "--flag=translatePlural:1:pass-c-format", "--flag=translatePlural:2:pass-c-format",
             "--flag=stringPrintf:1:c-format"] + marked_sources(root, (".cpp", ".h")),
            marked_sources(root, (".ui",)),
            ["-L", "Desktop"] + DESKTOP_FILES,
            ["--its=" + its, METAINFO],
            ["--its=" + os.path.join(root, "po", "plist.its")] + PLISTS,
        ]
        for i, step in enumerate(steps):
            join = ["--join-existing"] if i else []
            subprocess.run(common + join + ["-o", pot] + step, cwd=root, check=True)
        with open(pot, encoding="utf-8") as f:
            text = f.read()
        # The template is ours: say so instead of xgettext's placeholder lines.
        text = text.replace("# SOME DESCRIPTIVE TITLE.\n", "# Messages of Orvane.\n", 1)
        text = text.replace("# Copyright (C) YEAR THE PACKAGE'S COPYRIGHT HOLDER\n",
                            "# Copyright (C) the Orvane developers\n", 1)
        text = text.replace("# This file is distributed under the same license as the orvane package.\n",
                            "# SPDX-License-Identifier: GPL-3.0-or-later\n", 1)
        text = text.replace("# FIRST AUTHOR <EMAIL@ADDRESS>, YEAR.\n", "", 1)
        with open(output, "w", encoding="utf-8") as f:
            f.write(text)


if __name__ == "__main__":
    main()
