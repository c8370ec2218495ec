// dorar.gopoint.edit.grid_labelling: the form requesting inline and crossline numbers for the
// vertexes of a loaded object, stored by the host as two properties under the names given here.
#include <dorar/form.hpp>

namespace py = pybind11;

DORAR_MODULE(grid_labelling, m) {
    dorar::from_import(m, "qtpy.QtCore", {"Signal"});
    dorar::from_import(m, "dorar.config.base", {"_"});
    dorar::from_import(m, "dorar.widgets.quickform", {"QuickFormDialog"});
    dorar::Globals g(m);
    const dorar::form::Tr _(g);

    dorar::form::Dialog(m)
        .name(_("Calculate line numbers"))
        .help_body(_("This is applicable to vertex-based objects.<br>"))
        .signal("sig_start", {"str", "str", "str"})
        .init()
        .def("setup_page",
             [_](py::object self) {
                 dorar::form::Page page(self);
                 page.add("leObject", "create_grabob", _("Object"),
                          py::arg("geom") = dorar::form::strings({"Point", "Line", "Tsurface", "Gsurface"}));
                 // label before default: the texts reach `_` in the order they are shown
                 py::object label_i = _("Property I");
                 py::object default_i = _("ILINE_NO");
                 page.add("propi", "create_lineedit", label_i, py::arg("default") = default_i);
                 py::object label_j = _("Property J");
                 py::object default_j = _("XLINE_NO");
                 page.add("propj", "create_lineedit", label_j, py::arg("default") = default_j);
                 page.action();
             })
        .def("apply",
             [](py::object self) {
                 py::object object_name = dorar::form::lineedit_text(self.attr("leObject"));
                 py::object pi_name = self.attr("propi").attr("edit").attr("text")();
                 py::object pj_name = self.attr("propj").attr("edit").attr("text")();
                 self.attr("sig_start").attr("emit")(object_name, pi_name, pj_name);
             })
        .build();

    dorar::form::def_main(m);
    if (dorar::is_main(m)) g("main")();
}
