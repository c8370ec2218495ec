#!/usr/bin/python3
"""Speed of the SEG-Y engine against segyio and against reading the bytes with numpy.fromfile.

Generates IBM-float files of 256 MB and 1 GB, each as a revision-0 file (no fixed-length flag, as
most older files are) and as a revision-1 fixed-length file, in a folder on disk (/var/tmp, not a
tmpfs; deleted afterwards). For each: readSegy of samples and the seven header arrays, segyio
reading the same with its memory map on, numpy.fromfile of the file's bytes, all from the page
cache; and the peak memory of a readSegy load (in a fresh interpreter) relative to the cube
array's size. Then writeSegy of the last cube against segyio writing it.

Goals, each against a peer timed in the same run: readSegy gives the samples and header values
segyio gives, takes at most 0.3 times as long as numpy.fromfile reading the file's bytes and is at
least 10 times as fast as segyio, for every size and revision; writeSegy is at least 4 times as
fast as segyio. A result that misses its goal is printed as a line "MISSED GOAL: ..."; the last
line says "all goals met" or which were missed.

    /usr/bin/python3 bench/bench_segy_engine.py [--sizes 0.25,1] [--repeat 5]

The modules come from this tree's build/site. To run the same benchmark against another build (an
earlier one kept for comparison, say), name it (see benchkit):

    DORAR_BUILD=/path/to/other/build /usr/bin/python3 bench/bench_segy_engine.py
    PYTHONPATH=/path/to/other/build/site /usr/bin/python3 bench/bench_segy_engine.py
"""
import argparse
import os
import subprocess
import sys
import tempfile

import numpy as np

from benchkit import SITE, Goals, best_of, cores

LAYOUT = {
    "SourceGroupScalar": {"pos": 70, "type": "int16"},
    "ns": {"pos": 114, "type": "uint16"},
    "dt": {"pos": 116, "type": "uint16"},
    "cdpX": {"pos": 180, "type": "int32"},
    "cdpY": {"pos": 184, "type": "int32"},
    "Inline3D": {"pos": 188, "type": "int32"},
    "Crossline3D": {"pos": 192, "type": "int32"},
}
NS = 1000
DT = 4000
READ_PER_FROMFILE = 0.3  # at most, readSegy time / numpy.fromfile time
READ_SPEEDUP = 10  # at least, segyio time / readSegy time
WRITE_SPEEDUP = 4  # at least, segyio time / writeSegy time


def float_to_ibm(x):
    """IBM single bits (uint32) of float32 values."""
    x = np.asarray(x, dtype=np.float64)
    sign = np.where(np.signbit(x), np.uint32(0x80000000), np.uint32(0))
    m, e = np.frexp(np.abs(x))
    e16 = np.ceil(e / 4.0).astype(np.int64)
    frac = np.rint(np.ldexp(m, (e - 4 * e16).astype(np.int32)) * 2.0 ** 24).astype(np.int64)
    carry = frac >= 1 << 24
    frac = np.where(carry, frac >> 4, frac)
    e16 = e16 + carry
    bits = ((e16 + 64).astype(np.uint32) << 24) | frac.astype(np.uint32)
    bits = np.where(x == 0, np.uint32(0), bits)
    return (bits | sign).astype(np.uint32)


def make_file(path, fmt, ntraces, nxl, revision):
    """A post-stack cube of ntraces x NS samples in format 1 or 5, big-endian, written in chunks;
    revision 1 sets the fixed-length flag, revision 0 leaves both fields 0."""
    text = "C 1 BENCHMARK VOLUME".ljust(3200).encode("cp037")
    binary = np.zeros(400, np.uint8)
    bh = binary.view(">i2")
    bh[8], bh[9], bh[10], bh[11], bh[12] = DT, DT, NS, NS, fmt
    if revision:
        bh[150], bh[151] = 0x0100, 1
    rng = np.random.default_rng(1)
    with open(path, "wb") as f:
        f.write(text)
        f.write(binary.tobytes())
        chunk = 20000
        for t0 in range(0, ntraces, chunk):
            n = min(chunk, ntraces - t0)
            h = np.zeros((n, 240), np.uint8)
            t = np.arange(t0, t0 + n)
            h[:, 70:72] = np.frombuffer(np.full(n, -100, ">i2").tobytes(), np.uint8).reshape(n, 2)
            for pos, vals, typ in ((114, np.full(n, NS), ">u2"), (116, np.full(n, DT), ">u2"),
                                   (180, 600000 + 25 * (t % nxl), ">i4"), (184, 7000000 + 25 * (t // nxl), ">i4"),
                                   (188, 100 + t // nxl, ">i4"), (192, 200 + t % nxl, ">i4")):
                w = np.dtype(typ).itemsize
                h[:, pos:pos + w] = np.frombuffer(vals.astype(typ).tobytes(), np.uint8).reshape(n, w)
            samples = rng.standard_normal((n, NS), dtype=np.float32) * 1000
            bits = (float_to_ibm(samples) if fmt == 1 else samples.view(np.uint32)).astype(">u4")
            f.write(np.concatenate([h, bits.view(np.uint8).reshape(n, 4 * NS)], axis=1).tobytes())


def read_engine(path):
    from segypy import segypy
    return segypy.readSegy(path, LAYOUT)


def read_segyio(path):
    import segyio
    with segyio.open(path, ignore_geometry=True) as f:
        f.mmap()
        data = f.trace.raw[:]
        headers = {name: f.attributes(1 + spec["pos"])[:] for name, spec in LAYOUT.items()}
    return data, headers


PEAK_CODE = r"""
import sys
import numpy as np
from segypy import segypy
def rss(key):
    for line in open('/proc/self/status'):
        if line.startswith(key):
            return int(line.split()[1]) * 1024
base = rss('VmRSS:')
data, info, headers = segypy.readSegy(sys.argv[1], %r)
print(rss('VmHWM:') - base, data.nbytes)
""" % (LAYOUT,)


def peak_ratio(path):
    out = subprocess.run([sys.executable, "-c", PEAK_CODE, path], capture_output=True, text=True, check=True,
                         env=dict(os.environ, PYTHONPATH=SITE))
    peak, cube = map(int, out.stdout.split())
    return peak, cube


def write_engine(path, array2d, sth):
    from segypy import segypy
    segypy.writeSegy(path, array2d, DT, "Dorar", sth)


def write_segyio(path, array2d, sth, nxl):
    import segyio
    ntr = array2d.shape[1]
    spec = segyio.spec()
    spec.format = 5
    spec.samples = list(range(array2d.shape[0]))
    spec.tracecount = ntr
    with segyio.create(path, spec) as f:
        traces = np.ascontiguousarray(array2d.T)
        il, xl, cx, cy = (sth[k] for k in ("Inline3D", "Crossline3D", "cdpX", "cdpY"))
        for t in range(ntr):
            f.header[t] = {189: int(il[t]), 193: int(xl[t]), 181: int(cx[t]), 185: int(cy[t]),
                           71: 1, 115: array2d.shape[0], 117: DT}
        f.trace = traces
        f.bin.update(hns=array2d.shape[0], hdt=DT, format=5)


def file_system(path):
    """Type of the file system that holds `path` (the longest mount point above it)."""
    best, kind = "", "?"
    with open("/proc/mounts") as f:
        for line in f:
            mnt, typ = line.split()[1:3]
            if (path == mnt or path.startswith(mnt.rstrip("/") + "/")) and len(mnt) > len(best):
                best, kind = mnt, typ
    return kind


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--sizes", default="0.25,1", help="file sizes in GB, comma-separated")
    ap.add_argument("--repeat", type=int, default=5)
    ap.add_argument("--dir", default="/var/tmp", help="folder on disk for the files (not a tmpfs)")
    args = ap.parse_args()
    trace_bytes = 240 + 4 * NS
    nxl = 500
    tmp = tempfile.mkdtemp(prefix="bench_segy_engine_", dir=args.dir)
    print("files in %s (%s), %d cores, modules from %s"
          % (tmp, file_system(os.path.realpath(tmp)), cores(), SITE))
    print("goals: readSegy <= %.2fx numpy.fromfile's time and >= %gx as fast as segyio; writeSegy >= %gx as fast "
          "as segyio" % (READ_PER_FROMFILE, READ_SPEEDUP, WRITE_SPEEDUP))
    goals = Goals()
    try:
        for gb in (float(g) for g in args.sizes.split(",")):
            ntraces = int(gb * 2 ** 30 / trace_bytes) // nxl * nxl
            print("cube: %d traces x %d IBM floats (%d inlines x %d crosslines), file %.2f GB, cube array %.2f GB"
                  % (ntraces, NS, ntraces // nxl, nxl, (3600 + ntraces * trace_bytes) / 2 ** 30,
                     ntraces * NS * 4 / 2 ** 30))
            for revision in (0, 1):
                label = "%.2f GB rev %d" % (gb, revision)
                path = os.path.join(tmp, "cube_rev%d.sgy" % revision)
                make_file(path, 1, ntraces, nxl, revision)
                os.sync()  # no write-back of the new file while timing
                np.fromfile(path, dtype=np.uint8)  # into the page cache
                d_engine, _, h_engine = read_engine(path)
                d_peer, h_peer = read_segyio(path)
                same = np.array_equal(d_engine, d_peer) and all(
                    np.array_equal(h_engine[k], h_peer[k]) for k in LAYOUT)
                del d_engine, h_engine, d_peer, h_peer
                t = best_of({"engine": lambda: read_engine(path), "segyio": lambda: read_segyio(path),
                             "fromfile": lambda: np.fromfile(path, dtype=np.uint8)}, args.repeat)
                t_engine, t_peer, t_bytes = t["engine"], t["segyio"], t["fromfile"]
                peak, cube = peak_ratio(path)
                print("%s: readSegy %.3f s | segyio (mmap) %.3f s | numpy.fromfile %.3f s | same result: %s"
                      % (label, t_engine, t_peer, t_bytes, same))
                print("%s: time / fromfile %.2fx (goal <= %.2fx) | speed-up over segyio %.2fx (goal >= %gx) | "
                      "peak memory %.2fx the cube" % (label, t_engine / t_bytes, READ_PER_FROMFILE,
                                                      t_peer / t_engine, READ_SPEEDUP, peak / cube))
                goals.hold(same, "%s readSegy result differs from segyio's" % label)
                goals.check("%s readSegy / fromfile" % label, t_engine / t_bytes, "<=", READ_PER_FROMFILE)
                goals.check("%s segyio / readSegy" % label, t_peer / t_engine, ">=", READ_SPEEDUP)
                last = path
        data, _, h = read_engine(last)
        array2d = np.ascontiguousarray(data.T)  # samples x traces
        del data
        sth = {k: h[k] for k in ("cdpX", "cdpY", "Inline3D", "Crossline3D")}
        for name in os.listdir(tmp):
            os.unlink(os.path.join(tmp, name))
        out_engine, out_peer = os.path.join(tmp, "w_engine.sgy"), os.path.join(tmp, "w_segyio.sgy")

        def fresh(fn, out):
            def run():
                if os.path.exists(out):
                    os.unlink(out)  # no dirty pages of an earlier run left to flush
                return fn()
            return run
        t = best_of({"engine": fresh(lambda: write_engine(out_engine, array2d, sth), out_engine),
                     "segyio": fresh(lambda: write_segyio(out_peer, array2d, sth, nxl), out_peer)}, 2)
        print("writing the last cube: writeSegy %.3f s | segyio %.3f s | speed-up %.2fx (goal >= %gx)"
              % (t["engine"], t["segyio"], t["segyio"] / t["engine"], WRITE_SPEEDUP))
        goals.check("segyio / writeSegy", t["segyio"] / t["engine"], ">=", WRITE_SPEEDUP)
        goals.summary()
    finally:
        for name in os.listdir(tmp):
            os.unlink(os.path.join(tmp, name))
        os.rmdir(tmp)


if __name__ == "__main__":
    main()
