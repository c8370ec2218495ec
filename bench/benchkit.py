"""What the benchmarks share: the assembled module tree on sys.path, best-of timing and goal checks.

The modules come from the build named by DORAR_BUILD (a folder under the repository, or an absolute
path), else from the first PYTHONPATH folder that holds them, else from build/ of this repository.
So a benchmark of this tree can be run against another build, an earlier one kept for comparison
say, with either of

    DORAR_BUILD=/path/to/other/build /usr/bin/python3 bench/bench_x.py
    PYTHONPATH=/path/to/other/build/site /usr/bin/python3 bench/bench_x.py
"""
import os
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def _site():
    if os.environ.get("DORAR_BUILD"):
        return os.path.join(ROOT, os.environ["DORAR_BUILD"], "site")
    for folder in os.environ.get("PYTHONPATH", "").split(os.pathsep):
        if folder and os.path.isdir(os.path.join(folder, "segypy")):
            return os.path.abspath(folder)
    return os.path.join(ROOT, "build", "site")


SITE = _site()
if SITE not in sys.path:
    sys.path.insert(0, SITE)


def cores():
    """The CPUs this process may run on (its affinity: taskset, a container's cpuset): what the
    modules' workers use, not the machine's count."""
    return len(os.sched_getaffinity(0))


def best_of(fns, repeat, before=None):
    """Best time of each function, taken in turns so that all see the same machine load.

    `before(name)`, when given, runs untimed ahead of each call (to remove an earlier output, say).
    """
    times = {name: [] for name in fns}
    for _ in range(repeat):
        for name, fn in fns.items():
            if before is not None:
                before(name)
            t = time.perf_counter()
            result = fn()
            times[name].append(time.perf_counter() - t)
            del result
    return {name: min(ts) for name, ts in times.items()}


def best(fn, repeat, before=None):
    return best_of({"fn": fn}, repeat, before and (lambda _name: before()))["fn"]


class Goals(object):
    """The goals of a benchmark run. check() prints a line "MISSED GOAL: ..." at once where a result
    misses its goal; summary() ends the run with one line, "all goals met" or what was missed."""

    def __init__(self):
        self.checked, self.missed = 0, []

    def check(self, what, value, op, goal):
        """True where `value` (a ratio) meets `op` ("<=" or ">=") `goal`."""
        met = value <= goal if op == "<=" else value >= goal
        return self.hold(met, "%s %.2fx, goal %s %gx" % (what, value, op, goal))

    def hold(self, met, missed):
        """True where a goal is met; otherwise `missed`, what was missed, is printed and kept."""
        self.checked += 1
        if not met:
            self.missed.append(missed)
            print("MISSED GOAL: " + missed)
        return met

    def summary(self):
        if not self.missed:
            print("all goals met (%d checked)" % self.checked)
        else:
            print("%d goal%s missed (of %d checked): %s"
                  % (len(self.missed), "" if len(self.missed) == 1 else "s", self.checked, "; ".join(self.missed)))
