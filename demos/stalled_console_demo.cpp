// Stalled console demonstration: the counterpart of the live console demonstration. Here the job
// runs on the GUI thread and the log handler writes into the text box directly, so the window
// freezes for the job's pause and both of its lines show together once the job returns. Started as
// the main program (tools/run-module demos.stalled_console_demo); a plain import only defines
// `logger`, `ConsoleWindowLogHandler` and `someProcess`. Its widgets come from Qt 4's QtGui.
#include <dorar/pymod.hpp>

namespace py = pybind11;

DORAR_MODULE(stalled_console_demo, m) {
    dorar::from_import(m, "PyQt4", {"QtGui"});
    dorar::import_as(m, "sys", "sys");
    dorar::import_as(m, "time", "time");
    dorar::import_as(m, "logging", "logging");
    dorar::Globals g(m);

    m.attr("logger") = g("logging").attr("getLogger")(m.attr("__name__"));

    dorar::ClassBuilder cb(m, "ConsoleWindowLogHandler", py::make_tuple(g("logging").attr("Handler")));
    auto ref = cb.ref();
    cb.def(
          "__init__",
          [ref](py::object self, py::object textBox) {
              ref->super(self).attr("__init__")();
              self.attr("textBox") = textBox;
          },
          nullptr, py::arg("textBox"))
        .def(
            "emit",
            [](py::object self, py::object logRecord) {
                self.attr("textBox").attr("append")(dorar::str_of(logRecord.attr("getMessage")()));
            },
            nullptr, py::arg("logRecord"));
    cb.build();

    dorar::def(m, "someProcess", [g]() {
        g("logger").attr("error")("line1");
        g("time").attr("sleep")(5);
        g("logger").attr("error")("line2");
    }, nullptr);

    if (dorar::is_main(m)) {
        py::object QtGui = g("QtGui");
        m.attr("app") = QtGui.attr("QApplication")(g("sys").attr("argv"));
        m.attr("window") = QtGui.attr("QWidget")();
        m.attr("textBox") = QtGui.attr("QTextBrowser")();
        m.attr("button") = QtGui.attr("QPushButton")("Click");
        g("button").attr("clicked").attr("connect")(g("someProcess"));
        m.attr("vertLayout") = QtGui.attr("QVBoxLayout")();
        g("vertLayout").attr("addWidget")(g("textBox"));
        g("vertLayout").attr("addWidget")(g("button"));
        g("window").attr("setLayout")(g("vertLayout"));
        g("window").attr("show")();
        m.attr("consoleHandler") = g("ConsoleWindowLogHandler")(g("textBox"));
        g("logger").attr("addHandler")(g("consoleHandler"));
        g("sys").attr("exit")(g("app").attr("exec_")());
    }
}
