// dorar.gopoint.new.cloud_join: the form requesting a new point set merged from several loaded
// point sets, named in one comma-separated list that the host splits.
#include <dorar/form.hpp>

namespace py = pybind11;

DORAR_MODULE(cloud_join, m) {
    dorar::from_import(m, "qtpy.QtCore", {"Signal"});
    dorar::from_import(m, "dorar.config.base", {"_"});
    dorar::from_import(m, "dorar.widgets.quickform", {"QuickFormDialog"});
    dorar::Globals g(m);
    const dorar::form::Tr _(g);

    dorar::form::Dialog(m)
        .name(_("New point from merging points"))
        .signal("sig_start", {"str", "str"})
        .init()
        .def("setup_page",
             [_](py::object self) {
                 dorar::form::Page page(self);
                 py::object label = _("Input Points");
                 py::object hint = _("points separated by comma");
                 page.add("inputPoints", "create_lineedit", label, py::arg("default") = hint);
                 page.add("newPoint", "create_lineedit", _("Output Point"));
                 page.action();
             })
        .def("apply",
             [](py::object self) {
                 py::object point_list = self.attr("inputPoints").attr("edit").attr("text")();
                 py::object new_name = self.attr("newPoint").attr("edit").attr("text")();
                 self.attr("sig_start").attr("emit")(point_list, new_name);
             })
        .build();

    dorar::form::def_main(m);
    if (dorar::is_main(m)) g("main")();
}
