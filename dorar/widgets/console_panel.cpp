// dorar.widgets.console_panel: the process log panel, a tool-button row over a text browser.
#include <dorar/pymod.hpp>

#include "tool_row.hpp"

namespace py = pybind11;
using dorar::Globals;

namespace {

const char *HELP_TEXT = "Double click a word to highlight then Ctrl+F to find.<br><b>TODO</b> add more.<br>";

void build_console_panel(py::module_ &m, const Globals &g) {
    dorar::ClassBuilder cb(m, "ConsolePanel", py::make_tuple(g("QWidget")));
    cb.def(
          "__init__",
          [g](py::object self, py::object parent, py::object options_button) {
              g("QWidget").attr("__init__")(self, parent);
              // The text area comes first: the clear button is bound to it.
              self.attr("textBrowser") = g("TextBrowserBase")(self);
              py::object row = dorar::tool_row(g, self, options_button);
              self.attr("setLayout")(g("create_plugin_layout")(row, self.attr("textBrowser")));
          },
          nullptr, py::arg("parent") = py::none(), py::arg("options_button") = py::none())
        .def(
            "setup_buttons",
            [g](py::object self) {
                py::object create = g("create_toolbutton");
                py::object clear_btn = create(self, **dorar::kwargs({{"icon", g("ima").attr("icon")("clear_text")},
                                                          {"tip", g("_")("Clear text")},
                                                          {"shortcut", py::str("Ctrl+L")},
                                                          {"triggered", self.attr("textBrowser").attr("clear")}}));
                py::object dummy_btn = create(
                    self, **dorar::kwargs({{"icon", g("ima").attr("icon")("fromcursor")}, {"tip", g("_")("Do nothing")}}));
                py::object help_btn = g("create_toolbutton_help")(self, py::arg("triggered") = self.attr("show_help"));
                return py::make_tuple(clear_btn, dummy_btn, help_btn);
            },
            nullptr)
        .def(
            "show_help",
            [g](py::object self) {
                // One statement per call: the title is translated before the text, as written.
                py::object information = g("QMessageBox").attr("information");
                py::object title = g("_")("How to use");
                information(self, title, g("_")(HELP_TEXT));
            },
            nullptr);
    cb.build();
}

void build_text_browser(py::module_ &m, const Globals &g) {
    dorar::ClassBuilder cb(m, "TextBrowserBase", py::make_tuple(g("QTextBrowser"), g("BaseEditMixin")));
    cb.doc(" Text browser with find/search support ")
        .def(
            "__init__",
            [g](py::object self, py::object parent) {
                g("QTextBrowser").attr("__init__")(self, parent);
                g("BaseEditMixin").attr("__init__")(self);
            },
            nullptr, py::arg("parent") = py::none());
    cb.build();
}

}  // namespace

DORAR_MODULE(console_panel, m) {
    dorar::from_import(m, "qtpy.QtCore", {"QSize", "Qt"});
    dorar::from_import(m, "qtpy.QtWidgets", {"QTextBrowser", "QWidget", "QHBoxLayout", "QMessageBox"});
    dorar::from_import(m, "dorar.utils.qthelpers",
                       {"create_plugin_layout", "create_toolbutton", "create_toolbutton_help"});
    dorar::from_import(m, "dorar.utils", {"icon_manager"}, {"ima"});
    dorar::from_import(m, "dorar.config.base", {"_"});
    dorar::from_import(m, "dorar.widgets.mixins", {"BaseEditMixin"});
    Globals g(m);
    build_console_panel(m, g);
    build_text_browser(m, g);
}
