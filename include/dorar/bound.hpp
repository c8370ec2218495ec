// What a module binds as it loads, for its code to find when it runs, as the code of a Python module
// finds its builtins:
//
//   builtin("open")            the module's own builtin, whoever calls: a function of ours with no
//                              frame of its own (a built-in function) does not take its caller's
//
// It is kept for the life of the process: a call made as the interpreter tears its modules down
// (a finalizer), when `import` is refused and sys.modules holds None, still finds them. Every module
// is a binary of its own whose symbols are hidden, so this slot is that module's alone; a binary
// loaded as two module objects (a module started as the main program and also imported) serves
// both with the builtins of the one loaded last, which are the interpreter's own either way unless
// one was given others.
#pragma once

#include <pybind11/pybind11.h>

namespace dorar {

namespace py = pybind11;

namespace detail {

// The builtins dictionary of the module's code; held for good.
inline PyObject *&builtins_slot() {
    static PyObject *builtins = nullptr;
    return builtins;
}

}  // namespace detail

// Binds the builtins of the module's code, as exec() binds them for a Python module's: the
// `__builtins__` of the module's namespace, set to the builtins of the code that loads it where
// it has none (a module's dictionary stands for itself). Run by the module's exec slot before its
// body.
inline void bind_builtins(const py::module_ &m) {
    PyObject *ns = PyModule_GetDict(m.ptr());
    const py::str key("__builtins__");
    PyObject *found = PyDict_GetItemWithError(ns, key.ptr());
    if (!found) {
        if (PyErr_Occurred()) throw py::error_already_set();
        found = PyEval_GetBuiltins();
        if (PyDict_SetItem(ns, key.ptr(), found) < 0) throw py::error_already_set();
    }
    if (PyModule_Check(found)) found = PyModule_GetDict(found);
    if (!PyDict_Check(found)) throw py::type_error("__builtins__ must be a dict or a module");
    Py_INCREF(found);
    Py_XSETREF(detail::builtins_slot(), found);
}

// The builtins dictionary of the module's code.
inline py::handle module_builtins() {
    PyObject *builtins = detail::builtins_slot();
    if (!builtins) py::pybind11_fail("the module's builtins are not bound: its body runs from the exec slot");
    return builtins;
}

// A builtin (print, open, int, super, __import__, ...) of the module's own builtins, or the
// NameError Python code raises.
inline py::object builtin(const char *name) {
    PyObject *found = PyDict_GetItemWithError(module_builtins().ptr(), py::str(name).ptr());
    if (!found) {
        if (!PyErr_Occurred()) PyErr_Format(PyExc_NameError, "name '%s' is not defined", name);
        throw py::error_already_set();
    }
    return py::reinterpret_borrow<py::object>(found);
}

}  // namespace dorar
