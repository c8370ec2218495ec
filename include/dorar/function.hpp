// What `def` makes of a C++ callable: the interpreter's own function object, a one-line
// `def NAME(SIGNATURE): return _impl(ARGUMENTS)` compiled when the module loads, so the interpreter
// binds the arguments and words every refusal; `_impl`, a pybind11 function that takes every
// parameter by position, converts them to the C++ parameters. pymod.hpp includes it.
#pragma once

#include <pybind11/pybind11.h>

#include <dorar/bound.hpp>
#include <dorar/raise.hpp>

#include <functional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace dorar {

namespace py = pybind11;

namespace detail {

template <typename T>
using is_star = std::is_same<std::decay_t<T>, py::args>;
template <typename T>
using is_double_star = std::is_same<std::decay_t<T>, py::kwargs>;
// What the compiled def hands over for *args and **kwargs: the tuple and the dict themselves, by
// position like every other parameter (by keyword, pybind11 would refuse a positional-only
// parameter's name that **kwargs holds).
template <typename T>
using handed = std::conditional_t<is_star<T>::value, py::tuple, std::conditional_t<is_double_star<T>::value, py::dict, T>>;

// One parameter of the signature: its name, kind, default and the module's annotation of it.
struct Param {
    std::string name;
    char kind;         // 'p' positional (keyword-only after *args), 'k' keyword-only, '*' *args, '+' **kwargs
    py::object value;  // the default, or null
    bool positional_only = false;
    const py::arg *arg = nullptr;  // alive while the function is made

    // What pybind11 is told of it (name and conversion flags; never the default).
    py::arg annotation() const { return arg ? py::arg(*arg) : py::arg(name.c_str()); }
};

// The parameters as the module's py::arg / py::arg_v / py::pos_only / py::kw_only annotations
// declare them, in pybind11's reading: the instance of a method is `self`, and neither it nor
// *args or **kwargs takes an annotation; a parameter without one is "arg0", "arg1", ...
struct Signature {
    std::string qualname;
    std::vector<Param> params;
    std::size_t next;  // the parameter (or one after it) that the next py::arg annotates
    bool keyword_only = false;

    Param &note(const py::arg &a) {
        while (next < params.size() && params[next].kind != 'p') ++next;
        if (next == params.size()) py::pybind11_fail(qualname + "(): more py::arg than parameters");
        Param &p = params[next++];
        if (a.name) p.name = a.name;
        p.arg = &a;
        if (keyword_only) p.kind = 'k';
        return p;
    }
    void note(const py::arg_v &a) { note(static_cast<const py::arg &>(a)).value = a.value; }
    void note(py::pos_only) {
        for (std::size_t i = 0; i < next; ++i) params[i].positional_only = true;
    }
    void note(py::kw_only) { keyword_only = true; }
};

// Compiles `def name(SIGNATURE): return _impl(ARGUMENTS)` in a namespace of its own that holds
// `impl`, the defaults and the module's builtins, and gives it the module, qualified name and
// docstring. Its code's file is `<dotted.module.name>`, which a traceback shows.
inline py::object compile_def(const py::object &impl, const char *name, const std::string &qualname,
                              const py::handle &module_name, const char *doc, const std::vector<Param> &params) {
    py::dict ns;
    ns["__builtins__"] = module_builtins();
    ns["_impl"] = impl;
    std::string header, call;
    auto add = [&](const std::string &text) { header += (header.empty() ? "" : ", ") + text; };
    bool star = false;
    for (std::size_t i = 0; i < params.size(); ++i) {
        const Param &p = params[i];
        if (p.name == "_impl") py::pybind11_fail(qualname + "(): a parameter may not be named _impl");
        if (p.kind == 'k' && !star) add("*");
        star |= p.kind == 'k' || p.kind == '*';
        const std::string slot = "_d" + std::to_string(i);
        if (p.value) ns[slot.c_str()] = p.value;
        add((p.kind == '*' ? "*" : p.kind == '+' ? "**" : "") + p.name + (p.value ? "=" + slot : ""));
        if (p.positional_only && (i + 1 == params.size() || !params[i + 1].positional_only)) add("/");
        call += (call.empty() ? "" : ", ") + p.name;
    }
    const std::string source = "def " + std::string(name) + "(" + header + "): return _impl(" + call + ")\n";
    const std::string file = "<" + py::str(module_name).cast<std::string>() + ">";
    auto code = py::reinterpret_steal<py::object>(Py_CompileString(source.c_str(), file.c_str(), Py_file_input));
    if (!code || !py::reinterpret_steal<py::object>(PyEval_EvalCode(code.ptr(), ns.ptr(), ns.ptr())))
        throw py::error_already_set();
    py::object fn = ns[name];
    fn.attr("__qualname__") = qualname;
    fn.attr("__module__") = module_name;
    fn.attr("__doc__") = doc ? py::object(py::str(doc)) : py::object(py::none());
    return fn;
}

// The def of `f` and its `_impl`, which takes every parameter by position (*args and **kwargs as
// the tuple and the dict).
template <typename F, typename R, typename... A, typename... Extra>
py::object make_function(F &&f, std::function<R(A...)> *, const py::module_ &m, const char *name,
                         const std::string &qualname, bool method, const char *doc, const Extra &...extra) {
    Signature s{qualname, {}, method ? 1u : 0u};
    for (char k : std::initializer_list<char>{(is_star<A>::value ? '*' : is_double_star<A>::value ? '+' : 'p')...}) {
        const std::size_t i = s.params.size();
        std::string own = i < s.next ? "self" : "arg" + std::to_string(i - s.next);
        s.params.push_back({k == '*' ? "args" : k == '+' ? "kwargs" : own, k});
    }
    (s.note(extra), ...);
    py::options opts;
    opts.disable_function_signatures();
    // pybind11 takes a function called __init__ for its own constructor: its part goes by another name.
    const std::string inner = std::string(name) == "__init__" ? "__init" : name;
    std::size_t i = 0;  // braces: the annotations are made in order, one a parameter
    py::cpp_function impl{
        [f = std::forward<F>(f)](handed<A>... a) mutable -> R { return f(std::forward<handed<A>>(a)...); },
        py::name(inner.c_str()), (static_cast<void>(sizeof(A)), s.params[i++].annotation())...};
    return compile_def(impl, name, qualname, m.attr("__name__"), doc, s.params);
}

// A function of module `m` named `name` (`qualname` in messages), a `def` of the signature the
// annotations declare; `method`: its first parameter is the instance.
template <typename F, typename... Extra>
py::object function(const py::module_ &m, const char *name, const std::string &qualname, bool method, F &&f,
                    const char *doc, const Extra &...extra) {
    using signature = decltype(std::function{std::declval<std::decay_t<F>>()});  // parameter types and result
    return make_function(std::forward<F>(f), static_cast<signature *>(nullptr), m, name, qualname, method, doc, extra...);
}

}  // namespace detail

}  // namespace dorar
