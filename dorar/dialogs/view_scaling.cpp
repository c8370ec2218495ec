// dorar.dialogs.view_scaling: the form in which the user chooses how the 2D plot canvas scales its
// Y axis against its X axis ("Auto", "Equal", or "Fixed" with a Y/X ratio). The window that opens
// it may hand it the canvas's view state; the choice goes back to that window through `sigApply`.
#include <dorar/form.hpp>

namespace py = pybind11;

namespace {

// The method words: button label (translated), value of `method`, first argument of `sigApply`
// and value of the view state's `aspect_method` (never translated).
const char *const AUTO = "Auto";
const char *const EQUAL = "Equal";
const char *const FIXED = "Fixed";

const char *const LOAD_STATE_DOC = "\n        -i- state : dictionary.\n        Load current state and show it in dialog.\n        ";

}  // namespace

DORAR_MODULE(view_scaling, m) {
    m.attr("__doc__") = py::str("Dialog for change plot aspect ratio.");
    dorar::from_import(m, "qtpy.QtCore", {"Signal"});
    dorar::from_import(m, "qtpy.QtWidgets", {"QLabel", "QRadioButton", "QHBoxLayout", "QButtonGroup"});
    dorar::from_import(m, "dorar.config.base", {"_"});
    dorar::from_import(m, "dorar.widgets.quickform", {"QuickFormDialog"});
    dorar::Globals g(m);
    const dorar::form::Tr _(g);

    dorar::form::Dialog(m)
        .name(_("Set viewer aspect ratio"))
        .signal("sigApply", {"str", "float"})
        .def(
            "__init__",
            [g](py::object self, py::object parent, py::object state) {
                g("QuickFormDialog").attr("__init__")(self, py::arg("parent") = parent);
                dorar::form::or_detach(self, [&] {
                    self.attr("setup_page")();
                    if (!state.is_none()) self.attr("load_state")(state);
                });
            },
            py::arg("parent") = py::none(), py::arg("state") = py::none())
        .def("setup_page",
             [g, _](py::object self) {
                 dorar::form::Page page(self);
                 py::object lbl_method = g("QLabel")(_("Method"));
                 py::object rb_auto = g("QRadioButton")(_(AUTO));
                 py::object rb_equal = g("QRadioButton")(_(EQUAL));
                 py::object rb_fixed = g("QRadioButton")(_(FIXED));
                 const py::object buttons[3] = {rb_auto, rb_equal, rb_fixed};
                 self.attr("rbAuto") = rb_auto;
                 self.attr("rbEqual") = rb_equal;
                 self.attr("rbFixed") = rb_fixed;

                 py::object bg_system = g("QButtonGroup")();
                 for (const auto &rb : buttons) bg_system.attr("addButton")(rb);

                 py::object hbox = g("QHBoxLayout")();
                 hbox.attr("addWidget")(lbl_method);
                 for (const auto &rb : buttons) hbox.attr("addWidget")(rb);
                 page.add_layout(hbox);

                 page.add("ratio", "create_lineedit", _("Fixed ratio Y/X"), py::arg("default") = "1.0");
                 page.action();

                 for (const auto &rb : buttons) dorar::form::connect(rb.attr("toggled"), self, "set_method", rb);
                 rb_equal.attr("setChecked")(true);
                 self.attr("ratio").attr("setEnabled")(false);
             })
        .def(
            "set_method",
            [_](py::object self, py::object rb) {
                if (!rb.attr("isChecked")().cast<bool>()) return;  // the button losing the selection
                // A checked button is known by the text it shows now, compared with the label of
                // each method in the current language, translated just before its comparison; the
                // first equal one wins.
                for (const char *w : {AUTO, EQUAL, FIXED}) {
                    py::object text = rb.attr("text")();
                    if (!text.equal(_(w))) continue;
                    self.attr("method") = py::str(w);
                    // The ratio is only the canvas's while "Fixed" is chosen.
                    self.attr("ratio").attr("setEnabled")(std::string(w) == FIXED);
                    return;
                }
                throw py::value_error(py::str("unknown value {}").format(rb.attr("text")()).cast<std::string>());
            },
            py::arg("rb"))
        .def_doc(
            "load_state", LOAD_STATE_DOC,
            [g](py::object self, py::object state) {
                py::object method = state[py::str("aspect_method")];
                py::object ratio = state[py::str("view_scaling")];
                if (py::isinstance<py::str>(method)) {
                    if (method.equal(py::str(AUTO))) {
                        self.attr("rbAuto").attr("setChecked")(true);
                        return;
                    }
                    if (method.equal(py::str(EQUAL))) {
                        self.attr("rbEqual").attr("setChecked")(true);
                        return;
                    }
                    if (method.equal(py::str(FIXED))) {
                        self.attr("rbFixed").attr("setChecked")(true);
                        self.attr("ratio").attr("edit").attr("setText")(g("str")(ratio));
                        return;
                    }
                }
                throw py::value_error("Unknown value");
            },
            py::arg("state"))
        .def("apply",
             [g](py::object self) {
                 py::object method = self.attr("method");
                 py::object ratio = g("float")(self.attr("ratio").attr("edit").attr("text")());
                 self.attr("sigApply").attr("emit")(method, ratio);
             })
        .build();

    dorar::form::def_main(m);
    if (dorar::is_main(m)) g("main")();
}
