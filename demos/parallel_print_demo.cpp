// Parallel print demonstration: shows where printed text goes when the process's standard streams
// are replaced by Qt signal streams around joblib jobs. The whole demonstration runs while the
// module loads (imported or started as the main program alike); it keeps no main function.
//
// The demonstration carries its own copy of the console stream class, so its two singletons are
// its own and nothing here touches dorar.utils.signal_pipe.
#include <dorar/pymod.hpp>

namespace py = pybind11;

namespace {

// The stream class: text written to it goes out as the messageWritten signal.
void define_xstream(py::module_ &m, const dorar::Globals &g) {
    dorar::ClassBuilder cb(m, "XStream", py::make_tuple(g("QObject")));
    auto ref = cb.ref();

    // Creates the singleton stored in the class attribute `slot` on first use and installs it as
    // sys.<stream>; later calls only return it. Always through XStream itself, so a subclass shares
    // the singletons.
    auto singleton = [ref, g](const char *slot, const char *stream) {
        py::object cls = ref->cls();
        if (!py::bool_(cls.attr(slot))) {
            cls.attr(slot) = cls();
            g("sys").attr(stream) = cls.attr(slot);
        }
        return cls.attr(slot);
    };

    cb.doc(" Redirect stdout/stderr stream in PyQt ")
        .attr("_stdout", py::none())
        .attr("_stderr", py::none())
        .attr("messageWritten", g("Signal")(dorar::builtin("str")))
        .def("flush", [](py::object) {})
        .def("fileno", [](py::object) { return -1; })
        .def(
            "write",
            [](py::object self, py::object msg) {
                if (py::bool_(self.attr("signalsBlocked")())) return;
                self.attr("messageWritten").attr("emit")(dorar::str_of(msg));
            },
            nullptr, py::arg("msg"))
        .def_static("stdout", [singleton]() { return singleton("_stdout", "stdout"); })
        .def_static("stderr", [singleton]() { return singleton("_stderr", "stderr"); });
    cb.build();
}

// The threads that a Parallel call starts. When a job fails, joblib stops its pool and raises at
// once, while the other jobs of the moment still run in this module's code; a process that then
// ends would tear the interpreter down under them (a crash at exit). Joining every thread the call
// started, after the call and before its error goes on, leaves none of them behind. The pool has
// been stopped by then, so each of them ends as soon as its job does.
class JobThreads {
public:
    JobThreads() : threading_(py::module_::import("threading")), before_(threading_.attr("enumerate")()) {}

    void join() {
        py::object current = threading_.attr("current_thread")();
        for (py::handle t : threading_.attr("enumerate")())
            if (!before_.contains(t) && !t.is(current)) t.attr("join")();
    }

private:
    py::object threading_;
    py::set before_;
};

}  // namespace

DORAR_MODULE(parallel_print_demo, m) {
    dorar::Globals g(m);

    dorar::import_as(m, "platform", "platform");
    dorar::print(g("platform").attr("platform")());

    dorar::import_as(m, "sys", "sys");
    dorar::print("Python", g("sys").attr("version"));

    dorar::import_as(m, "joblib", "joblib");
    dorar::print("joblib", g("joblib").attr("__version__"));

    dorar::from_import(m, "joblib", {"Parallel", "delayed"});
    dorar::from_import(m, "qtpy.QtCore", {"QObject", "Signal"});

    define_xstream(m, g);

    dorar::def(
        m, "print1",
        [g](py::object text) {
            py::object sys = g("sys");
            sys.attr("stdout") = sys.attr("__stdout__");
            sys.attr("stdout").attr("write")(text);
        },
        " Restore the system default sys.stdout ", py::arg("text"));
    dorar::def(
        m, "print2", [](py::object) {}, " Redirect print to a Qt widget ", py::arg("text"));

    dorar::print("Before redirect: sys.stderr.fileno() = ", g("sys").attr("stderr").attr("fileno")());

    // Both singletons hand their text to print1 on the thread that writes it. No event loop runs
    // here, so a queued delivery (what the default connection makes for a writer on another
    // thread) would never arrive and the text would be lost.
    py::object direct = py::module_::import("qtpy.QtCore").attr("Qt").attr("DirectConnection");
    py::object xstream = g("XStream");
    xstream.attr("stdout")().attr("messageWritten").attr("connect")(g("print1"), direct);
    xstream.attr("stderr")().attr("messageWritten").attr("connect")(g("print1"), direct);

    dorar::print("After redirect: sys.stderr.fileno() = ", g("sys").attr("stderr").attr("fileno")());

    // The jobs run on threads of this process and print with no lock of ours: print() writes its
    // pieces (the text, the blank, the number, the newline) one by one, so the lines of jobs that
    // print at the same moment may interleave, each piece whole. Nothing here waits for anything,
    // so a job ended inside print at the interpreter's exit, or a signal handler that calls `test`
    // while its own thread is inside `test`, keeps no other print from going on.
    dorar::def(
        m, "test", [](py::object i) { dorar::print("This is thread", i); }, nullptr, py::arg("i"));
    m.attr("nthread") = 5;
    m.attr("processes") = g("range")(10);

    // Threads, not processes: a process worker would have to pickle `test`, a compiled function,
    // and import this module again, which reruns the whole demonstration in every worker.
    py::object jobs = g("map")(g("delayed")(g("test")), g("processes"));
    py::object backend = g("joblib").attr("parallel_backend")("threading");
    backend.attr("__enter__")();
    py::object results;
    JobThreads job_threads;
    try {
        results = g("Parallel")(py::arg("n_jobs") = g("nthread"))(jobs);
    } catch (py::error_already_set &e) {
        job_threads.join();
        backend.attr("__exit__")(e.type(), e.value(), e.trace());
        throw;
    }
    job_threads.join();
    backend.attr("__exit__")(py::none(), py::none(), py::none());
    m.attr("_") = results;
}
