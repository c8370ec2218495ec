// dorar.gopoint.impt.table_import: the form requesting the import of a CSV file as a point object,
// with the new object's name and a preview of the file.
#include <dorar/file_preview.hpp>

namespace py = pybind11;

DORAR_MODULE(table_import, m) {
    dorar::from_import(m, "qtpy.QtCore", {"Signal"});
    dorar::from_import(m, "qtpy.QtWidgets", {"QTextBrowser", "QPushButton", "QHBoxLayout"});
    dorar::from_import(m, "dorar.config.base", {"_"});
    dorar::from_import(m, "dorar.widgets.quickform", {"QuickFormDialog"});
    dorar::from_import(m, "dorar.utils.envars", {"FILTER_ALL_FILES"});
    dorar::Globals g(m);
    const dorar::form::Tr _(g);

    dorar::form::Dialog(m)
        .name(_("Load CSV file"))
        .help_body(_("<b>Example</b> <br>iteration, time, loss <br># comments... <br>1, 2, 10 <br>2, 4, 9 <br>"))
        .signal("sig_start", {"str", "str"})
        .init()
        .def("setup_page",
             [g, _](py::object self) {
                 dorar::form::Page page(self);
                 // The label is translated before the filter is put together, as the arguments
                 // of a Python call are evaluated from left to right.
                 py::object label = _("CSV file");
                 page.add("input", "create_browsefile", label,
                          py::arg("filters") = py::str("CSV files (*.csv)") + g("FILTER_ALL_FILES"));
                 page.add("object_name", "create_lineedit", "Object name");
                 dorar::preview::add_rows(g, _, self, page);
                 page.action();
             })
        .def("load_lines", dorar::preview::load_lines(g))
        .def("apply",
             [](py::object self) {
                 py::object fn = dorar::form::lineedit_text(self.attr("input"));
                 py::object object_name = self.attr("object_name").attr("edit").attr("text")();
                 self.attr("sig_start").attr("emit")(fn, object_name);
             })
        .build();

    dorar::form::def_main(m);
    if (dorar::is_main(m)) g("main")();
}
