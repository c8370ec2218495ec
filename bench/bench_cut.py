#!/usr/bin/python3
"""'aline' sections of 10,000 traces from a 1 GB float32 cube, against numpy fancy indexing.

Prints the ratio (numpy time / cut_cube time) measured in this run; above 1 means faster.
"""
import os
import sys
import time

import numpy as np

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, os.environ.get("DORAR_BUILD", "build"), "site"))
from dorar.gocube.cut import cut_cube  # noqa: E402

N_IL, N_XL, N_DP, N_TRACE, REPEAT = 400, 400, 1600, 10_000, 5


def best(f):
    times = []
    for _ in range(REPEAT):
        t = time.perf_counter()
        f()
        times.append(time.perf_counter() - t)
    return min(times)


def main():
    cube = np.random.default_rng(1).standard_normal((N_IL, N_XL, N_DP), dtype=np.float32)
    vidx = {"IL_FRST": 1000, "IL_LAST": 1000 + 2 * (N_IL - 1), "IL_NCRT": 2, "IL_AMNT": N_IL,
            "XL_FRST": 1, "XL_LAST": N_XL, "XL_NCRT": 1, "XL_AMNT": N_XL,
            "DP_FRST": 0, "DP_LAST": 4 * (N_DP - 1), "DP_NCRT": 4, "DP_AMNT": N_DP}
    rng = np.random.default_rng(2)
    line = np.column_stack([1000 + 2 * rng.integers(0, N_IL, N_TRACE), 1 + rng.integers(0, N_XL, N_TRACE)])

    def ours():
        return cut_cube(cube, vidx, "aline", line)

    def peer():
        i = ((line[:, 0] - 1000) / 2).astype(int)
        j = (line[:, 1] - 1).astype(int)
        return cube[i, j, :].transpose(1, 0)

    assert np.array_equal(ours(), peer())
    t_ours, t_peer = best(ours), best(peer)
    print("cube %.2f GB, %d traces of %d samples" % (cube.nbytes / 1e9, N_TRACE, N_DP))
    print("cut_cube aline  %.4f s" % t_ours)
    print("numpy fancy     %.4f s" % t_peer)
    print("ratio numpy/cut_cube: %.2f (goal >= 1)" % (t_peer / t_ours))


if __name__ == "__main__":
    main()
