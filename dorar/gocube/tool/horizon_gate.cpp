// dorar.gocube.tool.horizon_gate: the form requesting a mask of a cube from a grid surface.
#include <dorar/form.hpp>

namespace py = pybind11;

DORAR_MODULE(horizon_gate, m) {
    dorar::import_as(m, "os", "os");
    dorar::from_import(m, "qtpy.QtCore", {"Signal"});
    dorar::from_import(m, "dorar.config.base", {"_"});
    dorar::from_import(m, "dorar.widgets.quickform", {"QuickFormDialog"});
    dorar::Globals g(m);
    const dorar::form::Tr _(g);

    dorar::form::Dialog(m)
        .name(_("Create mask by gsurface"))
        .signal("sig_start", {"str", "str", "str", "int"})
        .init()
        .def("setup_page",
             [g, _](py::object self) {
                 dorar::form::Page page(self);
                 page.add("grabCube", "create_grabob", _("Input cube"), py::arg("geom") = dorar::form::strings({"Cube"}));
                 page.add("grabGsurf", "create_grabob", _("Input gsurface"), py::arg("geom") = dorar::form::strings({"Gsurface"}));
                 page.add("cubeProp", "create_lineedit", _("Cube property"));
                 py::object label = _("Number of threads");
                 py::object ncore = g("os").attr("cpu_count")();
                 py::object default_ = g("str")(ncore);
                 page.add("nthread", "create_lineedit", label, py::arg("default") = default_);
                 page.action();
             })
        .def("apply",
             [g](py::object self) {
                 py::object cube_name = dorar::form::lineedit_text(self.attr("grabCube"));
                 py::object gsurfName = dorar::form::lineedit_text(self.attr("grabGsurf"));
                 py::object prop_name = self.attr("cubeProp").attr("edit").attr("text")();
                 py::object nthread = g("int")(self.attr("nthread").attr("edit").attr("text")());
                 // The signal carries a 32-bit integer: a count outside it would arrive wrapped.
                 if (nthread < py::int_(-2147483647 - 1) || nthread > py::int_(2147483647)) {
                     PyErr_Format(PyExc_OverflowError, "thread count %S is outside the 32-bit integer range",
                                  nthread.ptr());
                     throw py::error_already_set();
                 }
                 self.attr("sig_start").attr("emit")(cube_name, gsurfName, prop_name, nthread);
             })
        .build();

    dorar::form::def_main(m);
    if (dorar::is_main(m)) g("main")();
}
