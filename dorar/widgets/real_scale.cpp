// dorar.widgets.real_scale: a slider set and read in floating-point units.
//
// The base slider keeps every integer in its own (raw) units; a floating-point quantity x is held
// as x times the factor `_multi` = 10 ** decimals. Readings divide the raw integer by the factor,
// setters multiply their argument by it.
#include <dorar/pymod.hpp>

#include <cmath>

namespace py = pybind11;
using dorar::Globals;

namespace {

// argument * factor, formed as the interpreter forms it (the argument's own operator first).
py::object scaled(const py::handle &self, const py::handle &value) {
    PyObject *product = PyNumber_Multiply(value.ptr(), self.attr("_multi").ptr());
    if (!product) throw py::error_already_set();
    return py::reinterpret_steal<py::object>(product);
}

// The raw integer of a base accessor, read back in floating-point units.
py::object reading(const py::handle &self, const py::handle &raw) {
    py::float_ x = py::reinterpret_borrow<py::object>(raw);
    PyObject *q = PyNumber_TrueDivide(x.ptr(), self.attr("_multi").ptr());
    if (!q) throw py::error_already_set();
    return py::reinterpret_steal<py::object>(q);
}

// The product as the base slider's integer setters can take it. The binding of this interpreter
// refuses a float where Qt wants an int, which would make setRange(0.0, 1.0) fail; a float product
// is therefore truncated toward zero, as bindings used to do. Any other product goes as it is.
py::object for_base(const py::object &product) {
    if (PyFloat_Check(product.ptr())) return py::int_(product);
    return product;
}

void build_real_scale(py::module_ &m, const Globals &g) {
    dorar::ClassBuilder cb(m, "RealScale", py::make_tuple(g("QSlider")));
    auto ref = cb.ref();
    auto base = [ref](const py::handle &self) { return ref->super(self); };
    cb.attr("doubleValueChanged", g("Signal")(g("float")))
        .def(
            "__init__",
            [base](py::object self, py::args args, py::kwargs kwargs) {
                base(self).attr("__init__")(*args, **kwargs);
                self.attr("setDecimals")();
                self.attr("valueChanged").attr("connect")(self.attr("emitDoubleValueChanged"));
            },
            nullptr)
        .def(
            "setDecimals",
            [](py::object self, py::object decimals) {
                PyObject *raw = PyNumber_Power(py::int_(10).ptr(), decimals.ptr(), Py_None);
                if (!raw) throw py::error_already_set();
                py::object f = py::reinterpret_steal<py::object>(raw);
                // A factor of zero (underflow), infinity or NaN would make every reading fail or lie.
                if (PyFloat_Check(f.ptr())) {
                    const double v = PyFloat_AS_DOUBLE(f.ptr());
                    if (v == 0.0 || !std::isfinite(v))
                        throw py::value_error(py::str("decimals {!r} give no usable scale factor (10 ** {!r} = {!r})")
                                                  .format(decimals, decimals, f)
                                                  .cast<std::string>());
                }
                self.attr("_multi") = f;
            },
            nullptr, py::arg("decimals") = 3)
        .def(
            "emitDoubleValueChanged",
            [base](py::object self) {
                py::object value = reading(self, base(self).attr("value")());
                self.attr("doubleValueChanged").attr("emit")(value);
            },
            nullptr)
        .def(
            "value", [base](py::object self) { return reading(self, base(self).attr("value")()); }, nullptr)
        .def(
            "setMinimum",
            [base](py::object self, py::object value) {
                py::object product = scaled(self, value);
                base(self).attr("setMinimum")(for_base(product));
            },
            nullptr, py::arg("value"))
        .def(
            "setMaximum",
            [base](py::object self, py::object value) {
                py::object product = scaled(self, value);
                base(self).attr("setMaximum")(for_base(product));
            },
            nullptr, py::arg("value"))
        .def(
            "setRange",
            [](py::object self, py::object minValue, py::object maxValue) {
                self.attr("setMinimum")(minValue);
                self.attr("setMaximum")(maxValue);
            },
            nullptr, py::arg("minValue"), py::arg("maxValue"))
        .def(
            "setTickInterval",
            [base, g](py::object self, py::object ti) {
                py::object raw = g("int")(scaled(self, ti));
                base(self).attr("setTickInterval")(raw);
            },
            nullptr, py::arg("ti"))
        .def(
            "setSingleStep",
            [base](py::object self, py::object value) {
                py::object product = scaled(self, value);
                base(self).attr("setSingleStep")(for_base(product));
            },
            nullptr, py::arg("value"))
        .def(
            "singleStep", [base](py::object self) { return reading(self, base(self).attr("singleStep")()); },
            nullptr)
        .def(
            "setValue",
            [base, g](py::object self, py::object value) {
                py::object raw = g("int")(scaled(self, value));
                base(self).attr("setValue")(raw);
            },
            nullptr, py::arg("value"));
    cb.build();
}

}  // namespace

DORAR_MODULE(real_scale, m) {
    dorar::from_import(m, "qtpy.QtCore", {"Signal"});
    dorar::from_import(m, "qtpy.QtWidgets", {"QSlider"});
    Globals g(m);
    build_real_scale(m, g);
}
