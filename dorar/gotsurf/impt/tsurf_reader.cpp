// dorar.gotsurf.impt.tsurf_reader: reads a Gocad TSurf ASCII file into a new Tsurface.
//
// The file is opened and decoded by the interpreter's own open() (default encoding, universal line
// ends); the decoded text is parsed chunk by chunk by dcore::tsurf::Reader with the GIL released. Tokens
// that only the interpreter can judge (non-ASCII digits, digit-group underscores) are handed to its
// float() and int(), so every value is accepted or rejected exactly as float()/int() would.
//
// Triangles name their corners by vertex id. Ids are joined to vertex rows through the ids that the
// vertex lines (and ATOM lines) of the same surface carry, so files whose ids do not run 1, 2, 3, ...
// in file order, that reuse vertexes through ATOM lines, or that hold several surfaces, keep their
// triangles on the right vertexes; a triangle naming an id that its surface lacks is an error.
#include <dorar/pymod.hpp>
#include <dorar/raise.hpp>
#include <dorar/signal_check.hpp>

#include <tsurf_parse.hpp>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

namespace py = pybind11;
using dorar::Globals;
using dorar::raise;
using dcore::tsurf::Number;

namespace {

const char *LOAD_DOC =
    "Load Gocad tsurf.\n"
    "\n"
    "    Parameters\n"
    "    ----------\n"
    "    fufn : str\n"
    "        full-path filename\n"
    "    object_name : str, optional\n"
    "        name of the new object; by default the file name without its extension\n"
    "    columns : str, optional\n"
    "        the column number and name of each entry, entries separated by \";\",\n"
    "        for instance \"3,X;4,Y;5,Z\" (the default): token 1 is the keyword\n"
    "\n"
    "    Returns\n"
    "    -------\n"
    "    dob : Tsurface\n"
    "        a tsurface object\n"
    "    ";

const char *READ_DOC =
    "Read Gocad tsurface file.\n"
    "\n"
    "    Parameters\n"
    "    ----------\n"
    "    fufn : str\n"
    "        full-path filename\n"
    "    columns : str, optional\n"
    "        the column number and name of each entry, entries separated by \";\",\n"
    "        for instance \"3,X;4,Y;5,Z\" (the default): token 1 is the keyword\n"
    "\n"
    "    Returns\n"
    "    -------\n"
    "    prop_names : list of str\n"
    "        the m property names, in column order\n"
    "    vertexes : numpy.ndarray of float32, shape (n, m)\n"
    "        one row per vertex line, one column per entry; shape (0,) without vertex lines\n"
    "    triangles : numpy.ndarray of int32, shape (t, 3)\n"
    "        one row per triangle line: the 0-based rows of its three vertexes; shape (0,)\n"
    "        without triangle lines\n"
    "    ";

const char *DEFAULT_COLUMNS = "3,X;4,Y;5,Z";

// Characters of decoded text handed to the parser at a time.
const long CHUNK = 1 << 20;

struct Columns {
    py::list names;
    std::vector<std::int64_t> positions;
    std::vector<std::string> labels;
    std::vector<std::string> position_texts;
};

// The UTF-8 text of a column name for messages; a name that is no valid text (a lone surrogate)
// is refused here, before the file is opened.
std::string name_label(const py::object &entry, const py::object &name) {
    py::str text = dorar::str_of(name);
    Py_ssize_t size = 0;
    const char *utf8 = PyUnicode_AsUTF8AndSize(text.ptr(), &size);
    if (utf8) return std::string(utf8, static_cast<std::size_t>(size));
    if (!PyErr_ExceptionMatches(PyExc_UnicodeEncodeError)) throw py::error_already_set();
    PyErr_Clear();
    raise(PyExc_ValueError, py::str("column entry {!r}: the name {!r} is not valid text (it holds a lone surrogate)")
                                .format(entry, name));
}

// "pos,name;pos,name;...": white space around entries, positions and names ignored; parts after
// a second "," ignored; positions count from 1, the keyword being 1.
Columns parse_columns(const Globals &g, const py::object &columns) {
    Columns out;
    py::object text = columns.is_none() ? py::object(py::str(DEFAULT_COLUMNS)) : columns;
    for (py::handle part : text.attr("split")(";")) {
        py::object entry = part.attr("strip")();
        py::object parts = entry.attr("split")(",");
        py::object pos;
        try {
            pos = g("int")(parts[py::int_(0)]);
        } catch (py::error_already_set &e) {
            if (!e.matches(PyExc_ValueError)) throw;
            raise(PyExc_ValueError,
                  py::str("column entry {!r}: the position {!r} is not an integer").format(entry, parts[py::int_(0)]));
        }
        if (py::len(parts) < 2)
            raise(PyExc_IndexError,
                  py::str("column entry {!r} has no ',' between its position and its name").format(entry));
        py::object name = parts[py::int_(1)].attr("strip")();
        int overflow = 0;
        long long p = PyLong_AsLongLongAndOverflow(pos.ptr(), &overflow);
        if (overflow) p = overflow > 0 ? LLONG_MAX : LLONG_MIN;
        if (p < 1)
            raise(PyExc_ValueError,
                  py::str("column entry {!r}: the position must be 1 or more (the keyword is token 1)").format(entry));
        out.labels.push_back(name_label(entry, name));
        out.names.append(name);
        out.positions.push_back(p);
        out.position_texts.push_back(dorar::str_of(pos).cast<std::string>());
    }
    return out;
}

// Reads the whole file through the parser; IndexError at a vertex line that lacks a token.
void read_text(const Globals &g, const py::object &fufn, dcore::tsurf::Reader &reader) {
    py::object f = g("open")(fufn, "r");
    dorar::closing(f, [&] {
        py::object read = f.attr("read");
        for (;;) {
            py::object chunk = read(CHUNK);
            Py_ssize_t size = 0;
            const char *text = PyUnicode_AsUTF8AndSize(chunk.ptr(), &size);
            if (!text) throw py::error_already_set();
            bool ok;
            {
                dorar::ReleasedGil nogil;
                ok = size > 0 ? reader.feed(text, static_cast<std::size_t>(size)) : reader.finish();
            }
            if (!ok) raise(PyExc_IndexError, reader.short_line.message);
            if (PyErr_CheckSignals() != 0) throw py::error_already_set();  // Ctrl-C between chunks
            if (size == 0) break;
        }
    });
}

// float() and int() of the interpreter on the tokens that the parser left to it.
void settle_pending(const Globals &g, dcore::tsurf::Reader &reader) {
    py::object to_float = g("float"), to_int = g("int");
    for (std::size_t i = 0; i < reader.pending_reals.size(); ++i) {
        py::str token(reader.pending_reals[i].token);
        try {
            reader.settle_real(i, true, to_float(token).cast<double>());
        } catch (py::error_already_set &e) {
            if (!e.matches(PyExc_ValueError)) throw;
            reader.settle_real(i, false, 0.0);
        }
    }
    for (std::size_t i = 0; i < reader.pending_ids.size(); ++i) {
        py::str token(reader.pending_ids[i].token);
        py::object value;
        try {
            value = to_int(token);
        } catch (py::error_already_set &e) {
            if (!e.matches(PyExc_ValueError)) throw;
            reader.settle_id(i, Number::Invalid, 0);
            continue;
        }
        int overflow = 0;
        long long v = PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
        reader.settle_id(i, overflow ? Number::OutOfRange : Number::Ok, overflow ? 0 : v);
    }
}

py::tuple read_gocad_tsurf(const Globals &g, const py::object &fufn, const py::object &columns) {
    Columns cols = parse_columns(g, columns);  // before the file is opened
    dcore::tsurf::Reader reader(cols.positions, cols.labels, cols.position_texts);
    read_text(g, fufn, reader);
    settle_pending(g, reader);
    if (reader.bad_value.set) raise(PyExc_ValueError, reader.bad_value.message);
    if (reader.bad_triangle.set) raise(PyExc_ValueError, reader.bad_triangle.message);
    bool joined;
    {
        dorar::ReleasedGil nogil;
        joined = reader.join_triangles();
    }
    if (!joined) raise(PyExc_ValueError, reader.bad_triangle.message);

    const auto n = static_cast<py::ssize_t>(reader.rows());
    const auto m = static_cast<py::ssize_t>(reader.columns());
    const auto t = static_cast<py::ssize_t>(reader.triangle_count());
    // A file without vertex (triangle) lines gives an empty one-dimensional array, shape (0,).
    auto shape = [](py::ssize_t rows, py::ssize_t columns) {
        return rows ? std::vector<py::ssize_t>{rows, columns} : std::vector<py::ssize_t>{0};
    };
    py::array_t<float> vertexes(shape(n, m));
    py::array_t<std::int32_t> triangles(shape(t, 3));
    if (n * m) std::memcpy(vertexes.mutable_data(), reader.values().data(), sizeof(float) * n * m);
    if (t) std::memcpy(triangles.mutable_data(), reader.triangles().data(), sizeof(std::int32_t) * t * 3);
    return py::make_tuple(cols.names, vertexes, triangles);
}

py::object load_gocad_tsurf(const Globals &g, const py::object &fufn, py::object object_name,
                            const py::object &columns) {
    py::object result = g("read_gocad_tsurf")(fufn, py::arg("columns") = columns);
    py::sequence parts = result;
    if (py::len(parts) != 3)
        raise(PyExc_ValueError, py::str("read_gocad_tsurf gave {} values, 3 were expected").format(py::len(parts)));
    py::object prop_names = parts[0], vertexes = parts[1], arrayTriangles = parts[2];

    if (object_name.is_none()) {
        py::object path = g("os").attr("path");
        object_name = path.attr("splitext")(path.attr("basename")(fufn))[py::int_(0)];
    }
    py::object dob = g("Tsurface")(object_name);
    dob.attr("set_vertexes")(vertexes);
    dob.attr("set_triangles")(py::arg("triangles") = arrayTriangles);
    dob.attr("init_property")(prop_names, vertexes);
    dob.attr("set_xyz_range")();
    return dob;
}

}  // namespace

DORAR_MODULE(tsurf_reader, m) {
    dorar::import_as(m, "os", "os");
    dorar::import_as(m, "numpy", "np");
    dorar::from_import(m, "dorar.gotsurf.surface", {"Tsurface"});
    Globals g(m);

    dorar::def(
        m, "load_gocad_tsurf",
        [g](py::object fufn, py::object object_name, py::object columns) {
            return load_gocad_tsurf(g, fufn, std::move(object_name), columns);
        },
        LOAD_DOC, py::arg("fufn"), py::arg("object_name") = py::none(), py::arg("columns") = py::none());
    dorar::def(
        m, "read_gocad_tsurf", [g](py::object fufn, py::object columns) { return read_gocad_tsurf(g, fufn, columns); },
        READ_DOC, py::arg("fufn"), py::arg("columns") = py::none());
}
