"""Ctrl-C during a long write or read, in a child process: the call stops soon, well before its end,
with the exception the signal handler raised; the old file stays byte for byte and no temporary
file is left beside it."""
import os
import signal
import subprocess
import time

import pytest

from conftest import PYTHON, WITHOUT_PROC, _env, fingerprint

CHILD = r"""
import os, signal, sys
import numpy as np
case, folder = sys.argv[1:]
target = os.path.join(folder, "target")

def handler(signum, frame):
    raise KeyboardInterrupt("from the handler")
signal.signal(signal.SIGINT, handler)

def io(key):
    for line in open("/proc/self/io"):
        if line.startswith(key):
            return int(line.split()[1])

from segypy import segypy
if case == "readSegy":
    # 2 GiB of samples: one trace written, the others a hole of zeros (quick to make and to read)
    segypy.writeSegy(target, np.ones((1000, 1), np.float32), 4000)
    os.truncate(target, 3600 + (240 + 4000) * (1 << 19))
    call, counter = (lambda: segypy.readSegy(target, {})), "rchar:"
else:
    with open(target, "wb") as f:
        f.write(os.urandom(1 << 16))
    counter = "wchar:"
    if case == "writeSegy":
        a = np.ones((1000, 1 << 17), np.float32)  # 512 MiB
        call = lambda: segypy.writeSegy(target, a, 4000)
    else:
        from dorar.gocube.cube import Cube
        os.environ["data_io/segy"] = "True"
        from dorar.utils import segy

        class Survey:
            def ln2xy(self, il, xl):
                return il * 25.0, xl * 25.0
        cube = Cube("c")
        cube.add_property("v", array=np.ones((256, 512, 1000), np.float32))  # 512 MiB
        cube.dict_vidx = {"IL_FRST": 1, "IL_NCRT": 1, "IL_AMNT": 256, "XL_FRST": 1, "XL_NCRT": 1, "XL_AMNT": 512,
                          "DP_NCRT": 4}
        cube.survey = Survey()
        call = lambda: segy.write_segy(cube, target, "v")
before = io(counter)
print("go", flush=True)
try:
    call()
except KeyboardInterrupt as e:
    print("stopped", repr(e), io(counter) - before, flush=True)
else:
    print("finished", flush=True)
"""

CASES = {  # what the call has open once it is under way, and the bytes it moves when it is not stopped
    "writeSegy": ("temporary", 1 << 29),
    "write_segy": ("temporary", 1 << 29),
    "readSegy": ("target", 1 << 31),
}

# From Ctrl-C to the end of the child. The sanitizer passes widen it: under ThreadSanitizer freeing
# a 2 GiB array alone takes seconds (the runtime clears its metadata for every 8 bytes of the block).
BOUND = 2.0 * float(os.environ.get("DORAR_TIME_SCALE", "1"))


def open_in(pid, folder):
    names = []
    fds = "/proc/%d/fd" % pid
    for fd in os.listdir(fds):
        try:
            names.append(os.readlink(os.path.join(fds, fd)))
        except OSError:
            pass
    return [n for n in names if n.startswith(folder + os.sep)]


@pytest.mark.parametrize("case", sorted(CASES))
def test_ctrl_c_stops_the_call_and_keeps_the_old_file(tmp_path, case):
    folder, target = str(tmp_path), str(tmp_path / "target")
    watch, moved = CASES[case]
    child = subprocess.Popen([PYTHON, "-c", CHILD, case, folder], env=_env(), stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, text=True)
    try:
        for line in child.stdout:  # the SEG-Y module says it is loading first
            if line == "go\n":
                break
        else:
            pytest.fail(child.communicate()[1])
        old = fingerprint(target)
        # The signal comes once the call is under way: its temporary file (or, for a read, the
        # file itself) is open in the child.
        deadline = time.monotonic() + 60
        while True:
            names = open_in(child.pid, folder)
            if (target in names) if watch == "target" else any(n != target for n in names):
                break
            assert child.poll() is None and time.monotonic() < deadline, "the call never got under way"
            time.sleep(0.001)
        child.send_signal(signal.SIGINT)
        sent = time.monotonic()
        out, err = child.communicate(timeout=60)
        took = time.monotonic() - sent
    finally:
        if child.poll() is None:
            child.kill()
            child.wait()
    last = out.splitlines()[-1] if out else ""
    assert last.startswith("stopped KeyboardInterrupt('from the handler') "), (out, err)
    assert took < BOUND, "%.2f s from the signal to the end of the process" % took
    assert int(last.split()[-1]) < moved * 0.9, "the call went on to move %s bytes" % last.split()[-1]
    assert os.listdir(folder) == ["target"]
    assert fingerprint(target) == old


FIFO_CHILD = r"""
import signal, sys
import numpy as np
case, fifo = sys.argv[1:]

def handler(signum, frame):
    raise KeyboardInterrupt("from the handler")
signal.signal(signal.SIGINT, handler)

from segypy import segypy
from dorar.gocube.expt import geometry_export
keys = [p + k for p in ("P1_", "P2_", "P3_") for k in ("ILNO", "XLNO", "CRSX", "CRSY")]
print("go", flush=True)
try:
    if case == "writeSegy":
        segypy.writeSegy(fifo, np.ones((100, 1000), np.float32), 4000)
    else:
        geometry_export.write_sgmt(fifo, dict.fromkeys(keys, 1))
except KeyboardInterrupt as e:
    print("stopped", repr(e), flush=True)
"""


@pytest.mark.parametrize("case", ["writeSegy", "write_sgmt"])
def test_ctrl_c_ends_the_wait_for_a_fifo_reader(tmp_path, case):
    fifo = str(tmp_path / "fifo")
    os.mkfifo(fifo)
    child = subprocess.Popen([PYTHON, "-c", FIFO_CHILD, case, fifo], env=_env(), stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, text=True)
    try:
        for line in child.stdout:
            if line == "go\n":
                break
        else:
            pytest.fail(child.communicate()[1])
        # The signal comes once the call waits in the kernel for a reader that never comes: the
        # child sleeps, and still does a moment later.
        def sleeping():
            return open("/proc/%d/stat" % child.pid).read().rsplit(")", 1)[1].split()[0] == "S"
        deadline = time.monotonic() + 60
        while not (sleeping() and time.sleep(0.05) is None and sleeping()):
            assert child.poll() is None and time.monotonic() < deadline, "the call never began to wait"
            time.sleep(0.001)
        child.send_signal(signal.SIGINT)
        try:
            out, err = child.communicate(timeout=BOUND)
        except subprocess.TimeoutExpired:
            pytest.fail("still waiting for the FIFO's reader %g s after the signal" % BOUND)
    finally:
        if child.poll() is None:
            child.kill()
            child.wait()
    assert out.splitlines()[-1] == "stopped KeyboardInterrupt('from the handler')", (out, err)
    assert os.listdir(str(tmp_path)) == ["fifo"]


DAEMON_CHILD = r"""
import os, sys, threading, time
import numpy as np
from segypy import segypy
folder = sys.argv[1]
target = os.path.join(folder, "target")

class SlowEnd:
    # Released while the interpreter finalizes: keeps it from ending before the writer, left
    # alone, would have replaced the file and taken the GIL back.
    def __del__(self, sleep=time.sleep, monotonic=time.monotonic, stat=os.stat, old=os.stat(target)):
        end = monotonic() + 3
        while monotonic() < end and stat(target).st_ino == old.st_ino:
            sleep(0.01)
        sleep(0.5)
slow_end = SlowEnd()

def under_way():  # the write's temporary file is open (unnamed), or has a name in the folder
    if any(n.startswith(".dorar-") for n in os.listdir(folder)):
        return True
    if not os.path.isdir("/proc/self/fd"):
        return False
    for fd in os.listdir("/proc/self/fd"):
        try:
            if os.readlink("/proc/self/fd/" + fd).startswith(folder + os.sep):
                return True
        except OSError:
            pass
    return False

a = np.ones((1000, 1 << 16), np.float32)  # 256 MiB
threading.Thread(target=segypy.writeSegy, args=(target, a, 4000), daemon=True).start()
while not under_way():
    time.sleep(0.001)
print("main ends", flush=True)
"""


@pytest.mark.parametrize("temporary", ["unnamed", "named"])
def test_daemon_thread_still_writing_when_the_program_ends(tmp_path, temporary):
    folder, target = str(tmp_path), str(tmp_path / "target")
    prefix = []
    if temporary == "named":
        if subprocess.run(WITHOUT_PROC + ["true"], capture_output=True).returncode != 0:
            pytest.skip("no mount namespace without /proc here")
        prefix = WITHOUT_PROC
    with open(target, "wb") as f:
        f.write(os.urandom(1 << 16))
    old = fingerprint(target)
    r = subprocess.run(prefix + [PYTHON, "-c", DAEMON_CHILD, folder], env=_env(), capture_output=True, text=True,
                       timeout=120)
    assert r.returncode == 0, r.stderr
    assert r.stdout.splitlines()[-1] == "main ends"
    assert "terminate" not in r.stderr, r.stderr
    assert os.listdir(folder) == ["target"]
    assert fingerprint(target) == old
