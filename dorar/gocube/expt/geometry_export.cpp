// dorar.gocube.expt.geometry_export: the vxyz, sgmt and vidx text files of the geometry maps.
//
// Numbers are formatted by the interpreter's own %-formatting and format(), so every value is
// written (or refused) exactly as "%i", "%.3f" and ".3f" write it. A file is replaced whole, the
// way open(fn, "w") sees the path (include/dorar/replaced_file.hpp): a failed write leaves any
// previous file untouched and no partial file behind.
#include <dorar/replaced_file.hpp>
#include <dorar/pymod.hpp>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "geometry_keys.hpp"

namespace py = pybind11;
using dorar::Globals;
using dcore::SGMT_KEYS;
using dcore::VIDX_KEYS;

namespace {

const char *WRITE_VXYZ_DOC =
    "\n"
    "    Write the cube corners as a vxyz file.\n"
    "    -i- fn : string, full-path filename of the vxyz file.\n"
    "    -i- dict_vxyz : dictionary, X Y Z of the origin and of the depth, crossline and inline axis ends.\n"
    "    ";

const char *WRITE_SGMT_DOC =
    "\n"
    "    Write the survey geometry as a sgmt file: ILNO XLNO X Y of the three corners.\n"
    "    -i- fn : string, full-path filename of the sgmt file.\n"
    "    -i- dict_sgmt : dictionary, survey geometry linking XY and LN.\n"
    "    ";

const char *WRITE_VIDX_DOC =
    "\n"
    "    Write the volume index as a vidx file: first, last, increment and count of each axis.\n"
    "    -i- fn : string, full-path filename of the vidx file.\n"
    "    -i- dict_vidx : dictionary, volume index of the cube.\n"
    "    ";

// vxyz lines: origin, then the depth, crossline and inline axis ends.
const char *const VXYZ_POINTS[4] = {"AXIS_OR", "AXIS_DP", "AXIS_XL", "AXIS_IL"};

py::object get(const py::object &mapping, const std::string &key) { return mapping[py::str(key)]; }

// `fmt % value`, the interpreter's %-formatting of one value.
py::str percent(const char *fmt, const py::object &value) {
    PyObject *r = PyNumber_Remainder(py::str(fmt).ptr(), value.ptr());
    if (!r) throw py::error_already_set();
    return py::reinterpret_steal<py::str>(r);
}

// A vidx value: integral values in integer form as ever; a real with a fraction (a depth
// increment of 0.5) as the interpreter's shortest exact repr instead of being truncated.
py::str vidx_text(const char *fmt, const py::object &value) {
    if (!PyIndex_Check(value.ptr()) && !PyUnicode_Check(value.ptr()) && !PyBytes_Check(value.ptr())) {
        const double d = PyFloat_AsDouble(value.ptr());
        if (d == -1.0 && PyErr_Occurred()) {
            PyErr_Clear();  // not a real: "%i" raises the error it always raised
        } else if (std::isfinite(d) && d != std::trunc(d)) {
            std::string head(fmt, std::strlen(fmt) - 3);  // "IL_FRST %i\n" -> "IL_FRST "
            return py::str(head + py::repr(py::float_(d)).cast<std::string>() + "\n");
        }
    }
    return percent(fmt, value);
}

// Writes the lines that `lines(write)` builds (calling write(line) for each) as the file `fn`. The
// path is checked as open(fn, "w") checks it before any line is built, and the file changes only
// once every line is built: a failed line leaves the old file as it was.
template <typename Lines>
void write_replacing(const Globals &g, const py::object &fn, Lines lines) {
    g("myprint")("--Writing--", fn);
    if (PyLong_Check(fn.ptr())) {  // an open descriptor: nothing to replace
        py::object f = g("open")(fn, "w");
        dorar::closing(f, [&] { lines([&](const py::str &line) { f.attr("write")(line); }); });
        return;
    }
    dorar::ReplacedFile out(fn);
    py::list text;
    lines([&](const py::str &line) { text.append(line); });
    out.write_text(py::str("").attr("join")(text));
    out.commit();
}

void write_vxyz(const Globals &g, const py::object &fn, const py::object &dict_vxyz) {
    write_replacing(g, fn, [&](auto write) {
        py::object format = g("format");
        for (const char *point : VXYZ_POINTS) {
            std::string line = std::string(point);
            for (const char *axis : {"X", "Y", "Z"})
                line += " " + py::str(format(get(dict_vxyz, std::string(point) + axis), ".3f")).cast<std::string>();
            write(py::str(line + "\n"));
        }
    });
}

void write_sgmt(const Globals &g, const py::object &fn, const py::object &dict_sgmt) {
    write_replacing(g, fn, [&](auto write) {
        for (int k = 0; k < 12; ++k) {
            std::string fmt = std::string(SGMT_KEYS[k]) + (k % 4 < 2 ? " %i\n" : " %.3f\n");
            write(percent(fmt.c_str(), get(dict_sgmt, SGMT_KEYS[k])));
        }
    });
}

void write_vidx(const Globals &g, const py::object &fn, const py::object &dict_vidx) {
    write_replacing(g, fn, [&](auto write) {
        for (const char *key : VIDX_KEYS) {
            std::string fmt = std::string(key) + " %i\n";
            write(vidx_text(fmt.c_str(), get(dict_vidx, key)));
        }
    });
}

}  // namespace

DORAR_MODULE(geometry_export, m) {
    dorar::bind_imports({"io"});  // the writers encode their text with it
    dorar::from_import(m, "dorar.utils.print_overload", {"myprint"});
    Globals g(m);
    dorar::def(
        m, "write_vxyz", [g](py::object fn, py::object dict_vxyz) { write_vxyz(g, fn, dict_vxyz); },
        WRITE_VXYZ_DOC, py::arg("fn"), py::arg("dict_vxyz"));
    dorar::def(
        m, "write_sgmt", [g](py::object fn, py::object dict_sgmt) { write_sgmt(g, fn, dict_sgmt); },
        WRITE_SGMT_DOC, py::arg("fn"), py::arg("dict_sgmt"));
    dorar::def(
        m, "write_vidx", [g](py::object fn, py::object dict_vidx) { write_vidx(g, fn, dict_vidx); },
        WRITE_VIDX_DOC, py::arg("fn"), py::arg("dict_vidx"));
}
