"""Splitting an array along its first axis into chunks that fit a byte limit."""
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


@pytest.mark.parametrize("rows, limit, want", [
    # 2^63 - 1 chunks: refused before any is made, for the real limit 1.0 as for the integer 1
    (2 ** 63 - 1, 1, MemoryError),
    (2 ** 63 - 1, 1.0, MemoryError),
    # the last chunk starts 2 bytes below 2^63: the next start would pass it
    (2 ** 63 - 1, 2 ** 62, [2 ** 62 - 1, 2 ** 62 - 1, 1]),
    (2 ** 63 - 1, float(2 ** 62), [2 ** 62 - 1, 2 ** 62 - 1, 1]),
    # a byte count with more bits than a real holds: no chunk above the limit
    (2 ** 53 + 1, float(2 ** 53), [2 ** 52, 2 ** 52, 1]),
])
def test_huge_arrays_of_one_byte_rows(notes, rows, limit, want):
    array = np.broadcast_to(np.zeros(1, "uint8"), (rows,))  # a view: nothing is allocated
    if want is MemoryError:
        with pytest.raises(MemoryError, match="makes 9223372036854775807 chunks, more than memory can hold"):
            cs.chunk_store(array, limit)
        return
    chunks = cs.chunk_store(array, limit)
    assert [c.shape[0] for c in chunks] == want and all(c.nbytes <= limit for c in chunks)
