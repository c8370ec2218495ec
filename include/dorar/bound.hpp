// What a module binds as it loads, for its code to find when it runs, as the code of a Python module
// finds its builtins and the modules it imported at its top:
//
//   builtin("open")            the module's own builtin, whoever calls: a function of ours with no
//                              frame of its own (a built-in function) does not take its caller's
//   bind_imports({"io"})       in the module body: modules our code uses when it runs but finds in
//                              no module global (the io that file writing encodes with)
//   bind("cp037", codec)       in the module body: anything else made once, as the module loads
//   bound("io")                either, at call time
//
// All of it is kept for the life of the process: a call made as the interpreter tears its modules down
// (a finalizer), when `import` is refused and sys.modules holds None, still finds them. Every module
// is a binary of its own whose symbols are hidden, so these slots are that module's alone; a binary
// loaded as two module objects (a module started as the main program and also imported) serves
// both with the builtins of the one loaded last, which are the interpreter's own either way unless
// one was given others.
#pragma once

#include <pybind11/pybind11.h>
#include <pybind11/numpy.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace dorar {

namespace py = pybind11;

namespace detail {

// The builtins dictionary of the module's code; held for good.
inline PyObject *&builtins_slot() {
    static PyObject *builtins = nullptr;
    return builtins;
}

// What bind() keeps, by name; held for good.
inline std::vector<std::pair<std::string, PyObject *>> &bound_slots() {
    static auto *slots = new std::vector<std::pair<std::string, PyObject *>>();
    return *slots;
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

// Keeps `value` for bound(name): made while the module loads, for our code to use at call time.
inline void bind(const std::string &name, const py::object &value) {
    for (auto &slot : detail::bound_slots())
        if (slot.first == name) {
            Py_INCREF(value.ptr());
            Py_XSETREF(slot.second, value.ptr());
            return;
        }
    detail::bound_slots().emplace_back(name, py::object(value).release().ptr());
}

// Keeps `module`, imported as `name`, for bound(name). Importing numpy binds its C API as well,
// which pybind11 would otherwise import at its first use of an array.
inline void bind_import(const char *name, const py::object &module) {
    if (std::strcmp(name, "numpy") == 0) py::detail::npy_api::get();
    bind(name, module);
}

// `import name` for each name, made in the module body: modules our code uses at call time without
// a module global to look them up in.
inline void bind_imports(std::initializer_list<const char *> names) {
    for (const char *name : names) bind_import(name, py::module_::import(name));
}

// What the module bound as it loaded. Asking for what it did not bind is a fault of the module's
// code, reported as such rather than made at call time, where an import fails as the interpreter
// ends.
inline py::object bound(const char *name) {
    for (const auto &slot : detail::bound_slots())
        if (slot.first == name) return py::reinterpret_borrow<py::object>(slot.second);
    py::pybind11_fail(std::string(name) + " is used at call time but was not bound as the module loaded");
}

}  // namespace dorar
