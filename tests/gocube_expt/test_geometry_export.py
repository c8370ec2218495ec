"""Geometry export: the vxyz, sgmt and vidx files, and the sgmt round trip."""
import os

import numpy as np
import pytest

from dorar.gocube.expt import geometry_export as gx
from dorar.gosurvey.impt import survey_loader

SGMT = {"P1_ILNO": 100, "P1_XLNO": 200, "P1_CRSX": 1000, "P1_CRSY": 2000.5,
        "P2_ILNO": 100, "P2_XLNO": 250.9, "P2_CRSX": 1000.0004, "P2_CRSY": 2500.0625,
        "P3_ILNO": 300, "P3_XLNO": 200, "P3_CRSX": -0.0004, "P3_CRSY": np.float64(2000.12345)}
SGMT_TEXT = ("P1_ILNO 100\nP1_XLNO 200\nP1_CRSX 1000.000\nP1_CRSY 2000.500\n"
             "P2_ILNO 100\nP2_XLNO 250\nP2_CRSX 1000.000\nP2_CRSY 2500.062\n"
             "P3_ILNO 300\nP3_XLNO 200\nP3_CRSX -0.000\nP3_CRSY 2000.123\n")
VXYZ = {"AXIS_ORX": 5, "AXIS_ORY": -3, "AXIS_ORZ": 0, "AXIS_ILX": 1.5, "AXIS_ILY": 2.25, "AXIS_ILZ": 0.0,
        "AXIS_XLX": 1e20, "AXIS_XLY": float("nan"), "AXIS_XLZ": float("-inf"),
        "AXIS_DPX": 5, "AXIS_DPY": -3, "AXIS_DPZ": 4000.0625}
VIDX = {"IL_FRST": 10, "IL_LAST": 20, "IL_NCRT": 2, "IL_AMNT": 6, "XL_FRST": 1, "XL_LAST": 3.0,
        "XL_NCRT": 1, "XL_AMNT": 3, "DP_FRST": 0.0, "DP_LAST": 499.5, "DP_NCRT": 0.5, "DP_AMNT": 1000}


@pytest.fixture
def printed(monkeypatch):
    calls = []
    monkeypatch.setattr(gx, "myprint", lambda *args, **kw: calls.append((args, kw)))
    return calls


def read(path):
    with open(path, newline="") as f:
        return f.read()


def test_sgmt_file(tmp_path, printed):
    fn = str(tmp_path / "survey")
    assert gx.write_sgmt(fn, SGMT) is None
    assert read(fn) == SGMT_TEXT
    assert printed == [(("--Writing--", fn), {})]
    assert os.listdir(tmp_path) == ["survey"]  # no extension added, no temporary left
    # entry order and extra entries of the map play no part
    shuffled = dict(reversed(list(SGMT.items())), EXTRA=1)
    gx.write_sgmt(dict_sgmt=shuffled, fn=fn)
    assert read(fn) == SGMT_TEXT


def test_sgmt_round_trip(tmp_path, printed):
    fn = str(tmp_path / "a.sgmt")
    gx.write_sgmt(fn, SGMT)
    back = survey_loader.read_sgmt(fn)
    assert list(back) == list(SGMT)
    assert back == {"P1_ILNO": 100, "P1_XLNO": 200, "P1_CRSX": 1000.0, "P1_CRSY": 2000.5,
                    "P2_ILNO": 100, "P2_XLNO": 250, "P2_CRSX": 1000.0, "P2_CRSY": 2500.062,
                    "P3_ILNO": 300, "P3_XLNO": 200, "P3_CRSX": -0.0, "P3_CRSY": 2000.123}
    assert [type(v) for v in back.values()] == [int, int, float, float] * 3
    assert survey_loader.read_sgmt_old(fn) == tuple(back.values())


def test_vxyz_file(tmp_path, printed):
    fn = tmp_path / "cube.vxyz"
    gx.write_vxyz(fn, VXYZ)
    assert read(fn) == ("AXIS_OR 5.000 -3.000 0.000\n"
                        "AXIS_DP 5.000 -3.000 4000.062\n"
                        "AXIS_XL 100000000000000000000.000 nan -inf\n"
                        "AXIS_IL 1.500 2.250 0.000\n")


def test_vidx_keeps_fractions(tmp_path, printed):
    fn = str(tmp_path / "cube.vidx")
    gx.write_vidx(fn, VIDX)
    assert read(fn) == ("IL_FRST 10\nIL_LAST 20\nIL_NCRT 2\nIL_AMNT 6\n"
                        "XL_FRST 1\nXL_LAST 3\nXL_NCRT 1\nXL_AMNT 3\n"
                        "DP_FRST 0\nDP_LAST 499.5\nDP_NCRT 0.5\nDP_AMNT 1000\n")
    values = dict(VIDX, DP_NCRT=np.float32(0.1), DP_FRST=np.float64(-2.0), DP_LAST=np.int64(7), DP_AMNT=True)
    gx.write_vidx(fn, values)
    lines = read(fn).splitlines()[8:]
    assert lines == ["DP_FRST -2", "DP_LAST 7", "DP_NCRT %r" % float(np.float32(0.1)), "DP_AMNT 1"]
    assert float(lines[2].split()[1]) == np.float32(0.1)


@pytest.mark.parametrize("write, mapping, bad_key, error", [
    (gx.write_sgmt, SGMT, "P2_CRSY", KeyError),
    (gx.write_sgmt, dict(SGMT, P1_ILNO=None), None, TypeError),
    (gx.write_sgmt, dict(SGMT, P3_XLNO="200"), None, TypeError),
    (gx.write_vidx, dict(VIDX, DP_NCRT=float("nan")), None, ValueError),
    (gx.write_vidx, dict(VIDX, DP_LAST=float("inf")), None, OverflowError),
    (gx.write_vidx, dict(VIDX, IL_FRST="10"), None, TypeError),
    (gx.write_vxyz, VXYZ, "AXIS_XLY", KeyError),
    (gx.write_vxyz, VXYZ, "AXIS_ORX", KeyError),
    (gx.write_vxyz, dict(VXYZ, AXIS_ORZ="z"), None, ValueError),
])
def test_failed_write_keeps_previous_file(tmp_path, printed, write, mapping, bad_key, error):
    fn = tmp_path / "old.txt"
    fn.write_text("previous content\n")
    mapping = {k: v for k, v in mapping.items() if k != bad_key}
    with pytest.raises(error) as e:
        write(str(fn), mapping)
    if bad_key:
        assert e.value.args == (bad_key,)
    assert read(fn) == "previous content\n"
    assert os.listdir(tmp_path) == ["old.txt"]
    # a failed first write leaves no file at all
    with pytest.raises(error):
        write(str(tmp_path / "new.txt"), mapping)
    assert os.listdir(tmp_path) == ["old.txt"]


def test_unwritable_paths(tmp_path, printed):
    missing = str(tmp_path / "no" / "dir.sgmt")
    with pytest.raises(FileNotFoundError) as e:
        gx.write_sgmt(missing, SGMT)
    assert e.value.filename == missing
    with pytest.raises(IsADirectoryError):
        gx.write_sgmt(str(tmp_path), SGMT)
    assert printed == [(("--Writing--", missing), {}), (("--Writing--", str(tmp_path)), {})]
    assert os.listdir(tmp_path) == []


def test_print_failure_touches_nothing(tmp_path, monkeypatch):
    def broken(*args):
        raise RuntimeError("console gone")
    monkeypatch.setattr(gx, "myprint", broken)
    with pytest.raises(RuntimeError):
        gx.write_vidx(str(tmp_path / "v"), VIDX)
    assert os.listdir(tmp_path) == []


def test_replace_keeps_mode_and_links(tmp_path, printed):
    target = tmp_path / "real.sgmt"
    target.write_text("old\n")
    os.chmod(target, 0o640)
    link = tmp_path / "link.sgmt"
    link.symlink_to(target)
    gx.write_sgmt(str(link), SGMT)
    assert link.is_symlink() and read(target) == SGMT_TEXT
    assert os.stat(target).st_mode & 0o777 == 0o640
    assert sorted(os.listdir(tmp_path)) == ["link.sgmt", "real.sgmt"]


def test_pipe_is_written_not_replaced(tmp_path, printed):
    import stat
    fifo = tmp_path / "out.fifo"
    os.mkfifo(fifo)
    reader = os.open(fifo, os.O_RDONLY | os.O_NONBLOCK)
    try:
        gx.write_sgmt(str(fifo), SGMT)
        assert os.read(reader, 4096).decode() == SGMT_TEXT
    finally:
        os.close(reader)
    assert stat.S_ISFIFO(os.stat(fifo).st_mode)
    assert os.listdir(tmp_path) == ["out.fifo"]
