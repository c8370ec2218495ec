"""Real SEG-Y files in any trace order: each trace lands in its own cell, or a clear error names the trace."""
import numpy as np
import pytest

import dorar.gocube.cube as cube_module
from segy_fakes import FakeEngine, RecordingCube, grid_headers, real_engine, segy_module

segy = segy_module()
engine = real_engine()
segyio = pytest.importorskip("segyio", reason="python3-segyio is needed as the independent SEG-Y peer")
pytestmark = pytest.mark.skipif(engine is None, reason="the segypy engine is not built in this build folder "
                                                       "(build target mod_segypy_segypy)")

ILINES, XLINES, NS = [100, 102, 104, 106], [7, 8, 9], 20


@pytest.fixture(autouse=True)
def real(monkeypatch):
    monkeypatch.setattr(segy, "segypy", engine, raising=False)


def samples(il, xl):
    """Sample 0 holds the inline number, sample 1 the crossline number, the rest count up."""
    return np.concatenate([[il, xl], np.arange(2, NS)]).astype(np.float32)


def write(path, cells, ns=NS, dt=2000, trace_ns=None, trace_dt=None):
    """A file of one trace per (inline, crossline) pair of `cells`, in that order, written by segyio."""
    spec = segyio.spec()
    spec.format, spec.samples, spec.tracecount = 5, np.arange(ns) * dt / 1000.0, len(cells)
    F = segyio.TraceField
    with segyio.create(str(path), spec) as f:
        for t, (il, xl) in enumerate(cells):
            f.header[t] = {F.INLINE_3D: il, F.CROSSLINE_3D: xl, F.SourceGroupScalar: -100,
                           F.CDP_X: 50000000 + 2500 * xl + 100 * il, F.CDP_Y: 70000000 + 1250 * il,
                           F.TRACE_SAMPLE_COUNT: ns if trace_ns is None else trace_ns,
                           F.TRACE_SAMPLE_INTERVAL: dt if trace_dt is None else trace_dt}
            f.trace[t] = samples(il, xl)[:ns]
        f.bin.update(hns=ns, hdt=dt)
    return str(path)


def inline_major(ilines=ILINES, xlines=XLINES):
    return [(il, xl) for il in ilines for xl in xlines]


ORDERS = {
    "crossline-major": [(il, xl) for xl in XLINES for il in ILINES],
    "descending": inline_major(ILINES[::-1], XLINES[::-1]),
    "shuffled": [inline_major()[k] for k in np.random.default_rng(3).permutation(12)],
}


@pytest.mark.parametrize("order", sorted(ORDERS))
def test_every_trace_lands_in_its_cell_and_writes_back_in_place(tmp_path, order):
    cube = segy.load_cube(write(tmp_path / "vol.sgy", ORDERS[order]), None)
    a = cube.prop[cube.current_property]["array3d"]
    want = np.array([[samples(il, xl) for xl in XLINES] for il in ILINES])
    np.testing.assert_array_equal(a, want)
    assert [cube.dict_vidx[k] for k in ("IL_FRST", "IL_NCRT", "IL_AMNT", "XL_FRST", "XL_NCRT", "XL_AMNT")] == \
        [100, 2, 4, 7, 1, 3]
    s = cube.survey.dict_sgmt
    assert [(s["P%d_ILNO" % p], s["P%d_XLNO" % p]) for p in (1, 2, 3)] == [(100, 7), (100, 9), (106, 7)]
    assert (s["P2_CRSX"], s["P3_CRSY"]) == ((50000000 + 2500 * 9 + 100 * 100) / 100, (70000000 + 1250 * 106) / 100)

    out = str(tmp_path / "out.sgy")
    segy.write_segy(cube, out)
    with segyio.open(out, iline=189, xline=193) as f:
        for t, (il, xl) in enumerate(inline_major()):
            h = f.header[t]
            assert (h[segyio.TraceField.INLINE_3D], h[segyio.TraceField.CROSSLINE_3D]) == (il, xl)
            np.testing.assert_array_equal(f.trace[t], samples(il, xl))


def test_trace_headers_without_or_with_stale_sample_count_and_interval(tmp_path):
    for name, trace_ns in (("zero", 0), ("stale", 462)):
        cube = segy.load_cube(write(tmp_path / (name + ".sgy"), inline_major(), trace_ns=trace_ns, trace_dt=0), None)
        a = cube.prop[cube.current_property]["array3d"]
        assert a.shape == (4, 3, NS) and a[3, 2, 1] == 9
        assert [cube.dict_vidx[k] for k in ("DP_NCRT", "DP_AMNT", "DP_LAST")] == [2, NS, 2 * (NS - 1)]


def tidy(cells):
    return sorted(cells, key=lambda c: (c[0], c[1]))


GRID_FAULTS = {
    # trace 4 moved onto trace 5's cell and trace 8 onto trace 7's: the line counts stay equal
    "duplicate": ([(il, 9 if t == 4 else 8 if t == 8 else xl) for t, (il, xl) in enumerate(inline_major())],
                  "The traces do not form a grid of 4 inlines x 3 crosslines: trace 5 (inline 102, crossline 9) "
                  "is in the same cell as trace 4"),
    "missing": ([(100, 7), (102, 8)],
                "The traces do not form a grid of 2 inlines x 2 crosslines: no trace has inline 100, crossline 8 "
                "(2 traces for 4 cells)"),
    "pre-stack": ([c for c in inline_major() for _offset in range(3)],
                  "The traces do not form a grid of 4 inlines x 3 crosslines: trace 1 (inline 100, crossline 7) is in "
                  "the same cell as trace 0; every cell holds 3 traces, as in a pre-stack gather, and only "
                  "post-stack volumes are read"),
    "uneven": (inline_major([100, 102, 106], XLINES),
               "The traces do not form a grid of 3 inlines x 3 crosslines: trace 6 (inline 106, crossline 7): "
               "inline 106 is not 100 + k x 2 for k from 0 to 2; line numbers must be evenly spaced"),
    "one trace short": (inline_major()[:-1], "Not all ILs are the same length."),
}


@pytest.mark.parametrize("fault", sorted(GRID_FAULTS))
def test_traces_that_form_no_grid_are_refused_naming_the_first_offending_trace(tmp_path, monkeypatch, fault):
    cells, message = GRID_FAULTS[fault]
    path = write(tmp_path / "bad.sgy", cells)
    monkeypatch.setattr(cube_module, "Cube", RecordingCube)
    with pytest.raises(ValueError) as info:
        segy.load_cube(path, None)
    assert str(info.value) == message
    # the same with a survey given: the grid is still checked, nothing reaches the cube
    monkeypatch.setattr(segy, "get_vxyz_of_grid_index", lambda *a: {})
    monkeypatch.setattr(segy, "get_parm_of_grid_index", lambda *a: {"DATA_VEL_TYPE": "seismic"})
    cube = RecordingCube("c")
    with pytest.raises(ValueError) as info:
        segy.read_segy(cube, path, survey=object())
    assert str(info.value) == message
    assert cube.log == [("Cube", "c")]


def test_an_array_the_engine_keeps_is_not_reordered_in_place(monkeypatch):
    # a crossline-major 4 x 3 grid whose traces number their own cells
    h = grid_headers([1, 2, 3, 4], [5, 6, 7], ns=2)
    order = np.arange(12).reshape(4, 3).T.ravel()
    h = {k: v[order] for k, v in h.items()}
    data = np.repeat(order.astype(np.float64)[:, None], 2, axis=1)
    kept = data.copy()
    monkeypatch.setattr(segy, "segypy", FakeEngine(data=data, headers=h))
    cube = RecordingCube("c")
    segy.read_segy(cube, "a.sgy")
    np.testing.assert_array_equal(cube.prop["seismic"]["array3d"][:, :, 0], np.arange(12).reshape(4, 3))
    np.testing.assert_array_equal(data, kept)
