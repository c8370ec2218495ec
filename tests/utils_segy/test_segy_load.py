"""SEG-Y loading: load_cube and read_segy against a fake engine and recording host objects."""
import numpy as np
import pytest

import dorar.gocube.cube as cube_module
import dorar.gosurvey.survey as survey_module
from segy_fakes import FakeEngine, RecordingCube, engine_for, segy_module

segy = segy_module()

STANDARD_LAYOUT = [
    ("SourceGroupScalar", {"pos": 70, "type": "int16"}), ("ns", {"pos": 114, "type": "uint16"}),
    ("dt", {"pos": 116, "type": "uint16"}), ("cdpX", {"pos": 180, "type": "int32"}),
    ("cdpY", {"pos": 184, "type": "int32"}), ("Inline3D", {"pos": 188, "type": "int32"}),
    ("Crossline3D", {"pos": 192, "type": "int32"})]


@pytest.fixture
def engine(monkeypatch):
    e = engine_for(4, 3, 100)
    monkeypatch.setattr(segy, "segypy", e, raising=False)
    monkeypatch.setattr(cube_module, "Cube", RecordingCube)
    return e


def test_load_cube_makes_a_named_cube_with_a_survey_from_the_headers(engine, capsys):
    cube = segy.load_cube("/data/survey/volume.sgy", None)
    assert isinstance(cube, RecordingCube) and cube.name == "volume"
    assert isinstance(cube.survey, survey_module.Survey) and cube.survey.name == "survey_from_segy"
    assert engine.calls[0][1][0] == "/data/survey/volume.sgy"
    assert cube.log == [("Cube", "volume"), ("add_property", "seismic"), ("set", "dict_parm"), ("set", "dict_vidx"),
                        ("set", "dict_vxyz"), ("set", "survey"), ("calc_prop_percentile",), ("init_xyz_range",),
                        ("set_section_number",), ("init_colormap",), ("set_current_property",)]
    a = cube.prop["seismic"]["array3d"]
    assert a.shape == (4, 3, 100)
    np.testing.assert_array_equal(a[1, 2], engine.data[5])  # trace 5 is inline index 1, crossline index 2
    assert np.shares_memory(a, engine.data)  # shaped, not copied
    assert capsys.readouterr().out == ("Data min/max value = [0.0, 1199.0]\n"
                                       "Data array shape = (4, 3, 100)\n"
                                       "Array data type = float32\n")


@pytest.mark.parametrize("path, name", [("/d/volume.sgy", "volume"), ("d/volume.b.sgy", "volume.b"),
                                        ("volume", "volume"), ("/d/.hidden", ".hidden"), ("/d.x/vol", "vol")])
def test_cube_name_is_the_file_stem(engine, path, name):
    assert segy.load_cube(path, survey=None).name == name


def test_load_cube_passes_survey_name_and_an_empty_layout_map(monkeypatch):
    seen = []
    monkeypatch.setattr(cube_module, "Cube", RecordingCube)
    monkeypatch.setattr(segy, "read_segy", lambda *a, **k: seen.append((a, k)))
    given = object()
    cube = segy.load_cube("x.sgy", given, object_name="mine")
    assert cube.name == "mine" and len(seen) == 1
    (args, kwargs), = seen
    assert args == (cube, "x.sgy") and kwargs == {"survey": given, "hdr": {}}
    assert [c[0] for c in cube.log[1:]] == ["calc_prop_percentile", "init_xyz_range", "set_section_number",
                                            "init_colormap", "set_current_property"]
    with pytest.raises(TypeError):
        segy.load_cube("x.sgy", None, "n", data_vel_type="v")


def test_load_cube_without_cube_in_the_host_fails_before_reading(monkeypatch, engine):
    monkeypatch.delattr(cube_module, "Cube")
    with pytest.raises(ImportError, match="cannot import name 'Cube' from 'dorar.gocube.cube'"):
        segy.load_cube("x.sgy", None)
    assert engine.calls == []


def test_layout_handed_to_the_reader(engine):
    cube = RecordingCube("c")
    segy.read_segy(cube, "a.sgy")
    segy.read_segy(cube, "a.sgy", hdr={})
    assert [list(c[1][1].items()) for c in engine.calls] == [STANDARD_LAYOUT] * 2
    assert engine.calls[0][2] == {}  # both arguments positional
    extra = {"Inline3D": {"pos": 8, "type": "int32"}, "CDP": {"type": "int32", "pos": 20}}
    segy.read_segy(cube, "a.sgy", hdr=extra)
    layout = engine.calls[2][1][1]
    assert list(layout) == [k for k, _ in STANDARD_LAYOUT] + ["CDP"]
    assert layout["Inline3D"] == {"pos": 8, "type": "int32"}
    # a later call starts from the standard layout again
    segy.read_segy(cube, "a.sgy")
    assert list(engine.calls[3][1][1].items()) == STANDARD_LAYOUT


def test_read_segy_into_a_held_cube_with_a_given_survey_and_extra_keywords(engine, monkeypatch):
    seen = {}
    real = segy.get_parm_of_grid_index

    def parm(dict_vidx, survey, **kwargs):
        seen.update(kwargs)
        return real(dict_vidx, survey, **kwargs)

    monkeypatch.setattr(segy, "get_parm_of_grid_index", parm)
    survey = survey_module.Survey("given")
    survey.set_geometry({"P1_ILNO": 1, "P1_XLNO": 1, "P1_CRSX": 0, "P1_CRSY": 0, "P2_ILNO": 1, "P2_XLNO": 3,
                         "P2_CRSX": 50, "P2_CRSY": 0, "P3_ILNO": 4, "P3_XLNO": 1, "P3_CRSX": 0, "P3_CRSY": 75})
    survey.initialize()
    cube = RecordingCube("held")
    assert segy.read_segy(cube, "a.sgy", survey, data_vel_type="velocity") is None
    assert seen == {"data_vel_type": "velocity"}
    assert cube.survey is survey and list(cube.prop) == ["velocity"]
    assert cube.dict_vidx["IL_AMNT"] == 4 and cube.dict_parm["DATA_VEL_TYPE"] == "velocity"


def test_failures_leave_the_cube_untouched(monkeypatch, engine, capsys):
    def untouched(cube):
        return cube.log == [("Cube", "c")] and cube.prop == {}

    # traces on a diagonal, read with a given survey: the count checks pass, the grid check fails
    h = {k: v[:11] for k, v in engine.headers.items()}
    h["Inline3D"] = np.arange(11, dtype=np.int32)
    h["Crossline3D"] = np.arange(11, dtype=np.int32)
    short = FakeEngine(data=engine.data[:11], headers=h)
    monkeypatch.setattr(segy, "segypy", short)
    cube = RecordingCube("c")
    with pytest.raises(ValueError, match=r"^The traces do not form a grid of 11 inlines x 11 crosslines: no trace has "
                                         r"inline 0, crossline 1 \(11 traces for 121 cells\)$"):
        segy.read_segy(cube, "a.sgy", survey=_initialised_survey())
    assert untouched(cube)

    bad = dict(engine.headers, Inline3D=np.array([1] * 4 + [2] * 8, np.int32))
    monkeypatch.setattr(segy, "segypy", FakeEngine(data=engine.data, headers=bad))
    cube = RecordingCube("c")
    with pytest.raises(ValueError, match=r"^Not all ILs are the same length\.$"):
        segy.read_segy(cube, "a.sgy")
    assert untouched(cube)

    monkeypatch.setattr(segy, "segypy", engine)
    monkeypatch.setattr(segy, "get_parm_of_grid_index", lambda *a, **k: {})
    cube = RecordingCube("c")
    with pytest.raises(KeyError, match="DATA_VEL_TYPE"):
        segy.read_segy(cube, "a.sgy")
    assert untouched(cube)

    for result, message in ((("data", "info"), r"not enough values to unpack \(expected 3, got 2\)"),
                            ((1, 2, 3, 4), r"too many values to unpack \(expected 3\)")):
        monkeypatch.setattr(segy, "segypy", FakeEngine(result=result))
        with pytest.raises(ValueError, match=message):
            segy.read_segy(RecordingCube("c"), "a.sgy")

    monkeypatch.setattr(segy, "segypy", FakeEngine(fail=OSError("no such file: a.sgy")))
    with pytest.raises(OSError, match="no such file"):
        segy.read_segy(RecordingCube("c"), "a.sgy")
    assert capsys.readouterr().out == ""


def test_missing_cell_named_by_a_line_number_beyond_64_bit_signed(monkeypatch, engine):
    # crosslines 0, 2^62 and 2^63 of an unsigned 64-bit layout: FRST + 2 x NCRT passes 2^63 - 1
    h = {k: v[:6] for k, v in engine.headers.items()}
    h["Inline3D"] = np.array([1, 1, 2, 2, 3, 3], np.int32)
    h["Crossline3D"] = np.array([0, 2 ** 62, 2 ** 62, 2 ** 63, 0, 2 ** 63], np.uint64)
    monkeypatch.setattr(segy, "segypy", FakeEngine(data=engine.data[:6], headers=h))
    with pytest.raises(ValueError, match=r"3 crosslines: no trace has inline 1, crossline 9223372036854775808 "
                                         r"\(6 traces for 9 cells\)$"):
        segy.read_segy(RecordingCube("c"), "a.sgy", survey=_initialised_survey())


def _initialised_survey():
    s = survey_module.Survey("given")
    s.set_geometry({"P1_ILNO": 0, "P1_XLNO": 0, "P1_CRSX": 0, "P1_CRSY": 0, "P2_ILNO": 0, "P2_XLNO": 10,
                    "P2_CRSX": 10, "P2_CRSY": 0, "P3_ILNO": 10, "P3_XLNO": 0, "P3_CRSX": 0, "P3_CRSY": 10})
    s.initialize()
    return s
