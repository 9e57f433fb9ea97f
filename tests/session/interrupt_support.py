# SPDX-License-Identifier: GPL-3.0-or-later
"""The real runner interrupted mid-work: started by hand (optionally under strace), given a copy,
move or compress request, then signalled, killed or failed by injected system-call errors. Shared
by the interruption and fault-injection session tests and the interruption measurement."""

import hashlib
import os
import re
import shutil
import signal
import subprocess
import time

from orvane_session import RUNNER_WINDOW_CLASSNAME, wait_for

TEMPORARY = re.compile(r"^\.orvane-([0-9a-fA-F]{16}-[0-9]+|zip-[0-9a-fA-F]{8})$")
MIB = 1024 * 1024


def make_data(path, mib):
    """A file of real (not sparse, not repeating) bytes: copies cannot be cloned or skipped."""
    os.makedirs(os.path.dirname(path), exist_ok=True)
    digest = hashlib.sha256()
    block = bytearray(os.urandom(MIB))
    with open(path, "wb") as f:
        for i in range(mib):
            block[0:8] = i.to_bytes(8, "little")
            f.write(block)
            digest.update(block)
    return digest.hexdigest()


def file_hash(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        while True:
            chunk = f.read(4 * MIB)
            if not chunk:
                return digest.hexdigest()
            digest.update(chunk)


def temporaries(folder):
    return [n for n in os.listdir(folder) if TEMPORARY.match(n)] if os.path.isdir(folder) else []


class Runner:
    """One runner process of the session, started by hand so that its start can be wrapped."""

    def __init__(self, session, log_path):
        self.s = session
        self.log_path = log_path
        self.proc = None
        self.pid = None

    def start(self, wrapper=(), extra_env=None):
        helper = os.path.join(self.s.build_dir, "runner", "orvane-helper")
        env = dict(os.environ)
        env.update({"GTK_A11Y": "none", "NO_AT_BRIDGE": "1"})
        env.update(extra_env or {})
        log = open(self.log_path, "a")
        self.proc = subprocess.Popen(list(wrapper) + [helper], env=env, stdout=log, stderr=log,
                                     start_new_session=True)
        log.close()
        self.pid = wait_for(lambda: self.proc.poll() is None and self.s.runner_pid(), timeout=60,
                            what="the runner on the bus")
        return self.pid

    def request(self, uid, paths):
        self.s.run_action(uid, paths)

    def signal(self, number):
        if self.pid:
            try:
                os.kill(self.pid, number)
            except ProcessLookupError:
                pass

    def wait_gone(self, timeout=30.0):
        """Waits for the runner (and a wrapper around it) to end."""
        try:
            self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.stop()
            raise AssertionError("the runner did not end within %s s" % timeout)
        wait_for(lambda: self.s.runner_pid() is None, timeout=10, what="the runner to leave the bus")
        self.proc = None
        self.pid = None

    def stop(self):
        """Ends whatever is left of this runner: its process group (the wrapper and the runner)."""
        if self.proc and self.proc.poll() is None:
            try:
                os.killpg(self.proc.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            self.proc.wait()
        self.proc = None
        self.pid = None


def wait_mid_copy(folder, total, timeout=60.0, also=()):
    """Waits until one of our temporaries in folder (or one of the names in also) exists and
    grows, and is not yet complete."""
    seen = {}

    def growing():
        for name in temporaries(folder) + [n for n in also if os.path.exists(os.path.join(folder, n))]:
            path = os.path.join(folder, name)
            try:
                size = os.lstat(path).st_size
            except FileNotFoundError:
                continue
            if os.path.isdir(path):
                continue
            if name in seen and 0 < seen[name] < size < total:
                return name
            seen[name] = size
        return None

    return wait_for(growing, timeout=timeout, what="a copy growing in " + folder)


def judge(source, source_hash, folders, final_names, complete_hash):
    """What is wrong after an interrupted or failed run: a list of faults, empty when clean. The
    source must be whole; each final name holds nothing or the complete item; no temporaries."""
    faults = []
    if not os.path.exists(source):
        # A finished move: the destination must then hold the whole item.
        if not any(os.path.isfile(n) and file_hash(n) == complete_hash for n in final_names):
            faults.append("the source is gone and no complete copy exists")
    elif source_hash is not None and file_hash(source) != source_hash:
        faults.append("the source changed")
    for folder in folders:
        left = temporaries(folder)
        if left:
            faults.append("temporaries left in %s: %s" % (folder, left))
    for name in final_names:
        if not os.path.lexists(name):
            continue
        if not os.path.isfile(name) or os.path.islink(name):
            faults.append("%s is not a file" % name)
        elif file_hash(name) != complete_hash:
            faults.append("%s is incomplete (%d bytes)" % (name, os.path.getsize(name)))
    return faults


def clear_folder(folder):
    for name in os.listdir(folder):
        path = os.path.join(folder, name)
        if os.path.isdir(path) and not os.path.islink(path):
            shutil.rmtree(path)
        else:
            os.unlink(path)


def wait_until(predicate, timeout):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if predicate():
            return True
        time.sleep(0.01)
    return predicate()


def check_clean_or_raise(source, source_hash, folders, final_names, complete_hash, what):
    faults = judge(source, source_hash, folders, final_names, complete_hash)
    if faults:
        raise AssertionError("%s: %s" % (what, "; ".join(faults)))


def end_session(runner, session):
    """Ends the runner however it is, then the session's mock services. A failing test shows the
    end of the runners' log."""
    import sys
    if sys.exc_info()[0] is not None and os.path.exists(runner.log_path):
        with open(runner.log_path, errors="replace") as f:
            print("runner log (end):\n" + "".join(f.readlines()[-40:]))
    runner.stop()
    try:
        session.quit_runner()
    except Exception:  # a runner killed meanwhile
        pass
    session.close()


def visible_runner_windows():
    found = subprocess.run(["xdotool", "search", "--onlyvisible", "--classname", RUNNER_WINDOW_CLASSNAME],
                           capture_output=True, text=True)
    return found.stdout.split()


def answer_password(password, timeout=60.0):
    """Types the password into the runner's prompt and presses Return, as a user would, until the
    prompt has gone. The field takes the keyboard a moment after the prompt appears, so typing
    is repeated over a cleared field until the answer lands."""
    window = wait_for(lambda: (visible_runner_windows() or [None])[-1], timeout=timeout, what="the password prompt")
    for _ in range(200):
        if window not in visible_runner_windows():
            return
        # No window manager here: the keyboard follows the pointer.
        subprocess.call(["xdotool", "mousemove", "--window", window, "40", "40"])
        subprocess.call(["xdotool", "key", "--window", window, "ctrl+a", "BackSpace"])
        subprocess.call(["xdotool", "type", "--window", window, "--delay", "5", password])
        subprocess.call(["xdotool", "key", "--window", window, "Return"])
        # Long enough for a prompt that took the answer to go: a Return typed again would reach the
        # progress window that takes its place, and cancel the archive.
        if wait_until(lambda: window not in visible_runner_windows(), 3.0):
            return
    raise AssertionError("the prompt did not take the password")


def judge_archive(source, source_hash, folder, archive, password):
    """As judge, for compress: the archive is absent or whole (it opens and checks with the
    password)."""
    faults = judge(source, source_hash, [folder], [], None)
    if os.path.lexists(archive):
        tested = subprocess.run(["unzip", "-tqq", "-P", password, archive], capture_output=True, text=True)
        if tested.returncode != 0:
            faults.append("%s is incomplete (%d bytes): %s" % (archive, os.path.getsize(archive),
                                                              (tested.stdout + tested.stderr).strip()[:200]))
    return faults


def request_compress(runner, uid, source, password, started):
    """Asks for an archive of source and answers the password prompt; asks again when the
    prompt took Return before the typed password (the run then ends as cancelled). started()
    tells that the archive is on its way."""
    for _ in range(3):
        with open(runner.log_path, errors="replace") as f:
            cancels = f.read().count("Action was cancelled? 1")
        runner.request(uid, [source])
        answer_password(password)

        def cancelled():
            with open(runner.log_path, errors="replace") as f:
                return f.read().count("Action was cancelled? 1") > cancels

        wait_until(lambda: started() or cancelled(), 30)
        if not cancelled():
            return
    raise AssertionError("the password prompt was cancelled three times")
