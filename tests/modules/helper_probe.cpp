// A small module built only for the tests: it uses every part of the house helper the way a
// deliverable does (a Qt class with a signal, __init__ calling super(), a property, an exact
// docstring, call-time globals and the main-program guard).
#include <dorar/pymod.hpp>

namespace py = pybind11;

DORAR_MODULE(helper_probe, m) {
    dorar::import_as(m, "numpy", "np");
    dorar::from_import(m, "qtpy.QtCore", {"QObject", "Signal"});
    dorar::Globals g(m);

    dorar::ClassBuilder cb(m, "Emitter", py::make_tuple(g("QObject")));
    auto ref = cb.ref();
    cb.attr("NAME", py::str("probe"))
        .attr("sig_start", g("Signal")(dorar::builtin("str"), py::int_(0).get_type()))
        .doc("Emits its request once per apply.")
        .def(
            "__init__",
            [ref](py::object self, py::object parent) {
                ref->super(self).attr("__init__")(parent);
                self.attr("count") = 0;
            },
            nullptr, py::arg("parent") = py::none())
        .def(
            "apply",
            [](py::object self, py::str text) {
                self.attr("count") = self.attr("count").cast<int>() + 1;
                self.attr("sig_start").attr("emit")(text, self.attr("count"));
            },
            "Emit sig_start with the text and the count.", py::arg("text"))
        .property("doubled", [g](py::object self) { return g("np").attr("int64")(self.attr("count")) * py::int_(2); });
    cb.build();

    dorar::def(
        m, "lookup", [g](const char *name) { return g(name); }, "Return the module global NAME.");
    dorar::def(
        m, "missing_import", [m]() mutable { dorar::from_import(m, "os.path", {"no_such_name"}); },
        "from os.path import no_such_name");

    // Signatures of every kind, each returning what it was given, in parameter order.
    auto plain = [](py::object a, py::object b, py::object c, py::object d) { return py::make_tuple(a, b, c, d); };
    dorar::def(m, "plain", plain, nullptr, py::arg("a"), py::arg("b"), py::arg("c") = 3, py::arg("d") = py::none());
    // The same function as pybind11 alone makes it: the peer of the call-cost benchmark.
    m.attr("plain_pybind11") = py::cpp_function(plain, py::arg("a"), py::arg("b"), py::arg("c") = 3,
                                                py::arg("d") = py::none());
    dorar::def(
        m, "starred",
        [](py::object a, py::args args, py::object b, py::object c, py::kwargs kwargs) {
            return py::make_tuple(a, args, b, c, kwargs);
        },
        nullptr, py::arg("a"), py::arg("b"), py::arg("c") = 3);
    dorar::def(
        m, "keyword_only", [](py::object a, py::object b, py::object c) { return py::make_tuple(a, b, c); }, nullptr,
        py::arg("a"), py::kw_only(), py::arg("b"), py::arg("c") = py::none());
    dorar::def(
        m, "positional_only", [](py::object a, py::object b, py::object c) { return py::make_tuple(a, b, c); },
        nullptr, py::arg("a"), py::arg("b") = 2, py::pos_only(), py::arg("c") = 3);
    dorar::def(
        m, "collector", [](py::object a, py::kwargs kwargs) { return py::make_tuple(a, kwargs); }, nullptr,
        py::arg("a"), py::pos_only());

    if (dorar::is_main(m)) dorar::print("main ran", py::arg("flush") = true);
}
