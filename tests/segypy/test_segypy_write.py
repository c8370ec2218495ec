"""writeSegy: the messages of refused input, and files replaced as open(path, "w") sees the path."""
import os
import stat
import threading

import numpy as np
import pytest

from segypy import segypy

A = np.arange(12, dtype=np.float32).reshape(4, 3)  # 4 samples, 3 traces


class Interrupting:
    def __float__(self):
        raise KeyboardInterrupt

    __index__ = __float__


class RefusedByNumpy:
    def __array__(self, *args, **kwargs):
        raise ValueError("no\x00array here")


@pytest.mark.parametrize("dt, text, headers, exc, words", [
    # the interpreter's own message, never a traceback pasted into it
    (1000, "\u0627", None, ValueError, ["EBCDIC", "can't encode character '\\u0627' in position 0"]),
    # a value too large for its field, however large
    (1000, None, {"cdpX": {0: 1, 1: 10 ** 400, 2: 3}}, ValueError, ["'cdpX' of trace 1 is 1000", "4-byte signed field"]),
    (1000, None, {"cdpX": [0, 0, 10 ** 400]}, ValueError, ["'cdpX' of trace 2 is 1000", "does not fit"]),
    (1000, None, {"Inline3D": 10 ** 30}, ValueError, ["'Inline3D' of trace 0 is 1e+30", "does not fit its 4-byte"]),
    (10 ** 400, None, None, ValueError, ["sample interval 1000", "does not fit"]),
    # values that are no array of numbers, said plainly
    (1000, None, {"cdpX": None}, TypeError, ["'cdpX' is not a number: None"]),
    (1000, None, {"cdpX": "123"}, TypeError, ["'cdpX' is not a number: '123'"]),
    (1000, None, {"cdpX": ["1", "2", "3"]}, TypeError, ["'cdpX' must be integer or real numbers, not <U1"]),
    (1000, None, {"cdpX": [1, None, 3]}, TypeError, ["'cdpX' of trace 1 is not a number: None"]),
    (1000, None, {"cdpX": [[1, 2], [3], 4]}, TypeError, ["'cdpX' must be a number or an array of numbers"]),
    # the whole of the array library's refusal, a NUL in it too
    (1000, None, {"cdpX": RefusedByNumpy()}, TypeError, ["array of numbers, one a trace: no\x00array here"]),
    (1000, None, {"cdpX": np.zeros((3, 2))}, ValueError, ["'cdpX' must be an array of one number a trace",
                                                           "shape (3, 2)"]),
    (1000, None, {"cdpX": [1, 2]}, ValueError, ["'cdpX' holds 2 values for 3 traces"]),
    # complex values are refused as complex samples are
    (1000, None, {"cdpX": np.ones(3, complex)}, TypeError, ["'cdpX' must be integer or real numbers, not complex128"]),
    (1000, None, {"cdpY": {0: 1, 1: np.complex64(2), 2: 3}}, TypeError, ["'cdpY' of trace 1", "not complex"]),
    (np.complex128(4000), None, None, TypeError, ["sample interval must be a real number"]),
], ids=["ebcdic", "huge-in-dict", "huge-in-list", "huge-scalar", "huge-dt", "none", "text", "texts",
        "none-in-list", "ragged", "nul", "two-dimensional", "too-few", "complex-array", "complex-value", "complex-dt"])
def test_refused_input_says_what_is_wrong(tmp_path, dt, text, headers, exc, words):
    path = tmp_path / "out.sgy"
    path.write_bytes(b"old")
    with pytest.raises(exc) as e:
        segypy.writeSegy(str(path), A, dt, text, headers)
    msg = str(e.value)
    assert msg.startswith("SEG-Y file %r: " % str(path)) and "\n" not in msg and "()" not in msg, msg
    for w in words:
        assert w in msg, msg
    assert path.read_bytes() == b"old" and os.listdir(tmp_path) == ["out.sgy"]


@pytest.mark.parametrize("headers, dt", [({"cdpX": {0: 1, 1: Interrupting(), 2: 3}}, 1000),
                                         ({"cdpX": np.array([1, Interrupting(), 3], dtype=object)}, 1000),
                                         ({"cdpX": Interrupting()}, 1000),
                                         (None, Interrupting())])
def test_an_interrupt_is_never_turned_into_another_error(tmp_path, headers, dt):
    with pytest.raises(KeyboardInterrupt):
        segypy.writeSegy(str(tmp_path / "out.sgy"), A, dt, None, headers)
    assert os.listdir(tmp_path) == []


def test_files_replaced_as_open_sees_them(tmp_path):
    expected = tmp_path / "expected.sgy"
    segypy.writeSegy(str(expected), A, 1000, "x", {"cdpX": [1, 2, 3]})
    want = expected.read_bytes()
    # a file with a second hard link and longer old content: written in place, to the exact size
    shared = tmp_path / "shared.sgy"
    shared.write_bytes(b"\xff" * 10000)
    os.link(shared, tmp_path / "second.sgy")
    inode = os.stat(shared).st_ino
    # a symbolic link to a 0640 file: the file is replaced with its mode, the link stays
    target = tmp_path / "target.sgy"
    target.write_bytes(b"old")
    os.chmod(target, 0o640)
    os.symlink("target.sgy", tmp_path / "link.sgy")
    for name in ("second.sgy", "link.sgy"):
        segypy.writeSegy(str(tmp_path / name), A, 1000, "x", {"cdpX": [1, 2, 3]})
    assert shared.read_bytes() == want and os.stat(shared).st_ino == inode
    assert target.read_bytes() == want and stat.S_IMODE(os.stat(target).st_mode) == 0o640
    assert os.readlink(tmp_path / "link.sgy") == "target.sgy"
    # a FIFO takes the file as a stream: the same bytes, and it stays a FIFO
    fifo = tmp_path / "out.fifo"
    os.mkfifo(fifo)
    got = []
    reader = threading.Thread(target=lambda: got.append(open(fifo, "rb").read()))
    reader.start()
    segypy.writeSegy(str(fifo), A, 1000, "x", {"cdpX": [1, 2, 3]})
    reader.join(10)
    assert got == [want] and stat.S_ISFIFO(os.stat(fifo).st_mode)
    # a device that takes no more (a copy of /dev/full made here): the error names the path
    try:
        os.mknod(tmp_path / "full", stat.S_IFCHR | 0o666, os.makedev(1, 7))
    except PermissionError:
        pass
    else:
        with pytest.raises(OSError) as e:
            segypy.writeSegy(str(tmp_path / "full"), A, 1000)
        assert (e.value.errno, e.value.filename) == (28, str(tmp_path / "full"))
        assert stat.S_ISCHR(os.stat(tmp_path / "full").st_mode)
    # a path open() refuses fails as open() does, naming the path
    with pytest.raises(IsADirectoryError) as e:
        segypy.writeSegy(str(target) + "/", A, 1000)
    assert e.value.filename == str(target) + "/" and target.read_bytes() == want
    assert sorted(os.listdir(tmp_path)) == sorted(["expected.sgy", "link.sgy", "out.fifo", "second.sgy", "shared.sgy",
                                                   "target.sgy"] + (["full"] if (tmp_path / "full").exists() else []))


N = 300_000

WRITE_MANY = """
import sys
import numpy as np
from segypy import segypy
form, n, path = sys.argv[1], int(sys.argv[2]), sys.argv[3]
want = {"Inline3D": np.arange(-7, 3 * n - 7, 3), "Crossline3D": np.arange(200_000, 200_000 - n, -1),
        "cdpX": np.arange(n) % 977 * -1000, "TraceSequenceLine": np.arange(n) % 5 + 1}
given = {k: v.tolist() if form == "list" else tuple(v.tolist()) if form == "tuple" else v.astype(form)
         for k, v in want.items()}
segypy.writeSegy(path, np.zeros((2, n), np.float32), 1000, None, given)
"""


# Written by a fresh interpreter whose allocator returns every block over 128 KiB to the system at
# once, so that a read of a freed array faults instead of finding the old values still there.
@pytest.mark.parametrize("form", ["int64", "int32", "float64", ">i4", "list", "tuple"])
def test_every_header_value_of_every_trace_is_written(tmp_path, python, form):
    import segyio
    path = tmp_path / "many.sgy"
    done = python("import sys; sys.argv[1:] = %r\n%s" % ([form, str(N), str(path)], WRITE_MANY),
                  env={"GLIBC_TUNABLES": "glibc.malloc.mmap_threshold=131072"})
    assert done.returncode == 0, done.stderr
    want = {segyio.su.iline: np.arange(-7, 3 * N - 7, 3), segyio.su.xline: np.arange(200_000, 200_000 - N, -1),
            segyio.su.cdpx: np.arange(N) % 977 * -1000, segyio.su.tracl: np.arange(N) % 5 + 1}
    with segyio.open(str(path), ignore_geometry=True) as f:
        assert f.tracecount == N
        for field, v in want.items():
            np.testing.assert_array_equal(f.attributes(field)[:], v, err_msg=str(field))


class Emptying:
    """A header value whose __float__ empties the dict that holds it, dropping every other value."""
    def __init__(self, d, result):
        self.d, self.result = d, result

    def __float__(self):
        self.d.clear()
        return self.result

    def __repr__(self):
        return "<Emptying>"


@pytest.mark.parametrize("keys, result, exc, words", [
    ([0, 1, 2], 1.5, RuntimeError, "'cdpX' changed size while its values were read"),
    ([0, 1, 2], "no", TypeError, "'cdpX' of trace 0 is not a number: <Emptying>"),
    ([0, 1, 2, "extra"], 1.5, ValueError, "'cdpX' has no value for trace 1"),
    ([0, 1, 2, "extra"], "no", TypeError, "'cdpX' of trace 0 is not a number: <Emptying>"),
], ids=["one-key-a-trace", "one-key-a-trace-refused", "other-keys", "other-keys-refused"])
def test_a_value_that_empties_its_dict_ends_in_an_error(tmp_path, keys, result, exc, words):
    d = {k: [object()] for k in keys}
    d[0] = Emptying(d, result)
    with pytest.raises(exc) as e:
        segypy.writeSegy(str(tmp_path / "out.sgy"), A, 1000, None, {"cdpX": d})
    assert words in str(e.value)
    assert os.listdir(tmp_path) == []
