#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The runner's I/O paths under injected failures, as databases test theirs: the real runner is
started under strace, which makes the Nth call of a system call that moves or commits file data
fail with ENOSPC or EIO. A copy, a move to another file system and a password-protected archive
(the password typed into the prompt) must then fail cleanly (or, when
the failed call was not on their path, succeed): the source whole, nothing incomplete under a
final name, no temporaries, and a failure announced as one."""

import os
import shutil
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import orvane_session  # noqa: E402
from orvane_session import Session, wait_for  # noqa: E402
from interrupt_support import (Runner, clear_folder, end_session, judge, judge_archive,  # noqa: E402
                               make_data, request_compress, temporaries)

SIZE_MIB = 140  # three of the copy engine's pieces
RENAMES = "rename,renameat,renameat2"

# (kind, system calls, errno, when): the calls that carry a copy's data, its commit by rename
# and the data folder's own atomic writes (fsync), at the first and a later call of each thread.
# Plain write is left out: GLib wakes its threads with it, and a lost wake-up stalls the D-Bus
# connection rather than any file's data.
CASES = [
    ("copy", "copy_file_range", "ENOSPC", "1"),
    ("copy", "copy_file_range", "EIO", "3"),
    ("copy", RENAMES, "ENOSPC", "1"),
    ("copy", RENAMES, "EIO", "2"),
    ("copy", "fsync,fdatasync", "EIO", "1"),
    ("copy", "pwrite64", "ENOSPC", "1"),
    ("move", "sendfile,splice", "ENOSPC", "1"),
    ("move", "sendfile,splice", "EIO", "3"),
    ("move", "copy_file_range", "ENOSPC", "1"),
    ("move", RENAMES, "ENOSPC", "1"),
    ("move", RENAMES, "EIO", "2"),
    ("move", "pwrite64", "EIO", "1"),
    ("compress", "pwrite64", "ENOSPC", "3"),
    ("compress", "fsync,fdatasync", "EIO", "1"),
    ("compress", RENAMES, "ENOSPC", "1"),
]
PASSWORD = "correct horse 7"


def inject(calls, error, when):
    return ["strace", "-f", "-o", "/dev/null", "-e", "trace=" + calls,
            "-e", "inject=%s:error=%s:when=%s" % (calls, error, when)]


def compress_case(s, runner, uid, source, digest, calls, error, when):
    folder = os.path.dirname(source)
    archive = source + ".zip"
    def stopped_by_a_stray_key():
        with open(runner.log_path, errors="replace") as f:
            return f.read().count('title=Compress with password> 0 - Error Domain=app.orvane.Orvane Code=125')

    for attempt in range(3):
        before = len(s.notify_calls())
        stops = stopped_by_a_stray_key()
        runner.start(inject(calls, error, when))
        request_compress(runner, uid, source, PASSWORD,
                         lambda: s.notify_calls()[before:] or temporaries(folder) or os.path.exists(archive))
        wait_for(lambda: s.notify_calls()[before:] or stopped_by_a_stray_key() > stops, timeout=60,
                 what="the outcome of compress")
        note = s.notify_calls()[before:]
        if note:
            break
        # A key meant for the prompt reached the progress window's Cancel: the run stopped cleanly
        # and says nothing. It is asked again.
        s.quit_runner()
        runner.wait_gone()
        check = judge_archive(source, digest, folder, archive, PASSWORD)
        if check:
            return ["compress stopped by Cancel: %s" % f for f in check]
    else:
        return ["compress with %s failing %s at call %s: cancelled three times" % (calls, error, when)]
    text = str(note[0][2][4])
    s.quit_runner()
    runner.wait_gone()
    name = "compress with %s failing %s at call %s (%s)" % (calls, error, when, text)
    found = judge_archive(source, digest, folder, archive, PASSWORD)
    if text.startswith("Finished") != os.path.exists(archive):
        found.append("the announcement does not match the archive")
    print("%s: %s" % (name, "; ".join(found) or "clean"))
    if os.path.exists(archive):
        os.unlink(archive)
    return ["%s: %s" % (name, f) for f in found]


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
    started = time.monotonic()
    try:
        work = os.path.join(root, "work")
        dest = os.path.join(work, "dest")
        os.makedirs(dest)
        shm = os.path.join("/dev/shm", "orvane-faults-%d" % os.getpid())
        os.makedirs(shm)
        pristine = os.path.join(work, "pristine.bin")
        digest = make_data(pristine, SIZE_MIB)
        source = os.path.join(work, "src", "big.bin")
        os.makedirs(os.path.dirname(source))
        uids = {"copy": s.add_action("copy", dest, "Dest"), "move": s.add_action("move", shm, "Memory"),
                "compress": s.add_action("compress", "-", "Compress with password")}
        folders = {"copy": dest, "move": shm}
        # Compress reads the file and writes the archive beside it, in a folder of its own.
        small = os.path.join(work, "zip", "small.bin")
        small_digest = make_data(small, 24)
        can_compress = shutil.which("xdotool") and shutil.which("unzip")

        faults = []
        for kind, calls, error, when in CASES:
            if kind == "compress":
                if can_compress:
                    faults += compress_case(s, runner, uids[kind], small, small_digest, calls, error, when)
                continue
            if not os.path.exists(source):
                shutil.copyfile(pristine, source)
            folder = folders[kind]
            clear_folder(folder)
            before = len(s.notify_calls())
            runner.start(inject(calls, error, when))
            runner.request(uids[kind], [source])
            note = wait_for(lambda: s.notify_calls()[before:], timeout=60, what="the outcome of " + kind)
            text = str(note[0][2][4])
            s.quit_runner()
            runner.wait_gone()
            name = "%s with %s failing %s at call %s (%s)" % (kind, calls, error, when, text)
            found = judge(source, digest, [folder], [os.path.join(folder, "big.bin")], digest)
            if text.startswith("Finished") and not os.path.exists(os.path.join(folder, "big.bin")):
                found.append("announced as finished without the item")
            if not text.startswith("Finished") and os.path.exists(os.path.join(folder, "big.bin")):
                found.append("a failure announced while the item arrived")
            print("%s: %s" % (name, "; ".join(found) or "clean"))
            faults += ["%s: %s" % (name, f) for f in found]
        if faults:
            raise AssertionError("\n".join(faults))
        print("runner fault injection session test passed (%d cases, %.0f s)"
              % (len(CASES), time.monotonic() - started))
    finally:
        end_session(runner, s)
        if shm:
            shutil.rmtree(shm, ignore_errors=True)


if __name__ == "__main__":
    main()
