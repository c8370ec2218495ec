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

// The file-system bytes of a path already turned into str or bytes by os.fspath. A NUL is refused
// as open() refuses it: the system call would silently take the part before it.
inline std::string file_system_path(const py::object &name) {
    std::string path = py::bytes(py::module_::import("os").attr("fsencode")(name)).cast<std::string>();
    if (path.find('\0') != std::string::npos) throw py::value_error("embedded null byte");
    return path;
}

class ReplacedFile {
public:
    // `fn`: a str, bytes or path-like path. Opening a FIFO waits for its reader, as open() does,
    // with the GIL released; a signal whose handler raises (Ctrl-C) ends the wait with its error.
    explicit ReplacedFile(const py::object &fn) {
        name_ = py::module_::import("os").attr("fspath")(fn);
        const std::string path = file_system_path(name_);
        released([&](const dcore::ShouldStop &stop) { return file_.open(path, stop); });
    }

    dcore::FileReplacement &file() { return file_; }
    const py::object &name() const { return name_; }
    void check(int err) const {
        if (err) raise_os_error(err, name_);
    }

    // Writes `text` encoded as open(fn, "w") encodes it.
    void write_text(const py::object &text) {
        check(file_.begin());
        py::object f = builtins().attr("open")(file_.fd(), "w", py::arg("closefd") = false);
        try {
            closing(f, [&] {
                f.attr("write")(text);
                f.attr("flush")();
            });
        } catch (py::error_already_set &e) {
            // A failed write (a full disk) names the path, not the descriptor.
            if (!e.matches(PyExc_OSError)) throw;
            py::object no = e.value().attr("errno");
            if (no.is_none()) throw;
            raise_os_error(no.cast<int>(), name_);
        }
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
