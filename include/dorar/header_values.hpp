// Trace-header values the way writeSegy writes them: each value taken as float() takes it, then
// rounded half away from zero to the integer its field holds (dcore::segy::fit_values). The
// engine's writer and write_segy, which checks the line numbers it hands the engine as they will
// be written, read the values with this one code.
//
//   const dorar::HeaderValues field(*sg::find_field(sg::TRACE_FIELDS, "Inline3D"),
//                                   [](long long t) { return "inline of row " + std::to_string(t); });
//   reals[t] = field.real(t, value);                       // TypeError / ValueError naming the value
//   std::vector<std::int64_t> ints = field.written(reals);  // ValueError naming the first misfit
//   std::int64_t one = field.written(t, value);             // both checks, for one value
#pragma once

#include <dorar/raise.hpp>
#include <dorar/signal_check.hpp>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "segy_fields.hpp"
#include "segy_format.hpp"

namespace dorar {

namespace py = pybind11;

enum class NumberFault { none, not_a_number, complex, too_large };

// `v` as a real, as float() takes it. Errors other than "not a number" and "too large for a real"
// (a KeyboardInterrupt in a __float__, say) propagate as they are. `real_type` remembers the last
// type found not to be complex, so that a run of numpy scalars is checked once.
inline NumberFault as_real(PyObject *v, const py::handle &complex_type, double *out,
                           PyTypeObject **real_type = nullptr) {
    if (PyFloat_CheckExact(v)) {
        *out = PyFloat_AS_DOUBLE(v);
        return NumberFault::none;
    }
    if (!PyLong_CheckExact(v) && !(real_type && *real_type == Py_TYPE(v))) {
        const int complex = PyComplex_Check(v) ? 1 : PyObject_IsInstance(v, complex_type.ptr());
        if (complex < 0) throw py::error_already_set();
        if (complex) return NumberFault::complex;  // numpy would drop the imaginary part
        if (real_type) *real_type = Py_TYPE(v);
    }
    const double d = PyFloat_AsDouble(v);
    if (d == -1.0 && PyErr_Occurred()) {
        if (!PyErr_ExceptionMatches(PyExc_TypeError) && !PyErr_ExceptionMatches(PyExc_OverflowError))
            throw py::error_already_set();
        const bool overflow = PyErr_ExceptionMatches(PyExc_OverflowError);
        PyErr_Clear();
        return overflow ? NumberFault::too_large : NumberFault::not_a_number;
    }
    *out = d;
    return NumberFault::none;
}

// repr(v), or a plain word where repr itself fails (an integer of more digits than str() allows).
inline std::string repr_text(const py::handle &v) {
    try {
        return py::repr(v).cast<std::string>();
    } catch (py::error_already_set &e) {
        if (!e.matches(PyExc_ValueError)) throw;
        return "a number too long to show";
    }
}

// The values of one trace-header field as written. where(trace) begins every message about the
// value of `trace` (< 0 for one value that serves every trace).
class HeaderValues {
public:
    using Where = std::function<std::string(long long trace)>;

    HeaderValues(const dcore::segy::HeaderField &field, Where where)
        : field_(field), where_(std::move(where)),
          complex_type_(bound("numpy").attr("complexfloating")) {}

    std::string where(long long trace) const { return where_(trace); }

    // `v` as a real, or the TypeError (no number, or a complex one) or ValueError (too large for a
    // real) that names it.
    double real(long long trace, PyObject *v) const {
        double d = 0;
        switch (as_real(v, complex_type_, &d, &real_type_)) {
            case NumberFault::none: return d;
            case NumberFault::not_a_number:
                raise(PyExc_TypeError, where(trace) + " is not a number: " + repr_text(v));
            case NumberFault::complex:
                raise(PyExc_TypeError, where(trace) + " must be an integer or real number, not complex: " + repr_text(v));
            case NumberFault::too_large:
                raise(PyExc_ValueError, where(trace) + " is " + does_not_fit(repr_text(v)));
        }
        return d;
    }

    // The integers written for the reals of traces 0, 1, ..., or the ValueError that names the
    // first that does not fit the field.
    std::vector<std::int64_t> written(const std::vector<double> &reals) const {
        std::vector<std::int64_t> out(reals.size());
        std::int64_t bad;
        {
            ReleasedGil nogil;
            bad = dcore::segy::fit_values(reals.data(), reals.size(), field_.bytes, field_.is_signed, out.data());
        }
        if (bad >= 0) refuse_misfit(bad, reals[bad]);
        return out;
    }

    // The integer written for `v`, the value of `trace`: real(), then the ValueError that names it
    // where it does not fit the field.
    std::int64_t written(long long trace, PyObject *v) const {
        const double d = real(trace, v);
        std::int64_t out;
        if (dcore::segy::fit_values(&d, 1, field_.bytes, field_.is_signed, &out) >= 0) refuse_misfit(trace, d);
        return out;
    }

private:
    [[noreturn]] void refuse_misfit(long long trace, double real) const {
        raise(PyExc_ValueError, where(trace) + " is " + does_not_fit(repr_text(py::float_(real))));
    }
    std::string does_not_fit(const std::string &value) const {
        return value + ", which does not fit its " + std::to_string(field_.bytes) + "-byte " +
               (field_.is_signed ? "signed" : "unsigned") + " field";
    }

    dcore::segy::HeaderField field_;
    Where where_;
    py::object complex_type_;
    mutable PyTypeObject *real_type_ = nullptr;
};

}  // namespace dorar
