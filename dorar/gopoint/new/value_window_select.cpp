// dorar.gopoint.new.value_window_select: the form requesting a new point set made of the points of
// a loaded point set whose value of one property lies between a minimum and a maximum; a blank
// limit leaves that side of the window open.
#include <dorar/form.hpp>

namespace py = pybind11;

namespace {

// A limit field: blank (after trimming) is no limit, anything else is read by the interpreter's
// float(), so the words inf, infinity and nan are taken as Python takes them.
py::object read_limit(const dorar::Globals &g, const py::object &field) {
    py::object text = field.attr("edit").attr("text")().attr("strip")();
    if (py::len(text) == 0) return py::none();
    return g("float")(text);
}

}  // namespace

DORAR_MODULE(value_window_select, m) {
    dorar::from_import(m, "qtpy.QtCore", {"Signal"});
    dorar::from_import(m, "dorar.config.base", {"_"});
    dorar::from_import(m, "dorar.widgets.quickform", {"QuickFormDialog"});
    dorar::Globals g(m);
    const dorar::form::Tr _(g);

    dorar::form::Dialog(m)
        .name(_("Subset from property value range"))
        .help_body(_("If no limit on minimum value, leave it blank.<br>"
                     "If no limit on maximum value, leave it blank.<br>"))
        // input name, output name, property name, minimum, maximum (each limit a float or None)
        .signal("sig_start", {"str", "str", "str", "object", "object"})
        .init()
        .def("setup_page",
             [_](py::object self) {
                 dorar::form::Page page(self);
                 page.add("grabob", "create_grabob", _("Input Point"), py::arg("geom") = dorar::form::strings({"Point"}));
                 page.add("newPoint", "create_lineedit", _("Output Point"));
                 page.add("prop", "create_combobox", _("Property"));
                 page.add("vmin", "create_lineedit", _("Minimum value"));
                 page.add("vmax", "create_lineedit", _("Maximum value"));
                 page.action();
             })
        .def("apply",
             [g](py::object self) {
                 py::object point_name = dorar::form::lineedit_text(self.attr("grabob"));
                 py::object new_name = self.attr("newPoint").attr("edit").attr("text")();
                 py::object prop_name = self.attr("prop").attr("combobox").attr("currentText")();
                 py::object vmin = read_limit(g, self.attr("vmin"));
                 py::object vmax = read_limit(g, self.attr("vmax"));
                 self.attr("sig_start").attr("emit")(point_name, new_name, prop_name, vmin, vmax);
             })
        .def("load_object",
             [](py::object self) {
                 py::object point_name = dorar::form::lineedit_text(self.attr("grabob"));
                 self.attr("newPoint").attr("edit").attr("setText")(point_name + py::str("_pt"));
                 // One statement per read: the picked object is read before the combo box, as written.
                 py::object object = self.attr("object");
                 dorar::form::select_properties(self.attr("prop").attr("combobox"), object);
             })
        .build();

    dorar::form::def_main(m);
    if (dorar::is_main(m)) g("main")();
}
