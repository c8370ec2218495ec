#!/usr/bin/python3
"""The cost of a call through the house helper's argument binding, against the same function made
by pybind11 alone (which binds nothing itself and refuses bad calls with its own message).

Prints the ratio (pybind11 time / helper time) per kind of call; about 1 or above means the binding
adds no noticeable cost.
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
        print("%-10s helper %.1f ns, pybind11 %.1f ns, ratio pybind11/helper: %.2f (goal >= 0.9)"
              % (kind, t["ours"] / N * 1e9, t["peer"] / N * 1e9, t["peer"] / t["ours"]))


if __name__ == "__main__":
    main()
