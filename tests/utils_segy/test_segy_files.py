"""SEG-Y files end to end: files written by segyio load into cubes; write_segy output reads in segyio."""
import warnings

import numpy as np
import pytest

from segy_fakes import real_engine, segy_module

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


def corner_xy(t):
    """Map X and Y (times 100, scalar -100) of trace t."""
    il, xl = t // len(XLINES), t % len(XLINES)
    return 50000000 + 2500 * xl + 100 * il, 70000000 + 2500 * il


def write_with_segyio(path, fmt, endian, cube):
    spec = segyio.spec()
    spec.ilines, spec.xlines, spec.samples = ILINES, XLINES, np.arange(NS) * 2.0
    spec.format, spec.sorting, spec.endian = fmt, 2, endian
    F = segyio.TraceField
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", RuntimeWarning)  # segyio narrows the samples to the format
        with segyio.create(str(path), spec) as f:
            for t in range(len(ILINES) * len(XLINES)):
                x, y = corner_xy(t)
                f.header[t] = {F.INLINE_3D: ILINES[t // len(XLINES)], F.CROSSLINE_3D: XLINES[t % len(XLINES)],
                               F.CDP_X: x, F.CDP_Y: y, F.SourceGroupScalar: -100,
                               F.TRACE_SAMPLE_COUNT: NS, F.TRACE_SAMPLE_INTERVAL: 2000}
                f.trace[t] = cube.reshape(-1, NS)[t]
            f.bin.update(hns=NS, hdt=2000)


def write_int8_by_hand(path, cube):
    """segyio cannot write 1-byte integers; build the file from its bytes (big-endian)."""
    binary = np.zeros(400, np.uint8)
    for pos, width, value in ((16, 2, 2000), (20, 2, NS), (24, 2, 8), (28, 2, 2)):
        binary[pos:pos + width] = np.frombuffer(np.array(value, ">i2").tobytes(), np.uint8)
    traces = []
    for t, samples in enumerate(cube.reshape(-1, NS)):
        h = np.zeros(240, np.uint8)
        x, y = corner_xy(t)
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
        write_with_segyio(path, fmt, endian, cube_data)
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
    write_with_segyio(src, 5, "big", data)
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
