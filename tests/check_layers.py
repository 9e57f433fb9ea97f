#!/usr/bin/env python3
"""Each layer includes only the layers below it, so the libraries form a straight stack:
platform, archive, messaging, model, ui, then the programs (extension, runner, settings), which
do not include each other. Within the model only the change sender names the protocol, so the
store and the preferences never hold a wormhole. Usage: check_layers.py SOURCE_DIR"""
import pathlib
import re
import sys

RANK = {"platform": 0, "archive": 1, "messaging": 2, "model": 3, "ui": 4,
        "extension": 5, "runner": 5, "settings": 6}
# The model keeps apart from messaging but for the one source that sends its changes as messages.
APART = {("model", "messaging"): {"model/OVChangeSender.cpp"}}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([A-Za-z_]+)/', re.MULTILINE)

root = pathlib.Path(sys.argv[1])
problems = []
for layer, rank in RANK.items():
    for source in sorted((root / layer).rglob("*")):
        if source.suffix not in (".h", ".cpp"):
            continue
        name = source.relative_to(root).as_posix()
        for included in INCLUDE.findall(source.read_text(errors="replace")):
            if included == layer or included not in RANK:
                continue
            if RANK[included] >= rank:
                problems.append(f"{name} includes {included}/, which is not below {layer}/")
            elif name not in APART.get((layer, included), {name}):
                problems.append(f"{name} includes {included}/; only {', '.join(APART[(layer, included)])} may")
for problem in problems:
    print(problem)
sys.exit(1 if problems else 0)
