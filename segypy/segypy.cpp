// segypy.segypy: the SEG-Y engine. readSegy reads a file in pieces and decodes its traces and any trace-header
// fields the caller lays out; writeSegy writes a samples x traces matrix as IEEE big-endian SEG-Y.
#include <dorar/header_values.hpp>
#include <dorar/replaced_file.hpp>
#include <dorar/pymod.hpp>
#include <dorar/raise.hpp>
#include <dorar/signal_check.hpp>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "segy_fields.hpp"
#include "segy_format.hpp"

namespace py = pybind11;
namespace sg = dcore::segy;
using dorar::raise;
using dorar::as_real;
using dorar::NumberFault;
using dorar::repr_text;

namespace {

const char *READ_DOC =
    "Read a SEG-Y file.\n"
    "\n"
    "Args:\n"
    "    filename: path of the SEG-Y file\n"
    "    layout: dict, trace-header field name -> {'pos': 0-based byte offset in the 240-byte\n"
    "        trace header, 'type': numpy type name}\n"
    "    samples: keyword only; False reads the trace headers alone: nothing of the samples is\n"
    "        read or allocated, Data is None, SH and STH are those of a full read\n"
    "\n"
    "Returns:\n"
    "    Data: numpy array, traces x samples in file order (float32 for IBM and IEEE singles,\n"
    "        float64 for IEEE doubles, the matching integer type for the integer formats,\n"
    "        int32 and uint32 for the 3-byte ones); None where samples is False\n"
    "    SH: dict, the binary header fields and the facts of the file\n"
    "    STH: dict, field name -> 1-D native-endian array with one value per trace\n";

const char *WRITE_DOC =
    "Write a SEG-Y file of IEEE floats, big-endian.\n"
    "\n"
    "Args:\n"
    "    filename: path of the SEG-Y file to write\n"
    "    Data: numpy array, samples x traces; column t is trace t\n"
    "    dt: number, sample interval in microseconds\n"
    "    text_header: str, textual file header (EBCDIC, blank-padded to 3200 characters)\n"
    "    STHin: dict, trace-header field name -> per-trace values (dict by trace index,\n"
    "        sequence or array of one value a trace, or one number for every trace)\n";

// A file the caller named, with the label its messages begin with.
struct LabelledPath {
    py::object name;  // the path as str (or bytes) for messages and OSError
    std::string path; // file-system bytes
    std::string label;
};

LabelledPath labelled_path(const py::object &filename) {
    LabelledPath t;
    t.name = dorar::fspath(filename);
    t.path = dorar::file_system_path(t.name);
    t.label = "SEG-Y file " + py::repr(t.name).cast<std::string>();
    return t;
}

// ---- reading ----------------------------------------------------------------------------------

struct LayoutEntry {
    py::object name;
    sg::Field field;
    py::dtype dtype;
};

std::vector<LayoutEntry> parse_layout(const LabelledPath &tg, const py::object &layout) {
    if (!py::hasattr(layout, "items"))
        raise(PyExc_TypeError, tg.label + ": the layout must be a mapping of field name to {'pos', 'type'}, not " +
                                   py::str(layout.get_type().attr("__name__")).cast<std::string>());
    py::object np = dorar::bound("numpy");
    std::vector<LayoutEntry> out;
    for (py::handle item : layout.attr("items")()) {
        py::object name = py::reinterpret_borrow<py::object>(item[py::int_(0)]);
        py::object entry = py::reinterpret_borrow<py::object>(item[py::int_(1)]);
        const std::string what = tg.label + ": layout entry " + py::repr(name).cast<std::string>();
        if (!py::isinstance<py::str>(name)) raise(PyExc_TypeError, what + ": field names must be strings");
        if (!py::hasattr(entry, "__getitem__") || !py::hasattr(entry, "__contains__") ||
            !entry.attr("__contains__")("pos").cast<bool>() || !entry.attr("__contains__")("type").cast<bool>())
            raise(PyExc_ValueError, what + " must be a mapping with 'pos' and 'type'");
        py::object pos_obj = entry["pos"], type_obj = entry["type"];
        if (!PyIndex_Check(pos_obj.ptr()) || PyBool_Check(pos_obj.ptr()))
            raise(PyExc_TypeError, what + ": 'pos' must be an integer byte offset, not " +
                                       py::repr(pos_obj).cast<std::string>());
        py::int_ pos_int = py::reinterpret_steal<py::int_>(PyNumber_Index(pos_obj.ptr()));
        if (!pos_int) throw py::error_already_set();
        py::dtype dt;
        const std::string unknown = what + ": unknown type " + py::repr(type_obj).cast<std::string>();
        if (type_obj.is_none()) raise(PyExc_ValueError, unknown);  // numpy would take it as float64
        try {
            dt = py::reinterpret_steal<py::dtype>(np.attr("dtype")(type_obj).release());
        } catch (py::error_already_set &e) {
            // Only numpy's refusal of the name; an interrupt or a failure of memory goes on as it is.
            if (!e.matches(PyExc_TypeError) && !e.matches(PyExc_ValueError)) throw;
            raise(PyExc_ValueError, unknown);
        }
        const char kind = dt.kind();
        sg::Field f{0, kind == 'f' ? sg::Kind::real : kind == 'u' ? sg::Kind::uint : sg::Kind::sint,
                    static_cast<std::size_t>(dt.itemsize())};
        if (kind != 'i' && kind != 'u' && kind != 'f')
            raise(PyExc_ValueError, what + ": type " + py::repr(type_obj).cast<std::string>() +
                                        " is not an integer or floating type");
        std::string fault = sg::field_fault(f);
        if (fault.empty()) {
            long long pos = -1;
            int overflow = 0;
            pos = PyLong_AsLongLongAndOverflow(pos_int.ptr(), &overflow);
            if (overflow || pos < 0 || pos >= static_cast<long long>(sg::kTraceHeaderBytes)) {
                fault = "byte position " + py::str(pos_int).cast<std::string>() +
                        " lies outside the 240-byte trace header (positions 0 to 239)";
            } else {
                f.pos = static_cast<std::size_t>(pos);
                fault = sg::field_fault(f);
            }
        }
        if (!fault.empty())
            raise(PyExc_ValueError, what + " (pos " + py::str(pos_int).cast<std::string>() + ", type " +
                                        py::str(dt).cast<std::string>() + "): " + fault);
        // Native byte order whatever order the type name asked for: the file decides the order.
        std::string native = std::string(1, kind) + std::to_string(f.bytes);
        out.push_back({name, f, py::dtype(native)});
    }
    return out;
}

py::dict binary_info(const LabelledPath &tg, const sg::FileFacts &facts) {
    py::dict info;
    const unsigned char *bin = facts.head + sg::kTextBytes;
    for (const sg::HeaderField &n : sg::BINARY_FIELDS) {
        if (n.is_signed)
            info[n.name] = py::int_(sg::load_int(bin + n.pos, n.bytes, facts.big));
        else
            info[n.name] = py::int_(sg::load_uint(bin + n.pos, n.bytes, facts.big));
    }
    info["ns"] = py::int_(facts.ns);
    info["ntraces"] = py::int_(facts.ntraces);
    info["ByteOrder"] = py::str(facts.big ? "big" : "little");
    info["TextualHeaderEncoding"] = py::str(facts.ebcdic ? "EBCDIC" : "ASCII");
    py::bytes text(reinterpret_cast<const char *>(facts.head), sg::kTextBytes);
    info["TextualFileHeader"] = facts.ebcdic ? py::object(py::tuple(dorar::bound("cp037").attr("decode")(text))[0])
                                             : text.attr("decode")("latin-1");
    info["DataType"] = py::str(sg::sample_type_name(facts.format));
    info["filename"] = tg.name;
    info["filesize"] = py::int_(facts.size);
    return info;
}

// Raises the fault of a read that failed with the GIL released.
[[noreturn]] void raise_read_fault(const LabelledPath &tg, std::exception_ptr fault) {
    try {
        std::rethrow_exception(fault);
    } catch (const sg::FileShrank &e) {
        raise(PyExc_OSError, tg.label + ": " + e.what());
    } catch (const std::system_error &e) {
        dorar::raise_os_error(e.code().value(), tg.name);
    }
}

py::tuple read_samples_and_headers(py::object filename, py::object layout, py::object samples_wanted) {
    const int with_samples = PyObject_IsTrue(samples_wanted.ptr());
    if (with_samples < 0) throw py::error_already_set();
    LabelledPath tg = labelled_path(filename);
    std::vector<LayoutEntry> entries = parse_layout(tg, layout);

    // Opening and the header reads may wait on the disk: not while holding the GIL.
    std::unique_ptr<sg::InputFile> file;
    sg::FileFacts facts;
    std::string fault;
    std::exception_ptr read_fault;
    // Ctrl-C stops the search of a corrupt file for its end stanza and the read of the traces.
    dorar::SignalCheck signals;
    {
        dorar::ReleasedGil nogil;
        file.reset(new sg::InputFile(tg.path));
        if (!file->error() && file->regular()) {
            try {
                fault = sg::inspect_file(file->reader(), file->size(), &facts, signals.callback());
            } catch (const std::exception &) {
                read_fault = std::current_exception();
            }
        }
    }
    signals.raise_if_stopped();
    if (file->error()) dorar::raise_os_error(file->error(), tg.name);
    if (!file->regular()) raise(PyExc_ValueError, tg.label + ": not a regular file");
    if (read_fault) raise_read_fault(tg, read_fault);
    if (!fault.empty()) raise(PyExc_ValueError, tg.label + ": " + fault);

    // Every result array is made once, at its final size, and filled in place.
    py::object data = py::none();
    void *samples = nullptr;  // the headers alone
    if (with_samples) {
        py::array array(py::dtype(sg::sample_type_name(facts.format)),
                        std::vector<py::ssize_t>{static_cast<py::ssize_t>(facts.ntraces),
                                                 static_cast<py::ssize_t>(facts.ns)});
        samples = array.mutable_data();
        data = array;
    }
    std::vector<py::array> arrays;
    std::vector<sg::Field> fields;
    std::vector<void *> outs;
    for (auto &e : entries) {
        arrays.emplace_back(e.dtype, std::vector<py::ssize_t>{static_cast<py::ssize_t>(facts.ntraces)});
        fields.push_back(e.field);
        outs.push_back(arrays.back().mutable_data());
    }
    // A read of tens of gigabytes from a cold disk takes minutes: Ctrl-C stops it between pieces.
    {
        dorar::ReleasedGil nogil;
        try {
            sg::read_traces(file->reader(), facts, samples, fields.data(), outs.data(), fields.size(),
                            signals.callback());
        } catch (const std::exception &) {
            read_fault = std::current_exception();
        }
    }
    signals.raise_if_stopped();
    if (read_fault) raise_read_fault(tg, read_fault);
    // A signal that came after the last piece is the handler's to raise here: left pending, it
    // would surface from inside the textual header's decoding, wrapped by the codec machinery.
    if (PyErr_CheckSignals() != 0) throw py::error_already_set();
    py::dict headers;
    for (std::size_t i = 0; i < entries.size(); ++i) headers[entries[i].name] = arrays[i];
    return py::make_tuple(data, binary_info(tg, facts), headers);
}

// ---- writing ----------------------------------------------------------------------------------

bool elem_of(const py::dtype &dt, sg::Elem *out) {
    const py::object order = dt.attr("byteorder");
    const std::string bo = py::str(order).cast<std::string>();
    if (bo == ">" || (bo == "<" && sg::kHostBig)) return false;
    const char k = dt.kind();
    const auto n = dt.itemsize();
    if (k == 'f' && n == 4) *out = sg::Elem::f32;
    else if (k == 'f' && n == 8) *out = sg::Elem::f64;
    else if (k == 'i' && n == 1) *out = sg::Elem::i8;
    else if (k == 'i' && n == 2) *out = sg::Elem::i16;
    else if (k == 'i' && n == 4) *out = sg::Elem::i32;
    else if (k == 'i' && n == 8) *out = sg::Elem::i64;
    else if (k == 'u' && n == 1) *out = sg::Elem::u8;
    else if (k == 'u' && n == 2) *out = sg::Elem::u16;
    else if (k == 'u' && n == 4) *out = sg::Elem::u32;
    else if (k == 'u' && n == 8) *out = sg::Elem::u64;
    else return false;
    return true;
}

// The per-trace values of one trace-header entry as reals, one a trace: a dict by trace index,
// a sequence or array of one number a trace, or one number for every trace. A value's __float__
// may change the dict or drop the last other reference to a value, so every value is held by a
// reference of our own while it is read.
std::vector<double> trace_values(const dorar::HeaderValues &field, const py::object &values, std::size_t ntraces) {
    py::object np = dorar::bound("numpy");
    const std::string what = field.where(-1);
    std::vector<double> out(ntraces);
    if (PyDict_Check(values.ptr())) {
        // Quick way: exactly one plain integer key for each trace index covers every trace. The
        // values are taken first, without running any Python code, then read.
        if (static_cast<std::size_t>(PyDict_Size(values.ptr())) == ntraces) {
            std::vector<py::object> held(ntraces);
            Py_ssize_t it = 0;
            PyObject *k, *v;
            bool covered = true;
            while (covered && PyDict_Next(values.ptr(), &it, &k, &v)) {
                int overflow = 0;
                const long long t = PyLong_CheckExact(k) ? PyLong_AsLongLongAndOverflow(k, &overflow) : -1;
                covered = !overflow && t >= 0 && static_cast<std::size_t>(t) < ntraces;
                if (covered) held[static_cast<std::size_t>(t)] = py::reinterpret_borrow<py::object>(v);
            }
            if (covered) {
                for (std::size_t t = 0; t < ntraces; ++t) {
                    out[t] = field.real(static_cast<long long>(t), held[t].ptr());
                    if (static_cast<std::size_t>(PyDict_Size(values.ptr())) != ntraces)
                        raise(PyExc_RuntimeError, what + " changed size while its values were read");
                }
                return out;
            }
        }
        for (std::size_t t = 0; t < ntraces; ++t) {
            py::int_ key(t);
            PyObject *found = PyDict_GetItemWithError(values.ptr(), key.ptr());
            if (!found) {
                if (PyErr_Occurred()) throw py::error_already_set();
                raise(PyExc_ValueError, what + " has no value for trace " + std::to_string(t));
            }
            const py::object v = py::reinterpret_borrow<py::object>(found);
            out[t] = field.real(static_cast<long long>(t), v.ptr());
        }
        return out;
    }
    py::array arr;
    try {
        arr = np.attr("asarray")(values);
    } catch (py::error_already_set &e) {
        if (!e.matches(PyExc_ValueError) && !e.matches(PyExc_TypeError)) throw;
        raise(PyExc_TypeError, what + " must be a number or an array of numbers, one a trace: " +
                                   dorar::str_of(e.value()).cast<std::string>());
    }
    const char kind = arr.dtype().kind();
    if (arr.ndim() == 0) {  // one value for every trace
        const py::object v = arr.attr("item")();
        std::fill(out.begin(), out.end(), field.real(-1, v.ptr()));
        return out;
    }
    if (arr.ndim() != 1)
        raise(PyExc_ValueError, what + " must be an array of one number a trace, not of shape " +
                                    py::str(arr.attr("shape")).cast<std::string>());
    if (static_cast<std::size_t>(arr.shape(0)) != ntraces)
        raise(PyExc_ValueError, what + " holds " + std::to_string(arr.shape(0)) + " values for " +
                                    std::to_string(ntraces) + " traces");
    if (kind == 'O') {  // Python numbers of any size or kind: each is read as one value is
        for (std::size_t t = 0; t < ntraces; ++t) {
            const py::object v = arr.attr("__getitem__")(t);
            out[t] = field.real(static_cast<long long>(t), v.ptr());
        }
        return out;
    }
    if (kind != 'b' && kind != 'i' && kind != 'u' && kind != 'f')
        raise(PyExc_TypeError, what + " must be integer or real numbers, not " + py::str(arr.dtype()).cast<std::string>());
    // Native doubles, held for as long as they are read.
    const py::array_t<double> reals = arr.attr("astype")(np.attr("float64"));
    const auto r = reals.unchecked<1>();
    for (std::size_t t = 0; t < ntraces; ++t) out[t] = r(static_cast<py::ssize_t>(t));
    return out;
}

// The file header and the traces one piece after the other, for a FIFO or a device that takes
// no positioned writes; `stop` is asked between pieces.
int stream_traces(dcore::FileReplacement &out, const unsigned char *file_header, const sg::SampleMatrix &m,
                  const sg::Column *cols, std::size_t ncols, std::uint16_t dt, const dcore::ShouldStop &stop) {
    int err = out.write(file_header, sg::kFileHeaderBytes, stop);
    const std::size_t tb = sg::kTraceHeaderBytes + 4 * m.ns;
    const std::size_t piece = std::max<std::size_t>(1, (4u << 20) / tb);
    std::vector<unsigned char> buf(std::min(piece, m.ntraces) * tb);
    dcore::StopPoll poll(stop);
    for (std::size_t p = 0; !err && p < m.ntraces && !poll(); p += piece) {
        const std::size_t q = std::min(m.ntraces, p + piece);
        sg::pack_traces(m, p, q, cols, ncols, dt, buf.data());
        err = out.write(buf.data(), (q - p) * tb, stop);
    }
    return err;
}

void write_ieee_segy(py::object filename, py::object array2d, py::object dt, py::object text_header,
                     py::object trace_headers) {
    LabelledPath tg = labelled_path(filename);
    py::object np = dorar::bound("numpy");

    py::array arr = np.attr("asarray")(array2d);
    if (arr.ndim() != 2)
        raise(PyExc_ValueError, tg.label + ": the samples must be a two-dimensional array (samples x traces), not " +
                                    std::to_string(arr.ndim()) + "-dimensional");
    // Only numbers become IEEE samples: a complex value would lose its imaginary part and an
    // object or text array would be parsed or turn into NaNs.
    const char kind = arr.dtype().kind();
    if (kind != 'b' && kind != 'i' && kind != 'u' && kind != 'f')
        raise(PyExc_TypeError, tg.label + ": the samples must be integer or real numbers, not " +
                                   py::str(arr.dtype()).cast<std::string>());
    sg::Elem elem;
    if (!elem_of(arr.dtype(), &elem)) {
        arr = arr.attr("astype")(np.attr("float32"));
        elem = sg::Elem::f32;
    }
    const auto ns = static_cast<std::size_t>(arr.shape(0)), ntraces = static_cast<std::size_t>(arr.shape(1));
    if (ns == 0 || ns > 65535)
        raise(PyExc_ValueError, tg.label + ": " + std::to_string(ns) +
                                    " samples a trace cannot be written (1 to 65535 fit the headers)");

    double dt_real = 0;
    const NumberFault dt_fault = as_real(dt.ptr(), np.attr("complexfloating"), &dt_real);
    if (dt_fault == NumberFault::not_a_number || dt_fault == NumberFault::complex)
        raise(PyExc_TypeError, tg.label + ": the sample interval must be a real number of microseconds, not " +
                                   repr_text(dt));
    if (dt_fault == NumberFault::too_large) dt_real = HUGE_VAL;  // refused just below
    std::int64_t dt_int;
    if (sg::fit_values(&dt_real, 1, 2, false, &dt_int) >= 0)
        raise(PyExc_ValueError, tg.label + ": sample interval " + repr_text(dt) +
                                    " microseconds does not fit the 2-byte header field (0 to 65535)");
    // A non-zero interval is never written as 0 (no interval at all).
    if (dt_int == 0 && dt_real != 0.0)
        raise(PyExc_ValueError, tg.label + ": sample interval " + repr_text(dt) +
                                    " microseconds would be written as 0 in the whole-microsecond header field");
    const auto dt16 = static_cast<std::uint16_t>(dt_int);

    std::vector<unsigned char> file_header(sg::kFileHeaderBytes, 0x40);  // EBCDIC blanks
    if (!text_header.is_none()) {
        if (!py::isinstance<py::str>(text_header))
            raise(PyExc_TypeError, tg.label + ": the textual header must be a str, not " +
                                       py::str(text_header.get_type().attr("__name__")).cast<std::string>());
        const auto nchar = static_cast<std::size_t>(py::len(text_header));
        if (nchar > sg::kTextBytes)
            raise(PyExc_ValueError, tg.label + ": the textual header holds " + std::to_string(nchar) +
                                        " characters, more than 3200");
        std::string ebcdic;
        try {
            ebcdic = py::bytes(py::tuple(dorar::bound("cp037").attr("encode")(text_header))[0]).cast<std::string>();
        } catch (py::error_already_set &e) {
            if (!e.matches(PyExc_UnicodeError)) throw;
            raise(PyExc_ValueError, tg.label + ": the textual header cannot be written in EBCDIC: " +
                                        dorar::str_of(e.value()).cast<std::string>());
        }
        std::memcpy(file_header.data(), ebcdic.data(), ebcdic.size());
    }
    sg::encode_binary_header(file_header.data() + sg::kTextBytes, ns, dt16);

    std::vector<std::vector<std::int64_t>> values;
    std::vector<sg::Column> cols;
    if (!trace_headers.is_none()) {
        if (!py::hasattr(trace_headers, "items"))
            raise(PyExc_TypeError, tg.label + ": the trace headers must be a mapping of field name to values");
        for (py::handle item : trace_headers.attr("items")()) {
            py::object key = py::reinterpret_borrow<py::object>(item[py::int_(0)]);
            py::object vals = py::reinterpret_borrow<py::object>(item[py::int_(1)]);
            const char *utf8 = PyUnicode_Check(key.ptr()) ? PyUnicode_AsUTF8(key.ptr()) : nullptr;
            if (!utf8) PyErr_Clear();  // not a str, or one no field name can equal
            const sg::HeaderField *f = utf8 ? sg::find_field(sg::TRACE_FIELDS, utf8) : nullptr;
            if (!f) raise(PyExc_ValueError, tg.label + ": unknown trace header field " + py::repr(key).cast<std::string>());
            const std::string name = f->name;
            const dorar::HeaderValues field(*f, [&tg, f](long long trace) {
                return tg.label + ": trace header '" + f->name + "'" +
                       (trace < 0 ? "" : " of trace " + std::to_string(trace));
            });
            std::vector<std::int64_t> ints = field.written(trace_values(field, vals, ntraces));
            // The sample count and interval are the writer's own; a caller's copy must agree.
            const bool is_ns = name == "ns", is_dt = name == "dt";
            if (is_ns || is_dt) {
                const std::int64_t want = is_ns ? static_cast<std::int64_t>(ns) : dt_int;
                for (std::size_t t = 0; t < ntraces; ++t)
                    if (ints[t] != want)
                        raise(PyExc_ValueError, tg.label + ": trace header '" + name + "' of trace " +
                                                    std::to_string(t) + " is " + std::to_string(ints[t]) +
                                                    " but the file is written with " + std::to_string(want));
                continue;
            }
            values.push_back(std::move(ints));
            cols.push_back({f->pos, f->bytes, nullptr});
        }
    }
    for (std::size_t i = 0; i < cols.size(); ++i) cols[i].values = values[i].data();

    sg::SampleMatrix m{static_cast<const char *>(arr.data()), elem, ns, ntraces, arr.strides(0), arr.strides(1)};
    dorar::ReplacedFile out(tg.name);
    dcore::FileReplacement &f = out.file();
    int err = 0;
    // Ctrl-C stops the write between pieces: the temporary file is dropped (when `out` goes) and
    // the old file stays as it was. A file written in place has lost its old content already: it
    // is written whole, and the interrupt comes after.
    dorar::SignalCheck signals;
    {
        const dcore::ShouldStop stop = f.way() == dcore::ReplaceWay::in_place ? dcore::ShouldStop{} : signals.callback();
        dorar::ReleasedGil nogil;
        try {
            err = f.begin();
            if (!err && f.way() == dcore::ReplaceWay::direct)
                err = stream_traces(f, file_header.data(), m, cols.data(), cols.size(), dt16, stop);
            else if (!err)
                sg::write_traces(f.fd(), file_header.data(), m, cols.data(), cols.size(), dt16, stop);
        } catch (const std::system_error &e) {
            err = e.code().value();
        }
    }
    signals.raise_if_stopped();
    out.check(err);
    out.commit();
}

}  // namespace

DORAR_MODULE(segypy, m) {
    dorar::bind_imports({"numpy"});
    // The EBCDIC codec of textual headers: a codec is imported at its first lookup.
    dorar::bind("cp037", py::module_::import("codecs").attr("lookup")("cp037"));
    dorar::def(m, "readSegy", &read_samples_and_headers, READ_DOC, py::arg("filename"), py::arg("layout"), py::kw_only(),
               py::arg("samples") = true);
    dorar::def(m, "writeSegy", &write_ieee_segy, WRITE_DOC, py::arg("filename"), py::arg("Data"), py::arg("dt"),
               py::arg("text_header") = py::none(), py::arg("STHin") = py::none());
}
