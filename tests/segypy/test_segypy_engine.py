"""The SEG-Y engine against an independent SEG-Y library (segyio) in both directions, and its faults."""
import contextlib
import os
import subprocess
import sys

import numpy as np
import pytest

segyio = pytest.importorskip("segyio")
from segypy import segypy  # noqa: E402

LAYOUT = {
    "SourceGroupScalar": {"pos": 70, "type": "int16"},
    "ns": {"pos": 114, "type": "uint16"},
    "dt": {"pos": 116, "type": "uint16"},
    "cdpX": {"pos": 180, "type": "int32"},
    "cdpY": {"pos": 184, "type": "int32"},
    "Inline3D": {"pos": 188, "type": "int32"},
    "Crossline3D": {"pos": 192, "type": "int32"},
}
SEGYIO_FIELD = {"SourceGroupScalar": 71, "ns": 115, "dt": 117, "cdpX": 181, "cdpY": 185, "Inline3D": 189,
                "Crossline3D": 193}
NIL, NXL = 40, 60  # with 300 samples a few MB: enough to spread over the workers


def cube_headers(nil=NIL, nxl=NXL, ns=300, dt=2000):
    t = np.arange(nil * nxl)
    return {"SourceGroupScalar": np.full(t.size, -100), "ns": np.full(t.size, ns), "dt": np.full(t.size, dt),
            "cdpX": 50000000 + 2500 * (t % nxl), "cdpY": -3000 - 7 * (t // nxl),
            "Inline3D": 1000 + t // nxl, "Crossline3D": 20 + 2 * (t % nxl)}


def segyio_write(path, fmt, endian, data, headers, dt):
    spec = segyio.spec()
    spec.format = fmt
    spec.endian = endian
    spec.samples = list(range(data.shape[1]))
    spec.tracecount = data.shape[0]
    with segyio.create(str(path), spec) as f:
        for t in range(data.shape[0]):
            f.header[t] = {SEGYIO_FIELD[k]: int(v[t]) for k, v in headers.items()}
        f.trace = data
        f.bin.update(hns=data.shape[1], hdt=dt, format=fmt)


def sample_bytes(fmt, big, row):
    """One trace's samples as stored: 3-byte integers for formats 7 and 15, else the element itself."""
    if fmt in (7, 15):
        b = row.astype("<i4").view(np.uint8).reshape(-1, 4)[:, :3]
        return (b[:, ::-1] if big else b).tobytes()
    return row.astype(row.dtype.newbyteorder(">" if big else "<")).tobytes()


def hand_write(path, fmt, big, data, headers, dt, text):
    """A SEG-Y file put together byte by byte (segyio 1.8 drops the last sample of 1- and 2-byte formats)."""
    o = ">" if big else "<"
    binary = np.zeros(400, np.uint8)
    for pos, val in ((16, dt), (20, data.shape[1]), (24, fmt)):
        binary[pos:pos + 2] = np.frombuffer(np.array(val, o + "i2").tobytes(), np.uint8)
    rows = []
    for t in range(data.shape[0]):
        h = np.zeros(240, np.uint8)
        for name, v in headers.items():
            spec = LAYOUT[name]
            typ = np.dtype(spec["type"]).newbyteorder(o)
            h[spec["pos"]:spec["pos"] + typ.itemsize] = np.frombuffer(np.array(v[t], typ).tobytes(), np.uint8)
        rows.append(h.tobytes() + sample_bytes(fmt, big, data[t]))
    with open(path, "wb") as f:
        f.write(text + binary.tobytes() + b"".join(rows))


def check_headers(got, want):
    assert list(got) == list(LAYOUT)
    for name, spec in LAYOUT.items():
        assert got[name].dtype == np.dtype(spec["type"]) and got[name].dtype.isnative
        np.testing.assert_array_equal(got[name], want[name], err_msg=name)


@pytest.mark.parametrize("endian", ["big", "little"])
@pytest.mark.parametrize("fmt", [1, 2, 5])
def test_segyio_files_load_to_the_same_samples_and_headers(tmp_path, fmt, endian):
    rng = np.random.default_rng(fmt)
    ntr, ns = NIL * NXL, 300
    if fmt == 2:
        data = rng.integers(-2 ** 31, 2 ** 31 - 1, (ntr, ns), dtype=np.int32)
    else:
        data = (rng.standard_normal((ntr, ns)) * 10.0 ** rng.integers(-20, 20, (ntr, 1))).astype(np.float32)
        data[0, :4] = [0.0, -0.0, 1.0, -118.625]
    headers = cube_headers(ns=ns)
    path = tmp_path / "cube.sgy"
    segyio_write(path, fmt, endian, data, headers, 2000)

    got, info, sth = segypy.readSegy(str(path), LAYOUT)
    with segyio.open(str(path), ignore_geometry=True, endian=endian) as f:
        peer = f.trace.raw[:]
    assert got.shape == (ntr, ns) and got.dtype == (np.int32 if fmt == 2 else np.float32)
    np.testing.assert_array_equal(got, peer)
    if fmt == 1:  # IBM keeps 21 to 24 bits of the fraction
        np.testing.assert_allclose(got, data, rtol=2.0 ** -20)
    else:
        np.testing.assert_array_equal(got, data)
    check_headers(sth, headers)
    assert info["ns"] == ns and info["dt"] == 2000 and info["DataSampleFormat"] == fmt
    assert info["ntraces"] == ntr and info["ByteOrder"] == endian
    assert info["TextualHeaderEncoding"] == "EBCDIC" and info["TextualFileHeader"].startswith("C 1")


ELEMENT = {2: np.int32, 3: np.int16, 5: np.float32, 6: np.float64, 7: np.int32, 8: np.int8, 9: np.int64,
           10: np.uint32, 11: np.uint16, 12: np.uint64, 15: np.uint32, 16: np.uint8}


@pytest.mark.parametrize("big", [True, False])
@pytest.mark.parametrize("fmt", sorted(ELEMENT))
def test_every_sample_format_in_both_byte_orders(tmp_path, fmt, big):
    dtype = np.dtype(ELEMENT[fmt])
    rng = np.random.default_rng(fmt)
    if dtype.kind == "f":
        data = (rng.standard_normal((24, 11)) * 10.0 ** rng.integers(-30, 30, (24, 1))).astype(dtype)
        data[0, :4] = [np.finfo(dtype).max, -np.finfo(dtype).tiny, -0.0, np.inf]
    else:
        lo, hi = {7: (-2 ** 23, 2 ** 23 - 1), 15: (0, 2 ** 24 - 1)}.get(fmt, (np.iinfo(dtype).min, np.iinfo(dtype).max))
        data = rng.integers(lo, hi, (24, 11), dtype=dtype, endpoint=True)
        data[0, :3] = [lo, hi, lo + 1]
    headers = cube_headers(4, 6, ns=11, dt=500)
    ascii_text = "C 1 ASCII TEXTUAL HEADER".ljust(3200).encode("ascii")
    path = tmp_path / "f.sgy"
    hand_write(path, fmt, big, data, headers, 500, ascii_text)  # 11 samples: odd lengths for 1 and 3 bytes
    got, info, sth = segypy.readSegy(str(path), LAYOUT)
    assert got.dtype == dtype and got.shape == (24, 11)
    np.testing.assert_array_equal(got, data)
    assert np.signbit(got[0, 2]) if dtype.kind == "f" else True
    check_headers(sth, headers)
    assert info["TextualHeaderEncoding"] == "ASCII"
    assert info["TextualFileHeader"] == ascii_text.decode()
    assert (info["ns"], info["dt"], info["ByteOrder"], info["DataSampleFormat"]) == (
        11, 500, "big" if big else "little", fmt)


def test_binary_header_count_holds_and_extended_textual_headers_are_skipped(tmp_path):
    nil, nxl, ns = 3, 5, 75
    data = np.random.default_rng(9).standard_normal((nil * nxl, ns)).astype(np.float32)
    headers = cube_headers(nil, nxl, ns=0, dt=0)
    spec = segyio.spec()
    spec.format, spec.samples, spec.tracecount, spec.ext_headers = 5, list(range(ns)), nil * nxl, 3
    path = tmp_path / "ext.sgy"
    with segyio.create(str(path), spec) as f:  # trace headers with sample count and interval 0
        for t in range(nil * nxl):
            f.header[t] = {SEGYIO_FIELD[k]: int(v[t]) for k, v in headers.items()}
        f.trace = data
        f.bin.update(hns=ns, hdt=4000, format=5)
    raw = bytearray(path.read_bytes())
    ext = [raw[3600 + 3200 * i:3600 + 3200 * (i + 1)] for i in range(3)]

    def check(name, raw, ext_count, trace_ns, trace_dt):
        p = tmp_path / name
        p.write_bytes(bytes(raw))
        got, info, sth = segypy.readSegy(str(p), LAYOUT)
        np.testing.assert_array_equal(got, data, err_msg=name)
        check_headers(sth, dict(headers, ns=np.full(nil * nxl, trace_ns), dt=np.full(nil * nxl, trace_dt)))
        assert (info["ns"], info["dt"], info["NumberOfExtTextualHeaders"]) == (ns, 4000, ext_count), name

    check("zero.sgy", raw, 3, 0, 0)  # a fixed count of 3, written by segyio in a revision-0 file
    for t in range(nil * nxl):  # counts from before the file was cropped, another interval
        base = 3600 + 3 * 3200 + t * (240 + 4 * ns)
        raw[base + 114:base + 118] = np.array([462, 250], ">u2").tobytes()
    check("stale.sgy", raw, 3, 462, 250)
    # A variable number (-1), ended by the stanza in the third record, in either encoding (text
    # records: segyio leaves the records it adds zero).
    raw[3500:3502] = np.array(0x0100, ">u2").tobytes()
    raw[3504:3506] = np.array(-1, ">i2").tobytes()
    for code in ("cp037", "ascii"):
        stanza = "((SEG: Foo))".ljust(80) + "((  seg: endTEXt  ))".ljust(3120)
        raw[3600:3600 + 9600] = ("C 1 EXTENDED".ljust(6400) + stanza).encode(code)
        check("variable_%s.sgy" % code, raw, -1, 462, 250)
    # The same in a revision-0 file: the records from byte 3600 are text, so its -1 is no noise.
    raw[3500:3502] = b"\0\0"
    check("old_variable.sgy", raw, -1, 462, 250)
    raw[3500:3502] = np.array(0x0100, ">u2").tobytes()
    raw[3600 + 6400:3600 + 9600] = ext[2]  # no stanza anywhere: refused, never read at a wrong offset
    bad = tmp_path / "nostanza.sgy"
    bad.write_bytes(bytes(raw))
    with raises_about(ValueError, bad, "without the stanza ((SEG: EndText))"):
        segypy.readSegy(str(bad), LAYOUT)


@pytest.mark.parametrize("stanzas", [["((SEG: EndText))"], ["((SEG: Location Data ver 1.0))", "((SEG: EndText))"]])
def test_old_file_with_stanzas_first_reads_the_traces_after_them(tmp_path, stanzas):
    # 100 IEEE samples make 640-byte traces, 5 of which fill a record's 3200 bytes: the file would
    # also divide into traces from byte 3600, the stanzas' bytes read as 5 or 10 traces.
    data = np.arange(600, dtype=np.float32).reshape(6, 100)
    headers = cube_headers(2, 3, ns=100)
    path = tmp_path / "stanza.sgy"
    hand_write(path, 5, True, data, headers, 2000, b"\x40" * 3200)
    raw = bytearray(path.read_bytes())
    raw[3504:3506] = np.array(-1, ">i2").tobytes()
    raw[3600:3600] = "".join(s.ljust(3200) for s in stanzas).encode("cp037")
    path.write_bytes(bytes(raw))
    got, info, sth = segypy.readSegy(str(path), LAYOUT)
    np.testing.assert_array_equal(got, data)
    check_headers(sth, headers)
    assert info["ntraces"] == 6 and info["SegyFormatRevisionNumber"] == 0


def test_any_layout_entry_is_honoured(tmp_path):
    data = np.arange(12, dtype=np.float32).reshape(3, 4)
    path = tmp_path / "small.sgy"
    hand_write(path, 5, True, data, {k: v[:3] for k, v in cube_headers(1, 3, ns=4).items()}, 4000,
               b"\x40" * 3200)
    raw = bytearray(path.read_bytes())
    # Trace 1: a float at 232, a byte at 239 and a 64-bit integer at 8.
    t1 = 3600 + 256
    raw[t1 + 232:t1 + 236] = np.array(-1.5, ">f4").tobytes()
    raw[t1 + 239] = 0xFF
    raw[t1 + 8:t1 + 16] = np.array(-(2 ** 40), ">i8").tobytes()
    path.write_bytes(bytes(raw))
    layout = dict(LAYOUT)
    layout["Inline3D"] = {"pos": 192, "type": np.int16}  # replaced whole: other bytes, other type
    layout["Real"] = {"pos": 232, "type": "float32"}
    layout["Last"] = {"pos": 239, "type": "uint8"}
    layout["Wide"] = {"pos": 8, "type": ">i8"}           # a byte order in the name does not matter
    _, _, sth = segypy.readSegy(os.fspath(path), layout)
    assert list(sth) == list(layout)
    assert sth["Inline3D"].dtype == np.int16 and list(sth["Inline3D"]) == [0, 0, 0]  # high half of 20, 22, 24
    assert list(sth["Real"]) == [0.0, -1.5, 0.0]
    assert list(sth["Last"]) == [0, 255, 0]
    assert sth["Wide"].dtype == np.dtype("int64") and sth["Wide"].dtype.isnative
    assert sth["Wide"][1] == -(2 ** 40)


def test_headers_only_file_gives_empty_arrays(tmp_path):
    path = tmp_path / "empty.sgy"
    hand_write(path, 5, True, np.zeros((0, 7), np.float32), {k: [] for k in LAYOUT}, 1000, b"\x40" * 3200)
    data, info, sth = segypy.readSegy(str(path), LAYOUT)
    assert data.shape == (0, 7) and info["ntraces"] == 0
    assert all(v.shape == (0,) for v in sth.values())


def bytes_read():
    with open("/proc/self/io") as f:
        return next(int(line.split()[1]) for line in f if line.startswith("rchar:"))


def test_headers_alone_are_those_of_a_full_read(tmp_path):
    n, ns = 40000, 100  # ten pieces of headers over the workers
    t = np.arange(n)
    path = tmp_path / "many.sgy"
    segypy.writeSegy(str(path), np.ones((ns, n), np.float32), 2000, "C 1", {
        "Inline3D": 1000 + t // 200, "Crossline3D": t % 200, "cdpX": 7 * t - 5, "cdpY": -3 * t,
        "SourceGroupScalar": -10})
    _, info, sth = segypy.readSegy(str(path), LAYOUT)
    before = bytes_read()
    data, info_alone, sth_alone = segypy.readSegy(str(path), LAYOUT, samples=False)
    assert bytes_read() - before < n * 250  # the 240-byte headers, and nothing of the samples
    assert data is None and info_alone == info
    check_headers(sth_alone, sth)


def part_style_headers(ln, xy, nxl):
    """The per-trace header map as the SEG-Y writing side builds it: dicts keyed by trace index."""
    n = len(ln)
    sth = {k: {} for k in ("cdpX", "cdpY", "Inline3D", "Crossline3D", "TraceSequenceLine", "SourceGroupScalar")}
    for t in range(n):
        sth["cdpX"][t] = xy[t, 0]
        sth["cdpY"][t] = xy[t, 1]
        sth["Inline3D"][t] = ln[t, 0]
        sth["Crossline3D"][t] = ln[t, 1]
        sth["TraceSequenceLine"][t] = t % nxl + 1
        sth["SourceGroupScalar"][t] = 1
    return sth


def test_written_file_reads_back_in_segyio(tmp_path):
    nil, nxl, ns = 5, 7, 50
    cube = np.random.default_rng(5).standard_normal((nil, nxl, ns))  # float64: narrowed on writing
    array2d = np.transpose(cube, (2, 0, 1)).reshape(ns, nil * nxl)
    ln = np.array([(100 + t // nxl, 300 + t % nxl) for t in range(nil * nxl)], dtype=np.int64)
    xy = np.array([(612345.6 + t, 7123456.4 - t) for t in range(nil * nxl)])
    path = tmp_path / "out.sgy"
    segypy.writeSegy(str(path), array2d, 4000, "Dorar".ljust(3200), part_style_headers(ln, xy, nxl))

    assert path.stat().st_size == 3600 + nil * nxl * (240 + 4 * ns)
    with segyio.open(str(path)) as f:  # segyio works out the inline/crossline geometry itself
        assert list(f.ilines) == list(range(100, 100 + nil)) and list(f.xlines) == list(range(300, 300 + nxl))
        np.testing.assert_array_equal(f.trace.raw[:], cube.reshape(-1, ns).astype(np.float32))
        assert len(f.samples) == ns and segyio.tools.dt(f) == 4000
        assert f.bin[segyio.BinField.Samples] == ns and f.bin[segyio.BinField.Interval] == 4000
        assert f.bin[segyio.BinField.Format] == 5 and f.bin[segyio.BinField.SEGYRevision] == 0x0100
        assert f.bin[segyio.BinField.TraceFlag] == 1
        assert bytes(f.text[0]) == b"Dorar".ljust(3200)  # segyio hands the EBCDIC text over as ASCII
        assert path.read_bytes()[:3200] == "Dorar".ljust(3200).encode("cp037")
        h = f.header[9]
        assert h[segyio.su.ns] == ns and h[segyio.su.dt] == 4000
        assert (h[segyio.su.cdpx], h[segyio.su.cdpy]) == (612355, 7123447)  # rounded, scalar 1
        assert h[segyio.su.scalco] == 1 and h[segyio.su.tracl] == 9 % nxl + 1
        assert (h[segyio.su.iline], h[segyio.su.xline]) == (101, 302)
    data, info, sth = segypy.readSegy(str(path), LAYOUT)
    np.testing.assert_array_equal(data.reshape(nil, nxl, ns), cube.astype(np.float32))
    assert info["TextualFileHeader"] == "Dorar".ljust(3200)
    np.testing.assert_array_equal(sth["Inline3D"], ln[:, 0])


def test_writer_pads_text_and_takes_arrays_numbers_and_real_interval(tmp_path):
    path = tmp_path / "w.sgy"
    a = np.arange(6, dtype=np.int16).reshape(2, 3)
    segypy.writeSegy(str(path), a, 500.0, "A".ljust(80) + " " * 80, {"Inline3D": np.array([1, 2, 3]),
                                                                      "cdpX": 7, "ns": [2, 2, 2]})
    data, info, sth = segypy.readSegy(str(path), LAYOUT)
    assert info["TextualFileHeader"] == "A".ljust(3200) and info["dt"] == 500
    assert list(sth["Inline3D"]) == [1, 2, 3] and list(sth["cdpX"]) == [7, 7, 7]
    np.testing.assert_array_equal(data, a.T.astype(np.float32))
    segypy.writeSegy(str(path), a, 1000, None, None)  # no text and no headers: blanks and zeros
    _, info, sth = segypy.readSegy(str(path), LAYOUT)
    assert info["TextualFileHeader"] == " " * 3200 and list(sth["Inline3D"]) == [0, 0, 0]


@contextlib.contextmanager
def raises_about(exc, path, *words):
    """pytest.raises whose message must name the file and hold each of `words`."""
    with pytest.raises(exc) as info:
        yield info
    msg = str(info.value)
    assert str(path) in msg, msg
    for w in words:
        assert w in msg, msg


def good_file(tmp_path, ns=10, ntr=3):
    path = tmp_path / "good.sgy"
    hand_write(path, 5, True, np.zeros((ntr, ns), np.float32),
               {k: v[:ntr] for k, v in cube_headers(1, ntr, ns=ns).items()}, 1000, b"\x40" * 3200)
    return path


def test_read_faults_name_the_file_and_the_fault(tmp_path):
    missing = tmp_path / "missing.sgy"
    with raises_about(FileNotFoundError, missing):
        segypy.readSegy(str(missing), LAYOUT)
    with raises_about(OSError, tmp_path):
        segypy.readSegy(str(tmp_path), LAYOUT)
    path = good_file(tmp_path)
    raw = path.read_bytes()

    short = tmp_path / "short.sgy"
    short.write_bytes(raw[:3000])
    with raises_about(ValueError, short, "3000 bytes", "3600"):
        segypy.readSegy(str(short), LAYOUT)

    cut = tmp_path / "cut.sgy"
    cut.write_bytes(raw[:-5])
    with raises_about(ValueError, cut, "does not divide"):
        segypy.readSegy(str(cut), LAYOUT)

    for code, words in ((4, "code 4 (4-byte fixed point with gain"), (13, "unknown sample format code 13"),
                        (0x3F00, "not a SEG-Y file: bytes 3225-3226, where the binary header holds the sample "
                                  "format code, hold 0x3F 0x00 (16128 read big-endian, 63 little-endian)")):
        bad = tmp_path / "fmt.sgy"
        bad.write_bytes(raw[:3224] + np.array(code, ">u2").tobytes() + raw[3226:])
        with raises_about(ValueError, bad, words):
            segypy.readSegy(str(bad), LAYOUT)

    rev2 = tmp_path / "rev2.sgy"  # revision 2.0 with one additional trace header after each one
    rev2.write_bytes(raw[:3500] + bytes([2, 0, 0, 1, 0, 0, 0, 0, 0, 1]) + raw[3510:])
    with raises_about(ValueError, rev2, "1 additional 240-byte trace headers"):
        segypy.readSegy(str(rev2), LAYOUT)

    # As open() refuses it: never the file named by the part before the NUL.
    for name in (str(path) + "\0.bak", os.fsencode(path) + b"\0x"):
        with pytest.raises(ValueError) as peer:
            open(name)
        with pytest.raises(ValueError) as info:
            segypy.readSegy(name, LAYOUT)
        assert str(info.value) == str(peer.value) == "embedded null byte"


def test_a_file_shorter_than_its_size_gives_an_error():
    # A sysfs attribute claims 4096 bytes and holds a few: the reads come back short, as they do
    # when another program truncates a file during a read.
    path = "/sys/kernel/mm/transparent_hugepage/enabled"
    if not os.path.isfile(path) or os.stat(path).st_size < 3600:
        pytest.skip("no sysfs attribute that claims more bytes than it holds")
    with raises_about(OSError, path, "came to an end at byte", "truncated"):
        segypy.readSegy(path, LAYOUT)


def test_fifo_never_blocks(tmp_path):
    fifo = tmp_path / "pipe.sgy"
    os.mkfifo(fifo)
    code = ("from segypy import segypy\n"
            "try:\n    segypy.readSegy(%r, {})\nexcept ValueError as e:\n    print(e)\n" % str(fifo))
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=60,
                         env=dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path)))
    assert out.stdout.strip() == "SEG-Y file %r: not a regular file" % str(fifo), out.stderr


def test_layout_faults_let_interrupts_through(tmp_path, monkeypatch):
    path = good_file(tmp_path)

    def interrupted(*args):
        raise KeyboardInterrupt

    monkeypatch.setattr(np, "dtype", interrupted)
    with pytest.raises(KeyboardInterrupt):
        segypy.readSegy(str(path), LAYOUT)


@pytest.mark.parametrize("entry,exc,words", [
    ({"pos": 238, "type": "int32"}, ValueError, ["'Bad'", "240-byte"]),
    ({"pos": 240, "type": "int8"}, ValueError, ["'Bad'", "240-byte"]),
    ({"pos": -1, "type": "int8"}, ValueError, ["'Bad'", "240-byte"]),
    ({"pos": 10, "type": "int17"}, ValueError, ["'Bad'", "unknown type"]),
    ({"pos": 10, "type": None}, ValueError, ["'Bad'", "unknown type"]),
    ({"pos": 10, "type": "complex64"}, ValueError, ["'Bad'", "integer or floating"]),
    ({"pos": 10, "type": "float16"}, ValueError, ["'Bad'"]),
    ({"pos": 10.0, "type": "int8"}, TypeError, ["'Bad'", "integer"]),
    ({"pos": 10}, ValueError, ["'Bad'", "'type'"]),
])
def test_bad_layout_entries_are_refused(tmp_path, entry, exc, words):
    path = good_file(tmp_path)
    with raises_about(exc, path, *words):
        segypy.readSegy(str(path), dict(LAYOUT, Bad=entry))


def test_write_faults_leave_nothing_behind(tmp_path):
    path = tmp_path / "out.sgy"
    path.write_bytes(b"old contents")
    a = np.zeros((4, 3), np.float32)
    cases = [
        (ValueError, "two-dimensional", (np.zeros((2, 2, 2)), 1000, None, None)),
        (ValueError, "65535", (a, 70000, None, None)),
        (ValueError, "65535", (a, -1, None, None)),
        (ValueError, "65535", (a, float("nan"), None, None)),
        (ValueError, "written as 0", (a, 0.4, None, None)),
        (ValueError, "written as 0", (a, -0.3, None, None)),
        (TypeError, "complex", (a + 1j, 1000, None, None)),
        (TypeError, "integer or real", (np.array([["1.5", "2", "3"]] * 4), 1000, None, None)),
        (TypeError, "object", (np.array([[1.0, None, 2.0]] * 4, dtype=object), 1000, None, None)),
        (TypeError, "sample interval", (a, "4000", None, None)),
        (ValueError, "more than 3200", (a, 1000, "x" * 3201, None)),
        (ValueError, "EBCDIC", (a, 1000, "\u0627", None)),
        (ValueError, "unknown trace header field 'Nope'", (a, 1000, None, {"Nope": 1})),
        (ValueError, "no value for trace 2", (a, 1000, None, {"Inline3D": {0: 1, 1: 2}})),
        (ValueError, "for 3 traces", (a, 1000, None, {"Inline3D": [1, 2]})),
        (ValueError, "4-byte signed", (a, 1000, None, {"cdpX": [0, 2 ** 31, 0]})),
        (ValueError, "2-byte signed", (a, 1000, None, {"SourceGroupScalar": 40000})),
        (ValueError, "trace 1", (a, 1000, None, {"cdpY": [0.0, float("inf"), 0.0]})),
        (ValueError, "'ns' of trace 0", (a, 1000, None, {"ns": 5})),
        (TypeError, "not a number", (a, 1000, None, {"cdpX": {0: "1", 1: 2, 2: 3}})),
    ]
    for exc, words, args in cases:
        with raises_about(exc, path, words):
            segypy.writeSegy(str(path), *args)
    assert path.read_bytes() == b"old contents"
    assert os.listdir(tmp_path) == ["out.sgy"]
    nowhere = tmp_path / "no_such_dir" / "out.sgy"
    with raises_about(FileNotFoundError, nowhere):
        segypy.writeSegy(str(nowhere), a, 1000)
    segypy.writeSegy(path, a, 1000)  # a path object will do; the old file is replaced whole
    assert path.stat().st_size == 3600 + 3 * (240 + 16) and os.listdir(tmp_path) == ["out.sgy"]
