#!/usr/bin/python3
"""'aline' sections of 10,000 traces from a 1 GB float32 cube, against numpy fancy indexing.

Prints the ratio (numpy time / cut_cube time) measured in this run; above 1 means faster.
"""
import numpy as np

from benchkit import best_of
from dorar.gocube.cut import cut_cube

N_IL, N_XL, N_DP, N_TRACE, REPEAT = 400, 400, 1600, 10_000, 5


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
    t = best_of({"ours": ours, "peer": peer}, REPEAT)
    t_ours, t_peer = t["ours"], t["peer"]
    print("cube %.2f GB, %d traces of %d samples" % (cube.nbytes / 1e9, N_TRACE, N_DP))
    print("cut_cube aline  %.4f s" % t_ours)
    print("numpy fancy     %.4f s" % t_peer)
    print("ratio numpy/cut_cube: %.2f (goal >= 1)" % (t_peer / t_ours))


if __name__ == "__main__":
    main()
