// dorar.gopoint.edit.fence_clip: the form requesting the selection of the vertexes of a loaded
// point set that lie inside the polygon given by a loaded line.
#include <dorar/form.hpp>

namespace py = pybind11;

DORAR_MODULE(fence_clip, m) {
    dorar::from_import(m, "qtpy.QtCore", {"Signal"});
    dorar::from_import(m, "dorar.config.base", {"_"});
    dorar::from_import(m, "dorar.widgets.quickform", {"QuickFormDialog"});
    dorar::Globals g(m);
    const dorar::form::Tr _(g);

    dorar::form::Dialog(m)
        .name(_("Select vertexes inside of polygon"))
        .signal("sig_start", {"str", "str"})
        .init()
        .def("setup_page",
             [_](py::object self) {
                 dorar::form::Page page(self);
                 page.add("grabPoint", "create_grabob", _("Input Point"), py::arg("geom") = dorar::form::strings({"Point"}));
                 page.add("grabLine", "create_grabob", _("Polygon"), py::arg("geom") = dorar::form::strings({"Line"}));
                 page.action();
             })
        .def("apply",
             [](py::object self) {
                 py::object point_name = dorar::form::lineedit_text(self.attr("grabPoint"));
                 py::object line_name = dorar::form::lineedit_text(self.attr("grabLine"));
                 self.attr("sig_start").attr("emit")(point_name, line_name);
             })
        .build();

    dorar::form::def_main(m);
    if (dorar::is_main(m)) g("main")();
}
