"""Splitting an array along its first axis into chunks that fit a byte limit."""
from decimal import Decimal
from fractions import Fraction

import numpy as np
import pytest

from conftest import run_python

from dorar.utils import chunk_store as cs


@pytest.fixture
def notes(monkeypatch):
    got = []

    class Logger:
        def info(self, text):
            got.append(text)

    monkeypatch.setattr(cs, "logger", Logger())
    return got


class Liar(int):
    """A limit whose comparisons say every byte count reaches it."""
    __le__ = __ge__ = lambda self, other: True


def check_chunks(array, chunks, limit):
    for c in chunks:
        assert c.nbytes <= limit and c.shape[1:] == array.shape[1:]
        assert np.shares_memory(c, array) or c.size == 0     # views: nothing copied
    np.testing.assert_array_equal(np.concatenate(chunks), array)


@pytest.mark.parametrize("shape, dtype, limit, rows", [
    ((12,), "float32", 30, [6, 6]),
    ((12,), "float32", 48, [12]),                 # reaching the limit counts: still a split
    ((12,), "float32", 20, [4, 4, 4]),
    ((12,), "float32", 5, [1] * 12),
    ((12,), "float32", 24, [6, 6]),               # a chunk may hold exactly the limit
    ((10,), "int32", 15, [3, 3, 3, 1]),           # more chunks than the limit's share
    ((5, 3), "float64", 50, [1] * 5),
    ((12,), "float32", 30.5, [6, 6]),             # a real limit follows the same rule
    ((11,), "uint8", 2.2, [1] * 11),              # 11 / 2.2 gives 5.0 and 11 % 2.2 is not 0: 6 splits
    ((12,), "uint8", Fraction(6 * 10 ** 20 - 1, 10 ** 20), [4, 4, 4]),   # not rounded to 6 on the way
    ((4,), "uint8", Liar(2 ** 70), [4]),          # far above the bytes: one chunk
    ((7, 2, 3), "int16", np.int64(40), [2, 2, 2, 1]),
])
def test_split_at_or_above_limit(notes, shape, dtype, limit, rows):
    array = np.arange(np.prod(shape), dtype=dtype).reshape(shape)
    chunks = cs.chunk_store(array, limit)
    assert type(chunks) is list and [c.shape[0] for c in chunks] == rows
    assert all(c is not array for c in chunks)
    check_chunks(array, chunks, limit)
    chunks[0][0] = 99                                       # a write into a chunk reaches the input
    assert array[0].flat[0] == 99
    assert notes == ["input array size = %d" % shape[0], "input array bytes = %d" % array.nbytes,
                     "output arrays size = %s" % rows, "output arrays bytes = %s" % [c.nbytes for c in chunks]]


def test_notes_text(notes):
    cs.chunk_store(np.arange(12, dtype="float32"), byteLimit=30)
    assert notes == ["input array size = 12", "input array bytes = 48",
                     "output arrays size = [6, 6]", "output arrays bytes = [24, 24]"]


@pytest.mark.parametrize("array", [np.arange(12, dtype="float32"), np.zeros((0, 4))])
def test_below_limit_gives_the_input_itself(notes, array):
    chunks = cs.chunk_store(array, 49)
    assert len(chunks) == 1 and chunks[0] is array and notes == []


@pytest.mark.parametrize("array, limit, error, text", [
    (np.zeros((2, 100), "float32"), 300, ZeroDivisionError, "one row of 400 bytes"),
    (np.arange(12, dtype="float32"), 0, ZeroDivisionError, "got 0"),
    (np.arange(12, dtype="float32"), 0.0, ZeroDivisionError, "got 0.0"),
    (np.arange(12, dtype="float32"), -10, ValueError, "got -10"),
    (np.arange(12, dtype="float32"), float("nan"), ValueError, "got nan"),
    (np.arange(12, dtype="float32"), "30", TypeError, ""),
    # limits just below a row's 3 bytes, named as the interpreter prints them
    (np.zeros((4, 3), "uint8"), Decimal("2.99999999999999999999"), ZeroDivisionError,
     r"^one row of 3 bytes does not fit into the byte limit of 2\.99999999999999999999$"),
    (np.zeros((4, 3), "uint8"), 2.9999999999999996, ZeroDivisionError, r"limit of 2\.9999999999999996$"),
    (np.zeros((4, 3), "uint8"), np.nextafter(np.longdouble(3), 0), ZeroDivisionError, "^one row of 3 bytes"),
    (np.zeros((4, 3), "uint8"), Decimal("3.0000000000000000000000000000000000000001"), ZeroDivisionError,
     "makes 5 chunks, more than there are rows$"),     # 12 / limit rounds to 4 at 28 digits
    ([1, 2, 3], 30, AttributeError, ""),
    (np.float32(1), 30, IndexError, ""),
    # 2**40 one-byte rows (a broadcast view): more chunks than memory can hold, refused before any is made
    (np.broadcast_to(np.zeros(1, "uint8"), (2 ** 40,)), 1, MemoryError,
     "^cutting 1099511627776 rows of 1 bytes into chunks of at most 1 bytes makes 1099511627776 chunks, more"),
])
def test_refused_input(notes, array, limit, error, text):
    with pytest.raises(error, match=text):
        cs.chunk_store(array, limit)
    assert notes == []


def test_arguments():
    a = np.arange(4)
    for args, kwargs in [((a,), {}), ((a, 1, 2), {}), ((a,), {"limit": 8})]:
        with pytest.raises(TypeError):
            cs.chunk_store(*args, **kwargs)
    assert len(cs.chunk_store(array=a, byteLimit=16)) == 2


def test_lost_rows_are_caught_unless_optimised(monkeypatch, notes):
    class LosingNumpy:
        @staticmethod
        def split(array, index):
            return np.split(array, index)[:-1]

    monkeypatch.setattr(cs, "np", LosingNumpy)
    with pytest.raises(AssertionError, match="Lost element in split"):
        cs.chunk_store(np.arange(12, dtype="float32"), 30)
    assert notes == []
    r = run_python("import numpy as np\nfrom dorar.utils import chunk_store as cs\n"
                   "cs.np = type('N', (), {'split': staticmethod(lambda a, i: np.split(a, i)[:-1])})\n"
                   "print(len(cs.chunk_store(np.arange(12, dtype='float32'), 30)))",
                   env={"PYTHONOPTIMIZE": "1"})
    assert r.stdout.strip() == "1", r.stderr


# 6004799503160664 x 3 + 2 bytes: as a real it is 3 times the limit, and a third of it rounds above the limit
ROUNDED_UP = 3 * 6004799503160664 + 2


@pytest.mark.parametrize("rows, limit, want", [
    # 2^63 - 1 chunks: refused before any is made, for the real limit 1.0 as for the integer 1
    (2 ** 63 - 1, 1, (MemoryError, "makes 9223372036854775807 chunks, more than memory can hold")),
    (2 ** 63 - 1, 1.0, (MemoryError, "makes 9223372036854775807 chunks, more than memory can hold")),
    # the last chunk starts 2 bytes below 2^63: the next start would pass it
    (2 ** 63 - 1, 2 ** 62, [2 ** 62 - 1, 2 ** 62 - 1, 1]),
    # byte counts with more bits than a real holds: the rule in reals, and never a chunk above the limit
    (2 ** 63 - 1, float(2 ** 62), [2 ** 62, 2 ** 62 - 1]),
    (2 ** 53 + 1, float(2 ** 53), [2 ** 53, 1]),
    (ROUNDED_UP, 6004799503160664, [4503599627370498] * 4 + [2]),
    (ROUNDED_UP, 6004799503160664.0, (ZeroDivisionError, "makes chunks of 6004799503160665 bytes, above the limit$")),
])
def test_huge_arrays_of_one_byte_rows(notes, rows, limit, want):
    array = np.broadcast_to(np.zeros(1, "uint8"), (rows,))  # a view: nothing is allocated
    if isinstance(want, tuple):
        with pytest.raises(want[0], match=want[1]):
            cs.chunk_store(array, limit)
        return
    chunks = cs.chunk_store(array, limit)
    assert [c.shape[0] for c in chunks] == want and all(c.nbytes <= limit for c in chunks)
