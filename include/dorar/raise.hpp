// Raising a Python exception from C++: of a given type with a message built there, or the one
// pybind11 would make of the C++ exception being handled.
//
//   dorar::raise(PyExc_ValueError, "line 3: " + token + " is not a number");   // std::string
//   dorar::raise(PyExc_IndexError, py::str("entry {!r}").format(entry));     // a Python object
#pragma once

#include <pybind11/pybind11.h>

#include <string>

namespace dorar {

namespace py = pybind11;

// Raises `type` with `message` (a str, as the interpreter formatted it) as its value.
[[noreturn]] inline void raise(PyObject *type, const py::handle &message) {
    PyErr_SetObject(type, message.ptr());
    throw py::error_already_set();
}

// Raises `type` with the whole of `message`, UTF-8 text: a NUL in it (from a user's token or
// path) does not cut it short as it would a C string, and a malformed byte shows as U+FFFD.
[[noreturn]] inline void raise(PyObject *type, const std::string &message) {
    PyObject *text = PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace");
    if (!text) throw py::error_already_set();
    raise(type, py::reinterpret_steal<py::object>(text));
}

// Sets the Python error for the C++ exception being handled, as pybind11 does for what escapes a
// function it made; `unknown` is the SystemError text for an exception no translator knows.
inline void raise_current_exception(const char *unknown) {
    try {
        throw;
    } catch (py::error_already_set &e) {
        e.restore();
#ifdef __GLIBCXX__
    } catch (abi::__forced_unwind &) {
        throw;  // a cancelled thread must go on unwinding
#endif
    } catch (...) {
        if (!py::detail::apply_exception_translators(py::detail::get_local_internals().registered_exception_translators) &&
            !py::detail::apply_exception_translators(py::detail::get_internals().registered_exception_translators))
            PyErr_SetString(PyExc_SystemError, unknown);
    }
}

}  // namespace dorar
