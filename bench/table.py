#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Reads the output of the benchmarks (each after a line "== NAME") from standard input and prints
one table of their "@row" lines: measure, our figure, the peer tool's figure from the same run,
the ratio of the peer's time over ours, and the target."""

import sys

HEADER = ("benchmark", "measure", "Orvane", "peer tool", "ratio", "target")


def rows(lines):
    benchmark = ""
    for line in lines:
        line = line.rstrip("\n")
        if line.startswith("== "):
            benchmark = line[3:].removeprefix("bench_").removesuffix("_bench")
        elif line.startswith("@row\t"):
            fields = (line.split("\t")[1:] + [""] * 5)[:5]
            yield (benchmark, *fields)


def main():
    table = list(rows(sys.stdin))
    widths = [max(len(r[i]) for r in table + [HEADER]) for i in range(len(HEADER))]
    def show(r):
        print("  ".join(c.rjust(w) if i in (2, 4) else c.ljust(w) for i, (c, w) in enumerate(zip(r, widths))).rstrip())
    show(HEADER)
    show(["-" * w for w in widths])
    for r in table:
        show(r)
    print("\nratio: the peer tool's time over ours, both measured in the same run with their rounds"
          " interleaved; above 1 Orvane is faster.")


if __name__ == "__main__":
    main()
