// The house helper: lets a module body read like the Python module it stands for.
//
//   DORAR_MODULE(cut, m) { ... }          multi-phase module; the body is the exec slot
//   import_as(m, "numpy", "np")           import numpy as np
//   from_import(m, "x.y", {"a", "b"})     from x.y import a, b (ImportError when missing)
//   Globals g(m); g("np")                 module global looked up at call time
//   def(m, "name", f, doc, py::arg...)    module-level function with an exact docstring: a `def`
//                                         of the declared signature
//   def_builtin<f>(m, "name", doc, arg)   a built-in function of one argument
//   ClassBuilder cb(m, "Dialog", bases)   a class made the way a `class` statement makes it, its
//                                         methods (def, def_static, property) `def`s as well
//   is_main(m)                            the main-program guard
//   builtin("open"), bind_imports({"io"}) the module's own builtins, and imports that our code
//                                         uses at call time, bound as it loads (bound.hpp)
//
// How def and the class methods make their functions is in function.hpp.
#pragma once

#include <pybind11/pybind11.h>
#include <pybind11/numpy.h>

#include <dorar/bound.hpp>
#include <dorar/function.hpp>

#include <initializer_list>
#include <memory>
#include <string>
#include <utility>

namespace dorar {

namespace py = pybind11;

// Runs a module body from the exec slot, turning C++ exceptions into Python ones.
template <typename Body>
int exec_module(PyObject *mod, Body body) {
    try {
        py::detail::get_internals();
        auto m = py::reinterpret_borrow<py::module_>(mod);
        bind_builtins(m);
        body(m);
        return 0;
    } catch (...) {
        raise_current_exception("unknown C++ exception in module body");
    }
    return -1;
}

inline bool is_main(const py::module_ &m) {
    return py::str(m.attr("__name__")).cast<std::string>() == "__main__";
}

// `import a.b` binds `a`; `import a.b as c` binds the submodule. Our own code finds it as bound(module) too.
inline py::object import_as(py::module_ &m, const char *module, const char *as) {
    py::object mod = py::module_::import(module);
    bind_import(module, mod);
    m.attr(as) = mod;
    return mod;
}

// The module that `from module import a, b, ...` imports: one __import__ with every name in its
// fromlist. `globals` is the importing module's namespace (none inside a function body that has none).
inline py::object import_from(const char *module, std::initializer_list<const char *> names,
                              py::object globals = py::none()) {
    py::tuple fromlist(names.size());
    std::size_t i = 0;
    for (auto n : names) fromlist[i++] = py::str(n);
    return builtin("__import__")(module, globals, py::none(), fromlist, 0);
}

// One name taken from the module that import_from gave: a missing name raises ImportError, as the
// statement does.
inline py::object take_name(const py::object &mod, const char *module, const char *name) {
    if (!py::hasattr(mod, name)) {
        py::object file = py::getattr(mod, "__file__", py::none());
        std::string where = file.is_none() ? "unknown location" : py::str(file).cast<std::string>();
        std::string msg = std::string("cannot import name '") + name + "' from '" + module + "' (" + where + ")";
        PyErr_SetImportError(py::str(msg).ptr(), py::str(module).ptr(), file.ptr());
        throw py::error_already_set();
    }
    return mod.attr(name);
}

// `from module import name`, the name's value.
inline py::object import_name(const char *module, const char *name, py::object globals = py::none()) {
    return take_name(import_from(module, {name}, std::move(globals)), module, name);
}

// `from module import names...` at module level: one import, then each name taken and bound in the
// module in order (under `as` where given).
inline void from_import(py::module_ &m, const char *module, std::initializer_list<const char *> names,
                        std::initializer_list<const char *> as = {}) {
    py::object mod = import_from(module, names, m.attr("__dict__"));
    auto alias = as.begin();
    for (auto n : names) {
        const char *target = (alias != as.end()) ? *alias++ : n;
        m.attr(target) = take_name(mod, module, n);
    }
}

// str(obj) as the builtin gives it: py::str hands a str subclass back as it is, skipping its own
// __str__.
inline py::str str_of(const py::handle &obj) {
    PyObject *text = PyObject_Str(obj.ptr());
    if (!text) throw py::error_already_set();
    return py::reinterpret_steal<py::str>(text);
}

// Module globals read when the code runs, so that a replaced attribute is seen (as in Python).
class Globals {
public:
    explicit Globals(const py::module_ &m) : dict_(m.attr("__dict__")) {}
    py::object operator()(const char *name) const {
        PyObject *v = PyDict_GetItemString(dict_.ptr(), name);
        if (v) return py::reinterpret_borrow<py::object>(v);
        return builtin(name);
    }

private:
    py::object dict_;
};

// Keyword arguments in the order they are written: f(a, **kwargs({{"icon", i}, {"tip", t}})).
inline py::dict kwargs(std::initializer_list<std::pair<const char *, py::object>> items) {
    py::dict d;
    for (const auto &it : items) d[py::str(it.first)] = it.second;
    return d;
}

// print() through the builtin so that a replaced sys.stdout sees the text.
template <typename... Args>
void print(Args &&...args) {
    builtin("print")(std::forward<Args>(args)...);
}

// `with closing(resource): body()`: close() runs whether the body succeeds or fails, and a close
// that fails after a failed body never hides the body's error.
template <typename Body>
void closing(const py::object &resource, Body body) {
    try {
        body();
    } catch (...) {
        try {
            resource.attr("close")();
        } catch (py::error_already_set &) {
        }
        throw;
    }
    resource.attr("close")();
}

// A module-level function: the interpreter's own, a `def` of the declared signature; the docstring
// is exactly `doc` (none for nullptr).
template <typename F, typename... Extra>
py::object def(py::module_ &m, const char *name, F &&f, const char *doc, const Extra &...extra) {
    py::object fn = detail::function(m, name, name, false, std::forward<F>(f), doc, extra...);
    m.attr(name) = fn;
    return fn;
}

// A built-in function of one argument (METH_O), refusing other calls as any such function does:
// `F(Globals, arg)` is its body; `param` names the argument in the signature.
template <auto F>
py::object def_builtin(py::module_ &m, const char *name, const char *doc, const py::arg &param) {
    struct Body {
        static PyObject *call(PyObject *module, PyObject *arg) {
            try {
                py::object result = F(Globals(py::reinterpret_borrow<py::module_>(module)),
                                      py::reinterpret_borrow<py::object>(arg));
                return result.release().ptr();
            } catch (...) {
                raise_current_exception("unknown C++ exception");
            }
            return nullptr;
        }
    };
    // The interpreter reads the signature in front of the docstring and leaves the docstring exact.
    static const std::string text = std::string(name) + "(" + param.name + ", /)\n--\n\n" + doc;
    static PyMethodDef def = {name, Body::call, METH_O, text.c_str()};
    auto fn = py::reinterpret_steal<py::object>(PyCFunction_NewEx(&def, m.ptr(), m.attr("__name__").ptr()));
    if (!fn) throw py::error_already_set();
    m.attr(name) = fn;
    return fn;
}

// A weak handle on a class built by ClassBuilder, for super() inside its methods.
class ClassRef {
public:
    py::object cls() const {
        if (!weak_) throw std::runtime_error("class is not built yet");
        py::object c = py::reinterpret_borrow<py::object>(PyWeakref_GetObject(weak_.ptr()));
        if (c.is_none()) throw std::runtime_error("class no longer exists");
        return c;
    }
    py::object super(const py::handle &self) const { return builtin("super")(cls(), self); }
    void set(const py::object &cls) { weak_ = py::reinterpret_steal<py::object>(PyWeakref_NewRef(cls.ptr(), nullptr)); }

private:
    py::object weak_;
};

// Builds a class from Python bases the way a `class` statement does: the namespace is filled
// first (module, qualname, class attributes, signals, methods) and the metaclass is called once.
class ClassBuilder {
public:
    ClassBuilder(py::module_ &m, const char *name, py::tuple bases)
        : m_(m), name_(name), bases_(std::move(bases)), ref_(std::make_shared<ClassRef>()) {
        py::tuple prepared = py::module_::import("types").attr("prepare_class")(name, bases_);
        meta_ = prepared[0];
        ns_ = prepared[1];
        kwds_ = prepared[2];
        ns_["__module__"] = m.attr("__name__");
        ns_["__qualname__"] = name;
    }

    std::shared_ptr<ClassRef> ref() const { return ref_; }

    ClassBuilder &attr(const char *key, py::object value) {
        ns_[key] = std::move(value);
        return *this;
    }
    ClassBuilder &doc(const char *text) { return attr("__doc__", py::str(text)); }

    template <typename F, typename... Extra>
    ClassBuilder &def(const char *name, F &&f, const char *doc = nullptr, const Extra &...extra) {
        ns_[name] = method(name, std::forward<F>(f), doc, extra...);
        return *this;
    }

    // name = staticmethod(f): takes no instance, called through the class or any instance.
    template <typename F, typename... Extra>
    ClassBuilder &def_static(const char *name, F &&f, const char *doc = nullptr, const Extra &...extra) {
        ns_[name] = builtin("staticmethod")(
            detail::function(m_, name, name_ + "." + name, false, std::forward<F>(f), doc, extra...));
        return *this;
    }

    template <typename G>
    ClassBuilder &property(const char *name, G &&getter, const char *doc = nullptr) {
        py::object get = method(name, std::forward<G>(getter), doc);
        ns_[name] = builtin("property")(get, py::none(), py::none(), doc ? py::str(doc) : py::object(py::none()));
        return *this;
    }

    // A read-write property; `value`, a py::arg, names the setter's argument (else it is "arg0").
    template <typename G, typename S, typename... Value>
    ClassBuilder &property(const char *name, G &&getter, S &&setter, const char *doc = nullptr,
                           const Value &...value) {
        static_assert(sizeof...(Value) <= 1, "a setter takes one value");
        py::object get = method(name, std::forward<G>(getter), doc);
        py::object set = method(name, std::forward<S>(setter), nullptr, value...);
        ns_[name] = builtin("property")(get, set, py::none(), doc ? py::str(doc) : py::object(py::none()));
        return *this;
    }

    // Calls the metaclass once and binds the class to the module under its name.
    py::object build() {
        py::object cls = meta_(name_, bases_, ns_, **kwds_);
        ref_->set(cls);
        m_.attr(name_.c_str()) = cls;
        return cls;
    }

private:
    // A function of the class body: its first parameter is the instance.
    template <typename F, typename... Extra>
    py::object method(const char *name, F &&f, const char *doc, const Extra &...extra) {
        return detail::function(m_, name, name_ + "." + name, true, std::forward<F>(f), doc, extra...);
    }

    py::module_ &m_;
    std::string name_;
    py::tuple bases_;
    py::object meta_, ns_;
    py::dict kwds_;
    std::shared_ptr<ClassRef> ref_;
};

}  // namespace dorar

#define DORAR_MODULE(NAME, M)                                                                   \
    static void dorar_body_##NAME(pybind11::module_ &M);                                        \
    static int dorar_exec_##NAME(PyObject *mod) { return ::dorar::exec_module(mod, dorar_body_##NAME); } \
    static PyModuleDef_Slot dorar_slots_##NAME[] = {                                            \
        {Py_mod_exec, reinterpret_cast<void *>(dorar_exec_##NAME)}, {0, nullptr}};              \
    static PyModuleDef dorar_def_##NAME = {PyModuleDef_HEAD_INIT, #NAME, nullptr, 0, nullptr,   \
                                           dorar_slots_##NAME, nullptr, nullptr, nullptr};      \
    extern "C" PYBIND11_EXPORT PyObject *PyInit_##NAME() { return PyModuleDef_Init(&dorar_def_##NAME); } \
    static void dorar_body_##NAME(pybind11::module_ &M)
