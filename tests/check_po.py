#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The translations keep up with the sources: every marked message is in the committed template
po/orvane.pot, and every language of po/LINGUAS translates all of them, none fuzzy.

usage: check_po.py SOURCE_DIR [PO_DIR]
PO_DIR (po/ of SOURCE_DIR by default) lets the check's own test point it at a changed copy."""

import ast
import os
import re
import subprocess
import sys
import tempfile


def messages(path):
    """The (context, message) keys of a template or catalogue, without its header and without
    obsolete entries."""
    keys = set()
    context = msgid = None
    field = None
    with open(path, encoding="utf-8") as f:
        lines = f.read().split("\n") + [""]
    for line in lines:
        if line.startswith("msgctxt "):
            context, field = ast.literal_eval(line[8:]), "ctx"
        elif line.startswith("msgid "):
            msgid, field = ast.literal_eval(line[6:]), "id"
        elif line.startswith('"') and field in ("ctx", "id"):
            if field == "ctx":
                context += ast.literal_eval(line)
            else:
                msgid += ast.literal_eval(line)
        elif line.startswith(("msgid_plural", "msgstr")):
            if msgid:
                keys.add((context, msgid))
            context = msgid = None
            field = None
    return keys


def shown(key):
    context, msgid = key
    return (context + " | " if context else "") + repr(msgid)


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    root = os.path.abspath(sys.argv[1])
    po = os.path.abspath(sys.argv[2]) if len(sys.argv) == 3 else os.path.join(root, "po")
    failures = []
    with tempfile.TemporaryDirectory() as tmp:
        fresh = os.path.join(tmp, "orvane.pot")
        subprocess.run([sys.executable, os.path.join(root, "po", "make_pot.py"), root, fresh], check=True)
        marked = messages(fresh)
    committed = messages(os.path.join(po, "orvane.pot"))
    for key in sorted(marked - committed, key=shown):
        failures.append("not in po/orvane.pot (build the target orvane-pot): " + shown(key))
    for key in sorted(committed - marked, key=shown):
        print("note: po/orvane.pot still lists a message no longer marked: " + shown(key))

    with open(os.path.join(po, "LINGUAS"), encoding="utf-8") as f:
        languages = [line.strip() for line in f if line.strip() and not line.startswith("#")]
    for lang in languages:
        catalogue = os.path.join(po, lang + ".po")
        result = subprocess.run(["msgfmt", "--check", "--statistics", "-o", os.devnull, catalogue],
                                capture_output=True, text=True, env=dict(os.environ, LC_ALL="C"))
        report = result.stderr.strip()
        if result.returncode != 0:
            failures.append("%s.po does not compile: %s" % (lang, report))
            continue
        if re.search(r"fuzzy|untranslated", report):
            failures.append("%s.po is not complete: %s" % (lang, report))
        for key in sorted(committed - messages(catalogue), key=shown):
            failures.append("%s.po lacks a message of the template (build the target orvane-pot): %s"
                            % (lang, shown(key)))
        print("%s.po: %s" % (lang, report))
    for failure in failures:
        print(failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
