// The spine of a form module: `class Dialog(QuickFormDialog)` with its title, signal, the shared
// constructor and its methods; the rows of `setup_page`; the stand-alone `main`.
//
//   DORAR_MODULE(parms, m) {
//       dorar::from_import(m, "qtpy.QtCore", {"Signal"});
//       dorar::from_import(m, "dorar.config.base", {"_"});
//       dorar::from_import(m, "dorar.widgets.quickform", {"QuickFormDialog"});
//       dorar::Globals g(m);
//       const dorar::form::Tr _(g);
//
//       dorar::form::Dialog(m)
//           .name(_("Export cube to parms file"))              // translated once, at import
//           .signal("sig_start", {"str", "str", "str"})
//           .init()                                            // __init__(self, parent=None)
//           .def("setup_page", [_](py::object self) {
//               dorar::form::Page page(self);
//               page.add("grabob", "create_grabob", _("Output cube"),
//                        py::arg("geom") = dorar::form::strings({"Cube"}));
//               page.action();
//           })
//           .def("apply", ...)
//           .build();
//
//       dorar::form::def_main(m);
//       if (dorar::is_main(m)) g("main")();
//   }
#pragma once

#include <dorar/pymod.hpp>

#include <initializer_list>
#include <string>
#include <utility>

namespace dorar {
namespace form {

namespace py = pybind11;

// `_` looked up when it is called, so a text is translated by whatever translation is active then.
class Tr {
public:
    explicit Tr(Globals g) : g_(std::move(g)) {}
    py::object operator()(const char *text) const { return g_("_")(py::str(text)); }

private:
    Globals g_;
};

// A new list of texts, e.g. the `geom` of an object picker.
inline py::list strings(std::initializer_list<const char *> items) {
    py::list out;
    for (auto s : items) out.append(py::str(s));
    return out;
}

// Connects `signal` to a closure that calls self.<method>(args...) and drops whatever the signal
// carries. The closure holds only weak references, so a form is never kept alive by its own rows.
template <typename... Args>
void connect(const py::object &signal, const py::object &self, const char *method, const Args &...args) {
    py::list refs;
    refs.append(py::weakref(self));
    (refs.append(py::weakref(args)), ...);
    std::string name = method;
    signal.attr("connect")(py::cpp_function([refs, name](py::args) {
        py::list live;
        for (auto r : refs) {
            py::object o = r();
            if (o.is_none()) return;  // the form or the widget is gone
            live.append(o);
        }
        py::object self = live[0];
        live.attr("pop")(0);
        self.attr(name.c_str())(*live);
    }));
}

// What a picker (create_grabob) or file chooser (create_browsefile) holds: field.lineedit.edit.text().
inline py::object lineedit_text(const py::object &field) { return field.attr("lineedit").attr("edit").attr("text")(); }

// Fills a property combo box with the object's property names in their stored order and selects
// its current property. An object without a current property (none yet) keeps the first name
// selected; a current property that is not among the names raises ValueError (list.index).
inline void select_properties(const py::object &combobox, const py::object &object) {
    py::list names(object.attr("prop").attr("keys")());
    combobox.attr("clear")();
    combobox.attr("addItems")(names);
    py::object current = object.attr("current_property");
    if (current.is_none()) {
        if (py::len(names) > 0) combobox.attr("setCurrentIndex")(0);
        return;
    }
    combobox.attr("setCurrentIndex")(names.attr("index")(current));
}

// The rows of a form: each widget from a factory of the base, stored on the form, added to `layout`.
class Page {
public:
    explicit Page(py::object self) : self_(std::move(self)), layout_(self_.attr("layout")) {}

    // self.<attr> = self.<factory>(args...); self.layout.addWidget(self.<attr>)
    template <typename... Args>
    py::object add(const char *attr, const char *factory, Args &&...args) {
        py::object w = self_.attr(factory)(std::forward<Args>(args)...);
        self_.attr(attr) = w;
        layout_.attr("addWidget")(w);
        return w;
    }

    // A row the form makes itself.
    void add_widget(const py::object &widget) { layout_.attr("addWidget")(widget); }
    void add_layout(const py::object &box) { layout_.attr("addLayout")(box); }

    // The action row, last; the form does not keep it.
    void action() { layout_.attr("addWidget")(self_.attr("create_action")()); }

private:
    py::object self_, layout_;
};

// class Dialog(QuickFormDialog): class attributes in the order they are given, then the methods.
class Dialog {
public:
    explicit Dialog(py::module_ &m) : g_(m), cb_(m, "Dialog", py::make_tuple(g_("QuickFormDialog"))) {}

    Dialog &name(py::object title) {
        cb_.attr("NAME", std::move(title));
        return *this;
    }
    Dialog &help_body(py::object text) {
        cb_.attr("HELP_BODY", std::move(text));
        return *this;
    }

    // name = Signal(type, ...), the argument types named as builtins: "str", "dict", "int", "list".
    Dialog &signal(const char *name, std::initializer_list<const char *> types) {
        py::list args;
        for (auto t : types) args.append(builtin(t));
        cb_.attr(name, g_("Signal")(*args));
        return *this;
    }

    // def __init__(self, parent=None):
    //     QuickFormDialog.__init__(self, parent)
    //     self.setup_page()
    // No or_detach here: setup_page builds rows from the base's factories only and fails only with
    // a broken host. The forms whose constructors also run steps that fail on what the caller hands
    // in (view_scaling's state, pick_probe's parent without a current viewer) write their own
    // __init__ with or_detach, so that such an ordinary error leaves no hidden form on the parent.
    Dialog &init() {
        Globals g = g_;
        cb_.def(
            "__init__",
            [g](py::object self, py::object parent) {
                g("QuickFormDialog").attr("__init__")(self, parent);
                self.attr("setup_page")();
            },
            nullptr, py::arg("parent") = py::none());
        return *this;
    }

    template <typename F, typename... Extra>
    Dialog &def(const char *name, F &&f, const Extra &...extra) {
        cb_.def(name, std::forward<F>(f), nullptr, extra...);
        return *this;
    }

    // A method that carries a documentation text.
    template <typename F, typename... Extra>
    Dialog &def_doc(const char *name, const char *doc, F &&f, const Extra &...extra) {
        cb_.def(name, std::forward<F>(f), doc, extra...);
        return *this;
    }

    py::object build() { return cb_.build(); }

private:
    Globals g_;
    ClassBuilder cb_;
};

// Runs the construction steps that follow the base constructor. Should one of them fail, the
// half-built form is taken off its parent first (the parent would otherwise keep the hidden window
// for as long as the parent lives) and the error goes on to the caller unchanged.
template <typename F>
void or_detach(const py::object &self, F &&steps) {
    try {
        steps();
    } catch (...) {
        try {
            self.attr("setParent")(py::none());
        } catch (...) {
            // the original error is the one worth reporting
        }
        throw;
    }
}

// def main():
//     from qtpy.QtWidgets import QApplication
//     app = QApplication([])
//     form = Dialog()
//     form.show()
//     app.exec_()
inline void def_main(py::module_ &m) {
    Globals g(m);
    dorar::def(
        m, "main",
        [g]() {
            py::object QApplication = import_name("qtpy.QtWidgets", "QApplication");
            py::object app = QApplication(py::list());
            py::object form = g("Dialog")();
            form.attr("show")();
            app.attr("exec_")();
        },
        nullptr);
}

}  // namespace form
}  // namespace dorar
