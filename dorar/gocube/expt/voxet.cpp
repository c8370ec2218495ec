// dorar.gocube.expt.voxet: the form requesting the export of properties of a loaded cube to a
// Gocad Voxet file.
#include <dorar/form.hpp>

namespace py = pybind11;

DORAR_MODULE(voxet, m) {
    dorar::from_import(m, "qtpy.QtCore", {"Signal"});
    dorar::from_import(m, "dorar.config.base", {"_"});
    dorar::from_import(m, "dorar.widgets.quickform", {"QuickFormDialog"});
    dorar::Globals g(m);
    const dorar::form::Tr _(g);

    dorar::form::Dialog(m)
        .name(_("Export cube to voxet file"))
        .signal("sig_start", {"str", "str", "str"})
        .init()
        .def("setup_page",
             [_](py::object self) {
                 dorar::form::Page page(self);
                 page.add("grabob", "create_grabob", _("Output cube"), py::arg("geom") = dorar::form::strings({"Cube"}));
                 py::object label = _("Properties");
                 page.add("properties", "create_lineedit", label, py::arg("default") = _("properties seperated by comma"));
                 page.add("file", "create_browsefile", _("Voxet name"), py::arg("new") = true);
                 page.action();
             })
        .def("apply",
             [](py::object self) {
                 py::object cube_name = dorar::form::lineedit_text(self.attr("grabob"));
                 py::object prop_names = self.attr("properties").attr("edit").attr("text")();
                 py::object file_name = dorar::form::lineedit_text(self.attr("file"));
                 self.attr("sig_start").attr("emit")(cube_name, prop_names, file_name);
             })
        .build();

    dorar::form::def_main(m);
    if (dorar::is_main(m)) g("main")();
}
