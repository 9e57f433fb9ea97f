#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The libraries form a stack, and the programs are peers on top of it:

    platform < archive < messaging < model < menus, ui < extension, runner, settings

A folder includes and links only what is below it (and itself): peers never use each other, so
the three programs share code only through a library below them. tools/, bench/ and fuzz/ sit
above everything and may use any layer; no layer uses them. A test folder is named after what it
tests (tests/runner_gui tests runner/) and uses that, what is below it, tests/support and the test
folders of the same layer; tests/support keeps below ui so every test program can link it, and
the helper programs of tests/session, like tools/, may use any layer.

Only platform/ knows GLib, GIO and GTK: archive/, messaging/, model/ and menus/ include none of
their headers. Within the model only the change sender names the protocol, so the store and the
preferences never hold a wormhole.

Usage: check_layers.py SOURCE_DIR"""
import pathlib
import re
import sys

RANK = {"platform": 0, "archive": 1, "messaging": 2, "model": 3, "menus": 4, "ui": 4,
        "extension": 5, "runner": 5, "settings": 5}
# Above every layer: they may use any of them, none of them may use these.
HARNESS = {"tools", "bench", "fuzz", "tests"}
# Build inputs that every layer may link (the compiled interface files).
DATA = {"resources"}
# tests/<name> that is not named after a layer: the layer it stands for.
TEST_LAYER = {"support": "model"}
TEST_HARNESS = {"session", "tools", "packaging"}
# The model keeps apart from messaging but for the one source that sends its changes as messages.
APART = {("model", "messaging"): {"model/OVChangeSender.cpp"}}
NO_GLIB = ("archive", "messaging", "model", "menus")

INCLUDE = re.compile(r'^\s*#\s*include\s+"([A-Za-z_]+)/[^"]*"', re.MULTILINE)
INCLUDE_PATH = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)
SYSTEM_INCLUDE = re.compile(r'^\s*#\s*include\s+<([^>]+)>', re.MULTILINE)
GLIB_HEADER = re.compile(r"^(glib|gio|gobject|gmodule|gtk|gdk|adwaita|nautilus|libnautilus|gtksourceview|pango|cairo|graphene)\b")
TARGET = re.compile(r"\badd_(?:library|executable)\s*\(\s*([A-Za-z0-9_.-]+)")
LINK = re.compile(r"\btarget_link_libraries\s*\(([^)]*)\)")
COMMENT = re.compile(r"#[^\n]*")


def test_layer(name):
    """The layer a tests/ folder stands for: tests/runner_gui and tests/runner both test runner/."""
    if name in TEST_LAYER:
        return TEST_LAYER[name]
    for layer in sorted(RANK, key=len, reverse=True):
        if name == layer or name.startswith(layer + "_"):
            return layer
    return None


def sources(root):
    for folder in [*RANK, *sorted(HARNESS)]:
        for source in sorted((root / folder).rglob("*")):
            if source.suffix in (".h", ".cpp") and source.is_file():
                yield source


def check_includes(root, problems):
    for source in sources(root):
        rel = source.relative_to(root)
        name = rel.as_posix()
        folder = rel.parts[0]
        text = source.read_text(errors="replace")
        if folder in NO_GLIB:
            for header in SYSTEM_INCLUDE.findall(text):
                if GLIB_HEADER.match(header):
                    problems.append(f"{name} includes <{header}>: only platform/ knows GLib, GIO and GTK")
        if folder in RANK:
            for included in INCLUDE.findall(text):
                if included == folder:
                    continue
                if included in HARNESS:
                    problems.append(f"{name} includes {included}/, which no layer may use")
                elif included not in RANK:
                    continue
                elif RANK[included] >= RANK[folder]:
                    kind = "a peer of" if RANK[included] == RANK[folder] else "above"
                    problems.append(f"{name} includes {included}/, which is {kind} {folder}/")
                elif name not in APART.get((folder, included), {name}):
                    problems.append(f"{name} includes {included}/; only {', '.join(APART[(folder, included)])} may")
        elif folder == "tests" and len(rel.parts) > 2:
            check_test_includes(root, rel, text, problems)


def uses(layer, other):
    """Whether code standing for layer may use other."""
    return other == layer or RANK[other] < RANK[layer]


def check_test_includes(root, rel, text, problems):
    name = rel.as_posix()
    own = rel.parts[1]
    if own in TEST_HARNESS:
        return
    layer = test_layer(own)
    if layer is None:
        problems.append(f"{name}: tests/{own}/ is named after no layer")
        return
    for path in INCLUDE_PATH.findall(text):
        first = path.split("/")[0]
        if "/" not in path:
            continue
        # The tests' folder comes first on their include path: "extension/X.h" may be a test helper.
        if (root / "tests" / path).is_file():
            if first == own or first == "support":
                continue
            helper = test_layer(first)
            if first in TEST_HARNESS or not helper or not uses(layer, helper):
                problems.append(f"{name} includes tests/{path}, which is a helper of neither {layer}/ nor below")
        elif first in HARNESS:
            problems.append(f"{name} includes {first}/, which no test may use")
        elif first in RANK and not uses(layer, first):
            problems.append(f"{name} includes {first}/, which is neither {layer}/ nor below it")


def cmake_files(root):
    paths = [root / "CMakeLists.txt"]
    for folder in sorted(p for p in root.iterdir() if p.is_dir() and not p.name.startswith((".", "build"))):
        paths += sorted(folder.rglob("CMakeLists.txt"))
    for path in paths:
        if path.is_file():
            yield path.relative_to(root), COMMENT.sub("", path.read_text(errors="replace"))


def check_links(root, problems):
    # Each target belongs to the top folder whose CMakeLists.txt declares it.
    owner = {}
    for rel, text in cmake_files(root):
        for target in TARGET.findall(text):
            owner[target] = rel.parts[0] if len(rel.parts) > 1 else ""
    for rel, text in cmake_files(root):
        for arguments in LINK.findall(text):
            words = arguments.split()
            if not words:
                continue
            target, linked = words[0], words[1:]
            folder = owner.get(target, rel.parts[0] if len(rel.parts) > 1 else "")
            if folder not in RANK:
                continue
            for library in linked:
                library_folder = owner.get(library)
                if library_folder is None or library_folder == folder or library_folder in DATA:
                    continue
                if library_folder in HARNESS:
                    problems.append(f"{rel.as_posix()}: {target} links {library} of {library_folder}/, which no layer may use")
                elif library_folder in RANK and RANK[library_folder] >= RANK[folder]:
                    kind = "a peer of" if RANK[library_folder] == RANK[folder] else "above"
                    problems.append(f"{rel.as_posix()}: {target} links {library} of {library_folder}/, which is {kind} {folder}/")


def main():
    root = pathlib.Path(sys.argv[1])
    problems = []
    check_includes(root, problems)
    check_links(root, problems)
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
