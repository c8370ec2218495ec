// dorar.gocube.new.region_carve: the form requesting a sub-cube of a loaded cube, given by a range
// and an increment on each of the inline, crossline and depth axes.
#include <dorar/form.hpp>

#include <vector>

#include "vidx.hpp"

namespace py = pybind11;

namespace {

// `a, b, c, d = values` for a slice of four: ValueError with the interpreter's words otherwise.
std::vector<py::object> unpack4(const py::object &values) {
    std::vector<py::object> out;
    for (auto v : values) out.push_back(py::reinterpret_borrow<py::object>(v));
    if (out.size() < 4)
        throw py::value_error("not enough values to unpack (expected 4, got " + std::to_string(out.size()) + ")");
    if (out.size() > 4) throw py::value_error("too many values to unpack (expected 4)");
    return out;
}

py::object slice(const py::object &seq, int start, int stop) {
    return seq[py::slice(start, stop, 1)];
}

}  // namespace

DORAR_MODULE(region_carve, m) {
    dorar::from_import(m, "qtpy.QtCore", {"Signal"});
    dorar::from_import(m, "dorar.config.base", {"_"});
    dorar::from_import(m, "dorar.widgets.quickform", {"QuickFormDialog"});
    dorar::from_import(m, "dorar.gocube.function", {"vidx_dict2list", "vidx_format_dtype"});
    dorar::Globals g(m);
    const dorar::form::Tr _(g);

    dorar::form::Dialog(m)
        .name(_("Extract subcube from an existing cube"))
        .signal("sig_start", {"str", "str", "dict"})
        .init()
        .def("setup_page",
             [_](py::object self) {
                 dorar::form::Page page(self);
                 page.add("grabob", "create_grabob", _("Existing cube"), py::arg("geom") = dorar::form::strings({"Cube"}));
                 page.add("newCube", "create_lineedit", _("New cube"));
                 page.add("frame", "create_cubeframe");
                 page.action();
             })
        .def("apply",
             [g](py::object self) {
                 py::object cube_name = dorar::form::lineedit_text(self.attr("grabob"));
                 py::object newCubeName = self.attr("newCube").attr("edit").attr("text")();

                 // Line numbers are integers, depth (or time) positions reals.
                 py::object frame = self.attr("frame");
                 py::object v[9];
                 for (int i = 0; i < 9; ++i)
                     v[i] = g(i < 6 ? "int" : "float")(frame.attr(dorar::vidx::FRAME_FIELDS[i]).attr("text")());
                 dorar::vidx::Axis axes[3] = {{v[0], v[1], v[2], {}}, {v[3], v[4], v[5], {}}, {v[6], v[7], v[8], {}}};
                 py::dict dict_vidx = dorar::vidx::complete(g, axes);

                 g("vidx_format_dtype")(dict_vidx);
                 self.attr("sig_start").attr("emit")(cube_name, newCubeName, dict_vidx);
             })
        .def("load_object",
             [g](py::object self) {
                 self.attr("cube") = self.attr("object");
                 py::object values = g("vidx_dict2list")(self.attr("cube").attr("dict_vidx"));
                 // All three groups are taken before any field changes.
                 std::vector<py::object> groups[3] = {unpack4(slice(values, 0, 4)), unpack4(slice(values, 4, 8)),
                                                      unpack4(slice(values, 8, 12))};
                 py::object frame = self.attr("frame");
                 for (int a = 0; a < 3; ++a)
                     for (int k = 0; k < 3; ++k)  // first, last, increment; the count is not shown
                         frame.attr(dorar::vidx::FRAME_FIELDS[3 * a + k]).attr("setText")(g("str")(groups[a][k]));
             })
        .build();

    dorar::form::def_main(m);
    if (dorar::is_main(m)) g("main")();
}
