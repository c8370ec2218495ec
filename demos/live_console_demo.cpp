// Live console demonstration: a button starts a job on a Qt worker thread; the job logs through
// the module's logger, and a handler that is also a Qt object hands each message by a signal to a
// read-only text box on the GUI thread, so every line shows while the job still runs and the window
// stays responsive. Started as the main program (tools/run-module demos.live_console_demo); a
// plain import only defines the names.
#include <dorar/pymod.hpp>

namespace py = pybind11;

namespace {

void define_handler(py::module_ &m, const dorar::Globals &g) {
    dorar::ClassBuilder cb(m, "ConsoleWindowLogHandler",
                           py::make_tuple(g("logging").attr("Handler"), g("QObject")));
    cb.attr("sigLog", g("Signal")(dorar::builtin("str")))
        .def("__init__",
             [g](py::object self) {
                 g("logging").attr("Handler").attr("__init__")(self);
                 g("QObject").attr("__init__")(self);
             })
        .def(
            "emit",
            [](py::object self, py::object logRecord) {
                self.attr("sigLog").attr("emit")(dorar::str_of(logRecord.attr("getMessage")()));
            },
            nullptr, py::arg("logRecord"));
    cb.build();
}

void define_window(py::module_ &m, const dorar::Globals &g) {
    dorar::ClassBuilder cb(m, "Window", py::make_tuple(g("QWidget")));
    auto ref = cb.ref();
    cb.def("__init__",
           [ref, g](py::object self) {
               ref->super(self).attr("__init__")();
               py::object textBox = g("QTextEdit")();
               textBox.attr("setReadOnly")(true);
               self.attr("button") = g("QPushButton")("Click");
               py::object layout = g("QVBoxLayout")();
               layout.attr("addWidget")(textBox);
               layout.attr("addWidget")(self.attr("button"));
               self.attr("setLayout")(layout);
               self.attr("button").attr("clicked").attr("connect")(self.attr("buttonPressed"));
               self.attr("bee") = g("Worker")(self.attr("someProcess"), py::tuple());
               self.attr("bee").attr("finished").attr("connect")(self.attr("restoreUi"));
               self.attr("bee").attr("terminated").attr("connect")(self.attr("restoreUi"));
               py::object handler = g("ConsoleWindowLogHandler")();
               handler.attr("sigLog").attr("connect")(textBox.attr("append"));
               g("logger").attr("addHandler")(handler);
           })
        .def("buttonPressed",
             [](py::object self) {
                 self.attr("button").attr("setEnabled")(false);
                 self.attr("bee").attr("start")();
             })
        .def("someProcess",
             [g](py::object) {
                 g("logger").attr("error")("starting");
                 for (int i = 0; i < 10; ++i) {
                     g("logger").attr("error")(py::str("line%d").attr("__mod__")(i));
                     g("time").attr("sleep")(2);
                 }
             })
        .def("restoreUi", [](py::object self) { self.attr("button").attr("setEnabled")(true); });
    cb.build();
}

void define_worker(py::module_ &m, const dorar::Globals &g) {
    dorar::ClassBuilder cb(m, "Worker", py::make_tuple(g("QThread")));
    auto ref = cb.ref();
    // Qt 5's thread class has no `terminated`. Here the worker declares its own and emits it when
    // the job ends by an error instead of running to its end (then `finished` follows as usual).
    bool own_terminated = !py::hasattr(g("QThread"), "terminated");
    if (own_terminated) cb.attr("terminated", g("Signal")());
    cb.def(
          "__init__",
          [ref](py::object self, py::object func, py::object args) {
              ref->super(self).attr("__init__")();
              self.attr("func") = func;
              self.attr("args") = args;
          },
          nullptr, py::arg("func"), py::arg("args"))
        .def("run", [g, own_terminated](py::object self) {
            try {
                self.attr("func")(*self.attr("args"));
            } catch (py::error_already_set &e) {
                // An error escaping run() into Qt would abort the whole process: report it the
                // way an uncaught error is reported and let the thread end normally.
                try {
                    g("sys").attr("excepthook")(e.type(), e.value(), e.trace());
                } catch (py::error_already_set &hook_failed) {
                    hook_failed.discard_as_unraisable("sys.excepthook of the worker thread");
                }
                if (own_terminated) self.attr("terminated").attr("emit")();
            }
        });
    cb.build();
}

}  // namespace

DORAR_MODULE(live_console_demo, m) {
    dorar::import_as(m, "sys", "sys");
    dorar::import_as(m, "time", "time");
    dorar::import_as(m, "logging", "logging");
    dorar::from_import(m, "qtpy.QtCore", {"QObject", "Signal", "QThread"});
    dorar::from_import(m, "qtpy.QtWidgets", {"QWidget", "QTextEdit", "QPushButton", "QVBoxLayout"});
    dorar::Globals g(m);

    m.attr("logger") = g("logging").attr("getLogger")(m.attr("__name__"));

    define_handler(m, g);
    define_window(m, g);
    define_worker(m, g);

    dorar::def(m, "main", [g]() {
        py::object QApplication = dorar::import_name("qtpy.QtWidgets", "QApplication");
        py::object app = QApplication(g("sys").attr("argv"));
        py::object window = g("Window")();
        window.attr("show")();
        py::object status = app.attr("exec_")();
        // The loop ends when the window is closed, possibly while a job still runs: let the job
        // finish (it ends by itself) so its thread is not destroyed while running.
        window.attr("bee").attr("wait")();
        g("sys").attr("exit")(status);
    }, nullptr);

    if (dorar::is_main(m)) g("main")();
}
