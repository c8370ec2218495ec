// dorar.dialogs.pick_probe: the form that shows and sets the two ray-casting settings of the 3D
// canvas of the viewer that is current when the form is made: the pick radius (an integer) and
// the sphere radius (a real number). It writes them straight into that canvas.
#include <dorar/form.hpp>

namespace py = pybind11;

DORAR_MODULE(pick_probe, m) {
    dorar::from_import(m, "dorar.config.base", {"_"});
    dorar::from_import(m, "dorar.widgets.quickform", {"QuickFormDialog"});
    dorar::Globals g(m);
    const dorar::form::Tr _(g);

    dorar::form::Dialog(m)
        .name(_("Ray casting"))
        .help_body(_("Sphere radius for ray casting.<br>"))
        .def(
            "__init__",
            [g](py::object self, py::object parent) {
                g("QuickFormDialog").attr("__init__")(self, parent);
                dorar::form::or_detach(self, [&] {
                    // The form keeps the canvas of the viewer current now, for its whole life.
                    if (!parent.is_none())
                        self.attr("canvas") = parent.attr("main").attr("current_viewer").attr("canvas");
                    self.attr("setup_page")();
                });
            },
            py::arg("parent") = py::none())
        .def("setup_page",
             [_](py::object self) {
                 dorar::form::Page page(self);
                 page.add("pick_radius", "create_lineedit", _("Pick radius"), py::arg("default") = "50");
                 page.add("sphere_radius", "create_lineedit", _("Sphere radius"), py::arg("default") = "1.0");
                 page.action();
             })
        .def("load",
             [g](py::object self) {
                 py::object canvas = self.attr("canvas");
                 py::object pick = canvas.attr("pick_radius");
                 py::object sphere = canvas.attr("sphere_radius");
                 self.attr("pick_radius").attr("edit").attr("setText")(g("str")(pick));
                 self.attr("sphere_radius").attr("edit").attr("setText")(g("str")(sphere));
             })
        .def("apply",
             [g](py::object self) {
                 py::object pick = g("int")(self.attr("pick_radius").attr("edit").attr("text")());
                 py::object sphere = g("float")(self.attr("sphere_radius").attr("edit").attr("text")());
                 py::object canvas = self.attr("canvas");

                 // Both radii change, or neither: should the canvas refuse the sphere radius, its
                 // pick radius goes back to what it was.
                 py::object missing = g("object")();
                 py::object old_pick = py::getattr(canvas, "pick_radius", missing);
                 canvas.attr("pick_radius") = pick;
                 try {
                     canvas.attr("sphere_radius") = sphere;
                 } catch (...) {
                     try {
                         if (old_pick.is(missing))
                             py::delattr(canvas, "pick_radius");
                         else
                             canvas.attr("pick_radius") = old_pick;
                     } catch (...) {
                         // the canvas's own error is the one to report
                     }
                     throw;
                 }
             })
        .build();

    dorar::form::def_main(m);
    if (dorar::is_main(m)) g("main")();
}
