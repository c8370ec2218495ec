"""SEG-Y files end to end: files written by segyio, their traces in any order, load into cubes with each
trace in its cell or a clear error; write_segy output reads in segyio."""
import warnings

import numpy as np
import pytest

import dorar.gocube.cube as cube_module
from segy_fakes import FakeEngine, RecordingCube, grid_headers, real_engine, segy_module

segy = segy_module()
engine = real_engine()
segyio = pytest.importorskip("segyio", reason="python3-segyio is needed as the independent SEG-Y peer")
pytestmark = pytest.mark.skipif(engine is None, reason="the segypy engine is not built in this build folder "
                                                       "(build target mod_segypy_segypy)")

ILINES, XLINES, NS = [100, 102, 104, 106], [7, 8, 9], 50


@pytest.fixture(autouse=True)
def real(monkeypatch):
    monkeypatch.setattr(segy, "segypy", engine, raising=False)


def volume(dtype):
    v = (np.arange(len(ILINES) * len(XLINES) * NS).reshape(len(ILINES), len(XLINES), NS) % 200 - 100)
    return v.astype(dtype) * (np.float32(0.25) if dtype == np.float32 else 1)


def cell_xy(il, xl):
    """Map X and Y (times 100, scalar -100) of a cell: 25 m between crosslines, 1 m and 25 m between inlines."""
    i, j = (il - ILINES[0]) // 2, xl - XLINES[0]
    return 50000000 + 2500 * j + 100 * i, 70000000 + 2500 * i


def inline_major(ilines=ILINES, xlines=XLINES):
    return [(il, xl) for il in ilines for xl in xlines]


def write_with_segyio(path, cells, traces, fmt=5, endian="big", dt=2000, trace_ns=None, trace_dt=None):
    """A file of one trace per (inline, crossline) pair of `cells`, in that order."""
    ns = traces.shape[-1]
    spec = segyio.spec()
    spec.format, spec.endian, spec.samples, spec.tracecount = fmt, endian, np.arange(ns) * dt / 1000.0, len(cells)
    F = segyio.TraceField
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", RuntimeWarning)  # segyio narrows the samples to the format
        with segyio.create(str(path), spec) as f:
            for t, (il, xl) in enumerate(cells):
                x, y = cell_xy(il, xl)
                f.header[t] = {F.INLINE_3D: il, F.CROSSLINE_3D: xl, F.CDP_X: x, F.CDP_Y: y, F.SourceGroupScalar: -100,
                               F.TRACE_SAMPLE_COUNT: ns if trace_ns is None else trace_ns,
                               F.TRACE_SAMPLE_INTERVAL: dt if trace_dt is None else trace_dt}
                f.trace[t] = traces.reshape(-1, ns)[t]
            f.bin.update(hns=ns, hdt=dt)
    return str(path)


def write_int8_by_hand(path, cube):
    """segyio cannot write 1-byte integers; build the file from its bytes (big-endian)."""
    binary = np.zeros(400, np.uint8)
    for pos, width, value in ((16, 2, 2000), (20, 2, NS), (24, 2, 8), (28, 2, 2)):
        binary[pos:pos + width] = np.frombuffer(np.array(value, ">i2").tobytes(), np.uint8)
    traces = []
    for t, samples in enumerate(cube.reshape(-1, NS)):
        h = np.zeros(240, np.uint8)
        x, y = cell_xy(ILINES[t // len(XLINES)], XLINES[t % len(XLINES)])
        for pos, typ, value in ((70, ">i2", -100), (114, ">u2", NS), (116, ">u2", 2000), (180, ">i4", x), (184, ">i4", y),
                                (188, ">i4", ILINES[t // len(XLINES)]), (192, ">i4", XLINES[t % len(XLINES)])):
            b = np.frombuffer(np.array(value, typ).tobytes(), np.uint8)
            h[pos:pos + b.size] = b
        traces.append(h.tobytes() + samples.astype(np.int8).tobytes())
    path.write_bytes(b"\x40" * 3200 + binary.tobytes() + b"".join(traces))


CASES = [(1, "big", np.float32), (1, "little", np.float32), (5, "big", np.float32), (5, "little", np.float32),
         (2, "big", np.int32), (2, "little", np.int32), (3, "big", np.int16), (8, "big", np.int8)]
# segyio 1.8 swaps the bytes of little-endian 2-byte samples in pairs of samples, so it cannot write
# format 3 little-endian, and it cannot write format 8 at all (written by hand above).


@pytest.mark.parametrize("fmt, endian, dtype", CASES, ids=["%d-%s" % c[:2] for c in CASES])
def test_files_written_by_segyio_load_into_cubes(tmp_path, capsys, fmt, endian, dtype):
    cube_data = volume(dtype)
    path = tmp_path / "vol.sgy"
    if fmt == 8:
        write_int8_by_hand(path, cube_data)
    else:
        write_with_segyio(path, inline_major(), cube_data, fmt, endian)
    cube = segy.load_cube(str(path), None)
    a = cube.prop[cube.current_property]["array3d"]
    assert cube.name == "vol" and a.shape == (4, 3, NS)
    np.testing.assert_array_equal(a, cube_data)
    assert cube.dict_vidx == {"IL_FRST": 100, "IL_LAST": 106, "IL_NCRT": 2, "IL_AMNT": 4,
                              "XL_FRST": 7, "XL_LAST": 9, "XL_NCRT": 1, "XL_AMNT": 3,
                              "DP_FRST": 0, "DP_LAST": 98, "DP_NCRT": 2, "DP_AMNT": NS}
    sgmt = cube.survey.dict_sgmt
    assert [sgmt[k] for k in ("P1_ILNO", "P1_XLNO", "P2_XLNO", "P3_ILNO")] == [100, 7, 9, 106]
    assert (sgmt["P1_CRSX"], sgmt["P1_CRSY"]) == (500000.0, 700000.0)
    assert (sgmt["P2_CRSX"], sgmt["P3_CRSY"]) == (500050.0, 700075.0)
    assert "Data array shape = (4, 3, %d)" % NS in capsys.readouterr().out


def test_write_segy_output_reads_in_segyio_and_loads_again(tmp_path, monkeypatch):
    src = tmp_path / "vol.sgy"
    data = volume(np.float32)
    write_with_segyio(src, inline_major(), data)
    cube = segy.load_cube(str(src), None)
    head = tmp_path / "head.txt"
    head.write_text("C 1 written by dorar\nC 2 second line\n")
    out = tmp_path / "out.sgy"
    segy.write_segy(cube, str(out), stfhfn=str(head))

    with segyio.open(str(out), iline=189, xline=193) as f:
        assert list(f.ilines) == ILINES and list(f.xlines) == XLINES
        assert len(f.samples) == NS and segyio.tools.dt(f) == 2000
        assert f.bin[segyio.BinField.Samples] == NS and f.bin[segyio.BinField.Interval] == 2000
        np.testing.assert_array_equal(segyio.tools.cube(f), data)
        h = f.header[4]
        assert (h[segyio.TraceField.INLINE_3D], h[segyio.TraceField.CROSSLINE_3D]) == (102, 8)
        assert h[segyio.TraceField.TRACE_SAMPLE_COUNT] == NS and h[segyio.TraceField.TRACE_SAMPLE_INTERVAL] == 2000
        text = segyio.tools.wrap(f.text[0].decode("ascii", "replace"))
        assert text.startswith("C 1 written by dorar")

    again = segy.load_cube(str(out), None, object_name="again")
    np.testing.assert_array_equal(again.prop[again.current_property]["array3d"], data)
    assert again.dict_vidx == cube.dict_vidx
    assert again.survey.dict_sgmt["P2_CRSX"] == pytest.approx(cube.survey.dict_sgmt["P2_CRSX"], abs=1)


def test_missing_file_fails_with_the_engines_error_and_no_cube(tmp_path):
    with pytest.raises(Exception) as info:
        segy.load_cube(str(tmp_path / "absent.sgy"), None)
    assert "absent.sgy" in str(info.value)


def samples(il, xl):
    """Sample 0 holds the inline number, sample 1 the crossline number, the rest count up."""
    return np.concatenate([[il, xl], np.arange(2, NS)]).astype(np.float32)


def cells_of(cells):
    return np.array([samples(il, xl) for il, xl in cells])


ORDERS = {
    "crossline-major": [(il, xl) for xl in XLINES for il in ILINES],
    "descending": inline_major(ILINES[::-1], XLINES[::-1]),
    "shuffled": [inline_major()[k] for k in np.random.default_rng(3).permutation(12)],
}


@pytest.mark.parametrize("order", sorted(ORDERS))
def test_every_trace_lands_in_its_cell_and_writes_back_in_place(tmp_path, order):
    cube = segy.load_cube(write_with_segyio(tmp_path / "vol.sgy", ORDERS[order], cells_of(ORDERS[order])), None)
    a = cube.prop[cube.current_property]["array3d"]
    want = np.array([[samples(il, xl) for xl in XLINES] for il in ILINES])
    np.testing.assert_array_equal(a, want)
    assert [cube.dict_vidx[k] for k in ("IL_FRST", "IL_NCRT", "IL_AMNT", "XL_FRST", "XL_NCRT", "XL_AMNT")] == \
        [100, 2, 4, 7, 1, 3]
    s = cube.survey.dict_sgmt
    assert [(s["P%d_ILNO" % p], s["P%d_XLNO" % p]) for p in (1, 2, 3)] == [(100, 7), (100, 9), (106, 7)]
    assert (s["P2_CRSX"], s["P3_CRSY"]) == (500050.0, 700075.0)

    out = str(tmp_path / "out.sgy")
    segy.write_segy(cube, out)
    with segyio.open(out, iline=189, xline=193) as f:
        for t, (il, xl) in enumerate(inline_major()):
            h = f.header[t]
            assert (h[segyio.TraceField.INLINE_3D], h[segyio.TraceField.CROSSLINE_3D]) == (il, xl)
            np.testing.assert_array_equal(f.trace[t], samples(il, xl))


def test_trace_headers_without_or_with_stale_sample_count_and_interval(tmp_path):
    for name, trace_ns in (("zero", 0), ("stale", 462)):
        path = write_with_segyio(tmp_path / (name + ".sgy"), inline_major(), cells_of(inline_major()),
                                 trace_ns=trace_ns, trace_dt=0)
        cube = segy.load_cube(path, None)
        a = cube.prop[cube.current_property]["array3d"]
        assert a.shape == (4, 3, NS) and a[3, 2, 1] == 9
        assert [cube.dict_vidx[k] for k in ("DP_NCRT", "DP_AMNT", "DP_LAST")] == [2, NS, 2 * (NS - 1)]


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
    # a 2D line, or a DAS record: bytes 189-196 left at 0 on every trace
    "no line numbers": ([(0, 0)] * 5,
                        "The traces do not form a grid of 1 inlines x 1 crosslines: all 5 traces have inline 0 "
                        "and crossline 0; the trace headers hold no inline and crossline numbers at bytes 189 and "
                        "193: the file is a 2D line, or its line numbers stand at other bytes"),
    "one cell": ([(104, 8)] * 3,
                 "The traces do not form a grid of 1 inlines x 1 crosslines: all 3 traces have inline 104 "
                 "and crossline 8"),
}


@pytest.mark.parametrize("fault", sorted(GRID_FAULTS))
def test_traces_that_form_no_grid_are_refused_naming_the_first_offending_trace(tmp_path, monkeypatch, fault):
    cells, message = GRID_FAULTS[fault]
    path = write_with_segyio(tmp_path / "bad.sgy", cells, cells_of(cells))
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
    if fault == "no line numbers":
        # read from other bytes (9-12 and 21-24, left at 0 here too), the message names those
        hdr = {"Inline3D": {"pos": 8, "type": "int32"}, "Crossline3D": {"pos": 20, "type": "int32"}}
        with pytest.raises(ValueError, match="numbers at bytes 9 and 21: the file is a 2D line"):
            segy.read_segy(cube, path, hdr=hdr)


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
