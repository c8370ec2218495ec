// dorar.utils.segy: post-stack 3D SEG-Y volumes into cubes and back.
//
// The SEG-Y file itself is read and written by the segypy engine, which is imported only when the
// environment variable "data_io/segy" is "True". This module turns the engine's trace headers into
// the cube's grid and survey, shapes the samples into the cube's array, and on the way out lays a
// cube property out trace by trace with its headers.
#include <dorar/header_values.hpp>
#include <dorar/pymod.hpp>
#include <dorar/raise.hpp>
#include <dorar/signal_check.hpp>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "strided3.hpp"
#include "samples_transpose.hpp"
#include "segy_fields.hpp"
#include "trace_geometry.hpp"
#include "trace_placement.hpp"

namespace py = pybind11;
using dorar::Globals;

namespace {

const char *GET_CUBE_FROM_STH_DOC =
    "Derive a cube's geometry from per-trace SEG-Y header arrays.\n"
    "\n"
    "Args:\n"
    "    headers: dict, trace-header field name -> 1-D array with one value per trace, in file order;\n"
    "        'Inline3D', 'Crossline3D', 'ns' and 'dt' are read, and without a survey also\n"
    "        'SourceGroupScalar', 'cdpX' and 'cdpY'\n"
    "    survey: Survey, the survey of the cube; None builds 'survey_from_segy' from the traces at three\n"
    "        corner cells of the grid, which the traces must then fill one trace a cell\n"
    "\n"
    "Keyword Args:\n"
    "    passed on to get_parm_of_grid_index\n"
    "\n"
    "Returns:\n"
    "    (dict_vidx, survey, dict_vxyz, dict_parm)\n";

const char *LOAD_CUBE_DOC =
    "Load a post-stack 3D SEG-Y file into a new cube.\n"
    "\n"
    "Args:\n"
    "    fufn: string, the SEG-Y file\n"
    "    survey: Survey or None (None derives a survey from the trace headers)\n"
    "    object_name: string, name of the cube; None takes the file name without its extension\n"
    "\n"
    "Returns:\n"
    "    cube: Cube\n";

const char *READ_SEGY_DOC =
    "Read a post-stack 3D SEG-Y file into a cube.\n"
    "\n"
    "Args:\n"
    "    cube: Cube, receives the samples as a property and its geometry dictionaries and survey\n"
    "    segyfn: string, the SEG-Y file\n"
    "    survey: Survey or None (None derives a survey from the trace headers)\n"
    "    hdr: dict, further or replacing trace-header layout entries, field -> {'pos': byte offset, 'type': type name}\n"
    "\n"
    "Keyword Args:\n"
    "    passed on to get_cube_from_sth\n"
    "\n"
    "The traces may be in any order: each lands in its (inline, crossline) cell. Traces that do not\n"
    "fill an evenly spaced grid one trace a cell raise ValueError naming the first offending trace.\n";

const char *WRITE_SEGY_DOC =
    "Write a cube property to a post-stack 3D SEG-Y file.\n"
    "\n"
    "Args:\n"
    "    cube: Cube, the cube to write\n"
    "    outfn: string, the SEG-Y file to write\n"
    "    prop_name: string, the property to write; None writes the current property\n"
    "    stfhfn: string, text file whose first 40 lines become the textual file header;\n"
    "        None writes 'Dorar' and blanks\n"
    "\n"
    "Trace t is inline index t div NXL and crossline index t mod NXL of the property's NIL x NXL x NDP\n"
    "array; its headers are row t of the cube's get_traces_ln and get_traces_xy. The line numbers are\n"
    "written rounded to whole numbers and, in whatever order the rows give them, must load back as NIL\n"
    "inlines of NXL crosslines, each trace in the cell they name. Rows that would not, fewer rows than\n"
    "traces, or a line number that is no number or does not fit its 4-byte field raise an error naming\n"
    "the first offending row (or the counts), and nothing is written.\n";

py::object none() { return py::none(); }

using dorar::raise;

// Unpacks exactly n values from an iterable, failing as the interpreter's unpacking does.
std::vector<py::object> unpack(const py::object &obj, std::size_t n) {
    PyObject *it = PyObject_GetIter(obj.ptr());
    if (!it) {
        if (PyErr_ExceptionMatches(PyExc_TypeError) && Py_TYPE(obj.ptr())->tp_iter == nullptr &&
            !PySequence_Check(obj.ptr())) {
            PyErr_Clear();
            raise(PyExc_TypeError, std::string("cannot unpack non-iterable ") + Py_TYPE(obj.ptr())->tp_name + " object");
        }
        throw py::error_already_set();
    }
    auto iter = py::reinterpret_steal<py::object>(it);
    std::vector<py::object> out;
    for (;;) {
        PyObject *item = PyIter_Next(it);
        if (!item) {
            if (PyErr_Occurred()) throw py::error_already_set();
            break;
        }
        if (out.size() == n) {
            Py_DECREF(item);
            raise(PyExc_ValueError, "too many values to unpack (expected " + std::to_string(n) + ")");
        }
        out.push_back(py::reinterpret_steal<py::object>(item));
    }
    if (out.size() < n)
        raise(PyExc_ValueError, "not enough values to unpack (expected " + std::to_string(n) + ", got " +
                                    std::to_string(out.size()) + ")");
    return out;
}

// ---------------------------------------------------------------------------------------------
// Trace-header arrays

// A header array as the kernels take it: one dimension, native byte order, contiguous, of an
// integer or real element type.
py::array header_array(const Globals &g, const py::object &headers, const char *field) {
    py::object np = g("np");
    py::object value = headers[py::str(field)];
    py::array a = np.attr("asarray")(value);
    if (a.ndim() != 1)
        raise(PyExc_ValueError, std::string("trace header '") + field +
                                    "' must be a one-dimensional array with one value per trace, got shape " +
                                    py::str(a.attr("shape")).cast<std::string>());
    py::dtype dt = a.dtype();
    const char kind = dt.kind();
    py::object target;
    if (kind == 'b')
        target = np.attr("uint8");
    else if (kind == 'f' && dt.itemsize() != 4 && dt.itemsize() != 8)
        target = np.attr("float64");
    else if (kind == 'i' || kind == 'u' || kind == 'f')
        target = dt.attr("newbyteorder")("=");
    else
        raise(PyExc_TypeError, std::string("trace header '") + field + "' must hold numbers, not " +
                                   py::str(dt).cast<std::string>());
    py::array out = np.attr("ascontiguousarray")(a, py::arg("dtype") = target);
    // The kernels load the values as elements of their type: values at an address that type
    // does not align to (np.frombuffer at an odd offset, say) are copied first.
    if (!(out.flags() & py::detail::npy_api::NPY_ARRAY_ALIGNED_)) out = out.attr("copy")();
    return out;
}

// Calls f with a typed pointer to the header array's values.
template <typename F>
decltype(auto) with_values(const py::array &a, F &&f) {
    const void *p = a.data();
    const char kind = a.dtype().kind();
    switch (a.itemsize()) {
        case 1:
            return kind == 'i' ? f(static_cast<const std::int8_t *>(p)) : f(static_cast<const std::uint8_t *>(p));
        case 2:
            return kind == 'i' ? f(static_cast<const std::int16_t *>(p)) : f(static_cast<const std::uint16_t *>(p));
        case 4:
            if (kind == 'f') return f(static_cast<const float *>(p));
            return kind == 'i' ? f(static_cast<const std::int32_t *>(p)) : f(static_cast<const std::uint32_t *>(p));
        default:
            if (kind == 'f') return f(static_cast<const double *>(p));
            return kind == 'i' ? f(static_cast<const std::int64_t *>(p)) : f(static_cast<const std::uint64_t *>(p));
    }
}

template <typename T>
py::object to_py(T v) {
    if constexpr (std::is_integral_v<T>)
        return py::int_(v);
    else
        return py::float_(static_cast<double>(v));
}

struct LineAxis {
    std::size_t count = 0;
    bool equal_counts = true;
    py::object first, second, last;
};

LineAxis line_axis(const py::array &a) {
    const std::size_t n = static_cast<std::size_t>(a.shape(0));
    return with_values(a, [n](auto *p) {
        using T = std::remove_const_t<std::remove_pointer_t<decltype(p)>>;
        dcore::DistinctSummary<T> s;
        {
            dorar::ReleasedGil nogil;
            s = dcore::summarize_distinct(p, n);
        }
        return LineAxis{s.count, s.equal_counts, to_py(s.first), to_py(s.second), to_py(s.last)};
    });
}

bool all_same(const py::array &a) {
    const std::size_t n = static_cast<std::size_t>(a.shape(0));
    return with_values(a, [n](auto *p) {
        dorar::ReleasedGil nogil;
        return dcore::all_same(p, n);
    });
}

dcore::Number number_at(const py::array &a, std::size_t k) {
    return with_values(a, [k](auto *p) {
        using T = std::remove_const_t<std::remove_pointer_t<decltype(p)>>;
        const T v = p[k];
        if constexpr (std::is_integral_v<T>) {
            if constexpr (std::is_same_v<T, std::uint64_t>)
                if (v > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
                    return dcore::Number::real(static_cast<double>(v));
            return dcore::Number::integer(static_cast<std::int64_t>(v));
        } else {
            return dcore::Number::real(static_cast<double>(v));
        }
    });
}

void require_length(const py::array &a, const char *field, std::size_t n) {
    const std::size_t got = static_cast<std::size_t>(a.shape(0));
    if (got != n)
        raise(PyExc_ValueError, std::string("trace header '") + field + "' has " + std::to_string(got) +
                                    " values but 'Inline3D' has " + std::to_string(n) + "; every header array needs one value per trace");
}

// IL_FRST, IL_LAST, IL_NCRT, IL_AMNT (or the XL_ ones) into dict_vidx.
void put_line_axis(const Globals &g, py::dict &vidx, const char *prefix, const LineAxis &ax) {
    if (ax.count == 0) raise(PyExc_IndexError, "index 0 is out of bounds for axis 0 with size 0");
    py::object as_int = g("int");
    const std::string p(prefix);
    vidx[py::str(p + "_FRST")] = as_int(ax.first);
    vidx[py::str(p + "_LAST")] = as_int(ax.last);
    vidx[py::str(p + "_NCRT")] = ax.count > 1 ? as_int(ax.second - ax.first) : py::int_(0);
    vidx[py::str(p + "_AMNT")] = py::int_(ax.count);
}

// The scaled X or Y of one corner trace; an unscaled value is the header value as it is.
py::object scaled_coordinate(const py::array &coord, const py::array &scalar, std::size_t k, dcore::ScaleRule rule) {
    const dcore::Scaled s = dcore::scale_coordinate(number_at(coord, k), number_at(scalar, k), rule);
    if (!s.scaled) return coord[py::int_(k)];
    if (s.value.is_integer) return py::int_(s.value.i);
    return py::float_(s.value.d);
}

// ---------------------------------------------------------------------------------------------
// Traces into the cells of the grid

// Each trace's index along one axis: its place on the lattice of the axis or, without one, the
// rank of its number among the distinct numbers.
dcore::big_vector<std::int64_t> axis_indexes(const py::array &a, const dcore::LineLattice *lattice) {
    const std::size_t n = static_cast<std::size_t>(a.shape(0));
    dcore::big_vector<std::int64_t> out(n);
    with_values(a, [&](auto *p) {
        dorar::ReleasedGil nogil;
        if (lattice)
            dcore::lattice_indexes(p, n, *lattice, out.data());
        else
            dcore::rank_indexes(p, n, out.data());
        return 0;
    });
    return out;
}

// The line number of axis index k, as the header array prints it. FRST + k x NCRT is worked out in
// Python integers: it may lie beyond 64 bits (an unsigned 64-bit layout puts it up to 2^64 - 1).
std::string line_number(const py::array &a, const dcore::big_vector<std::int64_t> &index, std::size_t k,
                        const dcore::LineLattice *lattice) {
    if (lattice)
        return py::str(py::int_(lattice->first) + py::int_(k) * py::int_(lattice->step)).cast<std::string>();
    const auto at = std::find(index.begin(), index.end(), static_cast<std::int64_t>(k));
    return py::str(a[py::int_(at - index.begin())]).cast<std::string>();
}

// The trace-header layout of the read_segy call running on this thread, if any: the bytes the
// line numbers were taken from, for the messages about them.
thread_local const py::dict *reading_layout = nullptr;

class ReadingLayout {
public:
    explicit ReadingLayout(const py::dict &layout) : saved_(reading_layout) { reading_layout = &layout; }
    ~ReadingLayout() { reading_layout = saved_; }
    ReadingLayout(const ReadingLayout &) = delete;
    ReadingLayout &operator=(const ReadingLayout &) = delete;

private:
    const py::dict *saved_;
};

// The byte (counted from 1) at which the trace headers hold `field`: the layout's when read_segy
// runs with one that places it, else the standard one.
std::string header_byte(const char *field, int standard) {
    if (reading_layout) {
        try {
            py::object entry = (*reading_layout)[py::str(field)];
            return std::to_string(py::int_(entry[py::str("pos")]).cast<long long>() + 1);
        } catch (py::error_already_set &e) {
            // A layout without the field: the standard byte. An interrupt goes on as it is.
            if (!e.matches(PyExc_LookupError) && !e.matches(PyExc_TypeError)) throw;
        } catch (const py::cast_error &) {
        }
    }
    return std::to_string(standard);
}

// What placed_on_grid's message calls the traces it places ("trace" for those of a file, "row" for
// the cube's rows write_segy writes), and the words its reason follows.
struct GridWords {
    std::string item, head;
};

GridWords file_traces(std::size_t n_il, std::size_t n_xl) {
    return {"trace", "The traces do not form a grid of " + std::to_string(n_il) + " inlines x " +
                         std::to_string(n_xl) + " crosslines: "};
}

// Places every trace in its (inline, crossline) cell of the n_il x n_xl grid, or raises a
// ValueError that says why the traces cannot form it and names the first offending trace. With
// `lattices` (inline and crossline), the grid's line numbers are FRST + k x NCRT; without, they are
// the distinct numbers present.
dcore::Placement placed_on_grid(const py::array &il, const py::array &xl, std::size_t n_il, std::size_t n_xl,
                                const dcore::LineLattice *lattices, const GridWords &words) {
    const dcore::big_vector<std::int64_t> il_index = axis_indexes(il, lattices);
    const dcore::big_vector<std::int64_t> xl_index = axis_indexes(xl, lattices ? lattices + 1 : nullptr);
    dcore::Placement p;
    {
        dorar::ReleasedGil nogil;
        p = dcore::place_traces(il_index.data(), xl_index.data(), il_index.size(), n_il, n_xl);
    }
    using Fault = dcore::Placement::Fault;
    if (p.fault == Fault::none) return p;

    const std::string &item = words.item;
    auto trace = [&](std::size_t t) {
        return item + " " + std::to_string(t) + " (inline " + py::str(il[py::int_(t)]).cast<std::string>() +
               ", crossline " + py::str(xl[py::int_(t)]).cast<std::string>() + ")";
    };
    std::string what;
    switch (p.fault) {
        case Fault::off_inline:
        case Fault::off_crossline: {
            const bool inl = p.fault == Fault::off_inline;
            const dcore::LineLattice &ax = lattices[inl ? 0 : 1];
            what = trace(p.trace) + ": " + (inl ? "inline " : "crossline ") +
                   py::str((inl ? il : xl)[py::int_(p.trace)]).cast<std::string>() + " is not " +
                   std::to_string(ax.first) + " + k x " + std::to_string(ax.step) + " for k from 0 to " +
                   std::to_string(ax.count - 1) + "; line numbers must be evenly spaced";
            break;
        }
        case Fault::shared_cell:
            if (p.per_cell == il_index.size()) {
                // One cell holds every trace: all traces bear the same inline and crossline number.
                what = "all " + std::to_string(p.per_cell) + " " + item + "s have inline " +
                       py::str(il[py::int_(0)]).cast<std::string>() + " and crossline " +
                       py::str(xl[py::int_(0)]).cast<std::string>();
                if (number_at(il, 0).as_double() == 0 && number_at(xl, 0).as_double() == 0)
                    what += "; the trace headers hold no inline and crossline numbers at bytes " +
                            header_byte("Inline3D", 189) + " and " + header_byte("Crossline3D", 193) +
                            ": the file is a 2D line, or its line numbers stand at other bytes";
                break;
            }
            what = trace(p.trace) + " is in the same cell as " + item + " " + std::to_string(p.other);
            if (p.per_cell > 1)
                what += "; every cell holds " + std::to_string(p.per_cell) +
                        " traces, as in a pre-stack gather, and only post-stack volumes are read";
            break;
        default:
            what = "no " + item + " has inline " + line_number(il, il_index, p.cell / n_xl, lattices) +
                   ", crossline " + line_number(xl, xl_index, p.cell % n_xl, lattices ? lattices + 1 : nullptr) + " (" +
                   std::to_string(il_index.size()) + " " + item + "s for " + std::to_string(n_il * n_xl) + " cells)";
    }
    raise(PyExc_ValueError, words.head + what);
}

py::tuple get_cube_from_sth(const Globals &g, const py::object &globals, const py::object &headers,
                            py::object survey, const py::kwargs &kwargs) {
    const py::array il = header_array(g, headers, "Inline3D");
    const py::array xl = header_array(g, headers, "Crossline3D");
    const py::array ns = header_array(g, headers, "ns");
    const std::size_t n_traces = static_cast<std::size_t>(il.shape(0));
    require_length(xl, "Crossline3D", n_traces);
    require_length(ns, "ns", n_traces);

    const LineAxis il_axis = line_axis(il);
    if (!il_axis.equal_counts) raise(PyExc_ValueError, "Not all ILs are the same length.");
    const LineAxis xl_axis = line_axis(xl);
    if (!xl_axis.equal_counts) raise(PyExc_ValueError, "Not all XLs are the same length.");
    if (!all_same(ns)) raise(PyExc_ValueError, "Not all traces are the same length.");

    py::dict vidx;
    put_line_axis(g, vidx, "IL", il_axis);
    put_line_axis(g, vidx, "XL", xl_axis);

    // Depth axis: trace 0's sample count, and its interval in milliseconds, snapped to an
    // integer when within 0.1 of one. A non-zero interval below 0.1 ms is never snapped to 0:
    // that would put every sample at the same depth and write the cube back with no interval.
    // An interval of exactly 0 is the integer 0.
    py::object dp_amnt = g("int")(ns[py::int_(0)]);
    py::object dt0 = headers[py::str("dt")][py::int_(0)];
    const double ncrt = py::float_(dt0).cast<double>() * 0.001;
    const double r = std::round(ncrt);
    py::object dp_ncrt;
    if (std::fabs(r - ncrt) < 0.1 && (r != 0.0 || ncrt == 0.0))
        dp_ncrt = py::reinterpret_steal<py::object>(PyLong_FromDouble(r));  // exact beyond 64 bits too
    else
        dp_ncrt = py::float_(ncrt);
    py::object dp_frst = py::int_(0);
    vidx["DP_FRST"] = dp_frst;
    vidx["DP_LAST"] = dp_frst + dp_ncrt * (dp_amnt - py::int_(1));
    vidx["DP_NCRT"] = dp_ncrt;
    vidx["DP_AMNT"] = dp_amnt;

    if (survey.is_none()) {
        const py::array scalar = header_array(g, headers, "SourceGroupScalar");
        const py::array x = header_array(g, headers, "cdpX");
        const py::array y = header_array(g, headers, "cdpY");
        require_length(scalar, "SourceGroupScalar", n_traces);
        require_length(x, "cdpX", n_traces);
        require_length(y, "cdpY", n_traces);
        // The corner points are the traces at the corner cells, wherever the file holds them
        // (cube_samples says why read_segy places the traces again).
        const std::size_t n_il = il_axis.count, n_xl = xl_axis.count;
        const dcore::Placement grid = placed_on_grid(il, xl, n_il, n_xl, nullptr, file_traces(n_il, n_xl));
        const dcore::ScaleRule rule = dcore::scale_rule(number_at(scalar, 0));
        const dcore::CornerCells c = dcore::corner_cells(n_il, n_xl);
        py::dict sgmt;
        const std::pair<const char *, std::size_t> points[3] = {{"P1", c.p1}, {"P2", c.p2}, {"P3", c.p3}};
        for (const auto &[name, cell] : points) {
            const std::size_t k = static_cast<std::size_t>(grid.source[cell]);
            const std::string p(name);
            sgmt[py::str(p + "_ILNO")] = il[py::int_(k)];
            sgmt[py::str(p + "_XLNO")] = xl[py::int_(k)];
            sgmt[py::str(p + "_CRSX")] = scaled_coordinate(x, scalar, k, rule);
            sgmt[py::str(p + "_CRSY")] = scaled_coordinate(y, scalar, k, rule);
        }
        py::object Survey = dorar::import_name("dorar.gosurvey.survey", "Survey", globals);
        survey = Survey("survey_from_segy");
        survey.attr("set_geometry")(sgmt);
        survey.attr("initialize")();
    }

    py::object vxyz = g("get_vxyz_of_grid_index")(vidx, survey);
    py::object parm = g("get_parm_of_grid_index")(vidx, survey, **kwargs);
    return py::make_tuple(vidx, survey, vxyz, parm);
}

// ---------------------------------------------------------------------------------------------
// Loading

py::dict standard_layout() {
    const struct {
        const char *field;
        int pos;
        const char *type;
    } entries[] = {{"SourceGroupScalar", 70, "int16"}, {"ns", 114, "uint16"},     {"dt", 116, "uint16"},
                   {"cdpX", 180, "int32"},             {"cdpY", 184, "int32"},    {"Inline3D", 188, "int32"},
                   {"Crossline3D", 192, "int32"}};
    py::dict layout;
    for (const auto &e : entries) {
        py::dict entry;
        entry["pos"] = py::int_(e.pos);
        entry["type"] = py::str(e.type);
        layout[py::str(e.field)] = entry;
    }
    return layout;
}

// The trace headers with the sample count the traces were read with, and the file's interval
// where trace 0 has none: trace headers often hold 0, or a count from before the file was cropped.
// An engine that reports neither leaves the headers as they are.
py::object headers_as_read(const Globals &g, const py::object &headers, const py::object &info) {
    if (!PyDict_Check(info.ptr())) return headers;
    py::dict facts = py::reinterpret_borrow<py::dict>(info);
    py::object np = g("np");
    py::dict out;  // a copy: the engine's own map is left as it came
    if (PyDict_Merge(out.ptr(), headers.ptr(), 1) != 0) throw py::error_already_set();
    if (facts.contains("ns")) out["ns"] = np.attr("full")(np.attr("shape")(out["ns"]), facts["ns"]);
    if (facts.contains("dt") && py::len(out["dt"]) > 0 && py::int_(0).equal(out["dt"][py::int_(0)]))
        out["dt"] = np.attr("full")(np.attr("shape")(out["dt"]), facts["dt"]);
    return std::move(out);
}

dcore::LineLattice lattice_of(const py::object &vidx, const char *prefix) {
    const std::string p(prefix);
    dcore::LineLattice ax;
    ax.first = py::int_(vidx[py::str(p + "_FRST")]).cast<std::int64_t>();
    ax.step = py::int_(vidx[py::str(p + "_NCRT")]).cast<std::int64_t>();
    ax.count = py::int_(vidx[py::str(p + "_AMNT")]).cast<std::size_t>();
    return ax;
}

// An array the caller alone holds, whose memory is its own: its traces may be moved in place.
bool held_only_here(const py::object &data) {
    if (!py::isinstance<py::array>(data) || Py_REFCNT(data.ptr()) != 1) return false;
    auto a = py::reinterpret_borrow<py::array>(data);
    if (!(a.flags() & py::array::c_style) || !a.writeable() || a.dtype().attr("hasobject").cast<bool>()) return false;
    if (a.owndata()) return true;
    py::object base = a.base();
    return PyCapsule_CheckExact(base.ptr()) && Py_REFCNT(base.ptr()) == 1;
}

// Data shaped into (IL_AMNT, XL_AMNT, DP_AMNT) with every trace at its cell. Traces of an
// inline-major ascending file are there already and the result is a view of Data; otherwise the
// traces are moved once, in place when Data is held only here, else into a new array.
py::object cube_samples(const Globals &g, py::object data, const py::object &headers, const py::object &vidx) {
    const dcore::LineLattice lattices[2] = {lattice_of(vidx, "IL"), lattice_of(vidx, "XL")};
    const py::array il = header_array(g, headers, "Inline3D");
    const py::array xl = header_array(g, headers, "Crossline3D");
    require_length(xl, "Crossline3D", static_cast<std::size_t>(il.shape(0)));
    // Without a survey, get_cube_from_sth has placed these traces already; they are placed again
    // on purpose. There a trace goes by the rank of its line numbers, which finds the corner traces
    // whatever the spacing; here it goes by FRST + k x NCRT of the dict_vidx that came back, the
    // grid the cube gets. The two agree only where the lines are evenly spaced, which only this
    // placement checks: get_cube_from_sth, a public function, takes unevenly spaced lines. Nor can
    // its placement be handed on: read_segy calls it through the module's global, which may be
    // replaced, only Python objects come back, and the functions it calls may change dict_vidx.
    // Placing is a few passes without the GIL.
    const std::size_t n_il = lattices[0].count, n_xl = lattices[1].count;
    const dcore::Placement grid = placed_on_grid(il, xl, n_il, n_xl, lattices, file_traces(n_il, n_xl));

    const bool in_place = held_only_here(data);
    py::object np = g("np");
    py::object shape = py::make_tuple(vidx[py::str("IL_AMNT")], vidx[py::str("XL_AMNT")], vidx[py::str("DP_AMNT")]);
    py::array array3d = np.attr("reshape")(data, shape);
    data = py::object();
    if (grid.in_file_order()) return std::move(array3d);

    const std::size_t n = grid.source.size();
    if (array3d.dtype().attr("hasobject").cast<bool>()) {
        py::array_t<std::int64_t> order(static_cast<py::ssize_t>(n), grid.source.data());
        return np.attr("take")(array3d.attr("reshape")(n, -1), order, py::arg("axis") = 0).attr("reshape")(shape);
    }
    const std::size_t row_bytes = static_cast<std::size_t>(array3d.itemsize() * array3d.shape(2));
    // Rows are moved as n blocks of row_bytes: only a writeable C-ordered result of the reshape
    // (a subclass's reshape may give another) is one.
    if (in_place && (array3d.flags() & py::array::c_style) && array3d.writeable()) {
        char *rows = static_cast<char *>(array3d.mutable_data());
        dorar::ReleasedGil nogil;
        dcore::permute_rows(rows, row_bytes, grid.source.data(), n);
        return std::move(array3d);
    }
    py::array from = np.attr("ascontiguousarray")(array3d);
    py::array out(from.dtype(), std::vector<py::ssize_t>{from.shape(0), from.shape(1), from.shape(2)});
    const char *src = static_cast<const char *>(from.data());
    char *dst = static_cast<char *>(out.mutable_data());
    {
        dorar::ReleasedGil nogil;
        dcore::gather_rows(src, row_bytes, grid.source.data(), n, dst);
    }
    return std::move(out);
}

void read_segy(const Globals &g, const py::object &cube, const py::object &segyfn, const py::object &survey,
               const py::object &hdr, const py::kwargs &kwargs) {
    py::dict custom_hdr = standard_layout();
    if (!hdr.is_none())
        for (py::handle key : hdr) custom_hdr[key] = hdr[key];

    auto read = unpack(g("segypy").attr("readSegy")(segyfn, custom_hdr), 3);
    py::object data = std::move(read[0]);
    const py::object headers = headers_as_read(g, read[2], read[1]);
    read.clear();

    py::object array3d;
    std::vector<py::object> geometry;
    {
        const ReadingLayout layout(custom_hdr);
        geometry = unpack(g("get_cube_from_sth")(headers, py::arg("survey") = survey, **kwargs), 4);
        array3d = cube_samples(g, std::move(data), headers, geometry[0]);
    }
    const py::object &vidx = geometry[0], &new_survey = geometry[1], &vxyz = geometry[2], &parm = geometry[3];

    py::object name = parm[py::str("DATA_VEL_TYPE")];
    cube.attr("add_property")(name, py::arg("array") = array3d);
    cube.attr("dict_parm") = parm;
    cube.attr("dict_vidx") = vidx;
    cube.attr("dict_vxyz") = vxyz;
    cube.attr("survey") = new_survey;

    py::object record = cube.attr("prop")[name];
    dorar::print("Data min/max value =", record[py::str("colorClip")]);
    dorar::print("Data array shape =", record[py::str("array3d")].attr("shape"));
    dorar::print("Array data type =", record[py::str("array3d")].attr("dtype"));
}

py::object load_cube(const Globals &g, const py::object &globals, const py::object &fufn, const py::object &survey,
                     py::object object_name) {
    if (object_name.is_none()) {
        py::object path = g("os").attr("path");
        py::object tail = path.attr("split")(fufn)[py::int_(1)];
        object_name = path.attr("splitext")(tail)[py::int_(0)];
    }
    py::dict hdr;
    py::object Cube = dorar::import_name("dorar.gocube.cube", "Cube", globals);
    py::object cube = Cube(object_name);
    g("read_segy")(cube, fufn, py::arg("survey") = survey, py::arg("hdr") = hdr);
    for (const char *step : {"calc_prop_percentile", "init_xyz_range", "set_section_number", "init_colormap",
                             "set_current_property"})
        cube.attr(step)();
    return cube;
}

// ---------------------------------------------------------------------------------------------
// Writing

// The samples x traces matrix the writer takes: column t is trace t, inline by inline. A cube
// whose traces cannot be addressed as one axis (a view with swapped or sliced axes) is copied in
// tiles over the cores.
py::object sample_matrix(const Globals &g, const py::object &array3d, const py::object &n_il, const py::object &n_xl,
                         const py::object &n_dp) {
    py::object np = g("np");
    py::array a = np.attr("asarray")(array3d);
    if (a.ndim() != 3 || a.dtype().attr("hasobject").cast<bool>()) {
        // Not a plain block of numbers: let the array library reorder it.
        return np.attr("transpose")(array3d, py::make_tuple(2, 0, 1))
            .attr("reshape")(n_dp, n_il * n_xl);
    }
    const py::ssize_t nil = a.shape(0), nxl = a.shape(1), ndp = a.shape(2);
    if (nil == 1 || nxl == 1 || a.strides(0) == nxl * a.strides(1)) {
        // Inline and crossline axes step through memory as one trace axis: the matrix is a view
        // of the cube whose columns are its traces, exactly as the array library reshapes it.
        return np.attr("transpose")(a, py::make_tuple(2, 0, 1)).attr("reshape")(n_dp, n_il * n_xl);
    }
    py::array out(a.dtype(), std::vector<py::ssize_t>{ndp, nil * nxl});
    dcore::Strided3 s{static_cast<const char *>(a.data()), {nil, nxl, ndp},
                      {a.strides(0), a.strides(1), a.strides(2)}, static_cast<std::size_t>(a.itemsize())};
    char *dst = static_cast<char *>(out.mutable_data());
    {
        dorar::ReleasedGil nogil;
        dcore::traces_to_sample_rows(s, dst);
    }
    return std::move(out);
}

// Runs the signal handlers every 65536 traces of the loops that build the trace-header maps (half
// a second for a cube of gigabytes): a Ctrl-C there stops the call before anything is written.
void let_signals_in(std::size_t t) {
    if ((t & 0xFFFF) == 0 && PyErr_CheckSignals() != 0) throw py::error_already_set();
}

// The property's traces as write_segy lays them out: trace t is inline index t div n_xl, crossline
// index t mod n_xl.
struct TraceGrid {
    std::size_t n_il, n_xl;
    std::size_t traces() const { return n_il * n_xl; }
    std::string text() const {
        return std::to_string(traces()) + " traces (" + std::to_string(n_il) + " inlines x " + std::to_string(n_xl) +
               " crosslines)";
    }
};

[[noreturn]] void too_few_rows(const TraceGrid &grid, const char *source, std::size_t rows) {
    raise(PyExc_ValueError, "write_segy: the property has " + grid.text() + " but the cube's " + source +
                                " gives " + std::to_string(rows) + " rows; every trace needs its row");
}

// {t: rows[t][column]} for the first rows, one a trace of the grid; `source` names the cube's method
// that gave the rows.
py::dict per_trace(const py::object &rows, int column, const TraceGrid &grid, const char *source) {
    const std::size_t n = grid.traces();
    py::dict out;
    if (py::isinstance<py::array>(rows) && py::reinterpret_borrow<py::array>(rows).ndim() == 2) {
        auto a = py::reinterpret_borrow<py::array>(rows);
        if (static_cast<std::size_t>(a.shape(0)) < n) too_few_rows(grid, source, static_cast<std::size_t>(a.shape(0)));
        if (a.shape(1) <= column)
            raise(PyExc_IndexError, "index " + std::to_string(column) + " is out of bounds for axis 1 with size " +
                                        std::to_string(a.shape(1)));
        py::object all = py::reinterpret_steal<py::object>(PySlice_New(nullptr, py::int_(n).ptr(), nullptr));
        py::object col = rows[py::make_tuple(all, column)];
        std::size_t t = 0;
        for (py::handle v : col) {
            let_signals_in(t);
            auto key = py::reinterpret_steal<py::object>(PyLong_FromSize_t(t++));
            if (PyDict_SetItem(out.ptr(), key.ptr(), v.ptr()) != 0) throw py::error_already_set();
        }
        return out;
    }
    // Any other rows are read one by one, as far as they go.
    for (std::size_t t = 0; t < n; ++t) {
        let_signals_in(t);
        py::int_ key(t);
        PyObject *row = PyObject_GetItem(rows.ptr(), key.ptr());
        if (!row) {
            if (PyErr_ExceptionMatches(PyExc_IndexError)) {
                PyErr_Clear();
                too_few_rows(grid, source, t);
            }
            throw py::error_already_set();
        }
        out[key] = py::reinterpret_steal<py::object>(row)[py::int_(column)];
    }
    return out;
}

// The values of a {t: value} map of per_trace, in trace order.
std::vector<py::object> values_of(const py::dict &per_trace) {
    std::vector<py::object> out;
    out.reserve(py::len(per_trace));
    for (auto item : per_trace) out.push_back(py::reinterpret_borrow<py::object>(item.second));
    return out;
}

// The inline and crossline numbers of the rows as writeSegy writes them into Inline3D and
// Crossline3D: each value taken as float() takes it, then rounded half away from zero to the
// 4-byte integer the field holds. The rows are read in order, each row's inline before its
// crossline, so that a value that is no number or does not fit raises the error writeSegy would
// for the first offending row.
struct WrittenLines {
    py::array_t<std::int32_t> il, xl;
};

WrittenLines lines_as_written(const py::dict &inlines, const py::dict &crosslines) {
    auto header = [](const char *field, const char *axis) {
        const dcore::segy::HeaderField *f = dcore::segy::find_field(dcore::segy::TRACE_FIELDS, field);
        if (!f || f->bytes != 4 || !f->is_signed) throw std::logic_error(std::string("no 4-byte signed field ") + field);
        return dorar::HeaderValues(*f, [axis](long long t) {
            return std::string("write_segy: the ") + axis + " number of row " + std::to_string(t) +
                   " of the cube's get_traces_ln";
        });
    };
    const dorar::HeaderValues il_field = header("Inline3D", "inline"), xl_field = header("Crossline3D", "crossline");
    const std::vector<py::object> il_values = values_of(inlines), xl_values = values_of(crosslines);
    const auto n = static_cast<py::ssize_t>(il_values.size());
    WrittenLines out{py::array_t<std::int32_t>(n), py::array_t<std::int32_t>(n)};
    std::int32_t *il = out.il.mutable_data(), *xl = out.xl.mutable_data();
    for (std::size_t t = 0; t < il_values.size(); ++t) {
        let_signals_in(t);
        const auto row = static_cast<long long>(t);
        il[t] = static_cast<std::int32_t>(il_field.written(row, il_values[t].ptr()));
        xl[t] = static_cast<std::int32_t>(xl_field.written(row, xl_values[t].ptr()));
    }
    return out;
}

// The lattice load_cube finds on one axis of written line numbers, FRST the smallest and NCRT the
// step to the next, but `count` lines long: the property's count rather than the numbers'.
dcore::LineLattice written_lattice(const py::array_t<std::int32_t> &numbers, std::size_t count) {
    dcore::DistinctSummary<std::int32_t> s;
    {
        dorar::ReleasedGil nogil;
        s = dcore::summarize_distinct(numbers.data(), static_cast<std::size_t>(numbers.size()));
    }
    const std::int64_t step = s.count > 1 ? std::int64_t{s.second} - s.first : 0;
    return {s.first, step, count};
}

// The line numbers as written, trace t's in row t, must load back as the property: load_cube lays
// each axis out as FRST + k x NCRT for k below the count of distinct numbers and puts every trace
// in the cell its numbers name, one trace a cell, every cell filled. Checked here with the
// property's NIL and NXL as the counts, the rows pass exactly when they load back as NIL inlines x
// NXL crosslines, in any order. A number off the lattice (unevenly spaced, or more numbers than
// lines) names its row; two rows in one cell (fewer numbers than lines among them) name both.
void require_loadable(const py::array_t<std::int32_t> &il, const py::array_t<std::int32_t> &xl,
                      const TraceGrid &grid) {
    const dcore::LineLattice lattices[2] = {written_lattice(il, grid.n_il), written_lattice(xl, grid.n_xl)};
    placed_on_grid(il, xl, grid.n_il, grid.n_xl, lattices,
                   {"row", "write_segy: rows 0 to " + std::to_string(grid.traces() - 1) +
                               " of the cube's get_traces_ln, as written (rounded to whole numbers), do not form "
                               "the property's " + std::to_string(grid.n_il) + " inlines x " +
                               std::to_string(grid.n_xl) + " crosslines: "});
}

// The textual header: "Dorar" and blanks without a source file, else the first 40 lines of the
// open file `source`, each cut or padded to 80 characters.
py::object textual_header(const py::object &source) {
    if (!source) return py::str("Dorar") + py::str(std::string(3195, ' '));
    py::list lines;
    int count = 0;
    for (py::handle raw : source) {
        if (++count == 41) {
            dorar::print("Lines after 40th will be ignored.");
            break;
        }
        py::object line = raw.attr("strip")("\n");
        if (py::len(line) > 80) {
            dorar::print("Line longer than 80 will be cut.");
            line = line[py::slice(0, 80, 1)];
        } else {
            line = line.attr("ljust")(80);
        }
        lines.append(line);
    }
    return py::str("").attr("join")(lines);
}

py::object write_segy(const Globals &g, const py::object &cube, const py::object &outfn, py::object prop_name,
                      const py::object &stfhfn) {
    py::object np = g("np");
    dorar::print("Info of the Segy to be written:");
    if (prop_name.is_none()) {
        if (cube.attr("current_property").is_none()) cube.attr("set_current_property")();
        prop_name = cube.attr("current_property");
    }
    py::object array3d = cube.attr("prop")[prop_name][py::str("array3d")];
    dorar::print("Data min value =", np.attr("min")(array3d));
    dorar::print("Data max value =", np.attr("max")(array3d));
    dorar::print("Data array shape =", array3d.attr("shape"));
    dorar::print("Array data type =", array3d.attr("dtype"));

    py::object datetime = g("datetime");
    py::object start = datetime.attr("now")();
    dorar::print("$$Write Segy Start @", start);

    auto shape = unpack(array3d.attr("shape"), 3);
    const py::object &n_il = shape[0], &n_xl = shape[1], &n_dp = shape[2];
    const TraceGrid grid{n_il.cast<std::size_t>(), n_xl.cast<std::size_t>()};

    py::object array2d = sample_matrix(g, array3d, n_il, n_xl, n_dp);
    py::object dp_ncrt = cube.attr("dict_vidx")[py::str("DP_NCRT")];
    py::object dt = dp_ncrt * py::int_(1000);
    py::object ln = cube.attr("get_traces_ln")();
    py::object xy = cube.attr("get_traces_xy")();

    // Only the first rows, one a trace, are written; line numbers that would not load back as the
    // property are refused while nothing has been written.
    const py::dict inlines = per_trace(ln, 0, grid, "get_traces_ln");
    const py::dict crosslines = per_trace(ln, 1, grid, "get_traces_ln");
    const WrittenLines lines = lines_as_written(inlines, crosslines);
    require_loadable(lines.il, lines.xl, grid);
    py::object sth = g("collections").attr("OrderedDict")();
    sth["cdpX"] = per_trace(xy, 0, grid, "get_traces_xy");
    sth["cdpY"] = per_trace(xy, 1, grid, "get_traces_xy");
    sth["Inline3D"] = inlines;
    sth["Crossline3D"] = crosslines;
    py::dict sequence, scalar;
    py::int_ one(1);
    for (std::size_t t = 0; t < grid.traces(); ++t) {
        let_signals_in(t);
        py::int_ key(t);
        sequence[key] = py::int_(t % grid.n_xl + 1);
        scalar[key] = one;
    }
    sth["TraceSequenceLine"] = sequence;
    sth["SourceGroupScalar"] = scalar;

    // The textual header's source file stays open until the rest of the call is done, and is
    // closed however it ends.
    py::object source;
    if (!stfhfn.is_none()) source = g("open")(stfhfn);
    auto write_file = [&] {
        const py::object text = textual_header(source);
        g("segypy").attr("writeSegy")(outfn, array2d, dt, text, sth);

        py::object end = datetime.attr("now")();
        dorar::print("$$Write Segy Ended @", end);
        dorar::print("Time Used is", end - start);
    };
    if (source)
        dorar::closing(source, write_file);
    else
        write_file();
    return none();
}

}  // namespace

DORAR_MODULE(segy, m) {
    dorar::import_as(m, "os", "os");
    dorar::import_as(m, "collections", "collections");
    dorar::from_import(m, "datetime", {"datetime"});
    dorar::import_as(m, "numpy", "np");
    dorar::from_import(m, "dorar.utils.convert_parms", {"get_vxyz_of_grid_index", "get_parm_of_grid_index"});
    m.attr("lib") = py::str("data_io/segy");

    Globals g(m);
    py::object globals = m.attr("__dict__");

    // The SEG-Y engine is only imported when the environment asks for it, once, at load.
    if (g("os").attr("environ").attr("get")(g("lib")).equal(py::str("True"))) {
        dorar::print("Loading ext:", g("lib"));
        dorar::from_import(m, "segypy", {"segypy"});
    } else {
        dorar::print("WARNING: Segy module is not enabled");
    }

    dorar::def(
        m, "load_cube",
        [g, globals](py::object fufn, py::object survey, py::object object_name) {
            return load_cube(g, globals, fufn, survey, std::move(object_name));
        },
        LOAD_CUBE_DOC, py::arg("fufn"), py::arg("survey"), py::arg("object_name") = py::none());
    dorar::def(
        m, "read_segy",
        [g](py::object cube, py::object segyfn, py::object survey, py::object hdr, py::kwargs kwargs) {
            read_segy(g, cube, segyfn, survey, hdr, kwargs);
        },
        READ_SEGY_DOC, py::arg("cube"), py::arg("segyfn"), py::arg("survey") = py::none(),
        py::arg("hdr") = py::none());
    dorar::def(
        m, "write_segy",
        [g](py::object cube, py::object outfn, py::object prop_name, py::object stfhfn) {
            return write_segy(g, cube, outfn, std::move(prop_name), stfhfn);
        },
        WRITE_SEGY_DOC, py::arg("cube"), py::arg("outfn"), py::arg("prop_name") = py::none(),
        py::arg("stfhfn") = py::none());
    dorar::def(
        m, "get_cube_from_sth",
        [g, globals](py::object headers, py::object survey, py::kwargs kwargs) {
            return get_cube_from_sth(g, globals, headers, std::move(survey), kwargs);
        },
        GET_CUBE_FROM_STH_DOC, py::arg("headers"), py::arg("survey") = py::none());
}
