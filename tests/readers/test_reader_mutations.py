"""Seeded mutations of small valid files, fed to the three file readers: the SEG-Y engine, the TSurf
reader and the survey readers. Whatever the bytes, a reader gives a result or raises an ordinary
exception; it never takes the process down (a signal, an abort) or raises something that is not an
ordinary error.

The cases run in child interpreters, many to a child. A child notes each case in a progress file
before it runs it, so when a child dies the case that killed it is known; the rest of that batch then
runs in a fresh child.
"""
import concurrent.futures
import json
import os
import random
import signal
import struct
import subprocess

from conftest import PYTHON, SITE

SEED = 20261208
COUNTS = {"segy": 2000, "segy_big": 40, "tsurf": 500, "tsurf_props": 400,
          "gridsheet": 300, "sgmt": 300, "sgmt_old": 300}
BATCH = 250
BATCH_TIMEOUT = 60

LAYOUT = {"ns": {"pos": 114, "type": "uint16"}, "dt": {"pos": 116, "type": "uint16"},
          "cdpX": {"pos": 180, "type": "int32"}, "Inline3D": {"pos": 188, "type": "int32"},
          "Crossline3D": {"pos": 192, "type": "int32"}, "scalar": {"pos": 70, "type": "int16"}}

CHILD = r'''
import json, os, sys
from segypy import segypy
from dorar.gotsurf.impt import tsurf_reader
from dorar.gosurvey.impt import survey_loader
survey_loader.myprint = lambda *args: None

manifest, start, progress = sys.argv[1], int(sys.argv[2]), sys.argv[3]
with open(manifest) as f:
    layout, cases = json.load(f)
READ = {
    "segy": lambda p: segypy.readSegy(p, layout),
    "segy_big": lambda p: segypy.readSegy(p, layout),
    "tsurf": tsurf_reader.read_gocad_tsurf,
    "tsurf_props": lambda p: tsurf_reader.read_gocad_tsurf(p, "3,X;4,Y;5,Z;6,P;2,id"),
    "gridsheet": survey_loader.read_gridsheet,
    "sgmt": survey_loader.read_sgmt,
    "sgmt_old": survey_loader.read_sgmt_old,
}
mark = os.open(progress, os.O_WRONLY | os.O_CREAT | os.O_APPEND)
odd = []
for i in range(start, len(cases)):
    reader, path, _ = cases[i]
    os.write(mark, b"%d\n" % i)
    try:
        READ[reader](path)
    except SystemError as e:  # a fault of the module, not of the input
        odd.append([i, repr(e)])
    except Exception:
        pass
os.write(mark, b"done\n")
print(json.dumps(odd))
'''


# ----- seed files -----

class Segy:
    """A seed SEG-Y file and where its parts lie."""

    def __init__(self, big, fmt, ns, nil, nxl, rev, extended):
        o = ">" if big else "<"
        size = {1: 4, 3: 2, 5: 4, 8: 1}[fmt]
        rng = random.Random(fmt * 100 + ns)
        binary = bytearray(400)
        for at, value in ((16, 4000), (20, ns), (24, fmt), (302, 1), (304, extended)):
            struct.pack_into(o + "h", binary, at, value)
        struct.pack_into(o + "H", binary, 300, 0x0100 * rev)
        out = [b"\x40" * 3200, bytes(binary), b"\x40" * 3200 * extended]
        for t in range(nil * nxl):
            h = bytearray(240)
            struct.pack_into(o + "h", h, 70, -100)
            struct.pack_into(o + "HH", h, 114, ns, 4000)
            struct.pack_into(o + "i", h, 180, 50000 + 25 * t)
            struct.pack_into(o + "ii", h, 188, 100 + t // nxl, 20 + 2 * (t % nxl))
            out.append(bytes(h) + rng.randbytes(ns * size))
        self.data, self.big = b"".join(out), big
        self.first, self.trace = 3600 + 3200 * extended, 240 + ns * size
        self.marks = [0, 3200, 3599, 3600, self.first, self.first + 240, self.first + self.trace,
                      len(self.data) - 1]


SEGY_SEEDS = [Segy(True, 1, 12, 3, 4, 0, 0), Segy(False, 5, 7, 2, 3, 1, 1), Segy(True, 3, 9, 4, 2, 1, 0),
              Segy(True, 8, 5, 2, 2, 2, 0)]
# a few MB: large enough for the engine to spread its work over threads
BIG_SEGY = Segy(True, 5, 250, 40, 60, 1, 0)

TSURF_SEED = (b"GOCAD TSurf 1\nHEADER {\nname: s\n}\nPROPERTIES P\nTFACE\n"
              b"PVRTX 1 10.5 20 -30 7\nPVRTX 2 11 21 -31 8\n  VRTX 3 12 22 -32 9\nATOM 4 2\n"
              b"TRGL 1 2 3\nTRGL 4 3 1\nEND\n"
              b"GOCAD TSurf 1\nTFACE\r\nVRTX 1 1e3 -2.5E-2 nan 1\r\nVRTX 2 +4 5 6 2\rVRTX 3 7 8 9 3\n"
              b"TRGL 3 2 1\nEND\n")

GRIDSHEET_SEED = (b"X_ORIGIN 1000.5\nY_ORIGIN 2000\nMINIMUM_INLINE_NUMBER 100\nMINIMUM_CROSSLINE_NUMBER 10\n"
                  b"X_FIRST_INLINE_END 1000.5\nY_FIRST_INLINE_END 2400.25\nMAXIMUM_CROSSLINE_NUMBER 50\n"
                  b"X_FIRST_CROSSLINE_END 1500\nY_FIRST_CROSSLINE_END 2000\nMAXIMUM_INLINE_NUMBER 200\n")

SGMT_SEED = (b"P1_ILNO 100\nP1_XLNO 10\nP1_CRSX 1000.500\nP1_CRSY 2000.000\nP2_ILNO 100\nP2_XLNO 50\n"
             b"P2_CRSX 1000.500\nP2_CRSY 2400.250\nP3_ILNO 200\nP3_XLNO 10\nP3_CRSX 1500.000\nP3_CRSY 2000.000\n")


# ----- mutations -----

EXTREME_TOKENS = [b"0", b"-1", b"-0", b"2147483647", b"2147483648", b"-2147483649", b"9223372036854775807",
                  b"9223372036854775808", b"-9223372036854775809", b"1" * 400, b"1e309", b"-1e-400", b"nan",
                  b"-inf", b"1_000", b"1__0", b"\xd9\xa3", b"\x00", b"1\x002", b"", b"1.5e", b"0x10", b"+7",
                  b"\xed\xa0\x80", b"\xe3\x80\x80", b"\xff", b"1" + b"0" * 30, b"4294967297", b"TRGL", b"VRTX"]
EXTREME_INTS = [0, 1, -1, 0x7F, 0x80, 0xFF, 0x7FFF, 0x8000, 0xFFFF, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF]
# binary header (3200 + offset) and trace header fields: (offset, width)
BINARY_FIELDS = [(3212, 2), (3216, 2), (3218, 2), (3220, 2), (3222, 2), (3224, 2), (3228, 2), (3500, 2),
                 (3502, 2), (3504, 2), (3506, 4), (3260, 4), (3268, 4), (3272, 8), (3500, 1), (3501, 1)]
TRACE_FIELDS = [(114, 2), (116, 2), (70, 2), (188, 4), (192, 4), (180, 4), (0, 4), (28, 2), (236, 4)]


def flip(rng, data, spots):
    data = bytearray(data)
    for _ in range(rng.randint(1, 4)):
        if not data:
            break
        at = rng.randrange(min(len(data), spots)) if rng.random() < 0.6 else rng.randrange(len(data))
        data[at] = rng.randrange(256) if rng.random() < 0.5 else data[at] ^ (1 << rng.randrange(8))
    return bytes(data), "flip"


def truncate(rng, data, marks):
    cut = rng.choice(marks + [rng.randrange(len(data) + 1)] * 3)
    cut = max(0, min(len(data), cut + rng.choice([-1, 0, 0, 1])))
    return data[:cut], "truncate at %d" % cut


def extend(rng, data):
    kind = rng.randrange(3)
    if kind == 0:
        tail = rng.randbytes(rng.randint(1, 700))
    elif kind == 1:
        at = rng.randrange(len(data) + 1)
        tail = data[at:at + rng.randint(1, 900)]
    else:
        tail = data * rng.randint(1, 3)
    return data + tail, "extend by %d" % len(tail)


def segy_field(rng, seed, data):
    data = bytearray(data)
    if rng.random() < 0.5:
        at, width = rng.choice(BINARY_FIELDS)
    else:
        at, width = rng.choice(TRACE_FIELDS)
        at += seed.first + rng.randrange((len(seed.data) - seed.first) // seed.trace) * seed.trace
    value = rng.choice(EXTREME_INTS) % (1 << (8 * width))
    raw = value.to_bytes(width, "big" if seed.big == (rng.random() < 0.8) else "little")
    data[at:at + width] = raw[:max(0, len(data) - at)]
    return bytes(data), "field %d/%d = %#x" % (at, width, value)


def text_token(rng, data):
    spans, start = [], None
    for i, c in enumerate(data + b" "):
        if c in b" \t\r\n":
            if start is not None:
                spans.append((start, i))
            start = None
        elif start is None:
            start = i
    if not spans:
        return data, "token (none)"
    a, b = rng.choice(spans)
    token = rng.choice(EXTREME_TOKENS)
    return data[:a] + token + data[b:], "token %d..%d = %r" % (a, b, token)


def text_lines(rng, data):
    lines = data.split(b"\n")
    i = rng.randrange(len(lines))
    kind = rng.randrange(4)
    if kind == 0:
        del lines[i]
    elif kind == 1:
        lines.insert(i, rng.choice([b"", b"  \t", lines[i] * 2, lines[i].split(b" ")[0]]))
    elif kind == 2:
        j = rng.randrange(len(lines))
        lines[i], lines[j] = lines[j], lines[i]
    else:
        lines.insert(i, rng.choice([b"TRGL 1 2 999999999999", b"TRGL 0 0 0", b"VRTX 9", b"PVRTX",
                                    b"ATOM 5 5", b"ATOM 7 99", b"END", b"GOCAD", b"TRGL -1 -2 -3"]))
    return b"\n".join(lines), "lines (%d at %d)" % (kind, i)


def mutate(rng, reader):
    if reader.startswith("segy"):
        s = rng.randrange(len(SEGY_SEEDS)) if reader == "segy" else -1
        seed = SEGY_SEEDS[s] if s >= 0 else BIG_SEGY
        data = seed.data
        steps = [lambda d: flip(rng, d, seed.first + 240), lambda d: truncate(rng, d, seed.marks),
                 lambda d: segy_field(rng, seed, d), lambda d: segy_field(rng, seed, d)]
        if s >= 0:
            steps.append(lambda d: extend(rng, d))
        what = ["seed %d" % s]
    else:
        data = {"gridsheet": GRIDSHEET_SEED, "sgmt": SGMT_SEED, "sgmt_old": SGMT_SEED}.get(reader, TSURF_SEED)
        marks = [0, len(data) // 2, len(data) - 1]
        steps = [lambda d: flip(rng, d, len(d)), lambda d: truncate(rng, d, marks), lambda d: extend(rng, d),
                 lambda d: text_token(rng, d), lambda d: text_token(rng, d), lambda d: text_lines(rng, d)]
        what = []
    for _ in range(rng.choice([1, 1, 2, 3])):
        data, step = rng.choice(steps)(data)
        what.append(step)
    return data, "; ".join(what)


# ----- running -----

def run_batch(manifest, first, last, progress):
    """Runs cases first..last-1 (the manifest holds them all); returns [(case, what went wrong)]."""
    found, start = [], first
    with open(manifest) as f:
        layout, cases = json.load(f)
    sub = os.path.join(os.path.dirname(manifest), "batch%d.json" % first)
    with open(sub, "w") as f:
        json.dump([layout, cases[:last]], f)
    while start < last:
        open(progress, "w").close()
        try:
            r = subprocess.run([PYTHON, "-c", CHILD, sub, str(start), progress], env=dict(os.environ, PYTHONPATH=SITE),
                               capture_output=True, text=True, timeout=BATCH_TIMEOUT)
            rc, tail = r.returncode, (r.stderr or "").strip().splitlines()[-3:]
        except subprocess.TimeoutExpired:
            rc, tail = "timeout", []
        with open(progress) as f:
            marks = f.read().split()
        assert marks or rc == "timeout", "the child failed before its first case:\n" + r.stderr
        if rc == 0 and marks and marks[-1] == "done":
            found += [(i, "raised " + text) for i, text in json.loads(r.stdout.strip().splitlines()[-1])]
            break
        case = int(marks[-1]) if marks and marks[-1] != "done" else start
        how = ("killed by %s" % signal.Signals(-rc).name if isinstance(rc, int) and rc < 0
               else "exit status %s" % rc)
        found.append((case, how + (": " + " | ".join(tail) if tail else "")))
        start = case + 1
    return found


def test_readers_survive_mutated_files(tmp_path):
    rng = random.Random(SEED)
    cases = []
    for reader, count in COUNTS.items():
        for n in range(count):
            data, what = mutate(rng, reader)
            path = tmp_path / ("%s-%04d" % (reader, n))
            path.write_bytes(data)
            cases.append([reader, str(path), what])
    manifest = str(tmp_path / "cases.json")
    with open(manifest, "w") as f:
        json.dump([LAYOUT, cases], f)

    bounds = [(a, min(a + BATCH, len(cases))) for a in range(0, len(cases), BATCH)]
    with concurrent.futures.ThreadPoolExecutor(max_workers=min(4, os.cpu_count() or 1)) as pool:
        runs = [pool.submit(run_batch, manifest, a, b, str(tmp_path / ("progress%d" % a))) for a, b in bounds]
        found = sorted(x for run in runs for x in run.result())
    report = ["case %d (%s, %s: %s): %s" % (i, cases[i][0], os.path.basename(cases[i][1]), cases[i][2], how)
              for i, how in found]
    assert not found, "%d of %d cases crashed a reader:\n%s" % (len(found), len(cases), "\n".join(report[:30]))
