"""The main job as a new user meets it: every end is one line, failures exit 1, Ctrl-C exits 130."""
import os
import signal
import subprocess

import numpy as np
import pytest

from conftest import PYTHON, ROOT, _env

MAIN_JOB = os.path.join(ROOT, "tools", "main-job")


def main_job(*args):
    return subprocess.run([PYTHON, MAIN_JOB, *map(str, args)], env=_env(), capture_output=True, text=True,
                          timeout=120)


def volume(path, **headers):
    """A 3 x 4 trace volume of IEEE floats, 4994 us, with the given trace header fields."""
    from segypy import segypy
    n_il, n_xl, ns = 3, 4, 30
    headers = {"Inline3D": np.repeat(np.arange(10, 10 + n_il), n_xl), "Crossline3D": np.tile(np.arange(n_xl), n_il),
               "cdpX": np.arange(n_il * n_xl) * 25, "cdpY": np.arange(n_il * n_xl) * 40,
               "SourceGroupScalar": 1, **headers}
    segypy.writeSegy(str(path), np.ones((ns, n_il * n_xl), np.float32), 4994, None, headers)


def test_a_file_without_traces_ends_the_job_in_one_line(tmp_path):
    path = tmp_path / "headers_only.sgy"
    binary = np.zeros(200, ">i2")
    binary[10], binary[12] = 250, 5  # 250 samples a trace, IEEE floats
    path.write_bytes(b"\x40" * 3200 + binary.tobytes())
    job = main_job(path, tmp_path / "out.sgy")
    assert job.returncode == 1
    assert job.stderr.splitlines() == ["main-job: %s holds the SEG-Y file headers but no trace" % path]
    assert not (tmp_path / "out.sgy").exists()


@pytest.mark.parametrize("delay, scalar, ms", [(1000, 0, "1000"), (10000, -10, "1000"), (125, -10, "12.5"),
                                               (250, 4, "1000")])
def test_the_verdict_names_the_delay_and_the_snapped_interval_that_the_round_trip_drops(tmp_path, delay, scalar, ms):
    path = tmp_path / "delayed.sgy"
    volume(path, DelayRecordingTime=delay, ScalarTraceHeader=scalar)
    job = main_job(path, tmp_path / "out.sgy")
    assert (job.returncode, job.stderr) == (0, "")
    assert job.stdout.splitlines()[-1] == (
        "round trip: samples identical, volume index identical, corner lines identical, corner coordinates "
        "identical; time axis starts at 0 ms, the input's delay of %s ms is not kept; "
        "sample interval 4994 us read as 5 ms, written back as 5000 us" % ms)


def ibm(values):
    """Big-endian IBM floats nearest to `values` (none of them 0): sign, base-16 exponent, 24-bit fraction."""
    values = np.asarray(values, np.float64)
    mantissa, exponent = np.frexp(np.abs(values))
    e16 = -(-exponent // 4)  # |value| = fraction * 16**e16, 1/16 <= fraction < 1
    fraction = np.round(np.ldexp(mantissa, exponent - 4 * e16) * 2 ** 24).astype(np.uint32)
    return (np.signbit(values).astype(np.uint32) << 31 | (e16 + 64).astype(np.uint32) << 24 | fraction).astype(">u4")


@pytest.mark.parametrize("fmt, stored, samples, status", [
    (6, np.full(5, 0.1, ">f8"), "rounded to 32-bit floats, largest change 1.49e-09", 0),
    (2, np.full(5, 2 ** 24 + 1, ">i4"), "rounded to 32-bit floats, largest change 1", 0),
    (9, np.full(5, 2 ** 63 - 1, ">i8"), "rounded to 32-bit floats, largest change 1", 0),  # float64: 2**63
    (6, np.full(5, 1e300, ">f8"), "DIFFER", 1),
    (1, ibm([1.5, 1e50, -0.25, -1e60, 3e4]),
     "identical (12 read as infinities from finite IBM values beyond the range of 32-bit floats)", 0),  # 2 a trace
])
def test_the_verdict_compares_the_samples_in_the_input_type(tmp_path, fmt, stored, samples, status):
    # A 2 x 3 trace volume in sample format `fmt`, 4 ms, each trace's 5 samples `stored`, made byte by byte.
    binary = np.zeros(200, ">i2")
    binary[8], binary[10], binary[12] = 4000, 5, fmt
    data = b"\x40" * 3200 + binary.tobytes()
    for il in range(2):
        for xl in range(3):
            header = np.zeros(240, np.uint8)
            header.view(">i2")[35] = 1  # coordinate scalar
            header.view(">i4")[45:49] = 25 * xl, 40 * il, 100 + il, 200 + xl  # cdpX, cdpY, inline, crossline
            data += header.tobytes() + stored.tobytes()
    path = tmp_path / "in.sgy"
    path.write_bytes(data)
    job = main_job(path, tmp_path / "out.sgy")
    assert job.returncode == status
    assert job.stdout.splitlines()[-1] == ("round trip: samples %s, volume index identical, corner lines identical, "
                                           "corner coordinates identical" % samples)


@pytest.mark.parametrize("output", ["same", "hard link", "symbolic link"])
def test_the_job_refuses_to_write_over_its_input(tmp_path, output):
    src = tmp_path / "in.sgy"
    volume(src)
    out = {"same": src, "hard link": tmp_path / "hard.sgy", "symbolic link": tmp_path / "sym.sgy"}[output]
    if output == "hard link":
        os.link(src, out)
    elif output == "symbolic link":
        out.symlink_to(src.name)
    before, content, names = os.stat(src), src.read_bytes(), sorted(os.listdir(tmp_path))
    job = main_job(src, out)
    assert (job.returncode, job.stdout) == (1, "")
    assert job.stderr.splitlines() == [
        "main-job: the output %s is the input %s itself; the job does not write over its input" % (out, src)]
    after = os.stat(src)
    assert (after.st_ino, after.st_mtime_ns, src.read_bytes()) == (before.st_ino, before.st_mtime_ns, content)
    assert sorted(os.listdir(tmp_path)) == names


@pytest.mark.parametrize("option", ["--help", "-h"])
def test_help_prints_the_usage(option):
    job = main_job(option)
    assert (job.returncode, job.stderr) == (0, "")
    assert job.stdout.startswith("The main job: ") and "    tools/main-job [INPUT.sgy [OUTPUT.sgy]]\n" in job.stdout


def test_ctrl_c_while_the_modules_load_ends_the_job_in_one_line_and_status_130(tmp_path):
    # A numpy that says it is loading and then waits until the job's handler has noted the
    # interrupt (a sanitizer runtime may hold a signal back for a while), at most 30 s.
    numpy = tmp_path / "build" / "site" / "numpy"
    numpy.mkdir(parents=True)
    (numpy / "__init__.py").write_text(
        "import sys, time\nprint('numpy loading', flush=True)\nend = time.monotonic() + 30\n"
        "while not sys.modules['__main__'].interrupted and time.monotonic() < end:\n    time.sleep(0.01)\n")
    env = _env({"DORAR_BUILD": str(tmp_path / "build")})
    del env["PYTHONPATH"]
    # Started by its own first line, as tools/test and a user start it.
    job = subprocess.Popen([MAIN_JOB], env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    try:
        assert job.stdout.readline() == "numpy loading\n"
        job.send_signal(signal.SIGINT)
        out, err = job.communicate(timeout=60)
    finally:
        job.kill()
    assert (job.returncode, out, err) == (130, "", "main-job: interrupted\n")


FULL = "main-job: cannot write to standard output: [Errno 28] No space left on device\n"
# A folder the job cannot write into: root writes into any folder but one mounted read-only, which it
# mounts so in a mount namespace of its own; any other user is kept out by the folder's mode.
READ_ONLY = "mkdir ro && chmod 555 ro && "
if os.geteuid() == 0:
    READ_ONLY = "mkdir ro && mount --bind ro ro && mount -o remount,bind,ro ro && "


@pytest.mark.parametrize("args, setup, redirect, err", [
    (["--help"], "", ">/dev/full", FULL),
    (["in.sgy", "out.sgy"], "", ">/dev/full", FULL),  # a line the modules print as they load
    (["in.sgy", "out.sgy"], "", ">&-", "main-job: cannot write to standard output: it is closed\n"),
    (["in.sgy", "no/out.sgy"], "", "2>&-", ""),  # not on standard output either
    (["in.sgy", "no/out.sgy"], "", "", "main-job: cannot write no/out.sgy: the folder no does not exist\n"),
    (["in.sgy", "ro/out.sgy"], READ_ONLY, "", "main-job: cannot write ro/out.sgy: the folder ro is read-only\n"),
], ids=["usage to a full disk", "progress to a full disk", "closed", "error stream closed", "no folder",
        "read-only folder"])
def test_an_output_that_cannot_be_written_ends_the_job_in_one_line(tmp_path, args, setup, redirect, err):
    volume(tmp_path / "in.sgy")
    # A sanitizer runtime preloaded into the interpreter is for the job alone, not for unshare and the shell.
    env = _env()
    preload = env.pop("LD_PRELOAD", "")
    shell = setup + 'export LD_PRELOAD="$PRELOAD"; exec "$@" ' + redirect
    namespace = []
    if "mount" in setup:
        namespace = ["unshare", "--mount"]
        if subprocess.run(namespace + ["true"], env=env, capture_output=True).returncode != 0:
            pytest.skip("this root may not make a mount namespace of its own (unshare --mount)")
    job = subprocess.run(namespace + ["sh", "-c", shell, "sh", PYTHON, MAIN_JOB, *args], cwd=tmp_path,
                         env=dict(env, PRELOAD=preload), capture_output=True, text=True, timeout=120)
    assert (job.returncode, job.stdout, job.stderr) == (1, "", err)
    assert not (tmp_path / "out.sgy").exists()
