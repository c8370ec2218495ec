// dorar.gosurvey.impt.survey_loader: readers of the gridsheet and sgmt survey files.
//
// Lines are read, split and converted by the interpreter's own open(), str.split(), int() and
// float(), so a file is accepted or rejected exactly as a Python reader would accept or reject it.
#include <dorar/pymod.hpp>

#include <cstring>
#include <string>

#include "geometry_keys.hpp"

namespace py = pybind11;
using dorar::Globals;
using dcore::SGMT_KEYS;

namespace {

const char *READ_GRIDSHEET_DOC =
    "\n"
    "    -i- fn : string, full-path filename of the gridsheet file.\n"
    "    -o- dict_sgmt : dictionary, survey geometry linking XY and LN.\n"
    "    ";

const char *READ_SGMT_DOC =
    "\n"
    "    Read .sgmt file of survey corners: ILNO XLNO X Y.\n"
    "    - fn : string, sgmt filename\n"
    "    Return a dictionary linking LN and XY.\n"
    "    ";

const char *READ_SGMT_OLD_DOC =
    "\n"
    "    Read .sgmt which contains survey corners: ILNO XLNO X Y.\n"
    "    It is also called the Survey Grid Mesh definition.\n"
    "    It is also called the Survey GeoMeTry file.\n"
    "    It is the same for the whole project or survey.\n"
    "    Return parameters linking ILXL and XY.\n"
    "    ";

// Line numbers (_ILNO, _XLNO) are integers, map coordinates (_CRSX, _CRSY) reals.
bool is_int_key(int k) { return k % 4 < 2; }

enum class Kind { Int, Real };

// Gridsheet keys in the order they are tested; a key may set two entries.
struct GridRule {
    const char *key;
    Kind kind;
    const char *entry;
};
const GridRule GRID_RULES[12] = {
    {"X_ORIGIN", Kind::Real, "P1_CRSX"},
    {"Y_ORIGIN", Kind::Real, "P1_CRSY"},
    {"MINIMUM_INLINE_NUMBER", Kind::Int, "P1_ILNO"},
    {"MINIMUM_CROSSLINE_NUMBER", Kind::Int, "P1_XLNO"},
    {"X_FIRST_INLINE_END", Kind::Real, "P2_CRSX"},
    {"Y_FIRST_INLINE_END", Kind::Real, "P2_CRSY"},
    {"MINIMUM_INLINE_NUMBER", Kind::Int, "P2_ILNO"},
    {"MAXIMUM_CROSSLINE_NUMBER", Kind::Int, "P2_XLNO"},
    {"X_FIRST_CROSSLINE_END", Kind::Real, "P3_CRSX"},
    {"Y_FIRST_CROSSLINE_END", Kind::Real, "P3_CRSY"},
    {"MAXIMUM_INLINE_NUMBER", Kind::Int, "P3_ILNO"},
    {"MINIMUM_CROSSLINE_NUMBER", Kind::Int, "P3_XLNO"},
};

bool key_is(const py::object &token, const char *key) {
    return PyUnicode_Check(token.ptr()) && PyUnicode_CompareWithASCIIString(token.ptr(), key) == 0;
}

// tokens[i] as the interpreter indexes a list: IndexError when the line is too short.
py::object token(const py::object &tokens, int i) { return tokens[py::int_(i)]; }

py::object convert(const Globals &g, Kind kind, const py::object &text) {
    return g(kind == Kind::Int ? "int" : "float")(text);
}

// Opens `fn` for reading, hands every line's tokens to `each`, and closes the file whether
// the reading succeeds or fails.
template <typename Each>
void for_each_line(const Globals &g, const py::object &fn, Each each) {
    py::object f = g("open")(fn, "r");
    dorar::closing(f, [&] {
        for (py::handle line : f) each(py::object(line.attr("split")()));
    });
}

py::dict read_gridsheet(const Globals &g, const py::object &fn) {
    py::dict sgmt;
    g("myprint")("--Reading--", fn);
    for_each_line(g, fn, [&](const py::object &tokens) {
        py::object key = token(tokens, 0);
        // Every test runs: one MINIMUM_ line sets the entries of two points.
        for (const GridRule &rule : GRID_RULES)
            if (key_is(key, rule.key)) sgmt[rule.entry] = convert(g, rule.kind, token(tokens, 1));
    });
    return sgmt;
}

py::dict read_sgmt(const Globals &g, const py::object &fn) {
    py::dict sgmt;
    g("myprint")("--Reading--", fn);
    for_each_line(g, fn, [&](const py::object &tokens) {
        py::object key = token(tokens, 0);
        for (int k = 0; k < 12; ++k)
            if (key_is(key, SGMT_KEYS[k])) {
                sgmt[key] = convert(g, is_int_key(k) ? Kind::Int : Kind::Real, token(tokens, 1));
                break;
            }
    });
    return sgmt;
}

// The interpreter's error for reading a local that was never assigned.
[[noreturn]] void unbound(const char *name) {
#if PY_VERSION_HEX >= 0x030B0000
    PyErr_Format(PyExc_UnboundLocalError, "cannot access local variable '%s' where it is not associated with a value",
                 name);
#else
    PyErr_Format(PyExc_UnboundLocalError, "local variable '%s' referenced before assignment", name);
#endif
    throw py::error_already_set();
}

py::tuple read_sgmt_old(const Globals &g, const py::object &fn) {
    py::object value[12];  // a null handle: no line of the file gave that key
    g("myprint")("--Reading--", fn);
    for_each_line(g, fn, [&](const py::object &tokens) {
        for (int k = 0; k < 12; ++k)
            if (key_is(token(tokens, 0), SGMT_KEYS[k]))
                value[k] = convert(g, is_int_key(k) ? Kind::Int : Kind::Real, token(tokens, 1));
    });
    static const char *const HEADS[3] = {"P1_ILNO, P1_XLNO, P1_CRSX, P1_CRSY =",
                                         "P2_ILNO, P2_XLNO, P2_CRSX, P2_CRSY =",
                                         "P3_ILNO, P3_XLNO, P3_CRSX, P3_CRSY ="};
    for (int p = 0; p < 3; ++p) {
        for (int i = 0; i < 4; ++i)
            if (!value[4 * p + i]) unbound(SGMT_KEYS[4 * p + i]);
        g("myprint")(HEADS[p], value[4 * p], value[4 * p + 1], value[4 * p + 2], value[4 * p + 3]);
    }
    py::tuple out(12);
    for (int k = 0; k < 12; ++k) out[k] = value[k];
    return out;
}

}  // namespace

DORAR_MODULE(survey_loader, m) {
    dorar::from_import(m, "dorar.utils.print_overload", {"myprint"});
    dorar::def_builtin<read_gridsheet>(m, "read_gridsheet", READ_GRIDSHEET_DOC, py::arg("fn"));
    dorar::def_builtin<read_sgmt>(m, "read_sgmt", READ_SGMT_DOC, py::arg("fn"));
    dorar::def_builtin<read_sgmt_old>(m, "read_sgmt_old", READ_SGMT_OLD_DOC, py::arg("fn"));
}
