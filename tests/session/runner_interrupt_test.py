#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""A runner ended mid-work leaves nothing behind: a copy, a move to another file system and a
password-protected archive of a file large enough to be caught mid-way, then SIGTERM (the session's logout) to the real runner: nothing
incomplete under a final name, no temporaries, the source whole. Then kill -9 mid-copy: the next
start of the runner sweeps what the killed one left.

The copies are slowed with strace (a delay after each piece the kernel copies) so that "mid-way"
holds on any machine; the data and the runner are real."""

import os
import shutil
import signal
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import orvane_session  # noqa: E402
from orvane_session import Session  # noqa: E402
from interrupt_support import (Runner, check_clean_or_raise, end_session, judge_archive,  # noqa: E402
                               make_data, request_compress, temporaries, wait_mid_copy)

PASSWORD = "correct horse 7"
SIZE_MIB = 320  # five of the copy engine's 64 MiB pieces
SLOW = ["strace", "-f", "-o", "/dev/null", "-e", "trace=copy_file_range,sendfile,splice",
        "-e", "inject=copy_file_range,sendfile,splice:delay_exit=250000"]


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def main():
    build_dir = os.path.abspath(sys.argv[1])
    if not os.environ.get("DISPLAY") or not shutil.which("strace"):
        print("needs a display and strace")
        sys.exit(77)
    if not os.access("/dev/shm", os.W_OK):
        print("needs a writable /dev/shm")
        sys.exit(77)
    root = orvane_session.in_private_session(build_dir, [os.path.abspath(__file__), build_dir],
                                             {"GTK_A11Y": "none", "NO_AT_BRIDGE": "1"})
    s = Session(build_dir)
    runner = Runner(s, os.path.join(root, "runner.log"))
    shm = None
    try:
        work = os.path.join(root, "work")
        dest = os.path.join(work, "dest")
        os.makedirs(dest)
        shm = os.path.join("/dev/shm", "orvane-interrupt-%d" % os.getpid())
        os.makedirs(shm)
        source = os.path.join(work, "src", "big.bin")
        digest = make_data(source, SIZE_MIB)
        copy_uid = s.add_action("copy", dest, "Dest")
        move_uid = s.add_action("move", shm, "Memory")

        # SIGTERM mid-copy: the copy is cancelled as its Cancel would, then the runner ends.
        runner.start(SLOW)
        runner.request(copy_uid, [source])
        wait_mid_copy(dest, SIZE_MIB << 20)
        runner.signal(signal.SIGTERM)
        runner.wait_gone(timeout=20)
        check_clean_or_raise(source, digest, [dest], [os.path.join(dest, "big.bin")], digest, "copy, SIGTERM")
        check(os.listdir(dest) == [], "the copy left %r" % os.listdir(dest))

        # SIGTERM mid-move to another file system: the source stays, nothing arrives.
        runner.start(SLOW)
        runner.request(move_uid, [source])
        wait_mid_copy(shm, SIZE_MIB << 20, also=["big.bin"])
        runner.signal(signal.SIGTERM)
        runner.wait_gone(timeout=20)
        check(os.path.exists(source), "the move's source is gone")
        check_clean_or_raise(source, digest, [shm], [os.path.join(shm, "big.bin")], digest, "move, SIGTERM")
        check(os.listdir(shm) == [], "the move left %r" % os.listdir(shm))

        # SIGTERM mid-archive: the unfinished archive goes, the file stays.
        if shutil.which("xdotool") and shutil.which("unzip"):
            compress_uid = s.add_action("compress", "-", "Compress with password")
            runner.start()
            request_compress(runner, compress_uid, source, PASSWORD, lambda: temporaries(os.path.dirname(source)))
            caught = wait_mid_copy(os.path.dirname(source), SIZE_MIB << 20)
            print("compress interrupted while %s grew" % caught)
            runner.signal(signal.SIGTERM)
            runner.wait_gone(timeout=20)
            faults = judge_archive(source, digest, os.path.dirname(source), source + ".zip", PASSWORD)
            check(not faults, "compress, SIGTERM: %s" % "; ".join(faults))
            check(os.listdir(os.path.dirname(source)) == ["big.bin"],
                  "the archive left %r" % os.listdir(os.path.dirname(source)))

        # kill -9 mid-copy: the held name and the growing copy stay until the next start.
        runner.start(SLOW)
        runner.request(copy_uid, [source])
        wait_mid_copy(dest, SIZE_MIB << 20)
        runner.signal(signal.SIGKILL)
        runner.wait_gone(timeout=20)
        check(temporaries(dest) and os.path.exists(os.path.join(dest, "big.bin")),
              "nothing was left to sweep: %r" % os.listdir(dest))
        runner.start()
        check_clean_or_raise(source, digest, [dest], [os.path.join(dest, "big.bin")], digest,
                             "copy, kill -9, runner started again")
        check(os.listdir(dest) == [], "the start left %r" % os.listdir(dest))
        s.quit_runner()
        runner.wait_gone()
        print("runner interrupt session test passed")
    finally:
        end_session(runner, s)
        if shm:
            shutil.rmtree(shm, ignore_errors=True)


if __name__ == "__main__":
    main()
