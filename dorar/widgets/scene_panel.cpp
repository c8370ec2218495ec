// dorar.widgets.scene_panel: the 2D plot panel, a tool-button row over a plot canvas.
#include <dorar/pymod.hpp>

#include "tool_row.hpp"

namespace py = pybind11;
using dorar::Globals;

namespace {

const char *STATE_DOC = "\n        -o- state : dict, used for save viewer to database\n        ";

// `item in container`, as the interpreter tests it (__contains__, else iteration).
bool in(const py::handle &container, const py::handle &item) {
    const int found = PySequence_Contains(container.ptr(), item.ptr());
    if (found < 0) throw py::error_already_set();
    return found == 1;
}

void build_scene_panel(py::module_ &m, const Globals &g) {
    dorar::ClassBuilder cb(m, "ScenePanel", py::make_tuple(g("QWidget")));
    cb.def(
          "__init__",
          [g](py::object self, py::object parent, py::object options_button, py::object name) {
              g("QWidget").attr("__init__")(self, parent);
              self.attr("parent") = parent;
              self.attr("base") = g("PlotBase")(py::arg("parent") = self, py::arg("name") = name);
              py::object row = dorar::tool_row(g, self, options_button);
              self.attr("setLayout")(g("create_plugin_layout")(row, self.attr("base")));
              self.attr("base").attr("canvas").attr("show")();
          },
          nullptr, py::arg("parent") = py::none(), py::arg("options_button") = py::none(),
          py::arg("name") = py::none())
        .def(
            "setup_buttons",
            [g](py::object self) {
                py::object create = g("create_toolbutton");
                auto icon = [&](const char *name) { return g("ima").attr("icon")(name); };
                auto tip = [&](const char *text) { return g("_")(text); };
                auto slot = [&](const char *name) { return self.attr("base").attr(name); };
                py::object hide_all_btn =
                    create(self, **dorar::kwargs({{"icon", icon("hide_all")}, {"tip", tip("Hide all")},
                                       {"shortcut", py::str("Ctrl+L")}, {"triggered", slot("hide_all")}}));
                py::object pick_btn =
                    create(self, **dorar::kwargs({{"icon", icon("pick_mode")}, {"tip", tip("Pick mode")},
                                       {"shortcut", py::str("P")}, {"toggled", slot("toggle_pick_mode")}}));
                self.attr("pick_btn") = pick_btn;
                py::object bkgd_btn = create(self, **dorar::kwargs({{"icon", icon("bkgd_color")}, {"tip", tip("Background color")},
                                                         {"triggered", slot("set_background_color")}}));
                py::object photo_btn =
                    create(self, **dorar::kwargs({{"icon", icon("photo")}, {"tip", tip("Export canvas to picture")},
                                       {"triggered", slot("export_canvas")}}));
                py::object help_btn =
                    g("create_toolbutton_help")(self, py::arg("triggered") = self.attr("show_help"));
                return py::make_tuple(hide_all_btn, pick_btn, bkgd_btn, photo_btn, help_btn);
            },
            nullptr)
        .def(
            "show_help",
            [g](py::object self) {
                py::object information = g("QMessageBox").attr("information");
                py::object title = g("_")("How to use");
                information(self, title, self.attr("base").attr("HELP"));
            },
            nullptr);
    cb.build();
}

void build_plot_base(py::module_ &m, const Globals &g) {
    dorar::ClassBuilder cb(m, "PlotBase", py::make_tuple(g("VispyCanvas")));
    auto ref = cb.ref();
    cb.attr("NAME", g("_")("scene panel"))
        .def(
            "__init__",
            [ref](py::object self, py::object parent, py::object name) {
                ref->super(self).attr("__init__")(py::arg("parent") = parent, py::arg("name") = name);
                py::object cell = self.attr("canvas00");
                py::list p0, p1, points;
                p0.append(0), p0.append(0), p1.append(1), p1.append(1);
                points.append(p0), points.append(p1);
                cell.attr("plot")(points);  // [[0, 0], [1, 1]]
                // The dummy line only brings the camera and view into being: drop it again.
                py::object visuals = cell.attr("visuals");
                visuals[py::int_(0)].attr("parent") = py::none();
                visuals.attr("pop")(0);
                self.attr("camera") = cell.attr("camera");
                self.attr("view") = cell.attr("view");
                self.attr("aspect_method") = py::str("Equal");
                self.attr("view_scaling") = py::float_(1.0);
            },
            nullptr, py::arg("parent") = py::none(), py::arg("name") = py::none())
        .property(
            "view_scaling", [](py::object self) { return self.attr("camera").attr("aspect"); },
            [](py::object self, py::object value) { self.attr("camera").attr("aspect") = value; })
        .property(
            "state",
            [](py::object self) {
                py::dict state;
                state["aspect_method"] = self.attr("aspect_method");
                state["view_scaling"] = self.attr("view_scaling");
                state["bgcolor"] = self.attr("bgcolor").attr("rgba");
                return state;
            },
            [](py::object self, py::object state) {
                py::str method("aspect_method"), scaling("view_scaling"), bgcolor("bgcolor");
                if (in(state, method)) self.attr("aspect_method") = state[method];
                if (in(state, scaling)) self.attr("view_scaling") = state[scaling];
                if (in(state, bgcolor)) self.attr("bgcolor") = state[bgcolor];
            },
            STATE_DOC)
        .def(
            "add_item_agent",
            [g](py::object self, py::object dob) {
                py::object name = self.attr("_name");
                py::object kind = dob.attr("geometry_type");
                if (!kind.equal(py::str("Point")) && !kind.equal(py::str("Label")) && !kind.equal(py::str("Line"))) {
                    py::object text = py::str("{} cannot display {}").format(name, dob.attr("name"));
                    // One statement per call: the title is translated before the text, as written.
                    py::object critical = g("QMessageBox").attr("critical");
                    py::object title = g("_")("Warning");
                    critical(self, title, g("_")(text));
                    return;
                }
                g("logger").attr("info")(py::str("{} is adding {}").format(name, dob.attr("name")));
                if (!in(dob.attr("vs2d"), name)) dob.attr("make_vs2d")(py::arg("parent") = name);
                self.attr("add_item")(dob.attr("vs2d")[name]);
                self.attr("save_display_state")(dob.attr("name"), "object", "self", true);
            },
            nullptr, py::arg("dob"))
        .def(
            "add_item",
            [](py::object self, py::object item) {
                self.attr("view").attr("add")(item);
                self.attr("canvas").attr("visuals").attr("append")(item);
                self.attr("camera").attr("set_range")();
            },
            nullptr, py::arg("item"))
        .def(
            "remove_item_agent",
            [g](py::object self, py::object dob) {
                py::object name = self.attr("_name");
                py::object objname = dob.attr("name");
                py::object dp = self.attr("dpState");
                if (!in(dp, objname)) return;
                py::object entry = dp[objname];
                if (!in(entry, py::str("object"))) return;
                if (!py::bool_(entry[py::str("object")][py::str("self")])) return;
                g("logger").attr("info")(py::str("{} is removing {}").format(name, objname));
                try {
                    self.attr("remove_item")(dob.attr("vs2d")[name]);
                } catch (py::error_already_set &e) {
                    if (!e.matches(PyExc_ValueError)) throw;
                    dorar::print(py::str("Ignore %s").attr("__mod__")(e.value()));
                }
                self.attr("save_display_state")(dob.attr("name"), "object", "self", false);
            },
            nullptr, py::arg("dob"));
    cb.build();
}

}  // namespace

DORAR_MODULE(scene_panel, m) {
    dorar::from_import(m, "qtpy.QtCore", {"Qt", "QSize"});
    dorar::from_import(m, "qtpy.QtWidgets", {"QWidget", "QHBoxLayout", "QMessageBox"});
    dorar::from_import(m, "dorar.widgets.vispy_canvas", {"VispyCanvas"});
    dorar::from_import(m, "dorar.utils.qthelpers",
                       {"create_plugin_layout", "create_toolbutton", "create_toolbutton_help"});
    dorar::from_import(m, "dorar.utils", {"icon_manager"}, {"ima"});
    dorar::from_import(m, "dorar.config.base", {"_"});
    dorar::from_import(m, "dorar.utils.logger", {"logger"});
    Globals g(m);
    build_scene_panel(m, g);
    build_plot_base(m, g);
}
