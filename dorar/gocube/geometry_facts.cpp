// dorar.gocube.geometry_facts: information tables of the four geometry dictionaries.
#include <dorar/pymod.hpp>

#include <utility>

namespace py = pybind11;
using dorar::Globals;

namespace {

const char *VIDX_DOC =
    "Table of a cube's volume index.\n"
    "\n"
    "Args:\n"
    "    dict_vidx: dict, first, last, increment and amount of inline, crossline and depth\n"
    "\n"
    "Returns:\n"
    "    the table made by list2table\n";

const char *VXYZ_DOC =
    "Table of a cube's corner coordinates, with axis lengths and the fourth (diagonal) corner.\n"
    "\n"
    "Args:\n"
    "    dict_vxyz: dict, X, Y and Z of the origin and of the inline, crossline and depth axis ends\n"
    "\n"
    "Returns:\n"
    "    the table made by list2table\n";

const char *SGMT_DOC =
    "Table of a survey's geometry.\n"
    "\n"
    "Args:\n"
    "    dict_sgmt: dict, inline and crossline number, X and Y of the three points\n"
    "\n"
    "Returns:\n"
    "    the table made by list2table\n";

const char *PARM_DOC =
    "Table of a cube's binary parameters.\n"
    "\n"
    "Args:\n"
    "    dict_parm: dict, step, unit and map deltas of panels and traces, step and unit of samples\n"
    "\n"
    "Returns:\n"
    "    the table made by list2table\n";

py::list row(std::initializer_list<py::object> items) {
    py::list r;
    for (const auto &it : items) r.append(it);
    return r;
}

py::list names(std::initializer_list<const char *> items) {
    py::list r;
    for (auto s : items) r.append(py::str(s));
    return r;
}

// Translates the title, then hands rows and titles to the host's table maker.
py::object make_table(const Globals &g, py::list listData, py::list columnNames, const char *title) {
    py::object name = g("_")(py::str(title));
    return g("list2table")(std::move(listData), std::move(columnNames), py::arg("tableName") = name);
}

// Item access of the mapping, made when called (so entries are read in the order of the code).
py::object get(const py::object &d, const char *key) { return d[py::str(key)]; }

py::object squared(const py::object &v) {
    PyObject *r = PyNumber_Power(v.ptr(), py::int_(2).ptr(), Py_None);
    if (!r) throw py::error_already_set();
    return py::reinterpret_steal<py::object>(r);
}

// sqrt((ax - bx)**2 + (ay - by)**2), the entries read left to right.
py::object plane_length(const Globals &g, const py::object &d, const char *ax, const char *bx, const char *ay,
                        const char *by) {
    py::object a = get(d, ax);
    py::object dx = squared(a - get(d, bx));
    a = get(d, ay);
    py::object dy = squared(a - get(d, by));
    return g("sqrt")(dx + dy);
}

py::object vidx_table(const Globals &g, const py::object &d) {
    py::list data;
    const char *axes[3][5] = {{"iline", "IL_FRST", "IL_LAST", "IL_NCRT", "IL_AMNT"},
                              {"xline", "XL_FRST", "XL_LAST", "XL_NCRT", "XL_AMNT"},
                              {"depth", "DP_FRST", "DP_LAST", "DP_NCRT", "DP_AMNT"}};
    for (auto &a : axes) {
        py::list r;
        r.append(py::str(a[0]));
        for (int k = 1; k < 5; ++k) r.append(get(d, a[k]));
        data.append(r);
    }
    return make_table(g, data, names({"Axis", "First", "Last", "Increment", "Amount"}), "Cube physical index");
}

py::object vxyz_table(const Globals &g, const py::object &d) {
    py::object lenOR = py::float_(0.0);
    py::object lenIL = plane_length(g, d, "AXIS_ILX", "AXIS_ORX", "AXIS_ILY", "AXIS_ORY");
    py::object lenXL = plane_length(g, d, "AXIS_XLX", "AXIS_ORX", "AXIS_XLY", "AXIS_ORY");
    py::object dpz = get(d, "AXIS_DPZ");
    py::object lenDP = dpz - get(d, "AXIS_ORZ");
    // The fourth corner completes the parallelogram of origin, inline end and crossline end.
    py::object ilx = get(d, "AXIS_ILX");
    py::object x = ilx + get(d, "AXIS_XLX");
    x = x - get(d, "AXIS_ORX");
    py::object ily = get(d, "AXIS_ILY");
    py::object y = ily + get(d, "AXIS_XLY");
    y = y - get(d, "AXIS_ORY");
    py::object z = get(d, "AXIS_ORZ");
    py::object ddx = squared(x - get(d, "AXIS_ORX"));
    py::object ddy = squared(y - get(d, "AXIS_ORY"));
    py::object lenDiagonal = g("sqrt")(ddx + ddy);

    py::list data;
    const char *label[4] = {"origin", "iline", "xline", "depth"};
    const char *keys[4][3] = {{"AXIS_ORX", "AXIS_ORY", "AXIS_ORZ"},
                              {"AXIS_ILX", "AXIS_ILY", "AXIS_ILZ"},
                              {"AXIS_XLX", "AXIS_XLY", "AXIS_XLZ"},
                              {"AXIS_DPX", "AXIS_DPY", "AXIS_DPZ"}};
    const py::object lengths[4] = {lenOR, lenIL, lenXL, lenDP};
    for (int n = 0; n < 4; ++n) {
        if (n == 3) data.append(row({py::str("diagonal"), x, y, z, lenDiagonal}));
        py::list r;
        r.append(py::str(label[n]));
        for (auto k : keys[n]) r.append(get(d, k));
        r.append(lengths[n]);
        data.append(r);
    }
    return make_table(g, data, names({"Axis", "X", "Y", "Z", "Length"}), "Cube corner coordinate");
}

py::object sgmt_table(const Globals &g, const py::object &d) {
    py::list data;
    const char *points[3][5] = {{"Point A", "P1_ILNO", "P1_XLNO", "P1_CRSX", "P1_CRSY"},
                                {"Point B", "P2_ILNO", "P2_XLNO", "P2_CRSX", "P2_CRSY"},
                                {"Point C", "P3_ILNO", "P3_XLNO", "P3_CRSX", "P3_CRSY"}};
    for (auto &p : points) {
        py::list r;
        r.append(py::str(p[0]));
        for (int k = 1; k < 5; ++k) r.append(get(d, p[k]));
        data.append(r);
    }
    return make_table(g, data, names({"Corner", "ILNO", "XLNO", "X", "Y"}), "Survey geometry");
}

py::object parm_table(const Globals &g, const py::object &d) {
    py::list data;
    const char *rows[2][6] = {{"PANEL", "iline", "PANEL_INC", "PANEL_UNIT", "PNDX", "PNDY"},
                              {"TRACE", "xline", "TRACE_INC", "TRACE_UNIT", "TRDX", "TRDY"}};
    for (auto &p : rows) {
        py::list r;
        r.append(py::str(p[0]));
        r.append(py::str(p[1]));
        for (int k = 2; k < 6; ++k) r.append(get(d, p[k]));
        data.append(r);
    }
    // Samples have no map extent: their deltas are always 0.
    py::object inc = get(d, "SAMPLE_INC");
    py::object unit = get(d, "SAMPLE_UNIT");
    data.append(row({py::str("SAMPLE"), py::str("depth"), inc, unit, py::int_(0), py::int_(0)}));
    return make_table(g, data, names({"Name", "Axis", "Step", "Unit", "DeltaX", "DeltaY"}),
                      "ZAZ binary cube parameters");
}

}  // namespace

DORAR_MODULE(geometry_facts, m) {
    dorar::from_import(m, "math", {"sqrt"});
    dorar::from_import(m, "dorar.widgets.list2table", {"list2table"});
    dorar::from_import(m, "dorar.config.base", {"_"});
    dorar::def_builtin<vidx_table>(m, "dict_vidx_table", VIDX_DOC, py::arg("dict_vidx"));
    dorar::def_builtin<vxyz_table>(m, "dict_vxyz_table", VXYZ_DOC, py::arg("dict_vxyz"));
    dorar::def_builtin<sgmt_table>(m, "dict_sgmt_table", SGMT_DOC, py::arg("dict_sgmt"));
    dorar::def_builtin<parm_table>(m, "dict_parm_table", PARM_DOC, py::arg("dict_parm"));
}
