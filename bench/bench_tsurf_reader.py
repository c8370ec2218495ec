#!/usr/bin/python3
"""read_gocad_tsurf on a TSurf file of 400,000 vertexes and 800,000 triangles, against the plain
interpreter reader (line loop, str.split, np.array of the token rows) on the same file.

Prints the ratio (interpreter time / read_gocad_tsurf time) measured in this run; above 1 means faster.
"""
import os
import tempfile

import numpy as np

from benchkit import best_of
from dorar.gotsurf.impt.tsurf_reader import read_gocad_tsurf

N_SIDE, REPEAT = 632, 3


def write_surface(path):
    rng = np.random.default_rng(3)
    n = N_SIDE * N_SIDE
    i, j = np.divmod(np.arange(n), N_SIDE)
    x, y, z = 500000.0 + 12.5 * i, 6700000.0 + 12.5 * j, rng.normal(-2000, 50, n)
    with open(path, "w") as f:
        f.write("GOCAD TSurf 1\nHEADER {\nname: bench\n}\nTFACE\n")
        f.writelines("VRTX %d %.2f %.2f %.4f\n" % (k + 1, x[k], y[k], z[k]) for k in range(n))
        a = (i * N_SIDE + j)[(i < N_SIDE - 1) & (j < N_SIDE - 1)] + 1
        tri = np.concatenate([np.column_stack([a, a + 1, a + N_SIDE]),
                              np.column_stack([a + 1, a + N_SIDE + 1, a + N_SIDE])])
        f.writelines("TRGL %d %d %d\n" % tuple(t) for t in tri)
        f.write("END\n")
    return n, len(tri)


def interpreter_reader(fn):
    verts, tris = [], []
    with open(fn) as f:
        for line in f:
            cols = line.strip().split()
            s = line.strip()
            if s[:4] == "VRTX" or s[:5] == "PVRTX":
                verts.append([cols[2], cols[3], cols[4]])
            elif s[:4] == "TRGL":
                tris.append(cols[1:4])
    v = np.array(verts, dtype=np.float32)
    t = np.array(tris, dtype=np.int32)
    t -= 1
    return ["X", "Y", "Z"], v, t


def main():
    with tempfile.TemporaryDirectory() as tmp:
        fn = os.path.join(tmp, "bench.ts")
        n, t = write_surface(fn)
        ours, peer = read_gocad_tsurf(fn), interpreter_reader(fn)
        assert ours[0] == peer[0] and np.array_equal(ours[1], peer[1]) and np.array_equal(ours[2], peer[2])
        times = best_of({"ours": lambda: read_gocad_tsurf(fn), "peer": lambda: interpreter_reader(fn)}, REPEAT)
        t_ours, t_peer = times["ours"], times["peer"]
        print("file %.1f MB, %d vertexes, %d triangles" % (os.path.getsize(fn) / 1e6, n, t))
        print("read_gocad_tsurf    %.3f s" % t_ours)
        print("interpreter reader  %.3f s" % t_peer)
        print("ratio interpreter/read_gocad_tsurf: %.1f (goal >= 1)" % (t_peer / t_ours))


if __name__ == "__main__":
    main()
