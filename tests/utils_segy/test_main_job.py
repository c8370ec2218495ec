"""The main job as a new user meets it: a failure is one line and exit status 1."""
import os
import subprocess

import numpy as np

from conftest import PYTHON, ROOT, _env


def test_a_file_without_traces_ends_the_job_in_one_line(tmp_path):
    path = tmp_path / "headers_only.sgy"
    binary = np.zeros(200, ">i2")
    binary[10], binary[12] = 250, 5  # 250 samples a trace, IEEE floats
    path.write_bytes(b"\x40" * 3200 + binary.tobytes())
    job = subprocess.run([PYTHON, os.path.join(ROOT, "tools", "main-job"), str(path), str(tmp_path / "out.sgy")],
                         env=_env(), capture_output=True, text=True, timeout=120)
    assert job.returncode == 1
    assert job.stderr.splitlines() == ["main-job: %s holds the SEG-Y file headers but no trace" % path]
    assert not (tmp_path / "out.sgy").exists()
