// dorar.gocube.new.of_grid_index: the form requesting a new, empty cube defined by its volume
// indexes, with the name of its first property and the way that property is filled.
#include <dorar/form.hpp>

#include "vidx.hpp"

namespace py = pybind11;

namespace {

// The fill methods: the label each radio button shows (before translation) and the key it stands for.
const char *const METHOD_LABELS[3] = {"zeros", "random", "index sum"};
const char *const METHOD_KEYS[3] = {"zeros", "random", "isum"};

}  // namespace

DORAR_MODULE(of_grid_index, m) {
    dorar::from_import(m, "qtpy.QtCore", {"Signal"});
    dorar::from_import(m, "qtpy.QtWidgets", {"QLabel", "QRadioButton", "QButtonGroup", "QHBoxLayout"});
    dorar::from_import(m, "dorar.config.base", {"_"});
    dorar::from_import(m, "dorar.widgets.quickform", {"QuickFormDialog"});
    dorar::Globals g(m);
    const dorar::form::Tr _(g);

    dorar::form::Dialog(m)
        .name(py::str("New cube from volume indexes"))
        .signal("sig_start", {"dict", "str", "str", "str"})
        .init()
        .def("setup_page",
             [g, _](py::object self) {
                 dorar::form::Page page(self);
                 page.add("cube", "create_lineedit", _("New cube"));
                 page.add("property", "create_lineedit", _("Property"));

                 py::object label = g("QLabel")(_("Property method"));
                 py::object rb_zero = g("QRadioButton")(_(METHOD_LABELS[0]));
                 py::object rb_random = g("QRadioButton")(_(METHOD_LABELS[1]));
                 py::object rb_sum = g("QRadioButton")(_(METHOD_LABELS[2]));
                 const py::object buttons[3] = {rb_zero, rb_random, rb_sum};

                 py::object bg_method = g("QButtonGroup")();
                 for (const auto &rb : buttons) bg_method.attr("addButton")(rb);

                 py::object box = g("QHBoxLayout")();
                 box.attr("addWidget")(label);
                 for (const auto &rb : buttons) box.attr("addWidget")(rb);
                 page.add_layout(box);

                 page.add("frame", "create_cubeframe");
                 page.action();

                 for (const auto &rb : buttons) dorar::form::connect(rb.attr("toggled"), self, "set_method", rb);
                 rb_zero.attr("setChecked")(true);
             })
        .def(
            "set_method",
            [_](py::object self, py::object rb) {
                if (!rb.attr("isChecked")().cast<bool>()) return;  // the button losing the selection
                // Known by the text it shows now, compared with each label in the current language,
                // translated just before its comparison; the first equal one wins.
                for (int i = 0; i < 3; ++i)
                    if (rb.attr("text")().equal(_(METHOD_LABELS[i]))) {
                        self.attr("method") = py::str(METHOD_KEYS[i]);
                        return;
                    }
                throw py::value_error(py::str("unknown value {}").format(rb.attr("text")()));
            },
            py::arg("rb"))
        .def("apply",
             [g](py::object self) {
                 py::object frame = self.attr("frame");
                 py::object v[9];
                 for (int i = 0; i < 9; ++i)
                     v[i] = g("int")(frame.attr(dorar::vidx::FRAME_FIELDS[i]).attr("text")());
                 dorar::vidx::Axis axes[3] = {{v[0], v[1], v[2], {}}, {v[3], v[4], v[5], {}}, {v[6], v[7], v[8], {}}};
                 py::dict dict_vidx = dorar::vidx::complete(g, axes);

                 py::object cube_name = self.attr("cube").attr("edit").attr("text")();
                 py::object prop_name = self.attr("property").attr("edit").attr("text")();
                 py::object prop_method = self.attr("method");
                 self.attr("sig_start").attr("emit")(dict_vidx, cube_name, prop_name, prop_method);
             })
        .build();

    dorar::form::def_main(m);
    if (dorar::is_main(m)) g("main")();
}
