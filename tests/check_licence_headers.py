#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Every source file the project tracks names its licence in an SPDX line at its top (after a
shebang), so that a file copied out of the tree still says under which terms it may be used."""

import os
import subprocess
import sys

LINE = "SPDX-License-Identifier: GPL-3.0-or-later"
# Installed data (the user's scripts and templates), packaging templates and fuzz seeds are not
# sources of the programs.
SKIPPED = ("resources/", "packaging/", "fuzz/corpus/")


def is_source(path):
    name = os.path.basename(path)
    return (path.endswith((".cpp", ".h", ".py", ".sh")) or name == "CMakeLists.txt"
            or path.startswith(("scripts/", ".ci/")) or path == "bench/run")


def main():
    root = sys.argv[1]
    tracked = subprocess.run(["git", "-C", root, "ls-files"], capture_output=True, text=True)
    if tracked.returncode != 0:
        print("not a git checkout: nothing to check")
        return 77
    missing = []
    for path in tracked.stdout.split("\n"):
        if not path or path.startswith(SKIPPED) or not is_source(path):
            continue
        try:
            with open(os.path.join(root, path), encoding="utf-8", errors="replace") as f:
                head = [f.readline() for _ in range(2)]
        except OSError:
            continue  # deleted in the working tree
        if not any(LINE in line for line in head):
            missing.append(path)
    for path in missing:
        print("no licence line: " + path)
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main())
