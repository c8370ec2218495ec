#!/usr/bin/python3
"""dorar.utils.segy on a ~1 GB cube of float32 samples, files on disk in the page cache.

Loading: load_cube of an inline-major file against segyio reading the same cube and the four
header arrays (inline, crossline, X, Y), with and without segyio's memory map, and load_cube once
more through a host cube that leaves out the host's own scan of the samples for their display
range (which segyio does not do); load_cube of the same volume with its traces crossline by
crossline against the inline-major file; the peak memory of both loads (in a fresh interpreter)
against the cube's size. Writing: write_segy against segyio writing the same file, and the sample
matrix of a cube held with swapped axes against numpy's copy.
Times are the best of --repeat runs, taken in turns in this process; every ratio is printed.

Goals, each against a peer in the same run: load_cube at least 4 times as fast as segyio (with and
without its memory map); loading the crossline-major file at most 1.5 times as long as the
inline-major one; a load's peak memory at most 1.3 times the cube's size; write_segy at least 3
times as fast as segyio. A result that misses its goal is printed as a line "MISSED GOAL: ..."; the
last line says "all goals met" or which were missed.

    /usr/bin/python3 bench/bench_segy_module.py [--gb 1.0] [--repeat 3] [--dir /var/tmp] [--no-write]

The modules come from this tree's build/site. To run the same benchmark against another build (an
earlier one kept for comparison, say), name it (see benchkit):

    DORAR_BUILD=/path/to/other/build /usr/bin/python3 bench/bench_segy_module.py
    PYTHONPATH=/path/to/other/build/site /usr/bin/python3 bench/bench_segy_module.py
"""
import argparse
import contextlib
import io
import os
import shutil
import subprocess
import sys
import tempfile

os.environ["data_io/segy"] = "True"
from benchkit import SITE, Goals, best, best_of, cores  # noqa: E402  (after the environment variable)
import numpy as np  # noqa: E402

NS, DT_MS = 1000, 4
LOAD_SPEEDUP = 4  # at least, segyio time / load_cube time (inline-major file)
CROSSLINE_SLOWDOWN = 1.5  # at most, load_cube time of the crossline-major file / the inline-major one
PEAK_MEMORY = 1.3  # at most, a load's peak memory / the cube's size
WRITE_SPEEDUP = 3  # at least, segyio time / write_segy time
HEADERS = (189, 193, 181, 185)  # inline, crossline, X, Y (1-based byte positions)


def make_cube(gb):
    from dorar.gocube.cube import Cube
    from dorar.gosurvey.survey import Survey

    n = int(round(np.sqrt(gb * 1e9 / (4 * NS))))
    n_il, n_xl = n, n + 7  # unequal counts, so that a transposition cannot pass unseen
    array3d = np.random.default_rng(0).standard_normal((n_il, n_xl, NS), dtype=np.float32)
    survey = Survey("bench")
    survey.set_geometry({"P1_ILNO": 1000, "P1_XLNO": 1, "P1_CRSX": 450000.0, "P1_CRSY": 6780000.0,
                         "P2_ILNO": 1000, "P2_XLNO": n_xl, "P2_CRSX": 450000.0 + 25.0 * (n_xl - 1),
                         "P2_CRSY": 6780000.0, "P3_ILNO": 1000 + n_il - 1, "P3_XLNO": 1,
                         "P3_CRSX": 450000.0, "P3_CRSY": 6780000.0 + 12.5 * (n_il - 1)})
    survey.initialize()
    cube = Cube("bench")
    cube.dict_vidx = {"IL_FRST": 1000, "IL_LAST": 1000 + n_il - 1, "IL_NCRT": 1, "IL_AMNT": n_il,
                      "XL_FRST": 1, "XL_LAST": n_xl, "XL_NCRT": 1, "XL_AMNT": n_xl,
                      "DP_FRST": 0, "DP_LAST": DT_MS * (NS - 1), "DP_NCRT": DT_MS, "DP_AMNT": NS}
    cube.survey = survey
    cube.add_property("seismic", array=array3d)
    cube.current_property = "seismic"
    return cube


def write_segyio(path, cube):
    """The file write_segy writes, through segyio: one header map and one trace per trace."""
    import segyio

    array3d = cube.prop["seismic"]["array3d"]
    traces = array3d.reshape(-1, NS)
    ln, xy = cube.get_traces_ln(), cube.get_traces_xy()
    n_xl = array3d.shape[1]
    spec = segyio.spec()
    spec.format, spec.samples, spec.tracecount = 5, list(range(NS)), traces.shape[0]
    F = segyio.TraceField
    with segyio.create(path, spec) as f:
        f.text[0] = ("Dorar".ljust(3200)).encode("ascii")
        for t in range(traces.shape[0]):
            f.header[t] = {F.INLINE_3D: int(ln[t, 0]), F.CROSSLINE_3D: int(ln[t, 1]),
                           F.CDP_X: int(round(xy[t, 0])), F.CDP_Y: int(round(xy[t, 1])),
                           F.SourceGroupScalar: 1, F.TRACE_SEQUENCE_LINE: t % n_xl + 1,
                           F.TRACE_SAMPLE_COUNT: NS, F.TRACE_SAMPLE_INTERVAL: DT_MS * 1000}
            f.trace[t] = traces[t]
        f.bin.update(hns=NS, hdt=DT_MS * 1000, format=5)


def write_crossline_major(path, cube):
    """The same volume with its traces crossline by crossline, inline fastest."""
    from segypy import segypy

    array3d = cube.prop["seismic"]["array3d"]
    n_il, n_xl = array3d.shape[:2]
    array2d = np.ascontiguousarray(np.transpose(array3d, (2, 1, 0))).reshape(NS, n_il * n_xl)
    v = cube.dict_vidx
    il = np.tile(v["IL_FRST"] + np.arange(n_il), n_xl)
    xl = np.repeat(v["XL_FRST"] + np.arange(n_xl), n_il)
    x, y = cube.survey.ln2xy(il, xl)
    segypy.writeSegy(path, array2d, DT_MS * 1000, "Dorar", {
        "Inline3D": il, "Crossline3D": xl, "cdpX": np.round(x).astype(np.int64),
        "cdpY": np.round(y).astype(np.int64), "SourceGroupScalar": 1})


def load(path):
    from dorar.utils import segy

    with contextlib.redirect_stdout(io.StringIO()):
        return segy.load_cube(path, None)


def load_without_colour_clip(path):
    """load_cube through a host cube that does not scan the samples for their display range."""
    import dorar.gocube.cube as cube_module

    host_cube = cube_module.Cube

    class Cube(host_cube):
        def add_property(self, name, array=None):
            self.prop[name] = {"array3d": array, "colorClip": [0.0, 0.0]}

    cube_module.Cube = Cube
    try:
        return load(path)
    finally:
        cube_module.Cube = host_cube


def read_segyio(path, mmap):
    """segyio's cube of the file and four header arrays, with its memory map on or off."""
    import segyio

    with segyio.open(path, iline=189, xline=193) as f:
        if mmap:
            f.mmap()
        return segyio.tools.cube(f), [f.attributes(pos)[:] for pos in HEADERS]


PEAK_CODE = r"""
import contextlib, io, os, sys, threading, time
os.environ["data_io/segy"] = "True"
sys.path.insert(0, %r)
import numpy as np
from dorar.utils import segy

def status(key):
    with open("/proc/self/status") as f:
        for line in f:
            if line.startswith(key):
                return int(line.split()[1]) * 1024

peak = [0]
done = threading.Event()
def watch():
    while not done.is_set():
        peak[0] = max(peak[0], status("RssAnon:"))
        time.sleep(0.002)
base_anon = status("RssAnon:")
base_rss = status("VmRSS:")
w = threading.Thread(target=watch)
w.start()
with contextlib.redirect_stdout(io.StringIO()):
    cube = segy.load_cube(sys.argv[1], None)
done.set()
w.join()
peak[0] = max(peak[0], status("RssAnon:"))
a = cube.prop[cube.current_property]["array3d"]
print("RESULT", peak[0] - base_anon, status("VmHWM:") - base_rss, a.nbytes)
""" % (SITE,)


def load_peak(path):
    out = subprocess.run([sys.executable, "-c", PEAK_CODE, path], capture_output=True, text=True, check=True)
    line = [ln for ln in out.stdout.splitlines() if ln.startswith("RESULT")][0]
    return [int(v) for v in line.split()[1:]]


def removing(path):
    """An untimed step before each run: an earlier output file is removed first."""
    return lambda: os.path.exists(path) and os.remove(path)


def bench_writing(cube, tmp, repeat, goals):
    from dorar.utils import segy

    array3d = cube.prop["seismic"]["array3d"]
    ours_path, peer_path = os.path.join(tmp, "write_segy.sgy"), os.path.join(tmp, "segyio.sgy")

    def ours():
        with contextlib.redirect_stdout(io.StringIO()):
            segy.write_segy(cube, ours_path)

    t_ours = best(ours, repeat, removing(ours_path))
    t_peer = best(lambda: write_segyio(peer_path, cube), repeat, removing(peer_path))
    same_size = os.path.getsize(ours_path) == os.path.getsize(peer_path)
    os.remove(peer_path)
    print("write_segy %.3f s | segyio %.3f s | same file size: %s" % (t_ours, t_peer, same_size))
    print("  ratio segyio / write_segy: %.2f (goal >= %g)" % (t_peer / t_ours, WRITE_SPEEDUP))
    goals.check("segyio / write_segy", t_peer / t_ours, ">=", WRITE_SPEEDUP)

    # A cube held as a view whose traces are not one axis (inline and crossline swapped) needs its
    # sample matrix copied: write_segy (engine call left out) against numpy's copy.
    swapped = np.swapaxes(array3d, 0, 1)
    cube.prop["swapped"] = {"array3d": swapped}
    # The cube's rows then follow the swapped grid: write_segy refuses rows of another grid.
    vidx, other = cube.dict_vidx, {"IL_": "XL_", "XL_": "IL_"}
    cube.dict_vidx = {other.get(k[:3], k[:3]) + k[3:]: v for k, v in vidx.items()}
    engine, matrix = segy.segypy, []

    class NoWrite(object):
        def writeSegy(self, filename, array2d, *rest):
            matrix.append(array2d)

    segy.segypy = NoWrite()
    try:
        def ours_copy():
            del matrix[:]
            with contextlib.redirect_stdout(io.StringIO()):
                segy.write_segy(cube, ours_path, "swapped")

        t_copy = best(ours_copy, repeat)
    finally:
        segy.segypy, cube.dict_vidx = engine, vidx
    t_np = best(lambda: np.transpose(swapped, (2, 0, 1)).reshape(NS, -1), 1)
    ok = np.array_equal(matrix[0][:, :1000], np.transpose(swapped, (2, 0, 1)).reshape(NS, -1)[:, :1000])
    print("swapped-axes cube: write_segy without the engine %.3f s | numpy transpose+reshape copy %.3f s | "
          "same: %s" % (t_copy, t_np, ok))
    print("  ratio numpy / write_segy: %.2f" % (t_np / t_copy))
    del matrix[:], cube.prop["swapped"]
    return ours_path


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--gb", type=float, default=1.0, help="cube size in GB")
    ap.add_argument("--repeat", type=int, default=3)
    ap.add_argument("--dir", default=None, help="folder for the files, on a disk file system (default: the "
                                                "temporary folder)")
    ap.add_argument("--no-write", action="store_true", help="leave out the writing benchmark")
    args = ap.parse_args()

    from dorar.utils import segy

    cube = make_cube(args.gb)
    array3d = cube.prop["seismic"]["array3d"]
    print("cube %d x %d x %d float32, %.2f GB, %d cores, modules from %s"
          % (*array3d.shape, array3d.nbytes / 1e9, cores(), SITE))
    print("goals: load_cube >= %gx as fast as segyio; crossline-major load <= %gx the inline-major one; peak memory "
          "<= %gx the cube; write_segy >= %gx as fast as segyio"
          % (LOAD_SPEEDUP, CROSSLINE_SLOWDOWN, PEAK_MEMORY, WRITE_SPEEDUP))
    goals = Goals()
    tmp = tempfile.mkdtemp(prefix="bench-segy-", dir=args.dir)
    try:
        fs = subprocess.run(["stat", "-f", "-c", "%T", tmp], capture_output=True, text=True).stdout.strip()
        # stat names the magic number that ext2, ext3 and ext4 share "ext2/ext3"
        fs = fs.replace("ext2/ext3", "ext2/ext3/ext4")
        print("files in %s (%s)" % (tmp, fs))
        if args.no_write:
            inline_path = os.path.join(tmp, "write_segy.sgy")
            with contextlib.redirect_stdout(io.StringIO()):
                segy.write_segy(cube, inline_path)
        else:
            inline_path = bench_writing(cube, tmp, args.repeat, goals)
        xline_path = os.path.join(tmp, "crossline_major.sgy")
        write_crossline_major(xline_path, cube)
        for path in (inline_path, xline_path):
            np.fromfile(path, dtype=np.uint8)  # into the page cache

        # Both loads give the cube that was written, every trace in its cell.
        for path in (inline_path, xline_path):
            loaded = load(path)
            same = np.array_equal(loaded.prop[loaded.current_property]["array3d"], array3d)
            same = same and loaded.survey.dict_sgmt["P2_XLNO"] == cube.dict_vidx["XL_LAST"]
            print("%s loads the written cube: %s" % (os.path.basename(path), same))
            del loaded

        t = best_of({"inline": lambda: load(inline_path), "crossline": lambda: load(xline_path),
                     "no clip": lambda: load_without_colour_clip(inline_path),
                     "segyio": lambda: read_segyio(inline_path, True),
                     "segyio plain": lambda: read_segyio(inline_path, False)}, args.repeat)
        print("load_cube inline-major %.3f s | load_cube crossline-major %.3f s | segyio cube + 4 header arrays: "
              "memory map %.3f s, plain reads %.3f s"
              % (t["inline"], t["crossline"], t["segyio"], t["segyio plain"]))
        for label, peer in (("memory map", "segyio"), ("plain reads", "segyio plain")):
            print("  ratio segyio (%s) / load_cube: %.2f (goal >= %g)" % (label, t[peer] / t["inline"], LOAD_SPEEDUP))
            goals.check("segyio (%s) / load_cube" % label, t[peer] / t["inline"], ">=", LOAD_SPEEDUP)
        print("  ratio crossline-major / inline-major load_cube: %.2f (goal <= %g)"
              % (t["crossline"] / t["inline"], CROSSLINE_SLOWDOWN))
        goals.check("crossline-major / inline-major load_cube", t["crossline"] / t["inline"], "<=", CROSSLINE_SLOWDOWN)
        print("load_cube inline-major without the host's scan for the display range (colorClip) %.3f s" % t["no clip"])
        print("  ratio segyio (memory map) / that: %.2f" % (t["segyio"] / t["no clip"]))

        for label, path in (("inline-major", inline_path), ("crossline-major", xline_path)):
            anon, hwm, nbytes = load_peak(path)
            print("load_cube %s peak memory: %.2fx the cube anonymous, %.2fx resident incl. mapped file pages "
                  "(goal <= %gx)" % (label, anon / nbytes, hwm / nbytes, PEAK_MEMORY))
            goals.check("load_cube %s peak memory anonymous" % label, anon / nbytes, "<=", PEAK_MEMORY)
            goals.check("load_cube %s peak memory resident" % label, hwm / nbytes, "<=", PEAK_MEMORY)
        goals.summary()
    finally:
        shutil.rmtree(tmp, ignore_errors=True)


if __name__ == "__main__":
    main()
