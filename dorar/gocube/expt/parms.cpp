// dorar.gocube.expt.parms: the form requesting the export of one property of a loaded cube to a
// parameter file.
#include <dorar/form.hpp>

namespace py = pybind11;

DORAR_MODULE(parms, m) {
    dorar::from_import(m, "qtpy.QtCore", {"Signal"});
    dorar::from_import(m, "dorar.config.base", {"_"});
    dorar::from_import(m, "dorar.widgets.quickform", {"QuickFormDialog"});
    dorar::Globals g(m);
    const dorar::form::Tr _(g);

    dorar::form::Dialog(m)
        .name(_("Export cube to parms file"))
        .signal("sig_start", {"str", "str", "str"})
        .init()
        .def("setup_page",
             [_](py::object self) {
                 dorar::form::Page page(self);
                 page.add("grabob", "create_grabob", _("Output cube"), py::arg("geom") = dorar::form::strings({"Cube"}));
                 py::object property = self.attr("create_combobox")(_("Property"));
                 self.attr("property") = property;
                 property.attr("combobox").attr("setMinimumContentsLength")(20);
                 page.add_widget(property);
                 page.add("file", "create_browsefile", _("Parms name"), py::arg("new") = true);
                 page.action();
             })
        .def("apply",
             [](py::object self) {
                 py::object cube_name = dorar::form::lineedit_text(self.attr("grabob"));
                 py::object prop_name = self.attr("property").attr("combobox").attr("currentText")();
                 py::object file_name = dorar::form::lineedit_text(self.attr("file"));
                 self.attr("sig_start").attr("emit")(cube_name, prop_name, file_name);
             })
        .def("load_object",
             [](py::object self) {
                 // One statement per read: the picked cube is read before the combo box, as written.
                 py::object cube = self.attr("object");
                 dorar::form::select_properties(self.attr("property").attr("combobox"), cube);
             })
        .build();

    dorar::form::def_main(m);
    if (dorar::is_main(m)) g("main")();
}
