#!/usr/bin/python3
"""The cost of a call to a function made by the house helper (a `def` that hands its arguments to
the pybind11 implementation), against the same function made by pybind11 alone.

What callers need: no module function is called in a tight loop (each reads a file, cuts a section
or answers a user's action), so a call may cost more than pybind11's own as long as it stays well
under a microsecond. The goal: ratio pybind11/helper >= 0.5, the helper at most doubling the cost
of a call (a prototype measured about 150 ns against 114 ns by position, 0.76).
"""
from benchkit import best_of
from testmods import helper_probe as probe

N, REPEAT = 200_000, 7

CALLS = {
    "positional": lambda f: [f(1, 2) for _ in range(N)],
    "all four": lambda f: [f(1, 2, 3, 4) for _ in range(N)],
    "by keyword": lambda f: [f(1, b=2, d=4) for _ in range(N)],
}


def main():
    ours, peer = probe.plain, probe.plain_pybind11
    for kind, loop in CALLS.items():
        assert loop(ours)[:1] == loop(peer)[:1]
        t = best_of({"ours": lambda: loop(ours), "peer": lambda: loop(peer)}, REPEAT)
        print("%-10s helper %.1f ns, pybind11 %.1f ns, ratio pybind11/helper: %.2f (goal >= 0.5)"
              % (kind, t["ours"] / N * 1e9, t["peer"] / N * 1e9, t["peer"] / t["ours"]))


if __name__ == "__main__":
    main()
