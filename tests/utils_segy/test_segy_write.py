"""SEG-Y writing: write_segy against a fake engine and a recording cube."""
import collections
import re

import numpy as np
import pytest

from segy_fakes import FakeEngine, cube_with, real_engine, segy_module

segy = segy_module()
needs_engine = pytest.mark.skipif(real_engine() is None, reason="the segypy engine is not built in this build "
                                                                "folder (build target mod_segypy_segypy)")
STAMP = r"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d(\.\d{6})?"


@pytest.fixture
def engine(monkeypatch):
    e = FakeEngine()
    monkeypatch.setattr(segy, "segypy", e, raising=False)
    return e


def written(engine):
    (name, args, kwargs), = engine.calls
    assert name == "writeSegy" and kwargs == {} and len(args) == 5
    return args


def test_traces_headers_and_printed_lines(engine, capsys):
    array3d = np.arange(2 * 3 * 4, dtype=np.float32).reshape(2, 3, 4)
    cube = cube_with(array3d)
    assert segy.write_segy(cube, "out.sgy") is None
    outfn, array2d, dt, text, sth = written(engine)
    assert outfn == "out.sgy"
    assert array2d.shape == (4, 6) and array2d.dtype == np.float32
    assert np.shares_memory(array2d, array3d)  # a C-ordered cube's traces are columns of a view, no copy
    np.testing.assert_array_equal(array2d[:, 4], array3d[1, 1])
    np.testing.assert_array_equal(array2d, np.transpose(array3d, (2, 0, 1)).reshape(4, 6))
    np.testing.assert_array_equal(array3d, np.arange(24, dtype=np.float32).reshape(2, 3, 4))  # untouched
    assert dt == 4000 and type(dt) is int
    assert len(text) == 3200 and text.startswith("Dorar") and text[5:] == " " * 3195

    assert type(sth) is collections.OrderedDict
    assert list(sth) == ["cdpX", "cdpY", "Inline3D", "Crossline3D", "TraceSequenceLine", "SourceGroupScalar"]
    assert all(type(v) is dict and list(v) == list(range(6)) for v in sth.values())
    assert list(sth["TraceSequenceLine"].values()) == [1, 2, 3, 1, 2, 3]
    assert list(sth["SourceGroupScalar"].values()) == [1] * 6
    for key, rows, col in (("Inline3D", cube.ln, 0), ("Crossline3D", cube.ln, 1), ("cdpX", cube.xy, 0),
                           ("cdpY", cube.xy, 1)):
        assert list(sth[key].values()) == list(rows[:, col])
    assert sth["cdpY"][5] == 150.25  # coordinates stay as the cube's rows hold them
    assert [c[0] for c in cube.log] == ["get_traces_ln", "get_traces_xy"]

    out = capsys.readouterr().out.splitlines()
    assert out[:5] == ["Info of the Segy to be written:", "Data min value = 0.0", "Data max value = 23.0",
                       "Data array shape = (2, 3, 4)", "Array data type = float32"]
    assert re.fullmatch(r"\$\$Write Segy Start @ " + STAMP, out[5])
    assert re.fullmatch(r"\$\$Write Segy Ended @ " + STAMP, out[6])
    assert re.fullmatch(r"Time Used is \d+:\d\d:\d\d(\.\d{6})?", out[7]) and len(out) == 8


@pytest.mark.parametrize("make", [lambda b: np.transpose(b, (2, 1, 0))[::-2],  # negative, non-contiguous strides
                                  lambda b: np.swapaxes(b, 0, 1)[:, 1:]])
def test_cube_views_whose_traces_are_not_one_axis_are_copied(engine, make):
    base = np.arange(70 * 130 * 9, dtype=np.float32).reshape(70, 130, 9)
    view = make(base)
    segy.write_segy(cube_with(view), "o.sgy")
    array2d = written(engine)[1]
    np.testing.assert_array_equal(array2d, np.transpose(view, (2, 0, 1)).reshape(view.shape[2], -1))
    assert array2d.flags.c_contiguous and not np.shares_memory(array2d, base)


def test_choice_of_property(engine):
    array3d = np.zeros((1, 2, 3), np.float32)
    cube = cube_with(array3d, name="b", current=False)
    cube.prop["a"] = {"array3d": array3d + 1}
    segy.write_segy(cube, "o.sgy")  # no current property: the host picks one
    assert [c[0] for c in cube.log].count("set_current_property") == 1 and cube.current_property == "b"
    assert written(engine)[1].max() == 0

    del engine.calls[:], cube.log[:]
    segy.write_segy(cube, "o.sgy", "a")  # an explicit name: current property not consulted
    assert written(engine)[1].max() == 1 and "set_current_property" not in [c[0] for c in cube.log]

    del engine.calls[:], cube.log[:]
    segy.write_segy(cube, "o.sgy")  # with a current property the host is not asked
    assert written(engine)[1].max() == 0 and "set_current_property" not in [c[0] for c in cube.log]
    with pytest.raises(KeyError, match="nope"):
        segy.write_segy(cube, "o.sgy", prop_name="nope")


@pytest.mark.parametrize("ncrt, dt", [(4, 4000), (0.5, 500.0), (2.5, 2500.0)])
def test_sample_interval_in_microseconds(engine, ncrt, dt):
    segy.write_segy(cube_with(np.ones((1, 1, 2)), ncrt=ncrt), "o.sgy")
    got = written(engine)[2]
    assert got == dt and type(got) is type(dt)


def test_textual_header_from_a_file(engine, tmp_path, capsys):
    src = tmp_path / "head.txt"
    src.write_text("A\n\n" + "x" * 95 + "yyyyy\n")
    segy.write_segy(cube_with(np.ones((1, 2, 2))), "o.sgy", stfhfn=str(src))
    text = written(engine)[3]
    assert text == "A" + " " * 79 + " " * 80 + "x" * 80
    out = capsys.readouterr().out
    assert out.count("Line longer than 80 will be cut.") == 1 and "Lines after 40th" not in out

    for count, message in ((40, False), (45, True)):
        del engine.calls[:]
        src.write_text("".join("line %d  \t\n" % k for k in range(1, count + 1)))
        segy.write_segy(cube_with(np.ones((1, 2, 2))), "o.sgy", None, str(src))
        text = written(engine)[3]
        assert len(text) == 3200
        assert text[:80] == "line 1  \t".ljust(80) and text[-80:].startswith("line 40  \t ")
        out = capsys.readouterr().out
        assert out.count("Lines after 40th will be ignored.") == int(message)

    del engine.calls[:]
    src.write_text("")
    segy.write_segy(cube_with(np.ones((1, 2, 2))), "o.sgy", stfhfn=str(src))
    assert written(engine)[3] == ""


def test_failures_and_what_has_been_printed(engine, monkeypatch, capsys, tmp_path):
    with pytest.raises(ValueError, match=r"not enough values to unpack \(expected 3, got 2\)"):
        segy.write_segy(cube_with(np.ones((2, 2))), "o.sgy")
    assert capsys.readouterr().out.splitlines()[-1].startswith("$$Write Segy Start @")
    with pytest.raises(ValueError, match="zero-size array"):
        segy.write_segy(cube_with(np.ones((0, 2, 2))), "o.sgy")
    cube = cube_with(np.ones((1, 2, 2)))
    cube.dict_vidx = {}
    with pytest.raises(KeyError, match="DP_NCRT"):
        segy.write_segy(cube, "o.sgy")
    # the text file is opened before the engine is looked up
    monkeypatch.delattr(segy, "segypy")
    with pytest.raises(FileNotFoundError):
        segy.write_segy(cube_with(np.ones((1, 2, 2))), "o.sgy", stfhfn=str(tmp_path / "missing.txt"))
    with pytest.raises(NameError, match="name 'segypy' is not defined"):
        segy.write_segy(cube_with(np.ones((1, 2, 2))), "o.sgy")
    monkeypatch.setattr(segy, "segypy", FakeEngine(fail=OSError("disk full")), raising=False)
    capsys.readouterr()
    with pytest.raises(OSError, match="disk full"):
        segy.write_segy(cube_with(np.ones((1, 2, 2))), "o.sgy")
    assert "$$Write Segy Ended" not in capsys.readouterr().out
    assert engine.calls == []


def test_textual_header_file_is_released(engine, monkeypatch, tmp_path):
    src = tmp_path / "head.txt"
    src.write_text("hello\n")
    opened = []
    real_open = open

    def spy(*args, **kwargs):
        f = real_open(*args, **kwargs)
        opened.append(f)
        return f

    monkeypatch.setattr(segy, "open", spy, raising=False)
    closed_during_write = []
    engine.writeSegy = lambda *a: closed_during_write.append(opened[0].closed)
    segy.write_segy(cube_with(np.ones((1, 2, 2))), "o.sgy", stfhfn=str(src))
    assert closed_during_write == [False] and opened[0].closed
    monkeypatch.setattr(segy, "segypy", FakeEngine(fail=RuntimeError("boom")))
    with pytest.raises(RuntimeError):
        segy.write_segy(cube_with(np.ones((1, 2, 2))), "o.sgy", stfhfn=str(src))
    assert opened[1].closed


def cube_of_grid(n_il, n_xl, prop_shape):
    """A cube whose rows are those of an n_il x n_xl grid, holding one property of another shape."""
    cube = cube_with(np.zeros((n_il, n_xl, 1), np.float32))
    cube.prop["amp"]["array3d"] = np.arange(np.prod(prop_shape), dtype=np.float32).reshape(prop_shape)
    return cube


@needs_engine
def test_a_property_on_the_first_inlines_of_the_cubes_grid_writes_and_loads_back(tmp_path, monkeypatch):
    monkeypatch.setattr(segy, "segypy", real_engine(), raising=False)
    cube = cube_of_grid(4, 3, (2, 3, 5))  # rows: inlines 100 to 103, crosslines 2, 4, 6
    out = str(tmp_path / "part.sgy")
    segy.write_segy(cube, out)
    again = segy.load_cube(out, None)
    np.testing.assert_array_equal(again.prop[again.current_property]["array3d"], cube.prop["amp"]["array3d"])
    assert [again.dict_vidx[k] for k in ("IL_FRST", "IL_LAST", "IL_AMNT", "XL_FRST", "XL_LAST", "XL_AMNT")] == \
        [100, 101, 2, 2, 6, 3]


@needs_engine
@pytest.mark.parametrize("rows, prop_shape, message", [
    ((1, 3), (2, 3, 5), r"the property has 6 traces \(2 inlines x 3 crosslines\) but the cube's get_traces_ln "
                        r"gives 3 rows; every trace needs its row$"),
    ((4, 3), (3, 2, 5), r"rows 0 to 5 of the cube's get_traces_ln do not form the property's 3 inlines of 2 "
                        r"crosslines, inline by inline: row 2 \(inline 100, crossline 6\) starts inline index 1, "
                        r"but its inline number is that of row 0 \(inline 100, crossline 2\)$"),
], ids=["fewer-rows", "rows-of-another-grid"])
def test_rows_that_would_not_load_back_as_the_property_are_refused_and_the_old_file_stays(
        tmp_path, monkeypatch, rows, prop_shape, message):
    monkeypatch.setattr(segy, "segypy", real_engine(), raising=False)
    out = tmp_path / "o.sgy"
    out.write_bytes(b"old content")
    with pytest.raises(ValueError, match="^write_segy: " + message):
        segy.write_segy(cube_of_grid(*rows, prop_shape), str(out))
    assert out.read_bytes() == b"old content" and [p.name for p in tmp_path.iterdir()] == ["o.sgy"]
