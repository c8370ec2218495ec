"""The Gocad TSurf reader on small files: columns, line kinds, numbers, ids, failures, the loader."""
import os
import random
import struct

import numpy as np
import pytest

from conftest import run_python, import_error_text
from dorar.gotsurf.impt import tsurf_reader as T

SURFACE = (
    "GOCAD TSurf 1\n"
    "HEADER {\nname: s\n}\n"
    "TFACE\n"
    "VRTX 1 10.5 20 -30\n"
    "  PVRTX 2 11 21 -31 7.25 8\n"       # property values after Z are ignored by default
    "\tVRTX 3 12 22 -32\n"
    "vrtx 4 0 0 0\n"                      # lower case: not a vertex line
    "TRGL 1 2 3\n"
    "TRGL 3 2 1 9\n"                      # ids after the third are ignored
    "END\n")


@pytest.fixture
def write(tmp_path):
    def _write(text, name="s.ts", mode="w"):
        path = tmp_path / name
        if mode == "wb":
            path.write_bytes(text)
        else:
            path.write_text(text, newline="")
        return str(path)
    return _write


def test_default_columns_types_and_rows(write):
    names, v, t = T.read_gocad_tsurf(write(SURFACE))
    assert names == ["X", "Y", "Z"] and type(names) is list
    assert v.dtype == np.float32 and v.shape == (3, 3) and t.dtype == np.int32 and t.shape == (2, 3)
    assert v.tolist() == [[10.5, 20, -30], [11, 21, -31], [12, 22, -32]]
    assert t.tolist() == [[0, 1, 2], [2, 1, 0]]


@pytest.mark.parametrize("end", ["\r\n", "\r"])
def test_line_ends_and_keyword_prefixes(write, end):
    text = "VRTXa 1 1 2 3\nPVRTX 2 4 5 6 1\nTRGLx 1 2 2\n".replace("\n", end)
    names, v, t = T.read_gocad_tsurf(write(text))
    assert v.tolist() == [[1, 2, 3], [4, 5, 6]] and t.tolist() == [[0, 1, 1]]


def test_column_entries(write):
    fn = write("PVRTX 5 1 2 3 40 50\nPVRTX 6 4 5 6 41 51\n")
    names, v, _ = T.read_gocad_tsurf(fn, " 6 , P ; 2,id,ignored; 3 ,; 3,X")
    assert names == ["P", "id", "", "X"]
    assert v.tolist() == [[40, 5, 1, 1], [41, 6, 4, 4]]
    assert T.read_gocad_tsurf(fn, columns=None)[0] == ["X", "Y", "Z"]


@pytest.mark.parametrize("columns,error,text", [
    ("3,X;4", IndexError, "'4' has no ','"),
    ("3,X;four,Y", ValueError, "'four' is not an integer"),
    ("", ValueError, "position '' is not an integer"),       # an empty text is not the default
    ("3,X;;4,Y", ValueError, "not an integer"),
    ("3,X;", ValueError, "not an integer"),
    ("0,X", ValueError, "must be 1 or more"),                   # no wrap-around to the last token
    ("3,X;-1,Y", ValueError, "must be 1 or more"),
])
def test_bad_columns_fail_before_the_file_is_opened(tmp_path, columns, error, text):
    with pytest.raises(error, match=text):
        T.read_gocad_tsurf(str(tmp_path / "missing.ts"), columns)


def test_file_failures(write, tmp_path):
    with pytest.raises(FileNotFoundError):
        T.read_gocad_tsurf(str(tmp_path / "missing.ts"))
    with pytest.raises(IsADirectoryError):
        T.read_gocad_tsurf(str(tmp_path))
    with pytest.raises(UnicodeDecodeError):
        T.read_gocad_tsurf(write(b"VRTX 1 1 2 3\nVRTX 2 \xff\xfe 2 3\n", mode="wb"))


@pytest.mark.parametrize("text,columns,error,message", [
    ("VRTX 1 1 2 3\nVRTX 2 1 2\n", None, IndexError, "line 2: the vertex line has 4 tokens, but column 'Z' takes token 5"),
    ("PVRTX 1 1 2 3 4\nVRTX 2 1 2 3\n", "3,X;6,P", IndexError, "line 2: .* column 'P' takes token 6"),
    ("VRTX 1 1 2 3\n", "1,K", ValueError, "line 1: 'VRTX' in column 'K' is not a number"),
    ("VRTX 1 1 2 3\nVRTX 2 1 2 x\n", None, ValueError, "line 2: 'x' in column 'Z' is not a number"),
    # the short line stops reading before any number is judged
    ("VRTX 1 x 2 3\nVRTX 2 1 2\n", None, IndexError, "line 2"),
    ("VRTX 1 1 2 3\nTRGL 1 1.0 1\n", None, ValueError, "line 2: the vertex id '1.0' of the triangle is not an integer"),
    # a vertex value is judged before the triangles
    ("VRTX 1 1 2 y\nTRGL 1 x 1\n", None, ValueError, "line 1: 'y'"),
    ("VRTX 1 1 2 3\nTRGL 1 1 1\nTRGL 1 1\n", None, ValueError, "line 3: the triangle line has 2 vertex ids, 3 are needed"),
    # short triangle lines are refused even when all of them are equally short
    ("VRTX 1 1 2 3\nTRGL 1 1\nTRGL 1 1\n", None, ValueError, "line 2: the triangle line has 2 vertex ids"),
])
def test_bad_lines(write, text, columns, error, message):
    with pytest.raises(error, match=message):
        T.read_gocad_tsurf(write(text), columns)


@pytest.mark.parametrize("text,columns,error,message", [
    # a NUL neither ends the message nor hides in it
    ("VRTX 1 1\x002 2 3\n", None, ValueError, "line 1: '1\\x002' in column 'X' is not a number"),
    ("VRTX 1 1 2 \u0663\x00\n", None, ValueError, "line 1: '\u0663\\x00' in column 'Z' is not a number"),
    ("VRTX 1 1 2 3\nTRGL 1 1\x001 1\n", None, ValueError,
     "line 2: the vertex id '1\\x001' of the triangle is not an integer"),
    ("VRTX 1 1 2 3\nTRGL 1 \u0661\x00 1\n", None, ValueError,
     "line 2: the vertex id '\u0661\\x00' of the triangle is not an integer"),
    ("VRTX 1 x 2 3\n", "3,X\x00Y\x9b", ValueError, "line 1: 'x' in column 'X\\x00Y\\x9b' is not a number"),
    # a position beyond 64 bits is reported as given
    ("VRTX 1 1 2 3\n", "3,X;%d,P" % 10 ** 23, IndexError,
     "line 1: the vertex line has 5 tokens, but column 'P' takes token 100000000000000000000000"),
])
def test_messages_show_tokens_and_positions_whole(write, text, columns, error, message):
    with pytest.raises(error) as e:
        T.read_gocad_tsurf(write(text), columns)
    assert str(e.value) == message


def test_column_name_that_is_no_text(tmp_path):
    with pytest.raises(ValueError, match=r"the name 'Y\\udc80' is not valid text"):
        T.read_gocad_tsurf(str(tmp_path / "missing.ts"), "3,X;4,Y\udc80")


def test_files_without_vertexes_or_triangles(write):
    names, v, t = T.read_gocad_tsurf(write(""), "3,X;4,Y")
    assert names == ["X", "Y"]
    assert (v.shape, v.dtype, t.shape, t.dtype) == ((0,), np.float32, (0,), np.int32)
    names, v, t = T.read_gocad_tsurf(write("VRTX 1 1 2 3\nVRTX 2 4 5 6\n"))
    assert v.shape == (2, 3) and t.shape == (0,)
    empty = T.load_gocad_tsurf(write(""))         # the host's surface takes both
    assert list(empty.prop) == ["X", "Y", "Z"] and empty.triangles.shape == (0, 3) and empty.xyz_range is None
    assert T.load_gocad_tsurf(write("VRTX 1 1 2 3\n")).xyz_range[1].tolist() == [1, 2, 3]


def test_triangles_follow_vertex_ids(write):
    text = ("GOCAD TSurf 1\nTFACE\nVRTX 7 0 0 0\nVRTX 5 1 0 0\nVRTX 9 0 1 0\n"
            "TFACE\nATOM 12 5\nVRTX 13 1 1 0\nTRGL 5 9 7\nTRGL 12 13 9\nEND\n"
            "GOCAD TSurf 1\nVRTX 1 5 5 5\nVRTX 2 6 5 5\nVRTX 3 5 6 5\nTRGL 3 2 1\nEND\n")
    _, v, t = T.read_gocad_tsurf(write(text))
    assert len(v) == 7     # the ATOM line adds no row
    assert t.tolist() == [[1, 2, 0], [1, 3, 2], [6, 5, 4]]


@pytest.mark.parametrize("trgl,message", [
    ("TRGL 0 1 2", "vertex id 0, which no vertex of its surface has"),
    ("TRGL 1 2 4", "vertex id 4, which no vertex of its surface has"),
])
def test_triangles_naming_missing_vertexes_fail(write, trgl, message):
    with pytest.raises(ValueError, match=message):
        T.read_gocad_tsurf(write("VRTX 1 0 0 0\nVRTX 2 1 0 0\nVRTX 3 0 1 0\n" + trgl + "\n"))


def _bits(a):
    return np.asarray(a, dtype=np.float32).view(np.uint32).tolist()


def test_values_convert_as_float_and_numpy_convert_them(write):
    rng = random.Random(7)
    tokens = ["1_0", "1e1_0", "+.5", "1.", "-0", "nan", "-nan", "Infinity", "-iNF", "1e400", "1e-400",
              "4.9e-324", "3.4028235e38", "3.40282357e38", "1.0000000596046448", "\u0661\u0662.\u0665",
              "\uff17", "007", "1E+3"]
    for _ in range(300):
        tokens.append(repr(struct.unpack("<d", struct.pack("<Q", rng.getrandbits(64)))[0]))
        tokens.append("%.*g" % (rng.randint(1, 20), rng.uniform(-1e6, 1e6)))
        tokens.append("%de%d" % (rng.randint(-10 ** 12, 10 ** 12), rng.randint(-330, 330)))
    tokens = [t for t in tokens if t.lower() not in ("nan", "-nan")] + ["nan", "-nan"]
    text = "".join("VRTX %d %s 0 0\n" % (i, tok) for i, tok in enumerate(tokens, 1))
    _, v, _ = T.read_gocad_tsurf(write(text))
    with np.errstate(over="ignore"):
        expected = np.array([[tok] for tok in tokens], dtype=np.float32)
    assert _bits(v[:, 0]) == _bits(expected[:, 0])


@pytest.mark.parametrize("token", ["1__0", "_1", "1_", "0x10", "1e", ".", "e5", "--1", "infinit", "nan(1)",
                                   "1,5", "\u0661x", "1\u00b2"])
def test_values_that_float_refuses_are_refused(write, token):
    with pytest.raises(ValueError):
        float(token)
    with pytest.raises(ValueError, match="is not a number"):
        T.read_gocad_tsurf(write("VRTX 1 %s 0 0\n" % token))


def test_ids_read_as_int_reads_them(write):
    text = "VRTX 1_0 0 0 0\nVRTX \u0662 1 0 0\nVRTX +03 0 1 0\nTRGL 10 2 \uff13\n"
    assert T.read_gocad_tsurf(write(text))[2].tolist() == [[0, 1, 2]]
    with pytest.raises(ValueError, match="'1__0' of the triangle is not an integer"):
        T.read_gocad_tsurf(write("VRTX 1 0 0 0\nTRGL 1 1__0 1\n"))


class Recorded:
    """Stands in for Tsurface and records the calls made on it."""
    calls = []

    def __init__(self, *args, **kwargs):
        Recorded.calls.append(("Tsurface", args, kwargs))

    def __getattr__(self, name):
        return lambda *args, **kwargs: Recorded.calls.append((name, args, kwargs))


@pytest.fixture
def recorded(monkeypatch):
    Recorded.calls = []
    monkeypatch.setattr(T, "Tsurface", Recorded)
    return Recorded.calls


def test_load_makes_the_calls_in_order(write, recorded):
    fn = write(SURFACE, name="my.surf.ts")
    dob = T.load_gocad_tsurf(fn, columns="3,A;4,B;5,C")
    assert isinstance(dob, Recorded)
    assert [c[0] for c in recorded] == ["Tsurface", "set_vertexes", "set_triangles", "init_property", "set_xyz_range"]
    (_, name, _), (_, (v,), _), (_, (), tri), (_, (names, v2), _), (_, (), _) = recorded
    assert name == ("my.surf",) and list(tri) == ["triangles"] and names == ["A", "B", "C"] and v2 is v
    assert v.shape == (3, 3) and tri["triangles"].tolist() == [[0, 1, 2], [2, 1, 0]]


@pytest.mark.parametrize("fname,object_name,expected", [
    ("a.b.ts", None, "a.b"), (".hidden", None, ".hidden"), ("noext", None, "noext"),
    ("..ts", None, "..ts"), ("x.ts", "", ""), ("x.ts", "given", "given"),
])
def test_object_names(write, recorded, fname, object_name, expected):
    T.load_gocad_tsurf(write("", name=fname), object_name)
    assert recorded[0][1] == (expected,)
    assert len(recorded) == 5     # an empty file still makes all four calls


def test_load_failures_leave_no_object(write, recorded, monkeypatch):
    with pytest.raises(ValueError):
        T.load_gocad_tsurf(write("VRTX 1 a 2 3\n"))
    assert recorded == []

    def broken(self, triangles):
        raise RuntimeError("no triangles here")
    monkeypatch.setattr(Recorded, "set_triangles", broken, raising=False)
    with pytest.raises(RuntimeError, match="no triangles here"):
        T.load_gocad_tsurf(write(SURFACE))


def test_load_into_the_host_surface(write):
    dob = T.load_gocad_tsurf(write(SURFACE.replace("VRTX 1 10.5 20 -30", "PVRTX 1 10.5 20 -30 6.5")
                                   .replace("VRTX 3 12 22 -32", "PVRTX 3 12 22 -32 9"), name="sub.ts"),
                             columns="3,X;4,Y;5,Z;6,P")
    assert type(dob).__name__ == "Tsurface" and dob.name == "sub" and list(dob.prop) == ["X", "Y", "Z", "P"]
    assert dob.prop["P"]["array1d"].tolist() == [6.5, 7.25, 9] and dob.triangles.tolist() == [[0, 1, 2], [2, 1, 0]]
    assert dob.xyz_range[0].tolist() == [10.5, 20, -32]


def test_signatures_and_docs(write):
    fn = write(SURFACE)
    assert T.read_gocad_tsurf(fufn=fn, columns="3,X")[1].shape == (3, 1)
    for call in (lambda: T.read_gocad_tsurf(), lambda: T.read_gocad_tsurf(fn, None, 1),
                 lambda: T.load_gocad_tsurf(fn, name="x"), lambda: T.load_gocad_tsurf(fn, None, None, 1)):
        with pytest.raises(TypeError):
            call()
    assert T.load_gocad_tsurf.__doc__.startswith("Load Gocad tsurf.\n")
    assert T.read_gocad_tsurf.__doc__.startswith("Read Gocad tsurface file.\n")
    for word in ("fufn", "full-path filename", "columns", "column number and name"):
        assert word in T.read_gocad_tsurf.__doc__ and word in T.load_gocad_tsurf.__doc__
    assert "name of the new object" in T.load_gocad_tsurf.__doc__ and "a tsurface object" in T.load_gocad_tsurf.__doc__


def test_imports_in_order_and_a_missing_host_class():
    r = run_python(
        "import builtins\n"
        "order, real = [], builtins.__import__\n"
        "builtins.__import__ = lambda name, *a, **k: (order.append(name), real(name, *a, **k))[1]\n"
        "import dorar.gotsurf.impt.tsurf_reader as T\n"
        "builtins.__import__ = real\n"
        "keep = ('os', 'numpy', 'dorar.gotsurf.surface')\n"
        "print([n for i, n in enumerate(order) if n in keep and n not in order[:i]])\n"
        "print(sorted(k for k in vars(T) if not k.startswith('__')))\n"
        "import sys, dorar.gotsurf.surface as s\n"
        "del s.Tsurface, sys.modules['dorar.gotsurf.impt.tsurf_reader']\n"
        "try:\n"
        "    import dorar.gotsurf.impt.tsurf_reader\n"
        "except ImportError as e:\n"
        "    print(e)\n")
    assert r.returncode == 0, r.stderr
    assert r.stdout.splitlines() == [
        "['os', 'numpy', 'dorar.gotsurf.surface']",
        "['Tsurface', 'load_gocad_tsurf', 'np', 'os', 'read_gocad_tsurf']",
        import_error_text('Tsurface', 'dorar.gotsurf.surface')]


def test_the_file_is_closed_after_success_and_failure(write, monkeypatch):
    opened = []

    def tracking_open(*args, **kwargs):
        f = open(*args, **kwargs)
        opened.append(f)
        return f
    monkeypatch.setattr(T, "open", tracking_open, raising=False)
    T.read_gocad_tsurf(write(SURFACE))
    for text in ("VRTX 1 1 2\n", "VRTX 1 a 2 3\n", "TRGL 1 2 3\n"):
        with pytest.raises((IndexError, ValueError)):
            T.read_gocad_tsurf(write(text))
    assert len(opened) == 4 and all(f.closed for f in opened)
