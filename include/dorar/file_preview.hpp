// The file preview of the import forms: a "Preview lines" count with a "Load" button beside it, a
// monospace browser below, and `load_lines`, which shows the first lines of the chosen file.
//
//   dorar::preview::add_rows(g, _, self, page);      in setup_page, where the rows belong
//   .def("load_lines", dorar::preview::load_lines(g))
//
// The module imports QTextBrowser, QPushButton and QHBoxLayout from qtpy.QtWidgets.
#pragma once

#include <dorar/form.hpp>

#include <climits>

namespace dorar {
namespace preview {

namespace py = pybind11;

// self.previewLines = self.create_lineedit("Preview lines", default="50")
// btnLoad = QPushButton(_("Load")); btnLoad.clicked.connect(self.load_lines)
// hbox = QHBoxLayout(); hbox.addWidget(self.previewLines); hbox.addWidget(btnLoad)
// self.layout.addLayout(hbox)
// self.textBrowser = QTextBrowser(self); self.textBrowser.setFontFamily("monospace")
// self.layout.addWidget(self.textBrowser)
inline void add_rows(const Globals &g, const form::Tr &_, const py::object &self, form::Page &page) {
    py::object previewLines = self.attr("create_lineedit")("Preview lines", py::arg("default") = "50");
    self.attr("previewLines") = previewLines;
    py::object btnLoad = g("QPushButton")(_("Load"));
    form::connect(btnLoad.attr("clicked"), self, "load_lines");
    py::object hbox = g("QHBoxLayout")();
    hbox.attr("addWidget")(previewLines);
    hbox.attr("addWidget")(btnLoad);
    page.add_layout(hbox);

    py::object textBrowser = g("QTextBrowser")(self);
    self.attr("textBrowser") = textBrowser;
    textBrowser.attr("setFontFamily")("monospace");
    page.add_widget(textBrowser);
}

// def load_lines(self):
//     filename = self.input.lineedit.edit.text()
//     nlines = int(self.previewLines.edit.text())
//     text = ""
//     with open(filename, "r") as f:
//         for i in range(nlines):
//             text += f.readline()
//     self.textBrowser.setText(text)
// Reading stops at the end of the file: further reads would only add empty texts.
inline auto load_lines(const Globals &g) {
    return [g](py::object self) {
        py::object filename = form::lineedit_text(self.attr("input"));
        py::object count = g("int")(self.attr("previewLines").attr("edit").attr("text")());
        int overflow = 0;
        long long nlines = PyLong_AsLongLongAndOverflow(count.ptr(), &overflow);
        if (overflow) nlines = overflow > 0 ? LLONG_MAX : 0;

        py::list lines;
        py::object f = g("open")(filename, "r");
        closing(f, [&] {
            py::object readline = f.attr("readline");
            for (long long i = 0; i < nlines; ++i) {
                py::object line = readline();
                if (py::len(line) == 0) break;
                lines.append(line);
            }
        });
        self.attr("textBrowser").attr("setText")(py::str("").attr("join")(lines));
    };
}

}  // namespace preview
}  // namespace dorar
