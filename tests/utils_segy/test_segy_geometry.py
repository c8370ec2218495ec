"""Cube geometry from trace headers: get_cube_from_sth."""
import sys

import numpy as np
import pytest

from segy_fakes import grid_headers, segy_module

segy = segy_module()


class Calls(object):
    def __init__(self):
        self.log = []


@pytest.fixture
def host(monkeypatch):
    """Records the Survey calls and both converters in one log."""
    calls = Calls()

    class Survey(object):
        def __init__(self, name):
            calls.log.append(("Survey", name))
            self.name = name

        def set_geometry(self, dict_sgmt):
            calls.log.append(("set_geometry", list(dict_sgmt.items())))
            self.dict_sgmt = dict_sgmt

        def initialize(self):
            calls.log.append(("initialize",))

    def vxyz(*args, **kwargs):
        calls.log.append(("vxyz", args, kwargs))
        return {"vxyz": True}

    def parm(*args, **kwargs):
        calls.log.append(("parm", args, kwargs))
        return {"DATA_VEL_TYPE": "seismic"}

    import dorar.gosurvey.survey as survey_module
    monkeypatch.setattr(survey_module, "Survey", Survey)
    monkeypatch.setattr(segy, "get_vxyz_of_grid_index", vxyz)
    monkeypatch.setattr(segy, "get_parm_of_grid_index", parm)
    return calls


def test_volume_index_from_line_numbers_and_trace_zero(host):
    h = grid_headers([10, 12, 20], [5, 6, 7, 8], ns=251, dt=4000)
    vidx, survey, vxyz, parm = segy.get_cube_from_sth(h)
    assert list(vidx.items()) == [
        ("IL_FRST", 10), ("IL_LAST", 20), ("IL_NCRT", 2), ("IL_AMNT", 3),
        ("XL_FRST", 5), ("XL_LAST", 8), ("XL_NCRT", 1), ("XL_AMNT", 4),
        ("DP_FRST", 0), ("DP_LAST", 1000), ("DP_NCRT", 4), ("DP_AMNT", 251)]
    assert all(type(vidx[k]) is int for k in vidx)
    assert (vxyz, parm) == ({"vxyz": True}, {"DATA_VEL_TYPE": "seismic"})


@pytest.mark.parametrize("dt, ncrt, last", [(3950, 4, 36), (4049, 4, 36), (2500, 2.5, 22.5), (500, 0.5, 4.5), (50, 0.05, 0.45),
                                           (0, 0, 0)])
def test_sample_interval_is_snapped_only_near_an_integer(host, dt, ncrt, last):
    vidx = segy.get_cube_from_sth(grid_headers([1], [1], ns=10, dt=dt))[0]
    assert vidx["DP_NCRT"] == pytest.approx(ncrt) and vidx["DP_LAST"] == pytest.approx(last)
    assert type(vidx["DP_NCRT"]) is type(vidx["DP_LAST"]) is (int if ncrt in (0, 4) else float)


def test_huge_real_interval_snaps_to_the_exact_integer(host):
    h = grid_headers([1], [1], ns=11)
    h["dt"] = np.array([1e25])
    vidx = segy.get_cube_from_sth(h)[0]
    assert vidx["DP_NCRT"] == round(1e25 * 0.001) and type(vidx["DP_NCRT"]) is int
    assert vidx["DP_LAST"] == 10 * round(1e25 * 0.001)


def test_corner_points_are_the_traces_at_the_corner_cells(host):
    # crossline-major and descending inline numbers: P1, P2, P3 are still (1, 10), (1, 12), (4, 10)
    h = grid_headers([4, 3, 2, 1], [10, 11, 12])
    order = np.arange(12).reshape(4, 3).T.ravel()
    segy.get_cube_from_sth({k: v[order] for k, v in h.items()})
    sgmt = dict(host.log[1][1])
    assert [sgmt[k] for k in ("P1_ILNO", "P1_XLNO", "P2_ILNO", "P2_XLNO", "P3_ILNO", "P3_XLNO")] == [1, 10, 1, 12, 4, 10]
    assert (sgmt["P1_CRSX"], sgmt["P1_CRSY"], sgmt["P2_CRSX"], sgmt["P3_CRSY"]) == (1000.0, 1925.0, 1050.0, 2000.0)


def test_single_line_axes_and_their_corner_traces(host):
    h = grid_headers([7], [3, 4, 5])
    vidx = segy.get_cube_from_sth(h)[0]
    assert (vidx["IL_FRST"], vidx["IL_LAST"], vidx["IL_NCRT"], vidx["IL_AMNT"]) == (7, 7, 0, 1)
    sgmt = dict(host.log[1][1])
    assert (sgmt["P3_ILNO"], sgmt["P3_XLNO"], sgmt["P3_CRSX"]) == (sgmt["P1_ILNO"], sgmt["P1_XLNO"], sgmt["P1_CRSX"])
    assert sgmt["P2_XLNO"] == 5
    h = grid_headers([1, 2, 3], [9])
    segy.get_cube_from_sth(h)
    sgmt = dict(host.log[-4][1])
    assert (sgmt["P2_ILNO"], sgmt["P2_XLNO"]) == (sgmt["P1_ILNO"], sgmt["P1_XLNO"]) == (1, 9)
    assert sgmt["P3_ILNO"] == 3


def test_new_survey_calls_and_corner_points(host):
    h = grid_headers([1, 2, 3, 4], [10, 11, 12], scalar=-100)
    vidx, survey, _, _ = segy.get_cube_from_sth(h, data_vel_type="velocity")
    assert [c[0] for c in host.log] == ["Survey", "set_geometry", "initialize", "vxyz", "parm"]
    assert host.log[0] == ("Survey", "survey_from_segy") and survey.name == "survey_from_segy"
    sgmt = host.log[1][1]
    assert [k for k, _ in sgmt] == ["P%d_%s" % (p, f) for p in (1, 2, 3) for f in ("ILNO", "XLNO", "CRSX", "CRSY")]
    assert [v for _, v in sgmt] == [1, 10, 1000.0, 2000.0, 1, 12, 1050.0, 2000.0, 4, 10, 1000.0, 2075.0]
    # the line numbers are the header values as they are
    assert type(dict(sgmt)["P1_ILNO"]) is np.int32
    # the extra keyword reaches only the parameter converter
    assert host.log[3] == ("vxyz", (vidx, survey), {})
    assert host.log[4] == ("parm", (vidx, survey), {"data_vel_type": "velocity"})


@pytest.mark.parametrize("scalar, x", [(-100, 2.5), (2, 500), (0, 250), (10000, 5000000000)])
def test_coordinate_scalar_of_trace_zero_chooses_the_rule(host, scalar, x):
    h = grid_headers([1, 2], [1, 2], scalar=scalar, x0=250)
    if scalar == 10000:
        h["cdpX"][:] = 500000  # 5e9 does not fit 32 bits
    segy.get_cube_from_sth(h)
    p1x = dict(host.log[1][1])["P1_CRSX"]
    assert p1x == x
    assert isinstance(p1x, float) == (scalar < 0)


def test_later_zero_scalar_under_division_keeps_coordinates(host):
    h = grid_headers([1, 2], [1, 2, 3], scalar=-10)
    h["SourceGroupScalar"][2] = 0  # P2's trace
    h["SourceGroupScalar"][3] = -1000  # P3's trace: its own scalar divides
    segy.get_cube_from_sth(h)
    sgmt = dict(host.log[1][1])
    assert sgmt["P1_CRSX"] == 10000.0
    assert (sgmt["P2_CRSX"], sgmt["P2_CRSY"]) == (h["cdpX"][2], h["cdpY"][2]) == (105000, 200000)
    assert sgmt["P3_CRSY"] == pytest.approx(202.5)


def test_equal_count_checks_in_order_before_anything_is_built(host):
    h = grid_headers([1, 2], [1, 2, 3])
    bad = dict(h, Inline3D=np.array([1, 1, 1, 2, 2, 3], np.int32), Crossline3D=np.array([1, 1, 1, 2, 2, 3]))
    with pytest.raises(ValueError, match=r"^Not all ILs are the same length\.$"):
        segy.get_cube_from_sth(bad)
    with pytest.raises(ValueError, match=r"^Not all XLs are the same length\.$"):
        segy.get_cube_from_sth(dict(h, Crossline3D=np.array([1, 1, 1, 2, 2, 3])))
    ns = h["ns"].copy()
    ns[4] = 101
    with pytest.raises(ValueError, match=r"^Not all traces are the same length\.$"):
        segy.get_cube_from_sth(dict(h, ns=ns))
    assert host.log == []


def test_given_survey_is_used_unread_and_survey_module_never_imported(host, monkeypatch):
    monkeypatch.setitem(sys.modules, "dorar.gosurvey.survey", None)  # any import of it would fail
    h = grid_headers([1, 2], [1, 2])
    for key in ("SourceGroupScalar", "cdpX", "cdpY"):
        del h[key]
    given = []  # a false object still counts as a survey
    vidx, survey, _, _ = segy.get_cube_from_sth(h, given)
    assert survey is given and host.log[0][1] == (vidx, given)
    # NIL x NXL need not match the trace count when the survey is given
    h3 = dict(h, Inline3D=np.array([1, 1, 2, 2]), Crossline3D=np.array([1, 2, 1, 2]), ns=h["ns"], dt=h["dt"])
    assert segy.get_cube_from_sth(headers=h3, survey=given)[1] is given


def test_bad_header_sets(host):
    h = grid_headers([1, 2], [1, 2])
    with pytest.raises(KeyError, match="Inline3D"):
        segy.get_cube_from_sth({k: v for k, v in h.items() if k != "Inline3D"})
    with pytest.raises(KeyError, match="cdpX"):
        segy.get_cube_from_sth({k: v for k, v in h.items() if k != "cdpX"})
    empty = {k: v[:0] for k, v in h.items()}
    with pytest.raises(IndexError):
        segy.get_cube_from_sth(empty)
    # a missing trace: the grid of 2 x 2 cannot hold 3 traces (the counts alone pass)
    three = {k: v[[0, 1, 2]] for k, v in h.items()}
    three["Inline3D"] = np.array([1, 2, 3], np.int32)
    three["Crossline3D"] = np.array([1, 2, 3], np.int32)
    with pytest.raises(ValueError, match=r"^The traces do not form a grid of 3 inlines x 3 crosslines: no trace has "
                                         r"inline 1, crossline 2 \(3 traces for 9 cells\)$"):
        segy.get_cube_from_sth(three)
    with pytest.raises(ValueError, match="'cdpY' has 3 values but 'Inline3D' has 4"):
        segy.get_cube_from_sth(dict(h, cdpY=h["cdpY"][:3]))
    with pytest.raises(TypeError, match="'Crossline3D' must hold numbers"):
        segy.get_cube_from_sth(dict(h, Crossline3D=np.array(["a", "b", "a", "b"])))
    assert not any(c[0] == "Survey" for c in host.log)


def test_header_arrays_of_other_types(host):
    h = grid_headers([100, 104], [1, 2, 3])
    h["Inline3D"] = h["Inline3D"].astype(">i4")
    h["Crossline3D"] = [float(v) + 0.75 for v in h["Crossline3D"]]  # reals truncate toward zero
    h["ns"] = list(h["ns"])
    vidx = segy.get_cube_from_sth(h)[0]
    assert [vidx[k] for k in ("IL_FRST", "IL_LAST", "IL_NCRT", "XL_FRST", "XL_LAST", "XL_NCRT")] == [100, 104, 4, 1, 3, 1]
    assert dict(host.log[1][1])["P2_XLNO"] == 3.75


def test_header_arrays_at_odd_addresses(host):
    # Values straight from a byte buffer at an odd offset (np.frombuffer): the same cube.
    def odd(a):
        out = np.frombuffer(bytearray(a.nbytes + 1), a.dtype, offset=1)
        out[:] = a
        return out

    h = grid_headers(np.arange(1, 401), np.arange(1, 251))  # 100,000 traces
    assert segy.get_cube_from_sth({k: odd(v) for k, v in h.items()})[0] == segy.get_cube_from_sth(h)[0]
    geometry = [entry for entry in host.log if entry[0] == "set_geometry"]
    assert len(geometry) == 2 and geometry[0] == geometry[1]
