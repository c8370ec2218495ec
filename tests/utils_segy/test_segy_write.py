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


def grid_rows(inlines, crosslines):
    """get_traces_ln rows of a grid, inline by inline with the crossline fastest."""
    return np.column_stack([np.repeat(inlines, len(crosslines)), np.tile(crosslines, len(inlines))])


SHUFFLED = grid_rows(np.arange(100, 350), np.arange(2, 802, 2))  # 100,000 traces
SHUFFLED[400:800, 1] = SHUFFLED[400:800, 1][::-1].copy()  # the second inline lists its crosslines backwards
GRID_3x2 = "rows 0 to 5 of the cube's get_traces_ln, as written (rounded to whole numbers), do not form the " \
           "property's 3 inlines x 2 crosslines: "


@needs_engine
@pytest.mark.parametrize("prop_shape, ln, error, message", [
    ((2, 3, 5), grid_rows(range(100, 104), [2, 4, 6]), None, None),
    ((250, 400, 2), SHUFFLED, None, None),
    ((3, 3, 5), grid_rows([1.5, 2.5, 3.5], [-2.5, -1.5, -0.5]), None, None),  # half away from zero: 2..4, -3..-1
    ((2, 3, 5), grid_rows([100], [2, 4, 6]), ValueError,
     "the property has 6 traces (2 inlines x 3 crosslines) but the cube's get_traces_ln gives 3 rows; "
     "every trace needs its row"),
    ((3, 2, 5), grid_rows(range(100, 104), [2, 4, 6]), ValueError,
     GRID_3x2 + "row 2 (inline 100, crossline 6): crossline 6 is not 2 + k x 2 for k from 0 to 1; "
                "line numbers must be evenly spaced"),
    ((3, 2, 5), grid_rows([100, 100.3, 100.6], [2, 4]), ValueError,
     GRID_3x2 + "row 2 (inline 100, crossline 2) is in the same cell as row 0"),
    ((3, 2, 5), grid_rows([100, 101, 103], [2, 4]), ValueError,
     GRID_3x2 + "row 4 (inline 103, crossline 2): inline 103 is not 100 + k x 1 for k from 0 to 2; "
                "line numbers must be evenly spaced"),
    ((2, 3, 5), grid_rows([100, 2 ** 31 - 0.5], [2, 4, 6]), ValueError,
     "the inline number of row 3 of the cube's get_traces_ln is 2147483647.5, which does not fit its 4-byte "
     "signed field"),
    ((1, 2, 5), np.array([[7, 2], [7, None]], dtype=object), TypeError,
     "the crossline number of row 1 of the cube's get_traces_ln is not a number: None"),
    # the first offending row is named, and in a row the inline before the crossline
    ((1, 2, 5), np.array([[np.nan, 1], [100, np.nan]]), ValueError,
     "the inline number of row 0 of the cube's get_traces_ln is nan, which does not fit its 4-byte signed field"),
    ((1, 2, 5), np.array([[2 ** 31, 2], [7, None]], dtype=object), ValueError,
     "the inline number of row 0 of the cube's get_traces_ln is 2147483648.0, which does not fit its 4-byte "
     "signed field"),
], ids=["first-inlines-of-a-larger-grid", "second-inline-reordered", "halves", "fewer-rows", "rows-of-another-grid",
        "collide-once-rounded", "uneven-inlines", "beyond-int32", "not-a-number", "first-row-first",
        "misfit-before-a-later-non-number"])
def test_rows_load_back_at_the_cells_they_name_or_are_refused_and_the_old_file_stays(
        tmp_path, monkeypatch, prop_shape, ln, error, message):
    monkeypatch.setattr(segy, "segypy", real_engine(), raising=False)
    prop = np.arange(np.prod(prop_shape), dtype=np.float32).reshape(prop_shape)
    cube = cube_with(prop)
    cube.ln = ln
    out = tmp_path / "o.sgy"
    out.write_bytes(b"old content")
    if error:
        with pytest.raises(error, match="^" + re.escape("write_segy: " + message) + "$"):
            segy.write_segy(cube, str(out))
        assert out.read_bytes() == b"old content" and [p.name for p in tmp_path.iterdir()] == ["o.sgy"]
        return
    segy.write_segy(cube, str(out))
    again = segy.load_cube(str(out), None)
    rows = ln[:prop[..., 0].size].astype(float)
    written = np.trunc(rows + np.copysign(0.5, rows))  # rounded half away from zero
    cells = [np.unique(written[:, k], return_inverse=True)[1] for k in (0, 1)]
    loaded = again.prop[again.current_property]["array3d"]
    assert loaded.shape == prop_shape
    np.testing.assert_array_equal(loaded[cells[0], cells[1]], prop.reshape(-1, prop_shape[2]))
    assert (again.dict_vidx["IL_FRST"], again.dict_vidx["XL_FRST"]) == tuple(written.min(axis=0))
