// dorar.gocube.cut: 2D sections out of a cube's property array.
#include <dorar/pymod.hpp>
#include <dorar/signal_check.hpp>

#include <cstdint>
#include <string>
#include <vector>

#include "section_gather.hpp"

namespace py = pybind11;
using dorar::Globals;

namespace {

const char *CUT_CUBE_DOC =
    "Cut 3D cube to 2D section.\n"
    "\n"
    "Args:\n"
    "    array3d: numpy array, cube samples indexed by inline, crossline and depth index\n"
    "    dict_vidx: dict, volume index of the cube (IL_/XL_/DP_ FRST, LAST, NCRT)\n"
    "    section_type: string, one of 'iline', 'xline', 'depth', 'aline'\n"
    "    section_number: number, line number or depth value of the section; for 'aline'\n"
    "        an N x 2 array of inline and crossline numbers of the line's traces\n"
    "\n"
    "Keyword Args:\n"
    "    xmin: integer, section minimum x to crop\n"
    "    xmax: integer, section maximum x to crop\n"
    "    ymin: integer, section minimum y to crop\n"
    "    ymax: integer, section maximum y to crop\n"
    "\n"
    "Returns:\n"
    "    array2d: numpy array, the section with depth (or crossline for a depth slice) down the rows\n";

struct Axis {
    py::object frst, last, ncrt;
};

bool lt(const py::handle &a, const py::handle &b) { return a < b; }
bool gt(const py::handle &a, const py::handle &b) { return a > b; }

// int(round((v - FRST) / NCRT)); an axis whose increment is 0 holds only index 0.
py::object to_index(const py::object &v, const Axis &ax) {
    if (ax.ncrt.equal(py::int_(0))) return py::int_(0);
    py::object q = (v - ax.frst) / ax.ncrt;
    return py::int_(dorar::builtin("round")(q));
}

// The inclusive index range first..last as a slice; a last index below 0 gives an empty range
// rather than one counted from the far end.
py::object inclusive(const py::object &first, const py::object &last) {
    py::object stop = last + py::int_(1);
    if (stop < py::int_(0)) stop = py::int_(0);
    return py::reinterpret_steal<py::object>(PySlice_New(first.ptr(), stop.ptr(), nullptr));
}

// A lower bound: the keyword's value or FRST, raised to FRST, never lowered.
py::object lower_bound(const py::dict &kw, const char *key, const Axis &ax) {
    py::object v = kw.contains(key) ? py::object(kw[key]) : ax.frst;
    return lt(v, ax.frst) ? ax.frst : v;
}

// An upper bound: the keyword's value or LAST, lowered to LAST, never raised.
py::object upper_bound(const py::dict &kw, const char *key, const Axis &ax) {
    py::object v = kw.contains(key) ? py::object(kw[key]) : ax.last;
    return gt(v, ax.last) ? ax.last : v;
}

// Row indexes as the traces are read from them: one contiguous, aligned int64 per row, copied into
// such an array when the arithmetic gave another layout (a subclass's astype may hand back a view).
using RowIndexes = py::array_t<std::int64_t, py::array::c_style | py::array::forcecast |
                                                 py::detail::npy_api::NPY_ARRAY_ALIGNED_>;

// (column - FRST) / NCRT truncated toward zero to the default integer type. A real position that
// is no integer (NaN, infinite, past the 64-bit range) becomes dcore::kNoIndex, which lies outside
// every cube. An axis of increment 0 holds one line: its FRST is index 0, any other number is no
// index.
RowIndexes row_indexes(const Globals &g, const py::object &column, const Axis &ax) {
    py::object np = g("np");
    if (ax.ncrt.equal(py::int_(0)))
        return np.attr("where")(np.attr("equal")(column, ax.frst), 0, dcore::kNoIndex).attr("astype")(np.attr("int_"));
    py::object positions = (column - ax.frst) / ax.ncrt;
    if (!py::isinstance<py::array>(positions) || py::reinterpret_borrow<py::array>(positions).dtype().kind() != 'f')
        return positions.attr("astype")(np.attr("int_"));
    const py::array_t<double, py::array::c_style | py::array::forcecast> real(positions);
    py::array_t<std::int64_t> out(std::vector<py::ssize_t>(real.shape(), real.shape() + real.ndim()));
    dcore::truncate_positions(real.data(), static_cast<std::size_t>(real.size()), out.mutable_data());
    return out;
}

// The row indexes of one column must be one value per row of the line: the traces are read
// straight from them.
void check_rows(const RowIndexes &indexes, std::int64_t n_trace, const char *what) {
    if (indexes.ndim() != 1)
        throw py::value_error("aline: the " + std::string(what) + " of the line have " + std::to_string(indexes.ndim()) +
                              " dimensions, 1 was expected: the line must be an N x 2 array");
    if (indexes.shape(0) != n_trace)
        throw py::value_error("aline: the line has " + std::to_string(n_trace) + " rows, but " +
                              std::to_string(indexes.shape(0)) + " " + what);
}

py::object gather(const Globals &g, const py::object &array3d, const py::object &col0, const py::object &col1,
                  const RowIndexes &i_array, const RowIndexes &j_array,
                  std::int64_t n_trace, const py::object &ka, const py::object &kb) {
    py::object np = g("np");
    py::object depth = inclusive(ka, kb);
    auto arr = py::reinterpret_borrow<py::array>(array3d);
    const std::int64_t *pi = i_array.data(), *pj = j_array.data();
    if (arr.ndim() >= 2) {
        // Rows before FRST or past LAST: refused as one past the end is, never counted from the far end.
        const dcore::Strided3 lines{nullptr, {arr.shape(0), arr.shape(1), 0}, {0, 0, 0}, 0};
        int axis = 0;
        const std::int64_t bad = dcore::first_trace_outside(lines, pi, pj, static_cast<std::size_t>(n_trace), &axis);
        if (bad >= 0) {
            const std::int64_t index = axis == 0 ? pi[bad] : pj[bad];
            if (index == dcore::kNoIndex) {
                // No index to name: name the row's line number.
                const std::string number = py::str((axis == 0 ? col0 : col1)[py::int_(bad)]).cast<std::string>();
                PyErr_Format(PyExc_IndexError, "%s %s of row %lld is out of bounds for axis %d with size %lld",
                             axis == 0 ? "inline" : "crossline", number.c_str(), static_cast<long long>(bad), axis,
                             static_cast<long long>(lines.shape[axis]));
            } else {
                PyErr_Format(PyExc_IndexError, "index %lld is out of bounds for axis %d with size %lld",
                             static_cast<long long>(index), axis, static_cast<long long>(lines.shape[axis]));
            }
            throw py::error_already_set();
        }
    }
    if (arr.ndim() != 3 || n_trace == 0 || arr.dtype().attr("hasobject").cast<bool>()) {
        // Nothing to copy in bulk (or not a cube, which fails as the plain algorithm fails): stack
        // the traces one by one.
        py::list traces;
        for (std::int64_t r = 0; r < n_trace; ++r)
            traces.append(array3d[py::make_tuple(pi[r], pj[r], depth)]);
        return np.attr("array")(traces);
    }
    const Py_ssize_t nk = arr.shape(2);
    const dcore::Strided3 s{static_cast<const char *>(arr.data()), {arr.shape(0), arr.shape(1), nk},
                            {arr.strides(0), arr.strides(1), arr.strides(2)}, static_cast<std::size_t>(arr.itemsize())};
    Py_ssize_t k0, k1, kstep;
    PySlice_Unpack(depth.ptr(), &k0, &k1, &kstep);
    const Py_ssize_t count = PySlice_AdjustIndices(nk, &k0, &k1, kstep);
    py::array out(arr.dtype(), std::vector<py::ssize_t>{n_trace, count});
    char *dst = static_cast<char *>(out.mutable_data());
    {
        dorar::ReleasedGil nogil;
        dcore::gather_traces(s, pi, pj, static_cast<std::size_t>(n_trace), k0, static_cast<std::size_t>(count), dst);
    }
    return std::move(out);
}

py::object cut_cube(const Globals &g, py::object array3d, py::object dict_vidx, py::object section_type,
                    py::object section_number, py::kwargs kwargs) {
    const char *keys[9] = {"IL_FRST", "IL_LAST", "IL_NCRT", "XL_FRST", "XL_LAST",
                           "XL_NCRT", "DP_FRST", "DP_LAST", "DP_NCRT"};
    py::object v[9];
    for (int n = 0; n < 9; ++n) v[n] = dict_vidx[py::str(keys[n])];
    const Axis il{v[0], v[1], v[2]}, xl{v[3], v[4], v[5]}, dp{v[6], v[7], v[8]};

    auto is = [&](const char *name) { return section_type.equal(py::str(name)); };
    if (section_number.is_none()) {
        if (is("iline")) section_number = il.frst;
        if (is("xline")) section_number = xl.frst;
        if (is("depth")) section_number = dp.frst;
    }

    py::dict kw = kwargs;
    py::object array2d;
    const Axis *S, *X, *Y;
    int shape_kind;
    if (is("iline")) {
        S = &il, X = &xl, Y = &dp, shape_kind = 0;
    } else if (is("xline")) {
        S = &xl, X = &il, Y = &dp, shape_kind = 1;
    } else if (is("depth")) {
        S = &dp, X = &il, Y = &xl, shape_kind = 2;
    } else if (is("aline")) {
        py::object ymin = lower_bound(kw, "ymin", dp);
        py::object ymax = upper_bound(kw, "ymax", dp);
        py::object ka = to_index(ymin, dp), kb = to_index(ymax, dp);
        py::object line = section_number;
        py::object all = py::reinterpret_steal<py::object>(PySlice_New(nullptr, nullptr, nullptr));
        py::object col0 = line[py::make_tuple(all, 0)];
        py::object col1 = line[py::make_tuple(all, 1)];
        auto i_array = row_indexes(g, col0, il);
        auto j_array = row_indexes(g, col1, xl);
        std::int64_t n_trace = py::tuple(line.attr("shape"))[0].cast<std::int64_t>();
        check_rows(i_array, n_trace, "inline numbers");
        check_rows(j_array, n_trace, "crossline numbers");
        if (!py::isinstance<py::array>(array3d)) throw py::type_error("array3d must be an array");
        array2d = gather(g, array3d, col0, col1, i_array, j_array, n_trace, ka, kb);
        return g("np").attr("transpose")(array2d, py::make_tuple(1, 0));
    } else {
        throw py::value_error("Unknown section type");
    }

    py::object sec = section_number;
    if (lt(sec, S->frst)) sec = S->frst;
    if (gt(sec, S->last)) sec = S->last;
    py::object xmin = lower_bound(kw, "xmin", *X);
    py::object xmax = upper_bound(kw, "xmax", *X);
    py::object ymin = lower_bound(kw, "ymin", *Y);
    py::object ymax = upper_bound(kw, "ymax", *Y);
    // One statement each: the indexes are made in this order, so the first bad value is the one reported.
    py::object s = to_index(sec, *S);
    py::object xa = to_index(xmin, *X);
    py::object xb = to_index(xmax, *X);
    py::object ya = to_index(ymin, *Y);
    py::object yb = to_index(ymax, *Y);
    py::object xr = inclusive(xa, xb);
    py::object yr = inclusive(ya, yb);
    py::tuple sub;
    switch (shape_kind) {
        case 0: sub = py::make_tuple(s, xr, yr); break;   // [ia, ja..jb, ka..kb]
        case 1: sub = py::make_tuple(xr, s, yr); break;   // [ia..ib, ja, ka..kb]
        default: sub = py::make_tuple(xr, yr, s); break;  // [ia..ib, ja..jb, ka]
    }
    array2d = array3d[sub];
    return g("np").attr("transpose")(array2d, py::make_tuple(1, 0));
}

}  // namespace

DORAR_MODULE(cut, m) {
    dorar::import_as(m, "numpy", "np");
    Globals g(m);
    dorar::def(
        m, "cut_cube",
        [g](py::object array3d, py::object dict_vidx, py::object section_type, py::object section_number,
            py::kwargs kwargs) {
            return cut_cube(g, std::move(array3d), std::move(dict_vidx), std::move(section_type),
                            std::move(section_number), std::move(kwargs));
        },
        CUT_CUBE_DOC, py::arg("array3d"), py::arg("dict_vidx"), py::arg("section_type"), py::arg("section_number"));
}
