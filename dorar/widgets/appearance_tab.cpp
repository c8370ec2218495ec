// dorar.widgets.appearance_tab: the base page of the object style editors.
#include <dorar/pymod.hpp>

namespace py = pybind11;
using dorar::Globals;

namespace {

[[noreturn]] void not_implemented() {
    PyErr_SetNone(PyExc_NotImplementedError);
    throw py::error_already_set();
}

void build_appearance_tab(py::module_ &m, const Globals &g) {
    dorar::ClassBuilder cb(m, "AppearanceTab", py::make_tuple(g("QWidget")));
    cb.attr("NAME", py::none())
        .attr("ICON", py::none())
        .def(
            "__init__",
            [g](py::object self, py::object parent) {
                g("QWidget").attr("__init__")(self, parent);
                // Our own reference to the editor: it outlives any Qt reparenting of the page.
                self.attr("parent") = parent;
                py::object editor = self.attr("parent");
                if (!editor.is_none()) {
                    py::object tree = editor.attr("parent");
                    py::object name = editor.attr("objname");
                    self.attr("dob") = tree.attr("object_data")[name];
                }
            },
            nullptr, py::arg("parent") = py::none())
        .def(
            "initialize",
            [](py::object self) {
                self.attr("setup_page")();
                self.attr("load_style")();
            },
            "Initialize configuration page:\n* setup GUI widgets\n* load settings and change widgets accordingly")
        .def("setup_page", [](py::object) { not_implemented(); }, "Setup style page widget")
        .def("load_style", [](py::object) { not_implemented(); }, "Load style settings from data")
        .def("get_icon", [](py::object self) { return self.attr("ICON"); }, "Loads page icon named by self.ICON")
        .def("get_name", [](py::object self) { return self.attr("NAME"); }, "Configuration page name")
        .def(
            "refresh_prop_table",
            [g](py::object self) {
                py::object refresh = g("refresh");
                py::object table = self.attr("propTable");
                py::object prop = self.attr("dob").attr("prop");
                refresh(table, prop);
            },
            nullptr);
    cb.build();
}

}  // namespace

DORAR_MODULE(appearance_tab, m) {
    dorar::from_import(m, "qtpy.QtWidgets", {"QWidget"});
    dorar::from_import(m, "dorar.widgets.property_table", {"refresh"});
    Globals g(m);
    build_appearance_tab(m, g);
}
