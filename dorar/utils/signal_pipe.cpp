// dorar.utils.signal_pipe: text streams and a log handler that re-emit text as Qt signals.
//
// `write` and `emit` run on whichever thread prints or logs; they are called with the GIL held and
// emit through PyQt exactly as Python code would, so a receiver runs on the writing thread (direct
// connection) or later on its own thread (queued connection), as the host connects it.
#include <dorar/pymod.hpp>

namespace py = pybind11;
using dorar::Globals;

namespace {

// `XStream._<which>`, created and installed as `sys.<which>` on the first request only. No lock of
// ours guards the creation: a thread that is ended at the interpreter's exit inside `cls()` would
// keep it for good, and a request at exit (a finalizer) would wait for it for ever. Concurrent first
// requests may each make a stream (so may a request from inside `cls()`): the first one installed
// stays and the others are dropped. No Python code runs between the second look at the slot and the
// setting of the slot and of `sys.<which>`, so the GIL makes the three one step.
py::object singleton(const std::shared_ptr<dorar::ClassRef> &ref, const Globals &g, const char *which) {
    const py::str slot(std::string("_") + which), name(which);
    py::object cls = ref->cls();
    py::object stream = cls.attr(slot);
    if (py::bool_(stream)) return stream;
    py::object made = cls();
    py::object sys = g("sys");
    stream = cls.attr(slot);  // another thread, or a request from inside cls(), may have made one
    if (py::bool_(stream)) return stream;
    cls.attr(slot) = made;
    sys.attr(name) = made;
    return made;
}

void build_signal_pipe(py::module_ &m, const Globals &g) {
    dorar::ClassBuilder cb(m, "SignalPipe", py::make_tuple(g("QObject")));
    cb.attr("textWritten", g("Signal")(g("str")))
        .def(
            "write",
            [](py::object self, py::object text) { self.attr("textWritten").attr("emit")(dorar::str_of(text)); },
            nullptr, py::arg("text"))
        .def("flush", [](py::object) {}, nullptr);
    cb.build();
}

py::object build_xstream(py::module_ &m, const Globals &g) {
    dorar::ClassBuilder cb(m, "XStream", py::make_tuple(g("QObject")));
    auto ref = cb.ref();
    cb.attr("_stdout", py::none())
        .attr("_stderr", py::none())
        .attr("messageWritten", g("Signal")(g("str")))
        .def("flush", [](py::object) {}, nullptr)
        .def("fileno", [](py::object) { return -1; }, nullptr)
        .def(
            "write",
            [](py::object self, py::object msg) {
                if (py::bool_(self.attr("signalsBlocked")())) return;  // dropped, not kept
                self.attr("messageWritten").attr("emit")(dorar::str_of(msg));
            },
            nullptr, py::arg("msg"))
        .def_static("stdout", [ref, g]() { return singleton(ref, g, "stdout"); })
        .def_static("stderr", [ref, g]() { return singleton(ref, g, "stderr"); });
    return cb.build();
}

void build_qt_handler(py::module_ &m, const Globals &g, const py::object &xstream) {
    auto xs = std::make_shared<dorar::ClassRef>();
    xs->set(xstream);
    dorar::ClassBuilder cb(m, "QtHandler", py::make_tuple(g("logging").attr("Handler")));
    cb.def(
          "__init__", [g](py::object self) { g("logging").attr("Handler").attr("__init__")(self); }, nullptr)
        .def(
            "emit",
            [xs](py::object self, py::object record) {
                py::object text = self.attr("format")(record);
                if (!py::bool_(text)) return;
                py::object line = py::str("%s\n").attr("__mod__")(py::make_tuple(text));
                xs->cls().attr("stdout")().attr("write")(line);
            },
            nullptr, py::arg("record"));
    cb.build();
}

}  // namespace

DORAR_MODULE(signal_pipe, m) {
    dorar::import_as(m, "sys", "sys");
    dorar::import_as(m, "logging", "logging");
    dorar::from_import(m, "qtpy.QtCore", {"QObject", "Signal"});
    Globals g(m);
    build_signal_pipe(m, g);
    py::object xstream = build_xstream(m, g);
    build_qt_handler(m, g, xstream);
}
