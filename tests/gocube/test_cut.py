import os
import re

import numpy as np
import pytest

from conftest import run_python
from dorar.gocube.cut import cut_cube

# Inline axis 100..120 step 2 (11 lines), crossline 1..5 (5), depth 0.0..0.6 step 0.1 (7 samples).
VIDX = {"IL_FRST": 100, "IL_LAST": 120, "IL_NCRT": 2, "IL_AMNT": 11,
        "XL_FRST": 1, "XL_LAST": 5, "XL_NCRT": 1, "XL_AMNT": 5,
        "DP_FRST": 0.0, "DP_LAST": 0.6, "DP_NCRT": 0.1, "DP_AMNT": 7}


@pytest.fixture
def cube():
    return np.arange(11 * 5 * 7, dtype=np.float32).reshape(11, 5, 7)


def test_whole_planes_are_swapped_views(cube):
    il = cut_cube(cube, VIDX, "iline", None)
    xl = cut_cube(cube, VIDX, "xline", None)
    dp = cut_cube(cube, VIDX, "depth", None)
    assert il.shape == (7, 5) and xl.shape == (7, 11) and dp.shape == (5, 11)
    np.testing.assert_array_equal(il, cube[0].T)
    np.testing.assert_array_equal(xl, cube[:, 0, :].T)
    np.testing.assert_array_equal(dp, cube[:, :, 0].T)
    for s in (il, xl, dp):
        assert np.shares_memory(s, cube)
    il[0, 0] = -1
    assert cube[0, 0, 0] == -1


@pytest.mark.parametrize("number, index", [(103, 2), (101, 0), (99, 0), (130, 10), (100, 0), (120, 10)])
def test_section_number_rounds_half_to_even_and_clamps(cube, number, index):
    np.testing.assert_array_equal(cut_cube(cube, VIDX, "iline", number), cube[index].T)


def test_bounds_crop_inclusively_and_clamp_on_one_side(cube):
    s = cut_cube(cube, VIDX, "iline", 100, xmin=2, xmax=4, ymin=0.1, ymax=0.3)
    np.testing.assert_array_equal(s, cube[0, 1:4, 1:4].T)
    wide = cut_cube(cube, VIDX, "xline", 3, xmin=0, xmax=500, ymin=-9, ymax=9, colour="red")
    np.testing.assert_array_equal(wide, cube[:, 2, :].T)
    assert cut_cube(cube, VIDX, "depth", 0.3, xmin=110, xmax=110).shape == (5, 1)


def test_crossing_and_far_bounds_give_empty_ranges(cube):
    assert cut_cube(cube, VIDX, "iline", 100, xmin=4, xmax=2).shape == (7, 0)
    # A last index of -2 or below would otherwise count from the far end of the axis.
    assert cut_cube(cube, VIDX, "iline", 100, xmax=-5).shape == (7, 0)
    assert cut_cube(cube, VIDX, "depth", 0, ymax=-0.5).shape == (0, 11)


def test_zero_increment_axis_has_only_index_zero():
    cube = np.arange(1 * 4 * 3, dtype=np.int16).reshape(1, 4, 3)
    vidx = dict(VIDX, IL_FRST=7, IL_LAST=7, IL_NCRT=0, XL_LAST=4)
    np.testing.assert_array_equal(cut_cube(cube, vidx, "iline", 7), cube[0].T)
    np.testing.assert_array_equal(cut_cube(cube, vidx, "xline", 2), cube[:, 1, :].T)
    line = np.array([[7, 1], [7, 4]])
    np.testing.assert_array_equal(cut_cube(cube, vidx, "aline", line), cube[0, [0, 3], :].T)


def test_aline_truncates_copies_and_ignores_x_bounds(cube):
    line = np.array([[100, 1], [103, 5], [120, 3.5], [99, 1]])
    s = cut_cube(cube, VIDX, "aline", line, ymin=0.1, ymax=0.3)
    expected = cube[[0, 1, 10, 0], [0, 4, 2, 0], 1:4].T
    np.testing.assert_array_equal(s, expected)
    np.testing.assert_array_equal(cut_cube(cube, VIDX, "aline", line, xmin=110, xmax=112, ymin=0.1, ymax=0.3), s)
    assert s.dtype == cube.dtype and not np.shares_memory(s, cube)
    s[0, 0] = -1
    assert cube[0, 0, 1] != -1


@pytest.mark.parametrize("dtype", [np.float64, np.uint8, np.complex64, object])
def test_aline_keeps_any_element_type(dtype):
    cube = np.arange(11 * 5 * 7).reshape(11, 5, 7).astype(dtype)
    s = cut_cube(cube, VIDX, "aline", np.array([[104, 2], [100, 5]]))
    assert s.dtype == cube.dtype and s.shape == (7, 2)
    np.testing.assert_array_equal(s, cube[[2, 0], [1, 4], :].T)


def test_aline_reads_strided_cubes(cube):
    view = np.ascontiguousarray(cube.transpose(2, 1, 0)).transpose(2, 1, 0)
    line = np.array([[102, 3], [118, 1]])
    np.testing.assert_array_equal(cut_cube(view, VIDX, "aline", line), cut_cube(cube, VIDX, "aline", line))


def every_other(a):
    return np.repeat(a, 2)[::2]  # the values right, the layout strided


def one_byte_off(a):
    out = np.frombuffer(bytearray(a.nbytes + 1), a.dtype, offset=1)  # contiguous, not aligned
    out[:] = a
    return out


@pytest.mark.parametrize("layout", [every_other, one_byte_off])
def test_aline_index_arrays_of_any_layout(cube, layout):
    class Line(np.ndarray):
        # The row-index arithmetic keeps the subclass: its astype hands back the odd layout.
        def astype(self, dtype, *args, **kwargs):
            return layout(np.asarray(self).astype(dtype, *args, **kwargs))

    rng = np.random.default_rng(7)
    line = np.stack([100 + 2 * rng.integers(0, 11, 100_000), rng.integers(1, 6, 100_000)], axis=1)
    np.testing.assert_array_equal(cut_cube(cube, VIDX, "aline", line.view(Line)), cut_cube(cube, VIDX, "aline", line))


@pytest.mark.parametrize("row, message", [
    ([122, 1], "index 11 is out of bounds for axis 0 with size 11"), ([100, 6], None), ([97, 1], None),
    ([100, -1], None),
    # positions with no integer index: never converted past the 64-bit range
    ([1e300, 1], "inline 1e+300 of row 1 is out of bounds for axis 0 with size 11"), ([-1e19, 1], None),
    ([100, float("nan")], "crossline nan of row 1 is out of bounds for axis 1 with size 5"),
    ([100, float("-inf")], None)])
def test_aline_rows_outside_the_cube_raise_index_error(cube, row, message):
    with pytest.raises(IndexError, match=None if message is None else "^%s$" % re.escape(message)):
        cut_cube(cube, VIDX, "aline", np.array([[100, 1], row]))


@pytest.mark.parametrize("axis", [0, 1])
def test_aline_on_a_one_line_axis_takes_that_line_alone(axis):
    # a cube of inline 10 alone (IL_NCRT 0), or of crossline 10 alone (XL_NCRT 0), by 4 lines of the other axis
    one, other = ("IL", "XL") if axis == 0 else ("XL", "IL")
    vidx = {one + "_FRST": 10, one + "_LAST": 10, one + "_NCRT": 0, one + "_AMNT": 1,
            other + "_FRST": 1, other + "_LAST": 4, other + "_NCRT": 1, other + "_AMNT": 4,
            "DP_FRST": 0, "DP_LAST": 8, "DP_NCRT": 4, "DP_AMNT": 3}
    cube = np.arange(12, dtype=np.float32).reshape((1, 4, 3) if axis == 0 else (4, 1, 3))
    traces = cube.reshape(4, 3)

    def line(*rows):  # (number on the one-line axis, number on the other) in inline, crossline order
        return np.array([r if axis == 0 else r[::-1] for r in rows])

    np.testing.assert_array_equal(cut_cube(cube, vidx, "aline", line((10, 2), (10, 4))), traces[[1, 3]].T)
    for number in (12, 9, 10.5):
        rows = line((10, 2), (number, 3))
        name = "inline" if axis == 0 else "crossline"
        with pytest.raises(IndexError, match=r"^%s %s of row 1 is out of bounds for axis %d with size 1$" % (
                name, str(rows[1, axis]).replace(".", r"\."), axis)):
            cut_cube(cube, vidx, "aline", rows)


class ShortLine:
    """A line whose columns hold fewer rows than its shape says."""
    shape = (10 ** 7, 2)

    def __getitem__(self, key):
        return np.array([[100, 1], [102, 2]])[key]


@pytest.mark.parametrize("line, ncrt, message", [
    # the traces would be read past the end of the two-row columns
    (ShortLine(), 2, "the line has 10000000 rows, but 2 inline numbers"),
    # a 3-D line: its columns are 2-D, one trace per row would be read from the first values only
    (np.full((3, 2, 2), 100), 2, "the inline numbers of the line have 2 dimensions"),
    (np.full((3, 2, 2), 100), 0, "the inline numbers of the line have 2 dimensions"),
    (np.array([[100, 1, 7], [102, 2, 7]]), 2, None),  # further columns are ignored
])
def test_aline_row_indexes_are_checked_against_the_line(cube, line, ncrt, message):
    vidx = dict(VIDX, IL_NCRT=ncrt, XL_NCRT=ncrt) if ncrt == 0 else VIDX
    if message is None:
        assert cut_cube(cube, vidx, "aline", line).shape == (7, 2)
        return
    with pytest.raises(ValueError, match=message):
        cut_cube(cube, vidx, "aline", line)


@pytest.mark.skipif(os.geteuid() != 0 or (os.cpu_count() or 1) < 2,
                    reason="needs root (to drop to an unprivileged user) and two cores")
def test_thread_limit_is_an_error_not_an_abort():
    # Under a limit of one process no worker thread can start: a clear error, and the process lives on.
    r = run_python(r'''
import os, resource
import numpy as np
from dorar.gocube.cut import cut_cube
vidx = {"IL_FRST": 0, "IL_LAST": 1, "IL_NCRT": 1, "XL_FRST": 0, "XL_LAST": 1, "XL_NCRT": 1,
        "DP_FRST": 0, "DP_LAST": 999, "DP_NCRT": 1}
cube, line = np.ones((2, 2, 1000), np.float32), np.ones((4000, 2))
try:
    os.setgid(65534); os.setuid(65534)
    resource.setrlimit(resource.RLIMIT_NPROC, (1, 1))
except OSError as e:
    raise SystemExit("no unprivileged user: %s" % e)
try:
    cut_cube(cube, vidx, "aline", line)
except RuntimeError as e:
    print(e)
''')
    if r.stderr.startswith("no unprivileged user"):
        pytest.skip(r.stderr)
    assert r.returncode == 0, r.stderr
    assert r.stdout.startswith("cannot start a worker thread (0 of "), r.stdout


def test_failures(cube):
    with pytest.raises(ValueError, match="^Unknown section type$"):
        cut_cube(cube, VIDX, "Iline", 100)
    with pytest.raises(ValueError, match="^Unknown section type$"):
        cut_cube(cube, VIDX, 3, 100)
    with pytest.raises(KeyError, match="XL_NCRT"):
        cut_cube(cube, {k: v for k, v in VIDX.items() if k not in ("XL_NCRT", "DP_LAST")}, "Iline", 1)
    with pytest.raises(TypeError):
        cut_cube(cube, VIDX, "iline", "100")
    with pytest.raises(TypeError):
        cut_cube(cube, VIDX, "aline", None)
    with pytest.raises(TypeError):
        cut_cube(cube, VIDX, "iline")
    with pytest.raises(ValueError):
        cut_cube(cube, VIDX, "aline", np.zeros((0, 2)))


def test_named_arguments_and_docstring(cube):
    s = cut_cube(array3d=cube, dict_vidx=VIDX, section_type="depth", section_number=0.2)
    np.testing.assert_array_equal(s, cube[:, :, 2].T)
    doc = cut_cube.__doc__
    assert doc.splitlines()[0] == "Cut 3D cube to 2D section."
    assert "xmin: integer, section minimum x to crop" in doc


def test_bounds_become_indexes_in_order(cube):
    # xmin, xmax, ymin, ymax are turned into indexes one after the other: the first bad one fails.
    nan, ninf = float("nan"), float("-inf")
    with pytest.raises(ValueError):
        cut_cube(cube, VIDX, "iline", 100, xmin=nan, xmax=ninf)
    with pytest.raises(ValueError):
        cut_cube(cube, VIDX, "xline", 1, ymin=nan, ymax=ninf)
    with pytest.raises(OverflowError):
        cut_cube(cube, VIDX, "depth", 0, xmax=ninf, ymin=nan)


def test_aline_on_an_array_that_is_not_a_cube_fails(cube):
    line = np.array([[100, 1], [102, 2]])
    # traces of a 4-D array are 2-D: no section can be made of them (no sample is read past its trace)
    with pytest.raises(ValueError):
        cut_cube(np.stack([cube, cube], axis=-1), VIDX, "aline", line)
    with pytest.raises(IndexError):
        cut_cube(cube[:, :, 0], VIDX, "aline", line)
