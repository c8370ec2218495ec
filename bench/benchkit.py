"""What the benchmarks share: the assembled module tree on sys.path and best-of timing."""
import os
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SITE = os.path.join(ROOT, os.environ.get("DORAR_BUILD", "build"), "site")
if SITE not in sys.path:
    sys.path.insert(0, SITE)


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
