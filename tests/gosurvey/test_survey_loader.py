"""Survey-file readers: gridsheet and sgmt files into survey geometry maps."""
import pathlib

import pytest

from dorar.gosurvey.impt import survey_loader as loader

GRIDSHEET = """X_ORIGIN 1000.5
Y_ORIGIN 2000
MINIMUM_INLINE_NUMBER 100
MINIMUM_CROSSLINE_NUMBER 10
X_FIRST_INLINE_END 1000.5
Y_FIRST_INLINE_END 2400.25
MAXIMUM_CROSSLINE_NUMBER 50
X_FIRST_CROSSLINE_END 1500
Y_FIRST_CROSSLINE_END 2000
MAXIMUM_INLINE_NUMBER 200
"""

SGMT = """P1_ILNO 100
P1_XLNO 10
P1_CRSX 1000.500
P1_CRSY 2000.000
P2_ILNO 100
P2_XLNO 50
P2_CRSX 1000.500
P2_CRSY 2400.250
P3_ILNO 200
P3_XLNO 10
P3_CRSX 1500.000
P3_CRSY 2000.000
"""
SGMT_VALUES = [100, 10, 1000.5, 2000.0, 100, 50, 1000.5, 2400.25, 200, 10, 1500.0, 2000.0]
KEYS = ["P1_ILNO", "P1_XLNO", "P1_CRSX", "P1_CRSY", "P2_ILNO", "P2_XLNO", "P2_CRSX", "P2_CRSY",
        "P3_ILNO", "P3_XLNO", "P3_CRSX", "P3_CRSY"]


@pytest.fixture
def printed(monkeypatch):
    calls = []
    monkeypatch.setattr(loader, "myprint", lambda *args, **kw: calls.append((args, kw)))
    return calls


@pytest.fixture
def write(tmp_path):
    def write(text, name="f.txt", newline=None):
        p = tmp_path / name
        p.write_text(text, newline=newline)
        return str(p)
    return write


def typed(d):
    return [(k, type(v).__name__, v) for k, v in d.items()]


def test_gridsheet_all_keys(write, printed):
    fn = write(GRIDSHEET)
    d = loader.read_gridsheet(fn)
    assert list(d) == ["P1_CRSX", "P1_CRSY", "P1_ILNO", "P2_ILNO", "P1_XLNO", "P3_XLNO", "P2_CRSX", "P2_CRSY",
                       "P2_XLNO", "P3_CRSX", "P3_CRSY", "P3_ILNO"]
    assert [d[k] for k in KEYS] == SGMT_VALUES
    assert type(d["P1_CRSY"]) is float and type(d["P1_ILNO"]) is int
    assert printed == [(("--Reading--", fn), {})]


def test_gridsheet_keeps_first_set_order(write, printed):
    d = loader.read_gridsheet(write("MINIMUM_INLINE_NUMBER 100\nMINIMUM_CROSSLINE_NUMBER 200\n"))
    assert typed(d) == [("P1_ILNO", "int", 100), ("P2_ILNO", "int", 100), ("P1_XLNO", "int", 200),
                        ("P3_XLNO", "int", 200)]
    d = loader.read_gridsheet(write("MAXIMUM_INLINE_NUMBER 9\nX_ORIGIN 1\nMAXIMUM_INLINE_NUMBER 7 extra\n"))
    # a repeated key replaces the value and keeps its first place
    assert typed(d) == [("P3_ILNO", "int", 7), ("P1_CRSX", "float", 1.0)]


def test_gridsheet_skips_unknown_lines(write, printed):
    text = ("# comment line\nUNKNOWN\nx_origin 5\nX_ORIGIN=5\n\tY_ORIGIN \t 1e3  trailing words\n"
            "X_ORIGIN -inf\nMINIMUM_INLINE_NUMBER +1_000\n")
    d = loader.read_gridsheet(write(text))
    assert typed(d) == [("P1_CRSY", "float", 1000.0), ("P1_CRSX", "float", float("-inf")),
                        ("P1_ILNO", "int", 1000), ("P2_ILNO", "int", 1000)]


@pytest.mark.parametrize("text, error", [
    ("MINIMUM_INLINE_NUMBER 100.0\n", ValueError),
    ("X_ORIGIN = 5\n", ValueError),
    ("X_ORIGIN\n", IndexError),
    ("X_ORIGIN 1\n\nY_ORIGIN 2\n", IndexError),
    ("X_ORIGIN 1\n   \t\n", IndexError),
    ("\nX_ORIGIN 1\n", IndexError),
    ("X_ORIGIN 1\n\n", IndexError),
])
def test_gridsheet_bad_lines(write, printed, text, error):
    with pytest.raises(error):
        loader.read_gridsheet(write(text))


def test_sgmt(write, printed):
    fn = write(SGMT)
    d = loader.read_sgmt(pathlib.Path(fn))
    assert list(d) == KEYS and list(d.values()) == SGMT_VALUES
    assert [type(v) for v in d.values()] == [type(v) for v in SGMT_VALUES]
    assert printed[0][0][1] == pathlib.Path(fn)
    # any order, lines between, tokens after the value, repeated keys, any line end
    text = "P3_CRSY 7 a b\nNOTE this\r\nP1_ILNO -3\rP3_CRSY 8\n"
    assert typed(loader.read_sgmt(write(text, newline=""))) == [("P3_CRSY", "float", 8.0), ("P1_ILNO", "int", -3)]
    # a gridsheet holds no sgmt key
    assert loader.read_sgmt(write(GRIDSHEET)) == {}


@pytest.mark.parametrize("text, error", [
    ("P1_ILNO 1.5\n", ValueError),
    ("P1_CRSX abc\n", ValueError),
    ("P1_CRSX\n", IndexError),
    ("P1_ILNO 1\n\n", IndexError),
])
def test_sgmt_bad_lines(write, printed, text, error):
    with pytest.raises(error):
        loader.read_sgmt(write(text))
    with pytest.raises(error):
        loader.read_sgmt_old(write(text))


def test_sgmt_old(write, printed):
    fn = write(SGMT.replace("P2_CRSX 1000.500", "P2_CRSX 1.0") + "P2_CRSX 1000.5\n")
    values = loader.read_sgmt_old(fn)
    assert values == tuple(SGMT_VALUES)
    assert [type(v) for v in values] == [type(v) for v in SGMT_VALUES]
    assert [args for args, kw in printed] == [
        ("--Reading--", fn),
        ("P1_ILNO, P1_XLNO, P1_CRSX, P1_CRSY =", 100, 10, 1000.5, 2000.0),
        ("P2_ILNO, P2_XLNO, P2_CRSX, P2_CRSY =", 100, 50, 1000.5, 2400.25),
        ("P3_ILNO, P3_XLNO, P3_CRSX, P3_CRSY =", 200, 10, 1500.0, 2000.0),
    ]


def test_sgmt_old_missing_key(write, printed):
    fn = write(SGMT.replace("P2_XLNO 50\n", "").replace("P3_ILNO 200\n", ""))
    with pytest.raises(UnboundLocalError, match="'P2_XLNO'"):
        loader.read_sgmt_old(fn)
    assert [args[0] for args, kw in printed] == ["--Reading--", "P1_ILNO, P1_XLNO, P1_CRSX, P1_CRSY ="]


@pytest.mark.parametrize("reader", ["read_gridsheet", "read_sgmt", "read_sgmt_old"])
def test_reader_calling(tmp_path, printed, reader):
    read = getattr(loader, reader)
    missing = str(tmp_path / "missing.sgmt")
    with pytest.raises(FileNotFoundError):
        read(missing)
    assert printed == [(("--Reading--", missing), {})]
    with pytest.raises(IsADirectoryError):
        read(str(tmp_path))
    (tmp_path / "bad").write_bytes(b"P1_ILNO \xff\xfe\n")
    with pytest.raises(UnicodeDecodeError):
        read(str(tmp_path / "bad"))
    with pytest.raises(TypeError):
        read(fn=missing)  # the path is positional only


def test_docstrings():
    assert loader.read_gridsheet.__doc__ == (
        "\n    -i- fn : string, full-path filename of the gridsheet file.\n"
        "    -o- dict_sgmt : dictionary, survey geometry linking XY and LN.\n    ")
    assert loader.read_sgmt.__doc__ == (
        "\n    Read .sgmt file of survey corners: ILNO XLNO X Y.\n    - fn : string, sgmt filename\n"
        "    Return a dictionary linking LN and XY.\n    ")
    assert loader.read_sgmt_old.__doc__.splitlines()[1:] == [
        "    Read .sgmt which contains survey corners: ILNO XLNO X Y.",
        "    It is also called the Survey Grid Mesh definition.",
        "    It is also called the Survey GeoMeTry file.",
        "    It is the same for the whole project or survey.",
        "    Return parameters linking ILXL and XY.",
        "    "]


def test_file_closed_after_failure(write, printed, monkeypatch):
    opened = []

    def tracking_open(*args, **kw):
        f = open(*args, **kw)
        opened.append(f)
        return f
    monkeypatch.setattr(loader, "open", tracking_open, raising=False)
    with pytest.raises(ValueError):
        loader.read_sgmt(write("P1_ILNO x\n"))
    assert loader.read_gridsheet(write("X_ORIGIN 1\n")) == {"P1_CRSX": 1.0}
    assert len(opened) == 2 and all(f.closed for f in opened)
