// Whole files written the way open(fn, "w") sees the path, never leaving half a file where a
// temporary file can stand beside it (see core/file_replace.hpp). Every error is the interpreter's
// OSError subclass for the errno, naming the caller's path.
//
//   dorar::ReplacedFile out(fn);      // fails as open(fn, "w") fails; nothing is emptied yet
//   ... build the content; an error here leaves the old file as it was ...
//   out.write_text(text);  or  out.check(out.file().begin()) and write to out.file().fd()
//   out.commit();                     // a pending Ctrl-C still keeps the old file
#pragma once

#include <dorar/pymod.hpp>
#include <dorar/signal_check.hpp>

#include <cerrno>
#include <string>

#include "file_replace.hpp"

namespace dorar {

// Raises the OSError subclass the interpreter raises for `err` (PermissionError for EACCES, ...).
[[noreturn]] inline void raise_os_error(int err, const py::object &filename) {
    errno = err;
    PyErr_SetFromErrnoWithFilenameObject(PyExc_OSError, filename.ptr());
    throw py::error_already_set();
}

// os.fspath(fn): the path as str or bytes.
inline py::object fspath(const py::handle &fn) {
    PyObject *name = PyOS_FSPath(fn.ptr());
    if (!name) throw py::error_already_set();
    return py::reinterpret_steal<py::object>(name);
}

// The file-system bytes of a path, as open() takes them (os.fsencode): a NUL is refused as open()
// refuses it, since the system call would silently take the part before it.
inline std::string file_system_path(const py::object &name) {
    PyObject *bytes = nullptr;
    if (!PyUnicode_FSConverter(name.ptr(), &bytes)) throw py::error_already_set();
    return py::reinterpret_steal<py::bytes>(bytes).cast<std::string>();
}

class ReplacedFile {
public:
    // `fn`: a str, bytes or path-like path. Opening a FIFO waits for its reader, as open() does,
    // with the GIL released; a signal whose handler raises (Ctrl-C) ends the wait with its error.
    explicit ReplacedFile(const py::object &fn) {
        // An interpreter that ends on Ctrl-C ends by the signal once it has finalized: exit()
        // never runs, so the interpreter drops the temporary files itself.
        static const int drop_at_exit = Py_AtExit(dcore::drop_temporaries_at_exit);
        static_cast<void>(drop_at_exit);
        name_ = fspath(fn);
        const std::string path = file_system_path(name_);
        released([&](const dcore::ShouldStop &stop) { return file_.open(path, stop); });
    }

    dcore::FileReplacement &file() { return file_; }
    const py::object &name() const { return name_; }
    void check(int err) const {
        if (err) raise_os_error(err, name_);
    }

    // Writes `text` encoded as open(fn, "w") encodes it. It is encoded whole before the file is
    // touched, so an encoding error leaves the old file as it was; the bytes then go out with the
    // GIL released. Ctrl-C stops the write of a temporary file or a FIFO; a file written in place
    // has lost its old content once it is emptied, so it is written whole and the interrupt comes
    // after. The module binds io as it loads (bind_imports).
    void write_text(const py::object &text) {
        py::object io = bound("io");
        py::object buffer = io.attr("BytesIO")();
        py::object f = io.attr("TextIOWrapper")(buffer, py::arg("encoding") = io.attr("text_encoding")(py::none()));
        f.attr("write")(text);
        f.attr("flush")();
        const std::string bytes = py::bytes(buffer.attr("getvalue")());
        const bool in_place = file_.way() == dcore::ReplaceWay::in_place;
        released([&](const dcore::ShouldStop &stop) {
            const int err = file_.begin();
            return err ? err : file_.write(bytes.data(), bytes.size(), in_place ? dcore::ShouldStop{} : stop);
        });
    }

    // A signal whose handler raises (Ctrl-C) while the new content is synced, or one still
    // pending, abandons the replacement: the old file stays and the handler's error is raised.
    void commit() {
        released([&](const dcore::ShouldStop &stop) { return file_.commit(stop); });
    }

private:
    // Runs `step(stop)` (an errno or 0) with the GIL released, then raises the error of a signal
    // handler that stopped it or the OSError of its errno.
    template <typename Step>
    void released(Step step) {
        SignalCheck signals;
        int err;
        {
            ReleasedGil nogil;
            err = step(signals.callback());
        }
        signals.raise_if_stopped();
        check(err);
    }

    py::object name_;
    dcore::FileReplacement file_;
};

}  // namespace dorar
