#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Interrupts the real runner at random points of a copy and a move to another file system (and
optionally compress, with --compress), by SIGTERM and by kill -9, then starts it again and counts:
nothing incomplete under a final name, no leftover temporaries after the next start, no source
lost. Not part of the test command: a measurement for the notes.

usage: interrupt_measure.py BUILD_DIR [TRIALS] [SIZE_MIB]"""

import os
import random
import shutil
import signal
import sys
import time

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(here), "tests", "session"))
import orvane_session  # noqa: E402
from orvane_session import Session, wait_for  # noqa: E402
from interrupt_support import Runner, end_session, clear_folder, judge, make_data, temporaries  # noqa: E402


def main():
    build_dir = os.path.abspath(sys.argv[1])
    trials = int(sys.argv[2]) if len(sys.argv) > 2 else 60
    size_mib = int(sys.argv[3]) if len(sys.argv) > 3 else 1024
    if not os.environ.get("DISPLAY"):
        print("needs a display (xvfb-run)")
        sys.exit(77)
    root = orvane_session.in_private_session(build_dir, [os.path.abspath(__file__)] + sys.argv[1:],
                                             {"GTK_A11Y": "none", "NO_AT_BRIDGE": "1"})
    s = Session(build_dir)
    runner = Runner(s, os.path.join(root, "runner.log"))
    shm = os.path.join("/dev/shm", "orvane-measure-%d" % os.getpid())
    rng = random.Random(int(os.environ.get("SEED", "18")))
    try:
        work = os.path.join(root, "work")
        dest = os.path.join(work, "dest")
        os.makedirs(dest)
        os.makedirs(shm)
        pristine = os.path.join(work, "pristine.bin")
        digest = make_data(pristine, size_mib)
        source = os.path.join(work, "src", "big.bin")
        os.makedirs(os.path.dirname(source))
        uids = {"copy": s.add_action("copy", dest, "Dest"), "move": s.add_action("move", shm, "Memory")}
        folders = {"copy": dest, "move": shm}

        # How long each takes uninterrupted: the random points cover that span and a little more.
        # The shortest of three runs: the first ones are slowed by cold caches.
        spans = {}
        for kind in ("copy", "move") * 3:
            if not os.path.exists(source):
                shutil.copyfile(pristine, source)
            clear_folder(folders[kind])
            runner.start()
            before = len(s.notify_calls())
            began = time.monotonic()
            runner.request(uids[kind], [source])
            wait_for(lambda: s.notify_calls()[before:], timeout=120, what=kind)
            spans[kind] = min(spans.get(kind, 1e9), time.monotonic() - began)
            s.quit_runner()
            runner.wait_gone()
            if kind == "move":
                shutil.move(os.path.join(shm, "big.bin"), source)
        print("uninterrupted (shortest of 3): copy %.2f s, move %.2f s (%d MiB)" % (spans["copy"], spans["move"], size_mib))

        counts = {}
        failures = []
        for trial in range(trials):
            kind = ("copy", "move")[trial % 2]
            how = (signal.SIGTERM, signal.SIGKILL)[(trial // 2) % 2]
            if not os.path.exists(source):
                shutil.copyfile(pristine, source)
            folder = folders[kind]
            clear_folder(folder)
            point = rng.uniform(0.0, spans[kind] * 1.1)
            print("trial %d: %s, %s after %.2f s" % (trial, kind, how.name, point), flush=True)
            runner.start()
            runner.request(uids[kind], [source])
            time.sleep(point)  # a random point of the run: what is measured, not awaited
            mid = bool(temporaries(folder))
            runner.signal(how)
            runner.wait_gone(timeout=30)
            after_signal = judge(source, None, [], [os.path.join(folder, "big.bin")], digest)
            runner.start()  # the next start sweeps
            s.quit_runner()
            runner.wait_gone()
            found = judge(source, digest, [folder], [os.path.join(folder, "big.bin")], digest)
            key = (kind, how.name)
            c = counts.setdefault(key, {"trials": 0, "mid": 0, "incomplete_final": 0, "leftovers": 0,
                                        "source_lost": 0, "completed": 0, "held_until_start": 0})
            c["trials"] += 1
            c["mid"] += mid
            # After kill -9 a copy's held name (an empty file) stays until the next start.
            judged = found + (after_signal if how == signal.SIGTERM else [])
            c["incomplete_final"] += any("incomplete" in f or "not a file" in f for f in judged)
            c["held_until_start"] += how == signal.SIGKILL and bool(after_signal)
            c["leftovers"] += any("temporaries" in f for f in found)
            c["source_lost"] += any("source" in f for f in found)
            c["completed"] += os.path.isfile(os.path.join(folder, "big.bin")) and not found
            if judged:
                failures.append("trial %d %s %s at %.2f s: %s" % (trial, kind, how.name, point,
                                                                  "; ".join(judged)))
        print("kind  signal   trials  mid-copy  completed  incomplete-under-final-name  leftovers-after-start"
              "  source-lost  held-name-until-start")
        for (kind, how), c in sorted(counts.items()):
            print("%-5s %-8s %6d %9d %10d %28d %22d %12d %22d" % (
                kind, how, c["trials"], c["mid"], c["completed"], c["incomplete_final"], c["leftovers"],
                c["source_lost"], c["held_until_start"]))
        for f in failures:
            print(f)
    finally:
        end_session(runner, s)
        shutil.rmtree(shm, ignore_errors=True)


if __name__ == "__main__":
    main()
