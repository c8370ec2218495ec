"""The main job as a new user meets it: every end is one line, failures exit 1, Ctrl-C exits 130."""
import os
import signal
import subprocess

import numpy as np

from conftest import PYTHON, ROOT, _env

MAIN_JOB = os.path.join(ROOT, "tools", "main-job")


def test_a_file_without_traces_ends_the_job_in_one_line(tmp_path):
    path = tmp_path / "headers_only.sgy"
    binary = np.zeros(200, ">i2")
    binary[10], binary[12] = 250, 5  # 250 samples a trace, IEEE floats
    path.write_bytes(b"\x40" * 3200 + binary.tobytes())
    job = subprocess.run([PYTHON, MAIN_JOB, str(path), str(tmp_path / "out.sgy")],
                         env=_env(), capture_output=True, text=True, timeout=120)
    assert job.returncode == 1
    assert job.stderr.splitlines() == ["main-job: %s holds the SEG-Y file headers but no trace" % path]
    assert not (tmp_path / "out.sgy").exists()


def test_the_verdict_names_the_delay_and_the_snapped_interval_that_the_round_trip_drops(tmp_path):
    from segypy import segypy

    n_il, n_xl, ns = 3, 4, 30
    path = tmp_path / "delayed.sgy"
    headers = {"Inline3D": np.repeat(np.arange(10, 10 + n_il), n_xl), "Crossline3D": np.tile(np.arange(n_xl), n_il),
               "cdpX": np.arange(n_il * n_xl) * 25, "cdpY": np.arange(n_il * n_xl) * 40,
               "SourceGroupScalar": 1, "DelayRecordingTime": 1000}
    segypy.writeSegy(str(path), np.ones((ns, n_il * n_xl), np.float32), 4994, None, headers)
    job = subprocess.run([PYTHON, MAIN_JOB, str(path), str(tmp_path / "out.sgy")],
                         env=_env(), capture_output=True, text=True, timeout=120)
    assert (job.returncode, job.stderr) == (0, "")
    assert job.stdout.splitlines()[-1] == (
        "round trip: samples identical, volume index identical, corner lines identical, corner coordinates "
        "identical; time axis starts at 0 ms, the input's delay of 1000 ms is not kept; "
        "sample interval 4994 us read as 5 ms, written back as 5000 us")


def test_ctrl_c_while_the_modules_load_ends_the_job_in_one_line_and_status_130(tmp_path):
    # A numpy that says it is loading and then waits for the word to go on, which comes only once
    # the interrupt has been delivered.
    go = tmp_path / "go"
    numpy = tmp_path / "build" / "site" / "numpy"
    numpy.mkdir(parents=True)
    (numpy / "__init__.py").write_text(
        "import os, time\nprint('numpy loading', flush=True)\n"
        "while not os.path.exists(%r):\n    time.sleep(0.01)\n" % str(go))
    env = _env({"DORAR_BUILD": str(tmp_path / "build")})
    del env["PYTHONPATH"]
    # Started by its own first line, as tools/test and a user start it.
    job = subprocess.Popen([MAIN_JOB], env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    try:
        assert job.stdout.readline() == "numpy loading\n"
        job.send_signal(signal.SIGINT)
        go.touch()
        out, err = job.communicate(timeout=60)
    finally:
        job.kill()
    assert (job.returncode, out, err) == (130, "", "main-job: interrupted\n")
