#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Latency from a menu choice to the start of the action's run, through the real hand-over: the
request file is written and the orvane:// URL opened with GIO (as the extension does), the runner
is reached by D-Bus (already running, or started by D-Bus activation), and a shell-script action
stamps the time as its first command. Also the runner's idle memory.

    /usr/bin/python3 bench/runner_latency.py BUILD_DIR [--warm N] [--cold N]

Targets: warm p95 < 100 ms, cold (activation) < 1 s, idle RSS < 30 MiB. The stamp is written by
bash, so its start-up is included: the numbers are upper bounds of the runner's share."""

import json
import os
import statistics
import sys
import time
import uuid

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "session"))
import orvane_session  # noqa: E402
from orvane_session import Session, wait_for  # noqa: E402


def percentile(values, p):
    ordered = sorted(values)
    k = max(0, min(len(ordered) - 1, int(round(p / 100.0 * (len(ordered) - 1)))))
    return ordered[k]


def main():
    build_dir = os.path.abspath(sys.argv[1])
    args = sys.argv[2:]
    warm_runs = int(args[args.index("--warm") + 1]) if "--warm" in args else 100
    cold_runs = int(args[args.index("--cold") + 1]) if "--cold" in args else 10
    root = orvane_session.in_private_session(build_dir, [os.path.abspath(__file__)] + sys.argv[1:])

    import gi
    gi.require_version("Gio", "2.0")
    from gi.repository import Gio, GLib

    s = Session(build_dir)
    try:
        stamps = os.path.join(root, "stamps")
        script = os.path.join(root, "stamp.sh")
        with open(script, "w") as f:
            f.write('printf "%%s\\n" "$EPOCHREALTIME" >> "%s"\n' % stamps)
        uid = s.add_action("shell", script, "Stamp")
        os.makedirs(s.container, exist_ok=True)
        loop = GLib.MainLoop()

        def choose():
            """One menu choice as the extension makes it; answers when it started."""
            started = time.time()
            name = str(uuid.uuid4()).upper()
            with open(os.path.join(s.container, name), "w") as f:
                json.dump({"paths": ["/tmp"]}, f, indent=2)
            url = "orvane://runaction?action=%s&file=%s" % (uid, name)
            Gio.AppInfo.launch_default_for_uri_async(url, None, None, lambda *a: loop.quit())
            loop.run()
            return started

        def stamp_count():
            try:
                with open(stamps) as f:
                    return f.read().split()
            except FileNotFoundError:
                return []

        def measure():
            before = len(stamp_count())
            started = choose()
            lines = wait_for(lambda: stamp_count()[before:], timeout=10, what="the action's run")
            return float(lines[0]) - started

        cold = []
        for _ in range(cold_runs):
            s.quit_runner()
            cold.append(measure())
        warm = [measure() for _ in range(warm_runs)]

        time.sleep(1.0)  # let the runner settle before reading its idle memory
        pid = s.runner_pid()
        rss_kib = 0
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    rss_kib = int(line.split()[1])

        def verdict(ok):
            return "ok" if ok else "MISSED"

        w95 = percentile(warm, 95) * 1000
        cmax = max(cold) * 1000
        print("runner already running: %d runs, p50 %.1f ms, p95 %.1f ms, max %.1f ms (target p95 < 100 ms: %s)"
              % (len(warm), statistics.median(warm) * 1000, w95, max(warm) * 1000, verdict(w95 < 100)))
        print("runner started by D-Bus activation: %d runs, p50 %.1f ms, max %.1f ms (target < 1000 ms: %s)"
              % (len(cold), statistics.median(cold) * 1000, cmax, verdict(cmax < 1000)))
        print("runner idle RSS: %.1f MiB (target < 30 MiB: %s)" % (rss_kib / 1024.0, verdict(rss_kib < 30 * 1024)))
        # Rows of the table bench/run prints (the format of bench::tableRow).
        print("@row\trunner already running, p95\t%.1f ms\t\t\t< 100 ms" % w95)
        print("@row\trunner started by D-Bus activation, worst\t%.1f ms\t\t\t< 1000 ms" % cmax)
        print("@row\trunner idle RSS\t%.1f MiB\t\t\t< 30 MiB" % (rss_kib / 1024.0))
    finally:
        s.quit_runner()
        s.close()


if __name__ == "__main__":
    main()
