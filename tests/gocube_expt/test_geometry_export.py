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


# ---- replacing a file: every kind of target as open(path, "w") sees it ----------------------------

def test_replacing_keeps_modes_owners_links_and_devices(tmp_path, printed):
    import stat
    root = os.geteuid() == 0
    data, links = tmp_path / "data", tmp_path / "links"
    data.mkdir()
    links.mkdir()
    # a regular file: replaced whole, its mode and owner kept
    plain = data / "plain.sgmt"
    plain.write_text("old\n")
    os.chmod(plain, 0o600)
    if root:
        os.chown(plain, 65534, 65534)
    gx.write_sgmt(str(plain), SGMT)
    st = os.stat(plain)
    assert read(plain) == SGMT_TEXT and stat.S_IMODE(st.st_mode) == 0o600
    assert not root or (st.st_uid, st.st_gid) == (65534, 65534)
    # symbolic links, relative and chained, and one that points to no file yet: the file at the end
    # of the chain is written, the links stay
    target = data / "target.sgmt"
    target.write_text("old\n")
    os.symlink("../data/target.sgmt", links / "first")
    os.symlink("first", links / "second")
    os.symlink("../data/later.sgmt", links / "dangling")
    gx.write_sgmt(str(links / "second"), SGMT)
    gx.write_sgmt(str(links / "dangling"), SGMT)
    assert read(target) == SGMT_TEXT and read(data / "later.sgmt") == SGMT_TEXT
    assert [os.readlink(links / n) for n in ("first", "second", "dangling")] == [
        "../data/target.sgmt", "first", "../data/later.sgmt"]
    # a file with a second hard link: written in place, both names keep seeing one file; a failed
    # write through it leaves the content it had
    shared = data / "shared.sgmt"
    shared.write_text("old content longer than nothing\n" * 20)
    os.link(shared, links / "shared")
    inode = os.stat(shared).st_ino
    gx.write_sgmt(str(links / "shared"), SGMT)
    with pytest.raises(KeyError):
        gx.write_vidx(str(shared), {k: v for k, v in VIDX.items() if k != "DP_AMNT"})
    assert os.stat(shared).st_ino == inode and os.stat(shared).st_nlink == 2
    assert read(links / "shared") == read(shared) == SGMT_TEXT
    # device nodes (copies of /dev/null and /dev/full made here): written, never replaced by a
    # regular file; a failed write names the path
    try:
        os.mknod(data / "null", stat.S_IFCHR | 0o666, os.makedev(1, 3))
        os.mknod(data / "full", stat.S_IFCHR | 0o666, os.makedev(1, 7))
    except PermissionError:
        pass
    else:
        gx.write_sgmt(str(data / "null"), SGMT)
        with pytest.raises(OSError) as e:
            gx.write_sgmt(str(data / "full"), SGMT)
        assert (e.value.errno, e.value.filename) == (28, str(data / "full"))
        assert all(stat.S_ISCHR(os.stat(data / n).st_mode) for n in ("null", "full"))
    assert sorted(os.listdir(data)) == sorted(["plain.sgmt", "target.sgmt", "later.sgmt", "shared.sgmt"]
                                              + (["full", "null"] if (data / "null").exists() else []))
    assert sorted(os.listdir(links)) == ["dangling", "first", "second", "shared"]


def test_paths_open_refuses_fail_as_open_does(tmp_path, printed):
    keep = tmp_path / "keep.sgmt"
    keep.write_text("kept\n")
    (tmp_path / "folder").mkdir()
    for path in ["", str(keep) + "/", str(tmp_path / "new.sgmt") + "/", str(tmp_path / "folder"),
                 str(keep / "x"), str(tmp_path / ("x" * 256))]:
        with pytest.raises(OSError) as want:
            open(path, "w")
        with pytest.raises(type(want.value)) as got:
            gx.write_sgmt(path, SGMT)
        assert (got.value.errno, got.value.filename) == (want.value.errno, path)
    longest = tmp_path / ("n" * 255)  # the longest name open() takes
    gx.write_sgmt(str(longest), SGMT)
    assert read(longest) == SGMT_TEXT and read(keep) == "kept\n"
    assert sorted(os.listdir(tmp_path)) == sorted(["folder", "keep.sgmt", longest.name])


UNPRIVILEGED = r"""
import json, os, sys
from dorar.gocube.expt import geometry_export as gx
gx.myprint = lambda *args: None
sgmt, paths = json.loads(sys.argv[1])
try:
    os.setgroups([])
    os.setgid(65534)
    os.setuid(65534)
except PermissionError:
    sys.exit(3)
out = {}
for p in paths:
    try:
        gx.write_sgmt(p, sgmt)
        out[p] = None
    except OSError as e:
        out[p] = [type(e).__name__, e.filename]
print(json.dumps(out))
"""


def test_files_the_folder_will_not_let_us_replace(printed):
    """As an unprivileged user (root passes every permission check): a read-only folder, a sticky
    folder holding someone else's file and an owner we cannot give a new file mean writing in place;
    a read-only file and a folder that takes no new file fail as open() fails."""
    import json
    import shutil
    import subprocess
    import sys
    import tempfile
    if os.geteuid() != 0:
        pytest.skip("needs root to make files of two owners and to drop to uid 65534")
    scratch = tempfile.mkdtemp()  # beside other users' files: tmp_path is closed to uid 65534
    try:
        os.chmod(scratch, 0o755)

        try:
            os.chown(scratch, 65534, 65534)
            os.chown(scratch, 0, 0)
        except OSError as e:
            pytest.skip("cannot give files to uid 65534 here: %s" % e)

        def folder(name, uid):
            path = os.path.join(scratch, name)
            os.mkdir(path)
            os.chown(path, uid, uid)
            return path

        def old_file(path, mode, uid):
            with open(path, "w") as f:
                f.write("old\n")
            os.chown(path, uid, uid)
            os.chmod(path, mode)
            return path

        ro, sticky, mine = folder("ro", 65534), folder("sticky", 0), folder("mine", 65534)
        in_place = [old_file(os.path.join(ro, "a.sgmt"), 0o644, 65534),
                    old_file(os.path.join(sticky, "roots.sgmt"), 0o666, 0),
                    old_file(os.path.join(mine, "roots.sgmt"), 0o666, 0)]
        refused = [os.path.join(ro, "new.sgmt"), old_file(os.path.join(mine, "readonly.sgmt"), 0o444, 65534)]
        os.chmod(ro, 0o555)
        os.chmod(sticky, 0o1777)
        before = {p: os.stat(p) for p in in_place}
        r = subprocess.run([sys.executable, "-c", UNPRIVILEGED, json.dumps([SGMT, in_place + refused])],
                           env=dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path)),
                           capture_output=True, text=True, timeout=60)
        if r.returncode == 3:
            pytest.skip("cannot drop to uid 65534 here")
        assert r.returncode == 0, r.stderr
        result = json.loads(r.stdout)
        for p in in_place:
            st = os.stat(p)
            assert result[p] is None and read(p) == SGMT_TEXT, p
            assert (st.st_ino, st.st_uid, st.st_mode) == (before[p].st_ino, before[p].st_uid, before[p].st_mode), p
        assert [result[p] for p in refused] == [["PermissionError", p] for p in refused]
        assert read(refused[1]) == "old\n" and not os.path.exists(refused[0])
        assert [sorted(os.listdir(d)) for d in (ro, sticky, mine)] == [
            ["a.sgmt"], ["roots.sgmt"], ["readonly.sgmt", "roots.sgmt"]]
    finally:
        shutil.rmtree(scratch)
