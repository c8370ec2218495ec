"""A module call in flight where the program ends or forks, or made by a finalizer as it ends, each
in a child interpreter: the process ends with the status plain Python gives it, no temporary file is
left behind, a forked child neither hangs nor touches its parent's files, and a finalizer's call
works as it would written in Python."""
import json
import os
import signal
import subprocess
import time
from concurrent.futures import ThreadPoolExecutor

import pytest

from conftest import PYTHON, WITHOUT_PROC, _env, fingerprint

VIDX = {k: 1 for a in ("IL", "XL", "DP") for k in (a + "_FRST", a + "_LAST", a + "_NCRT", a + "_AMNT")}

DAEMON_CALL = r"""
import threading, time
import numpy as np
from dorar.utils.chunk_store import chunk_store
a = np.broadcast_to(np.zeros(1, np.float32), (400000000,))
def loop():
    while True:
        chunk_store(a, 10000)  # numpy and the logger run inside the call
threading.Thread(target=loop, daemon=True).start()
time.sleep(0.3)
"""


def test_daemon_thread_inside_a_call_when_the_program_ends():
    def run(_):
        return subprocess.run([PYTHON, "-c", DAEMON_CALL], env=_env(), capture_output=True, text=True,
                              timeout=120).returncode
    with ThreadPoolExecutor(5) as pool:
        codes = list(pool.map(run, range(20)))
    assert codes == [0] * 20


FORKS = r"""
import os, sys, threading, time
from dorar.gocube.expt import geometry_export as ge
folder, vidx = sys.argv[1], %r
ge.myprint = lambda *a: None
sys.setswitchinterval(0.001)  # the forks wait less for the GIL
def loop():
    while True:
        ge.write_vidx(os.path.join(folder, "parent.vidx"), vidx)
for _ in range(8):
    threading.Thread(target=loop, daemon=True).start()
time.sleep(0.05)
children = []
for i in range(60):
    pid = os.fork()
    if pid == 0:
        ge.write_vidx(os.path.join(folder, "child%%d.vidx" %% i), vidx)
        sys.exit(0)
    children.append(pid)
deadline, hung = time.monotonic() + 20, 0
for pid in children:
    while os.waitpid(pid, os.WNOHANG)[0] == 0:
        if time.monotonic() > deadline:
            hung += 1
            os.kill(pid, 9)
            os.waitpid(pid, 0)
            break
        time.sleep(0.001)
print("hung", hung)
""" % VIDX


@pytest.mark.forks_with_threads
def test_children_forked_while_threads_replace_files(tmp_path):
    r = subprocess.run([PYTHON, "-c", FORKS, str(tmp_path)], env=_env(), capture_output=True, text=True,
                       timeout=120)
    assert r.stdout.splitlines()[-1:] == ["hung 0"], r.stderr
    names = sorted(os.listdir(str(tmp_path)))
    assert names == sorted(["parent.vidx"] + ["child%d.vidx" % i for i in range(60)])
    assert open(str(tmp_path / "child59.vidx")).read() == open(str(tmp_path / "parent.vidx")).read()


CTRL_C_AT_THE_END = r"""
import os, signal, sys, threading, time
import numpy as np
from segypy import segypy
signal.signal(signal.SIGINT, signal.default_int_handler)
folder = sys.argv[1]
a = np.ones((1000, 1 << 16), np.float32)  # 256 MiB
signal.pthread_sigmask(signal.SIG_BLOCK, {signal.SIGINT})  # the writer inherits it: Ctrl-C goes to main
threading.Thread(target=segypy.writeSegy, args=(os.path.join(folder, "target"), a, 4000), daemon=True).start()
signal.pthread_sigmask(signal.SIG_UNBLOCK, {signal.SIGINT})
while not any(n.startswith(".dorar-") for n in os.listdir(folder)):
    time.sleep(0.001)
print("writing", flush=True)
time.sleep(60)
"""


def test_ctrl_c_ends_the_program_while_a_daemon_thread_writes(tmp_path):
    # Without /proc the temporary file has a name in the folder while it is written.
    if subprocess.run(WITHOUT_PROC + ["true"], capture_output=True).returncode != 0:
        pytest.skip("no mount namespace without /proc here")
    target = str(tmp_path / "target")
    with open(target, "wb") as f:
        f.write(os.urandom(1 << 16))
    old = fingerprint(target)
    child = subprocess.Popen(WITHOUT_PROC + [PYTHON, "-c", CTRL_C_AT_THE_END, str(tmp_path)], env=_env(),
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    try:
        assert child.stdout.readline() == "writing\n", child.communicate()[1]
        child.send_signal(signal.SIGINT)
        err = child.communicate(timeout=60)[1]
    finally:
        if child.poll() is None:
            child.kill()
            child.wait()
    assert child.returncode == -signal.SIGINT, err
    assert err.splitlines()[-1] == "KeyboardInterrupt"
    assert os.listdir(str(tmp_path)) == ["target"]
    assert fingerprint(target) == old


IN_PLACE = r"""
import os, signal, sys
from dorar.gocube.expt import geometry_export as ge
ge.myprint = lambda *a: None
target, vidx = sys.argv[1], %r
armed = False
def handler(signum, frame):  # raises only inside the call, once a call
    global armed
    if armed:
        armed = False
        raise KeyboardInterrupt
signal.signal(signal.SIGINT, handler)
ge.write_vidx(target, vidx)
whole = open(target).read()
os.link(target, target + ".link")  # a hard-linked file is written in place
print("go", flush=True)
torn = stopped = 0
while stopped < 300:
    try:
        armed = True
        ge.write_vidx(target, vidx)
        armed = False
    except KeyboardInterrupt:
        stopped += 1
        torn += open(target).read() != whole
print("torn", torn, os.stat(target).st_nlink)
""" % VIDX


def test_ctrl_c_during_writes_in_place_leaves_whole_files(tmp_path):
    child = subprocess.Popen([PYTHON, "-c", IN_PLACE, str(tmp_path / "t.vidx")], env=_env(),
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    try:
        assert child.stdout.readline() == "go\n", child.communicate()[1]
        while child.poll() is None:
            child.send_signal(signal.SIGINT)
            time.sleep(0.002)
        out, err = child.communicate(timeout=60)
    finally:
        if child.poll() is None:
            child.kill()
            child.wait()
    assert out.splitlines()[-1:] == ["torn 0 2"], err


AT_EXIT = r"""
import json, os, sys, types
import numpy as np
from dorar.gocube.cut import cut_cube
from dorar.gocube.expt import geometry_export as ge
from segypy import segypy
def size(name): return os.stat(name).st_size
vidx = dict(%r, IL_LAST=2, IL_AMNT=2, XL_LAST=3, XL_AMNT=3, DP_LAST=4, DP_AMNT=4)
cube = np.arange(24, dtype=np.float32).reshape(2, 3, 4)
CASES = [  # none of them ran before: what they import at first use was bound as their module loaded
    lambda: ge.write_vidx("a.vidx", vidx) or size("a.vidx"),
    lambda: ge.write_vxyz("a.vxyz", {"AXIS_" + p + a: 1.5 for p in ("OR", "IL", "XL", "DP") for a in "XYZ"})
            or size("a.vxyz"),
    lambda: segypy.writeSegy("a.sgy", cube.reshape(6, 4).T, 4000, "C 1", {"Inline3D": 7}) or size("a.sgy"),
    lambda: [(i[1]["TextualFileHeader"][:3], i[2]["Inline3D"].tolist()) for i in
             [segypy.readSegy("a.sgy", {"Inline3D": {"pos": 188, "type": "int32"}})]],
    lambda: cut_cube(cube, vidx, "aline", np.array([[1, 1], [2, 3]])).tolist(),
]
class Last:
    def __del__(self, cases=CASES, out=sys.__stdout__, dumps=json.dumps):
        done = []
        for case in cases:
            try:
                done.append(case())
            except Exception as e:
                done.append("%%s: %%s" %% (type(e).__name__, e))
        out.write(dumps(done))
ge.myprint = lambda *a: None
holder = types.ModuleType("holder"); holder.last = Last(); sys.modules["holder"] = holder
""" % VIDX


def test_writers_readers_and_sections_work_from_a_finalizer_at_exit(tmp_path):
    # The finalizer runs as the interpreter tears its modules down: sys.modules holds None and
    # every import is refused. Each call works there as it would written in Python.
    r = subprocess.run([PYTHON, "-c", AT_EXIT], env=_env(), cwd=str(tmp_path), capture_output=True, text=True,
                       timeout=60)
    assert r.returncode == 0, r.stderr
    assert json.loads(r.stdout) == [
        12 * len("IL_FRST 1\n"), 4 * len("AXIS_OR 1.500 1.500 1.500\n"), 3600 + 6 * (240 + 16), [["C 1", [7] * 6]],
        [[0.0, 20.0], [1.0, 21.0], [2.0, 22.0], [3.0, 23.0]]]
