// dorar.gopoint.expt.point_text_export: the form requesting the export of a point set to an ASCII
// column file: the file, the point set, the property columns, their formats, the delimiter word and
// free header lines.
#include <dorar/form.hpp>

namespace py = pybind11;

namespace {

// [s.strip() for s in text.split(",")]
py::list split_commas(const py::object &text) {
    py::list out;
    for (py::handle part : text.attr("split")(",")) out.append(part.attr("strip")());
    return out;
}

}  // namespace

DORAR_MODULE(point_text_export, m) {
    dorar::from_import(m, "qtpy.QtCore", {"Signal"});
    dorar::from_import(m, "qtpy.QtWidgets", {"QTextEdit", "QLabel"});
    dorar::from_import(m, "dorar.config.base", {"_"});
    dorar::from_import(m, "dorar.widgets.quickform", {"QuickFormDialog"});
    dorar::Globals g(m);
    const dorar::form::Tr _(g);

    dorar::form::Dialog(m)
        .name(_("Export ASCII file"))
        .signal("sig_start", {"str", "str", "list", "list", "str", "str"})
        .init()
        .def("setup_page",
             [g, _](py::object self) {
                 dorar::form::Page page(self);
                 page.add("output", "create_browsefile", _("File"), py::arg("new") = true);
                 page.add("grabob", "create_grabob", _("Object"), py::arg("geom") = dorar::form::strings({"Point"}));
                 page.add("props", "create_lineedit", _("Properties"), py::arg("default") = "X, Y, Z");
                 page.add("formats", "create_lineedit", _("Formats"), py::arg("default") = "%.18e");
                 page.add("delim", "create_lineedit", _("Delimiter"), py::arg("default") = "comma");
                 py::object lbHeader = g("QLabel")(_("Header lines"));
                 page.add_widget(lbHeader);
                 py::object textEdit = g("QTextEdit")(self);
                 self.attr("textEdit") = textEdit;
                 textEdit.attr("setFontFamily")("monospace");
                 page.add_widget(textEdit);
                 page.action();
             })
        .def("apply",
             [](py::object self) {
                 py::object fn = dorar::form::lineedit_text(self.attr("output"));
                 py::object object_name = dorar::form::lineedit_text(self.attr("grabob"));
                 py::list props = split_commas(self.attr("props").attr("edit").attr("text")());
                 py::list formats = split_commas(self.attr("formats").attr("edit").attr("text")());
                 py::object delimiter = self.attr("delim").attr("edit").attr("text")().attr("lower")();
                 py::object headers = self.attr("textEdit").attr("toPlainText")();
                 self.attr("sig_start").attr("emit")(fn, object_name, props, formats, delimiter, headers);
             })
        .build();

    dorar::form::def_main(m);
    if (dorar::is_main(m)) g("main")();
}
