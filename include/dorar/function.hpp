// The function object of the house helper: what `def` makes of a C++ callable. It binds its
// arguments as the interpreter binds those of a Python `def` and behaves as a `def` function
// object does (repr, __name__ / __qualname__ that only take a str, __doc__ / __module__ that take
// anything and read None once deleted, a __dict__, binding as a method, pickling by name).
// pymod.hpp includes it; module code never names anything here directly.
#pragma once

#include <pybind11/pybind11.h>
#include <structmember.h>

#include <string>
#include <utility>
#include <vector>

#if PY_VERSION_HEX < 0x03090000
#define Py_TPFLAGS_HAVE_VECTORCALL _Py_TPFLAGS_HAVE_VECTORCALL
#endif

namespace dorar {

namespace py = pybind11;

// Sets the Python error for the C++ exception being handled, as pybind11 does for what escapes a
// function it made; `unknown` is the SystemError text for an exception no translator knows.
inline void raise_current_exception(const char *unknown) {
    try {
        throw;
    } catch (py::error_already_set &e) {
        e.restore();
#ifdef __GLIBCXX__
    } catch (abi::__forced_unwind &) {
        throw;
#endif
    } catch (...) {
        if (!py::detail::apply_exception_translators(py::detail::get_local_internals().registered_exception_translators) &&
            !py::detail::apply_exception_translators(py::detail::get_internals().registered_exception_translators))
            PyErr_SetString(PyExc_SystemError, unknown);
    }
}

namespace detail {

// A function object that binds its arguments the way the interpreter binds those of a `def`: the
// same rules, in the same order, with the same TypeError texts ("f() missing 1 required positional
// argument: 'x'", "f() got an unexpected keyword argument 'y'", ...). The signature is the one
// declared for pybind11 (py::arg, defaults, py::pos_only, py::kw_only, py::args, py::kwargs); once
// bound, the arguments go straight to pybind11's implementation of the function, which converts
// them to the C++ parameters. Like a `def`, the object binds as a method when it is a class attribute.
struct FunctionObject {
    PyObject_HEAD
    vectorcallfunc vectorcall;
    PyObject *impl;        // the pybind11 function that receives the bound arguments
    const py::detail::function_record *record;  // its record (alive as long as `impl`)
    PyObject *name, *qualname;  // always a str: their setters take nothing else and refuse deletion
    PyObject *module, *doc;     // anything; null once deleted (read as None)
    PyObject *dict, *weakrefs;
    PyObject *names;       // parameter names: the positional ones, then the keyword-only ones
    // Defaults of the last positional parameters (a tuple, maybe empty) and of the keyword-only ones
    // (a dict, maybe empty); never reachable from Python, so what they hold lives as long as the
    // function, but null once the garbage collector has cleared the function.
    PyObject *defaults, *kwdefaults;
    Py_ssize_t argcount, posonly, kwonly;
    bool varargs, varkw;
    bool one_argument;     // (x, /) alone: refused as a one-argument built-in function refuses
};

inline PyObject *param_name(const FunctionObject *f, Py_ssize_t i) { return PyTuple_GET_ITEM(f->names, i); }

inline Py_ssize_t default_count(const FunctionObject *f) { return f->defaults ? PyTuple_GET_SIZE(f->defaults) : 0; }

// The default of keyword-only parameter `i` (borrowed), or null (with an error set when the lookup failed).
inline PyObject *kw_default(const FunctionObject *f, Py_ssize_t i) {
    return f->kwdefaults ? PyDict_GetItemWithError(f->kwdefaults, param_name(f, i)) : nullptr;
}

// "f() missing 2 required positional arguments: 'a' and 'b'" (or keyword-only ones).
inline void missing_arguments(const FunctionObject *f, PyObject *const *slots, bool positional) {
    Py_ssize_t start = positional ? 0 : f->argcount;
    Py_ssize_t end = positional ? f->argcount - default_count(f) : f->argcount + f->kwonly;
    py::list names;
    for (Py_ssize_t i = start; i < end; ++i)
        if (!slots[i]) names.append(py::repr(param_name(f, i)));
    const Py_ssize_t n = py::len(names);
    py::str listed;
    if (n == 1) {
        listed = names[0];
    } else if (n == 2) {
        listed = py::str("{} and {}").format(names[0], names[1]);
    } else {
        py::str tail = py::str(", {}, and {}").format(names[n - 2], names[n - 1]);
        listed = py::str(py::str(", ").attr("join")(names[py::slice(0, n - 2, 1)]) + tail);
    }
    PyErr_Format(PyExc_TypeError, "%U() missing %zd required %s argument%s: %U", f->qualname, n,
                 positional ? "positional" : "keyword-only", n == 1 ? "" : "s", listed.ptr());
}

// "f() takes from 1 to 2 positional arguments but 3 were given".
inline void too_many_positional(const FunctionObject *f, PyObject *const *slots, Py_ssize_t given) {
    Py_ssize_t kwonly_given = 0;
    for (Py_ssize_t i = f->argcount; i < f->argcount + f->kwonly; ++i)
        if (slots[i]) ++kwonly_given;
    const Py_ssize_t defcount = default_count(f);
    py::str sig = defcount ? py::str("from {} to {}").format(f->argcount - defcount, f->argcount)
                           : py::str(std::to_string(f->argcount));
    const bool plural = defcount ? true : f->argcount != 1;
    std::string kwonly_sig;
    if (kwonly_given)
        kwonly_sig = std::string(" positional argument") + (given != 1 ? "s" : "") + " (and " +
                     std::to_string(kwonly_given) + " keyword-only argument" + (kwonly_given != 1 ? "s" : "") + ")";
    PyErr_Format(PyExc_TypeError, "%U() takes %U positional argument%s but %zd%s %s given", f->qualname, sig.ptr(),
                 plural ? "s" : "", given, kwonly_sig.c_str(), given == 1 && !kwonly_given ? "was" : "were");
}

// "f() got some positional-only arguments passed as keyword arguments: 'a, b'"; false when none was.
inline bool positional_only_passed_as_keyword(const FunctionObject *f, PyObject *kwnames) {
    py::list hits;
    const Py_ssize_t kwcount = PyTuple_GET_SIZE(kwnames);
    for (Py_ssize_t k = 0; k < f->posonly; ++k)
        for (Py_ssize_t k2 = 0; k2 < kwcount; ++k2) {
            PyObject *kw = PyTuple_GET_ITEM(kwnames, k2);
            int eq = kw == param_name(f, k) ? 1 : PyObject_RichCompareBool(param_name(f, k), kw, Py_EQ);
            if (eq < 0) throw py::error_already_set();
            if (eq) hits.append(kw);
        }
    if (hits.empty()) return false;
    py::str joined = py::str(", ").attr("join")(hits);
    PyErr_Format(PyExc_TypeError, "%U() got some positional-only arguments passed as keyword arguments: '%U'",
                 f->qualname, joined.ptr());
    return true;
}

// Calls the pybind11 function the way pybind11's own dispatcher would once it had matched the
// arguments: `slots` holds the bound parameters (positional, then keyword-only), `extra` the
// positional arguments for *args, `extra_kw` the keywords for **kwargs (null for none). A value that
// pybind11 cannot convert to its C++ parameter goes to pybind11's dispatcher, which reports it as
// it always has.
inline PyObject *call_bound(FunctionObject *f, PyObject *const *slots, PyObject *const *extra, Py_ssize_t nextra,
                            PyObject *extra_kw) {
    const py::detail::function_record &rec = *f->record;
    const Py_ssize_t total = f->argcount + f->kwonly;
    py::detail::function_call call(rec, f->argcount ? slots[0] : nextra ? extra[0] : nullptr);
    bool refused = false;  // a None that the declaration refuses (py::arg(...).none(false))
    auto pass = [&](Py_ssize_t i) {
        const auto *a = static_cast<std::size_t>(i) < rec.args.size() ? &rec.args[static_cast<std::size_t>(i)] : nullptr;
        refused |= a && !a->none && slots[i] == Py_None;
        call.args.emplace_back(slots[i]);
        call.args_convert.push_back(a ? a->convert : true);
    };
    for (Py_ssize_t i = 0; i < f->argcount; ++i) pass(i);
    if (f->varargs) {
        py::tuple rest(nextra);
        for (Py_ssize_t i = 0; i < nextra; ++i) rest[static_cast<std::size_t>(i)] = py::handle(extra[i]);
        call.args.emplace_back(rest);
        call.args_convert.push_back(false);
        call.args_ref = std::move(rest);
    }
    for (Py_ssize_t i = f->argcount; i < total; ++i) pass(i);
    if (f->varkw) {
        py::dict kw = extra_kw ? py::reinterpret_borrow<py::dict>(extra_kw) : py::dict();
        call.args.emplace_back(kw);
        call.args_convert.push_back(false);
        call.kwargs_ref = std::move(kw);
    }
    py::handle result = PYBIND11_TRY_NEXT_OVERLOAD;
    try {
        py::detail::loader_life_support guard{};
        if (!refused) result = rec.impl(call);
    } catch (py::reference_cast_error &) {
        result = PYBIND11_TRY_NEXT_OVERLOAD;
    }
    if (result.ptr() != PYBIND11_TRY_NEXT_OVERLOAD) {
        if (!result && !PyErr_Occurred())
            PyErr_SetString(PyExc_TypeError, "Unable to convert function return value to a Python type!");
        return result.ptr();
    }
    // Positional parameters and *args by position, the rest by name.
    py::tuple pos(f->argcount + nextra);
    for (Py_ssize_t i = 0; i < f->argcount; ++i) pos[static_cast<std::size_t>(i)] = py::handle(slots[i]);
    for (Py_ssize_t i = 0; i < nextra; ++i) pos[static_cast<std::size_t>(f->argcount + i)] = py::handle(extra[i]);
    py::dict kw;
    for (Py_ssize_t i = f->argcount; i < total; ++i) kw[param_name(f, i)] = py::handle(slots[i]);
    if (extra_kw && PyDict_Update(kw.ptr(), extra_kw) < 0) throw py::error_already_set();
    return PyObject_Call(f->impl, pos.ptr(), kw.ptr());
}

// A function of exactly one positional-only parameter is what the interpreter makes a one-argument
// built-in function, and it refuses calls as one does: "mod.f() takes no keyword arguments",
// "mod.f() takes exactly one argument (2 given)". False when the call is one such function accepts.
inline bool refused_as_one_argument_builtin(const FunctionObject *f, Py_ssize_t nargs, PyObject *kwnames) {
    const bool kw = kwnames && PyTuple_GET_SIZE(kwnames);
    if (!kw && nargs == 1) return false;
    // "module.qualname()" unless the module is None or "builtins", as the interpreter names a callable.
    // New references first: comparing the module runs its __ne__, which may replace either attribute.
    auto qualname = py::reinterpret_borrow<py::object>(f->qualname);
    auto module = py::reinterpret_borrow<py::object>(f->module ? f->module : Py_None);
    int qualified = 0;
    if (!module.is_none()) {
        py::str builtins_name("builtins");
        qualified = PyObject_RichCompareBool(module.ptr(), builtins_name.ptr(), Py_NE);
        if (qualified < 0) throw py::error_already_set();
    }
    auto where = py::reinterpret_steal<py::object>(qualified ? PyUnicode_FromFormat("%S.%S()", module.ptr(), qualname.ptr())
                                                             : PyUnicode_FromFormat("%S()", qualname.ptr()));
    if (!where) throw py::error_already_set();
    if (kw) PyErr_Format(PyExc_TypeError, "%U takes no keyword arguments", where.ptr());
    else PyErr_Format(PyExc_TypeError, "%U takes exactly one argument (%zd given)", where.ptr(), nargs);
    return true;
}

// Binds the call's arguments to the parameters (the interpreter's rules and checks, in its
// order), then calls the implementation. Returns a new reference, or null with an error set.
inline PyObject *function_vectorcall(PyObject *callable, PyObject *const *args, size_t nargsf, PyObject *kwnames) {
    auto *f = reinterpret_cast<FunctionObject *>(callable);
    const Py_ssize_t nargs = PyVectorcall_NARGS(nargsf);
    const Py_ssize_t total = f->argcount + f->kwonly;
    PyObject *small[8] = {};
    std::vector<PyObject *> large;
    PyObject **slots = small;  // borrowed references
    if (total > 8) {
        large.assign(static_cast<std::size_t>(total), nullptr);
        slots = large.data();
    }
    try {
        if (f->one_argument && refused_as_one_argument_builtin(f, nargs, kwnames)) return nullptr;
        py::object extra_kw;  // **kwargs, made when a keyword goes there
        const Py_ssize_t n = nargs < f->argcount ? nargs : f->argcount;
        for (Py_ssize_t j = 0; j < n; ++j) slots[j] = args[j];

        const Py_ssize_t kwcount = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
        for (Py_ssize_t i = 0; i < kwcount; ++i) {
            PyObject *keyword = PyTuple_GET_ITEM(kwnames, i);
            PyObject *value = args[nargs + i];
            if (!PyUnicode_Check(keyword)) {
                PyErr_Format(PyExc_TypeError, "%U() keywords must be strings", f->qualname);
                return nullptr;
            }
            Py_ssize_t j = f->posonly;
            for (; j < total; ++j)
                if (param_name(f, j) == keyword) break;
            if (j == total)
                for (j = f->posonly; j < total; ++j) {
                    int eq = PyObject_RichCompareBool(keyword, param_name(f, j), Py_EQ);
                    if (eq < 0) return nullptr;
                    if (eq) break;
                }
            if (j == total) {
                if (!f->varkw) {
                    if (f->posonly && positional_only_passed_as_keyword(f, kwnames)) return nullptr;
                    PyErr_Format(PyExc_TypeError, "%U() got an unexpected keyword argument '%S'", f->qualname, keyword);
                    return nullptr;
                }
                if (!extra_kw) extra_kw = py::dict();
                if (PyDict_SetItem(extra_kw.ptr(), keyword, value) < 0) return nullptr;
                continue;
            }
            if (slots[j]) {
                PyErr_Format(PyExc_TypeError, "%U() got multiple values for argument '%S'", f->qualname, keyword);
                return nullptr;
            }
            slots[j] = value;
        }

        if (nargs > f->argcount && !f->varargs) {
            too_many_positional(f, slots, nargs);
            return nullptr;
        }
        const Py_ssize_t defcount = default_count(f);
        if (nargs < f->argcount) {
            const Py_ssize_t m = f->argcount - defcount;
            for (Py_ssize_t i = nargs; i < m; ++i)
                if (!slots[i]) {
                    missing_arguments(f, slots, true);
                    return nullptr;
                }
            for (Py_ssize_t i = n > m ? n - m : 0; i < defcount; ++i)
                if (!slots[m + i]) slots[m + i] = PyTuple_GET_ITEM(f->defaults, i);
        }
        if (f->kwonly) {
            bool missing = false;
            for (Py_ssize_t i = f->argcount; i < total; ++i) {
                if (slots[i]) continue;
                PyObject *def = kw_default(f, i);
                if (def) slots[i] = def;
                else if (PyErr_Occurred()) return nullptr;
                else missing = true;
            }
            if (missing) {
                missing_arguments(f, slots, false);
                return nullptr;
            }
        }
        const Py_ssize_t nextra = nargs > f->argcount ? nargs - f->argcount : 0;
        return call_bound(f, slots, args + f->argcount, nextra, extra_kw.ptr());
    } catch (...) {
        raise_current_exception("Exception escaped from default exception translator!");
    }
    return nullptr;
}

// Bound like a `def`: on an instance the function becomes a method of it.
inline PyObject *function_get(PyObject *self, PyObject *obj, PyObject *) {
    if (obj == nullptr || obj == Py_None) {
        Py_INCREF(self);
        return self;
    }
    return PyMethod_New(self, obj);
}

// The empty text a cleared function is named by (held for good).
inline PyObject *empty_text() {
    static PyObject *empty = PyUnicode_InternFromString("");
    return empty;
}

// The references the garbage collector may clear to break a cycle. The implementation (and with it
// the record) stays until the function goes: nothing of it is reachable from Python. The name and
// the qualified name may be str subclasses with attributes of their own, so they are seen too, and
// a clear replaces them by the empty text, as it does for a `def`. The parameter names are plain text.
constexpr PyObject *FunctionObject::*function_refs[] = {&FunctionObject::module, &FunctionObject::doc,
                                                        &FunctionObject::dict, &FunctionObject::defaults,
                                                        &FunctionObject::kwdefaults};

inline int function_traverse(PyObject *self, visitproc visit, void *arg) {
    auto *f = reinterpret_cast<FunctionObject *>(self);
    Py_VISIT(f->impl);
    Py_VISIT(f->name);
    Py_VISIT(f->qualname);
    for (auto ref : function_refs) Py_VISIT(f->*ref);
    return 0;
}

inline int function_clear(PyObject *self) {
    auto *f = reinterpret_cast<FunctionObject *>(self);
    for (auto ref : function_refs) Py_CLEAR(f->*ref);
    if (PyObject *empty = empty_text()) {
        for (auto ref : {&FunctionObject::name, &FunctionObject::qualname}) {
            Py_INCREF(empty);
            Py_SETREF(f->*ref, empty);
        }
    }
    return 0;
}

inline void function_dealloc(PyObject *self) {
    auto *f = reinterpret_cast<FunctionObject *>(self);
    PyObject_GC_UnTrack(self);
    if (f->weakrefs) PyObject_ClearWeakRefs(self);
    for (auto ref : function_refs) Py_CLEAR(f->*ref);
    Py_CLEAR(f->impl);
    Py_CLEAR(f->name);
    Py_CLEAR(f->qualname);
    Py_CLEAR(f->names);
    PyObject_GC_Del(self);
}

// __name__ and __qualname__ as on a `def`: a str (or a str subclass) only, never deleted.
inline PyObject *get_text(PyObject *self, PyObject *FunctionObject::*field) {
    PyObject *text = reinterpret_cast<FunctionObject *>(self)->*field;
    Py_INCREF(text);
    return text;
}

inline int set_text(PyObject *self, PyObject *value, PyObject *FunctionObject::*field, const char *refusal) {
    if (!value || !PyUnicode_Check(value)) {
        PyErr_SetString(PyExc_TypeError, refusal);
        return -1;
    }
    Py_INCREF(value);
    Py_SETREF(reinterpret_cast<FunctionObject *>(self)->*field, value);
    return 0;
}

inline PyObject *function_get_name(PyObject *self, void *) { return get_text(self, &FunctionObject::name); }
inline int function_set_name(PyObject *self, PyObject *value, void *) {
    return set_text(self, value, &FunctionObject::name, "__name__ must be set to a string object");
}
inline PyObject *function_get_qualname(PyObject *self, void *) { return get_text(self, &FunctionObject::qualname); }
inline int function_set_qualname(PyObject *self, PyObject *value, void *) {
    return set_text(self, value, &FunctionObject::qualname, "__qualname__ must be set to a string object");
}

inline PyObject *function_repr(PyObject *self) {
    return PyUnicode_FromFormat("<function %U at %p>", reinterpret_cast<FunctionObject *>(self)->qualname, self);
}

// The signature as text, e.g. "(array3d, dict_vidx, section_type, section_number, **kwargs)", so
// that inspect.signature() and help() show the parameters.
inline PyObject *function_text_signature(PyObject *self, void *) {
    auto *f = reinterpret_cast<FunctionObject *>(self);
    try {
        const Py_ssize_t defcount = default_count(f);
        std::string text = "(";
        auto sep = [&] {
            if (text.size() > 1) text += ", ";
        };
        auto param = [&](Py_ssize_t i, PyObject *def) {
            sep();
            text += py::str(param_name(f, i)).cast<std::string>();
            if (def) text += "=" + py::repr(def).cast<std::string>();
        };
        for (Py_ssize_t i = 0; i < f->argcount; ++i) {
            Py_ssize_t d = i - (f->argcount - defcount);
            param(i, d >= 0 ? PyTuple_GET_ITEM(f->defaults, d) : nullptr);
            if (i + 1 == f->posonly) text += ", /";
        }
        if (f->varargs) {
            sep();
            text += "*args";
        } else if (f->kwonly) {
            sep();
            text += "*";
        }
        for (Py_ssize_t i = f->argcount; i < f->argcount + f->kwonly; ++i)
            param(i, kw_default(f, i));
        if (f->varkw) {
            sep();
            text += "**kwargs";
        }
        return py::str(text + ")").release().ptr();
    } catch (py::error_already_set &e) {
        e.restore();
        return nullptr;
    }
}

// Pickled (and copied) by reference to its module and qualified name, as a `def` is.
inline PyObject *function_reduce(PyObject *self, PyObject *) {
    PyObject *qualname = reinterpret_cast<FunctionObject *>(self)->qualname;
    Py_INCREF(qualname);
    return qualname;
}

inline PyTypeObject *function_type() {
    static PyTypeObject *type = [] {
        static PyMethodDef methods[] = {{"__reduce__", function_reduce, METH_NOARGS, nullptr},
                                        {nullptr, nullptr, 0, nullptr}};
        // As on a `def`: __module__ and __doc__ take any value and read None once deleted; __dict__
        // takes a dict only and is never deleted.
        static PyMemberDef members[] = {{"__module__", T_OBJECT, offsetof(FunctionObject, module), 0, nullptr},
                                        {"__doc__", T_OBJECT, offsetof(FunctionObject, doc), 0, nullptr},
                                        {nullptr, 0, 0, 0, nullptr}};
        static PyGetSetDef getset[] = {
            {"__name__", function_get_name, function_set_name, nullptr, nullptr},
            {"__qualname__", function_get_qualname, function_set_qualname, nullptr, nullptr},
            {"__dict__", PyObject_GenericGetDict, PyObject_GenericSetDict, nullptr, nullptr},
            {"__text_signature__", function_text_signature, nullptr, nullptr, nullptr},
            {nullptr, nullptr, nullptr, nullptr, nullptr}};
        static PyTypeObject t = {PyVarObject_HEAD_INIT(nullptr, 0)};
        t.tp_name = "function";
        t.tp_basicsize = sizeof(FunctionObject);
        t.tp_dealloc = function_dealloc;
        t.tp_vectorcall_offset = offsetof(FunctionObject, vectorcall);
        t.tp_repr = function_repr;
        t.tp_call = PyVectorcall_Call;
        t.tp_getattro = PyObject_GenericGetAttr;
        t.tp_setattro = PyObject_GenericSetAttr;
        t.tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_HAVE_VECTORCALL | Py_TPFLAGS_METHOD_DESCRIPTOR;
        t.tp_traverse = function_traverse;
        t.tp_clear = function_clear;
        t.tp_weaklistoffset = offsetof(FunctionObject, weakrefs);
        t.tp_methods = methods;
        t.tp_members = members;
        t.tp_getset = getset;
        t.tp_descr_get = function_get;
        t.tp_dictoffset = offsetof(FunctionObject, dict);
        if (!empty_text() || PyType_Ready(&t) < 0) throw py::error_already_set();
        return &t;
    }();
    return type;
}

// Wraps the pybind11 function `impl` (made with the declared py::arg annotations) into a function
// object named `name` (`qualname` in messages) that binds the signature pybind11 recorded.
inline py::object make_function(const py::object &impl, const char *name, const std::string &qualname,
                                const py::handle &module_name, const char *doc) {
    py::handle fn = py::detail::get_function(impl);
    auto cap = py::reinterpret_borrow<py::capsule>(PyCFunction_GET_SELF(fn.ptr()));
    auto *rec = cap.get_pointer<py::detail::function_record>();

    const Py_ssize_t named = rec->nargs - rec->has_args - rec->has_kwargs;
    py::tuple names(named);
    py::list defaults;
    py::dict kwdefaults;
    for (Py_ssize_t i = 0; i < named; ++i) {
        const py::detail::argument_record *a =
            static_cast<std::size_t>(i) < rec->args.size() ? &rec->args[static_cast<std::size_t>(i)] : nullptr;
        std::string pname = a && a->name ? a->name
                            : (i == 0 && rec->is_method) ? "self"
                                                          : "arg" + std::to_string(i - (rec->is_method ? 1 : 0));
        py::str interned = py::reinterpret_steal<py::str>(PyUnicode_InternFromString(pname.c_str()));
        names[static_cast<std::size_t>(i)] = interned;
        const bool has_default = a && a->value;
        if (i < rec->nargs_pos) {
            if (has_default) defaults.append(a->value);
            else if (!defaults.empty())
                py::pybind11_fail(qualname + "(): parameter '" + pname + "' without a default follows one with a default");
        } else if (has_default) {
            kwdefaults[interned] = a->value;
        }
    }

    // Positional-only parameters always come by position: their names must not make pybind11
    // refuse a call whose **kwargs holds the same name (`f(1, a=2)` for `def f(a, /, **kw)`).
    for (std::size_t i = 0; i < rec->nargs_pos_only && i < rec->args.size(); ++i) rec->args[i].name = nullptr;

    py::str name_text(name), qualname_text(qualname);
    py::object doc_text = doc ? py::object(py::str(doc)) : py::object(py::none());
    py::tuple defaults_tuple(defaults);
    auto *f = PyObject_GC_New(FunctionObject, function_type());
    if (!f) throw py::error_already_set();
    f->vectorcall = function_vectorcall;
    f->impl = fn.inc_ref().ptr();
    f->record = rec;
    f->name = name_text.release().ptr();
    f->qualname = qualname_text.release().ptr();
    f->module = module_name.inc_ref().ptr();
    f->doc = doc_text.release().ptr();
    f->dict = nullptr;
    f->weakrefs = nullptr;
    f->names = names.release().ptr();
    f->defaults = defaults_tuple.release().ptr();
    f->kwdefaults = kwdefaults.release().ptr();
    f->argcount = rec->nargs_pos;
    f->posonly = rec->nargs_pos_only;
    f->kwonly = named - rec->nargs_pos;
    f->varargs = rec->has_args;
    f->varkw = rec->has_kwargs;
    f->one_argument = named == 1 && rec->nargs_pos_only == 1 && !rec->has_args && !rec->has_kwargs &&
                      default_count(f) == 0;
    PyObject_GC_Track(reinterpret_cast<PyObject *>(f));
    return py::reinterpret_steal<py::object>(reinterpret_cast<PyObject *>(f));
}

// A function that takes no instance, named `qualname` in messages.
template <typename F, typename... Extra>
py::object plain_function(const py::module_ &m, const char *name, const std::string &qualname, F &&f,
                          const char *doc, const Extra &...extra) {
    py::options opts;
    opts.disable_function_signatures();
    py::cpp_function impl(std::forward<F>(f), py::name(name), py::scope(m), extra...);
    return make_function(impl, name, qualname, m.attr("__name__"), doc);
}

}  // namespace detail

}  // namespace dorar
