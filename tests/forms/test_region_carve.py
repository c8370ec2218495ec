"""Sub-cube extraction."""
import pytest

from dorar.gocube.cube import Cube
from dorar.gocube.new import region_carve as M
from formkit import Recorder, fill_frame, frame_texts, make, rows  # noqa: F401 (fixture)

CUBE_VIDX = {"IL_FRST": 100, "IL_LAST": 300, "IL_NCRT": 2, "IL_AMNT": 101,
             "XL_FRST": 1, "XL_LAST": 50, "XL_NCRT": 1, "XL_AMNT": 50,
             "DP_FRST": 0.0, "DP_LAST": 400.0, "DP_NCRT": 4.0, "DP_AMNT": 101}


def cube(name="c1", **changes):
    c = Cube(name)
    c.dict_vidx = dict(CUBE_VIDX, **changes)
    return c


def test_pick_fills_the_frame_and_apply_sends_the_same_map(make):
    d = make(M)
    assert rows(d)[:3] == [d.grabob, d.newCube, d.frame] and d.grabob.geom == ["Cube"]
    assert type(rows(d)[3]).__name__ == "ActionRow" and not hasattr(d, "cube")
    c = cube()
    d.grabob.pick(c)
    assert d.cube is c
    assert frame_texts(d) == ["100", "300", "2", "1", "50", "1", "0.0", "400.0", "4.0"]
    d.newCube.edit.setText("sub")
    rec = Recorder(d.sig_start)
    d.apply()
    assert rec.calls == [("c1", "sub", CUBE_VIDX)] and list(rec.last[2]) == list(CUBE_VIDX)
    assert [type(v) for v in rec.last[2].values()] == [int] * 8 + [float, float, float, int]


@pytest.mark.parametrize("texts,expect", [
    (["100", "200", "3"] * 2 + ["0", "400", "4"], {"IL_LAST": 199, "IL_AMNT": 34, "DP_LAST": 400.0, "DP_AMNT": 101}),
    (["200", "100", "-2"] * 2 + [" 12.5 ", "12.5", "1"], {"IL_LAST": 100, "IL_AMNT": 51, "DP_LAST": 12.5, "DP_AMNT": 1}),
    (["10", "9", "5", "20", "10", "5", "1", "1", "1"], {"IL_LAST": 5, "IL_AMNT": 0, "XL_LAST": 10, "XL_AMNT": -1}),
    # Quotients that fall just below a whole number (0.3 / 0.1 = 2.9999999999999996) keep their
    # last sample; a real remainder still truncates.
    (["1", "1", "1"] * 2 + ["0", "0.3", "0.1"], {"DP_AMNT": 4}),
    (["1", "1", "1"] * 2 + ["0", "0.7", "0.1"], {"DP_AMNT": 8}),
    (["1", "1", "1"] * 2 + ["0", "0.25", "0.1"], {"DP_AMNT": 3, "DP_LAST": 0.2}),
])
def test_counts_snap_and_types(make, monkeypatch, texts, expect):
    d = make(M)
    seen = []
    monkeypatch.setattr(M, "vidx_format_dtype", seen.append)
    fill_frame(d, *texts)
    rec = Recorder(d.sig_start)
    d.apply()
    vidx = rec.last[2]
    assert seen == [vidx] and seen[0] is vidx         # the map handed to the host is the map sent
    for key, value in expect.items():
        assert vidx[key] == pytest.approx(value) and type(vidx[key]) is type(value), key
    assert type(vidx["DP_FRST"]) is float and frame_texts(d) == texts    # nothing written back


@pytest.mark.parametrize("texts,error", [
    ([], ValueError),                                                      # untouched form
    (["1", "3", "1", "1", "12.5", "1", "0", "1", "1"], ValueError),       # a real line number
    (["1", "3", "0", "1", "3", "1", "0", "1", "x"], ValueError),          # conversions come first
    (["1", "3", "1", "1", "3", "1", "0", "1", "0"], ZeroDivisionError),
    (["1", "3", "1", "1", "3", "1", "0", "inf", "1"], OverflowError),
    (["1", "3", "1", "1", "3", "1", "nan", "1", "1"], ValueError),
])
def test_bad_fields_emit_nothing(make, monkeypatch, texts, error):
    d = make(M)
    calls = []
    monkeypatch.setattr(M, "vidx_format_dtype", calls.append)
    fill_frame(d, *texts)
    rec = Recorder(d.sig_start)
    with pytest.raises(error):
        d.apply()
    assert rec.calls == [] and calls == []


def test_index_lists_that_do_not_fit(make, monkeypatch):
    d = make(M)
    fill_frame(d, *["7"] * 9)
    values = list(CUBE_VIDX.values())
    d.object = c = cube("short")
    monkeypatch.setattr(M, "vidx_dict2list", lambda v: values[:11])
    with pytest.raises(ValueError, match="expected 4, got 3"):
        d.load_object()
    assert d.cube is c and frame_texts(d) == ["7"] * 9      # no field written before all groups
    monkeypatch.setattr(M, "vidx_dict2list", lambda v: iter(values))
    with pytest.raises(TypeError):
        d.load_object()
    monkeypatch.setattr(M, "vidx_dict2list", lambda v: values + [999])
    d.load_object()
    assert frame_texts(d)[-1] == "4.0"
    d.object = object()
    with pytest.raises(AttributeError):
        d.load_object()


def test_real_line_numbers_show_as_reals_and_are_then_rejected(make):
    d = make(M)
    d.grabob.pick(cube(IL_NCRT=4.0, DP_NCRT=0.00001))
    assert frame_texts(d)[2] == "4.0" and frame_texts(d)[8] == "1e-05"
    with pytest.raises(ValueError):
        d.apply()
