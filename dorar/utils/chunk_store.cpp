// dorar.utils.chunk_store: an array cut along its first axis into chunks that each fit one
// database value, and a stand-alone round trip through an SQLite table.
#include <dorar/pymod.hpp>
#include <dorar/raise.hpp>
#include <dorar/signal_check.hpp>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <utility>

#include <unistd.h>

#include "chunk_plan.hpp"

namespace py = pybind11;
using dorar::Globals;

namespace {

const char *CHUNK_STORE_DOC =
    "Split an array along its first axis into chunks of at most byteLimit bytes each.\n"
    "\n"
    "Args:\n"
    "    array: numpy array of at least one dimension\n"
    "    byteLimit: number, the largest byte count of one chunk (one row must fit into it)\n"
    "\n"
    "Returns:\n"
    "    list of arrays, in row order; views of the input when it reaches the limit, else\n"
    "    the input itself as the only element\n";

const char *MAIN_DOC =
    "Round trip of array chunks through the SQLite table 'test' of the file test.db.\n";

const char *CREATE_TABLE =
    "CREATE TABLE IF NOT EXISTS test (object_name TEXT, prop_name TEXT,         chunkID INTEGER, arr ARRAY, "
    "PRIMARY KEY (object_name, prop_name, chunkID))";
const char *DELETE_ROWS = "DELETE FROM test WHERE object_name = ? AND prop_name = ?";
const char *INSERT_ROWS = "INSERT INTO test VALUES (?,?,?,?)";
const char *SELECT_ROWS =
    "SELECT chunkID, arr FROM test                 WHERE object_name = ? AND prop_name = ? ORDER BY chunkID";

using dorar::raise;

// Whether `assert` statements run: not under -O (sys.flags.optimize, read without an import).
bool assertions_enabled() {
    PyObject *flags = PySys_GetObject("flags");
    if (!flags) raise(PyExc_RuntimeError, "lost sys.flags");
    return py::reinterpret_borrow<py::object>(flags).attr("optimize").cast<long>() == 0;
}

std::int64_t as_int64(const py::object &v) {
    py::object i = py::reinterpret_steal<py::object>(PyNumber_Index(v.ptr()));
    if (!i) throw py::error_already_set();
    const long long n = PyLong_AsLongLong(i.ptr());  // OverflowError beyond 64 bits
    if (n == -1 && PyErr_Occurred()) throw py::error_already_set();
    return n;
}

// The chunks this process can hold: each is a numpy view (with its shape and strides) and an entry
// in the split points, the result and the two size lists, a few hundred bytes in all.
std::int64_t chunk_capacity() {
    constexpr std::int64_t kBytesPerChunk = 512;
    const long pages = sysconf(_SC_PHYS_PAGES), page = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || page <= 0) return INT64_MAX;
    return static_cast<std::int64_t>(pages) / kBytesPerChunk * page;
}

// Rows per chunk for a limit that is not a whole number, by the split rule on the limit's own
// arithmetic (%, true division, int()): a Decimal, a Fraction or a long double is not rounded to a
// double on the way. Gives 0 when one row does not fit; refuses a rule whose chunks would exceed
// the limit, which a real quotient rounded beyond 2^53 bytes can give.
std::int64_t rows_per_chunk(std::int64_t size, std::int64_t byte, const py::object &byteLimit) {
    const py::int_ n(size), b(byte);
    const std::int64_t row_bytes = size > 0 ? byte / size : 0;
    if (!(py::int_(row_bytes) <= byteLimit)) return 0;
    auto checked = [](PyObject *result) {
        if (!result) throw py::error_already_set();
        return py::reinterpret_steal<py::object>(result);
    };
    auto int_of = [&](PyObject *result) { return checked(PyNumber_Long(checked(result).ptr())); };
    const bool exact = checked(PyNumber_Remainder(b.ptr(), byteLimit.ptr())).equal(py::int_(0));
    py::object nsplit = int_of(PyNumber_TrueDivide(b.ptr(), byteLimit.ptr()));
    if (!exact) nsplit = nsplit + py::int_(1);
    const py::object nvCellSize = int_of(PyNumber_TrueDivide(n.ptr(), nsplit.ptr()));

    auto refuse = [&](const char *text, const py::object &value) {
        raise(PyExc_ZeroDivisionError, py::str(text).attr("format")(n, row_bytes, byteLimit, value));
    };
    if (nvCellSize < py::int_(1))
        refuse("the split of {} rows of {} bytes under the byte limit of {} makes {} chunks, more than there are rows",
               nsplit);
    const std::int64_t rows = nvCellSize >= n ? size : nvCellSize.cast<std::int64_t>();
    if (!(py::int_(rows * row_bytes) <= byteLimit))
        refuse("the split of {} rows of {} bytes under the byte limit of {} makes chunks of {} bytes, above the limit",
               py::int_(rows * row_bytes));
    return rows;
}

// The cut of an array that reached the limit; the limit is checked here (byte >= byteLimit).
dcore::ChunkPlan plan_for(std::int64_t size, std::int64_t byte, const py::object &byteLimit) {
    const std::int64_t max_chunks = chunk_capacity();
    auto refuse = [&](PyObject *type) {
        raise(type, py::str("byteLimit must be a positive number of bytes, got {!r}").attr("format")(byteLimit));
    };
    try {
        if (PyIndex_Check(byteLimit.ptr())) {
            py::object limit = py::reinterpret_steal<py::object>(PyNumber_Index(byteLimit.ptr()));
            if (!limit) throw py::error_already_set();
            if (limit.equal(py::int_(0))) refuse(PyExc_ZeroDivisionError);
            if (limit < py::int_(0)) refuse(PyExc_ValueError);
            // Only a comparison that lies lets a limit above the bytes get here: the rule then makes
            // one chunk, as a limit of the bytes themselves does.
            const std::int64_t lim =
                limit > py::int_(byte) ? std::max<std::int64_t>(byte, 1) : limit.cast<std::int64_t>();
            dorar::ReleasedGil nogil;
            return dcore::plan_chunks(size, byte, lim, max_chunks);
        }
        if (byteLimit.equal(py::int_(0))) refuse(PyExc_ZeroDivisionError);
        if (!(byteLimit > py::int_(0))) refuse(PyExc_ValueError);
        const std::int64_t rows = rows_per_chunk(size, byte, byteLimit);
        const std::string limit = py::str(byteLimit);
        dorar::ReleasedGil nogil;
        return dcore::plan_runs(size, byte, rows, limit, max_chunks);
    } catch (const dcore::RowTooLarge &e) {
        // No chunk can hold even one row.
        raise(PyExc_ZeroDivisionError, e.what());
    } catch (const dcore::TooManyChunks &e) {
        raise(PyExc_MemoryError, e.what());
    }
}

// A limit that is not a number compares below every byte count; it must not pass as "no split".
void refuse_nan(const py::object &byteLimit) {
    if (PyIndex_Check(byteLimit.ptr())) return;
    PyObject *f = PyNumber_Float(byteLimit.ptr());
    if (!f) {
        PyErr_Clear();
        return;
    }
    if (std::isnan(py::reinterpret_steal<py::float_>(f).cast<double>()))
        raise(PyExc_ValueError, py::str("byteLimit must be a positive number of bytes, got {!r}").attr("format")(byteLimit));
}

py::object chunk_store(const Globals &g, const py::object &array, const py::object &byteLimit) {
    py::object size = array.attr("shape")[py::int_(0)];
    py::object byte = array.attr("nbytes");

    const int reached = PyObject_RichCompareBool(byte.ptr(), byteLimit.ptr(), Py_GE);
    if (reached < 0) throw py::error_already_set();

    py::list chunks;
    if (reached) {
        // The length, then the byte count, as the split takes them: in two statements, since the
        // arguments of one call are taken in no fixed order.
        const std::int64_t rows = as_int64(size);
        const std::int64_t bytes = as_int64(byte);
        dcore::ChunkPlan plan = plan_for(rows, bytes, byteLimit);
        py::list splitIndex;
        for (std::int64_t i : plan.split_index) splitIndex.append(py::int_(i));
        // numpy's split gives views: nothing is copied.
        chunks = py::list(g("np").attr("split")(array, splitIndex));
    } else {
        refuse_nan(byteLimit);
        chunks.append(array);
    }

    py::list cellSize, cellByte;
    for (const auto &c : chunks) {
        cellSize.append(c.attr("shape")[py::int_(0)]);
        cellByte.append(c.attr("nbytes"));
    }
    if (assertions_enabled()) {
        py::object sum = g("sum");
        if (!sum(cellSize).equal(size)) raise(PyExc_AssertionError, "Lost element in split");
        if (!sum(cellByte).equal(byte)) raise(PyExc_AssertionError, "Lost byte in split");
    }

    if (reached) {
        const std::pair<const char *, py::object> notes[4] = {{"input array size = {}", size},
                                                              {"input array bytes = {}", byte},
                                                              {"output arrays size = {}", cellSize},
                                                              {"output arrays bytes = {}", cellByte}};
        for (const auto &note : notes) g("logger").attr("info")(py::str(note.first).attr("format")(note.second));
    }
    return std::move(chunks);
}

void main_program(const py::module_ &m, const Globals &g) {
    py::object sqlite3 = py::module_::import("sqlite3");
    // from dorar.utils.sqlite_array import adapt_array, convert_array
    py::object adapt_array = dorar::import_name("dorar.utils.sqlite_array", "adapt_array", m.attr("__dict__"));
    py::object convert_array = dorar::import_name("dorar.utils.sqlite_array", "convert_array", m.attr("__dict__"));
    py::object np = g("np");
    sqlite3.attr("register_adapter")(np.attr("ndarray"), adapt_array);
    sqlite3.attr("register_converter")("ARRAY", convert_array);

    py::int_ SQLITE_LIMIT_LENGTH(30);
    dorar::print("array byte limit =", SQLITE_LIMIT_LENGTH);

    py::object array = np.attr("arange")(12, py::arg("dtype") = "float32");
    py::list chunks = g("chunk_store")(array, SQLITE_LIMIT_LENGTH);

    py::list rows;
    for (std::size_t i = 0; i < chunks.size(); ++i)
        rows.append(py::make_tuple("mypoint", "vint", i + 1, chunks[i]));

    // The chunks of one property replace whatever an earlier run stored for it, in one
    // transaction: either all new rows are kept or the old ones stay.
    py::object con = sqlite3.attr("connect")("test.db", py::arg("detect_types") = sqlite3.attr("PARSE_DECLTYPES"));
    py::object data;
    // Closing after a failure drops the uncommitted transaction.
    dorar::closing(con, [&] {
        py::object cur = con.attr("cursor")();
        cur.attr("execute")(CREATE_TABLE);
        cur.attr("execute")(DELETE_ROWS, py::make_tuple("mypoint", "vint"));
        cur.attr("executemany")(INSERT_ROWS, rows);
        con.attr("commit")();
        cur.attr("execute")(SELECT_ROWS, py::make_tuple("mypoint", "vint"));
        data = cur.attr("fetchall")();
    });

    dorar::print("fetch data type =", dorar::builtin("type")(data));
    dorar::print("fetch data length =", py::len(data));

    if (assertions_enabled()) {
        std::size_t i = 0;
        for (const auto &row : data) {
            if (!py::object(row[py::int_(0)]).equal(py::int_(i + 1)))
                raise(PyExc_AssertionError, "Chunk order is wrong");
            ++i;
        }
    }
    py::list arrays;
    for (const auto &row : data) arrays.append(row[py::int_(1)]);
    py::object joined = np.attr("concatenate")(arrays);

    dorar::print("retrieved array shape =", joined.attr("shape"));
    dorar::print("retrieved array dtype =", joined.attr("dtype"));
    dorar::print("retrieved array =", joined);
}

}  // namespace

DORAR_MODULE(chunk_store, m) {
    dorar::import_as(m, "numpy", "np");
    dorar::from_import(m, "dorar.utils.logger", {"logger"});
    Globals g(m);
    dorar::def(
        m, "chunk_store", [g](py::object array, py::object byteLimit) { return chunk_store(g, array, byteLimit); },
        CHUNK_STORE_DOC, py::arg("array"), py::arg("byteLimit"));
    dorar::def(
        m, "main", [m, g]() { main_program(m, g); }, MAIN_DOC);

    if (dorar::is_main(m)) g("main")();
}
