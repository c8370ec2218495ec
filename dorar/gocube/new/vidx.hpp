// dict_vidx as the cube forms of this package build it from the nine fields of a cube index frame.
#pragma once

#include <dorar/pymod.hpp>

#include <algorithm>
#include <cmath>

#include "geometry_keys.hpp"

namespace dorar {
namespace vidx {

namespace py = pybind11;

// The frame's line edits: first, last, increment of the inline, crossline and depth axes.
constexpr const char *FRAME_FIELDS[9] = {"le_il_frst", "le_il_last", "le_il_ncrt",
                                         "le_xl_frst", "le_xl_last", "le_xl_ncrt",
                                         "le_dp_frst", "le_dp_last", "le_dp_ncrt"};

struct Axis {
    py::object frst, last, ncrt, amnt;
};

// AMNT = int((LAST - FRST) / NCRT + 1), in the interpreter's arithmetic (ZeroDivisionError for an
// increment of 0). On a real axis a quotient within 1e-9 (relative) of a whole number counts as
// that number: 0 to 0.3 by 0.1 is 4 samples, not the 3 that 3.9999999999999996 would truncate to.
// Integer axes divide exactly and are counted as they stand.
inline py::object count(const Globals &g, const Axis &a) {
    py::object q = (a.last - a.frst) / a.ncrt + py::int_(1);
    const bool real = PyFloat_Check(a.frst.ptr()) || PyFloat_Check(a.last.ptr()) || PyFloat_Check(a.ncrt.ptr());
    if (real && PyFloat_Check(q.ptr())) {
        const double x = q.cast<double>();
        if (std::isfinite(x)) {
            const double whole = std::nearbyint(x);
            if (std::fabs(x - whole) <= 1e-9 * std::max(1.0, std::fabs(x))) q = py::float_(whole);
        }
    }
    return g("int")(q);  // an infinite quotient raises OverflowError, not-a-number ValueError
}

// Counts every axis, then puts every last value onto its grid (LAST = FRST + NCRT * (AMNT - 1));
// returns the dict_vidx with its twelve keys in order.
inline py::dict complete(const Globals &g, Axis (&axes)[3]) {
    for (auto &a : axes) a.amnt = count(g, a);
    for (auto &a : axes) a.last = a.frst + a.ncrt * (a.amnt - py::int_(1));
    py::dict d;
    for (int i = 0; i < 3; ++i) {
        d[dcore::VIDX_KEYS[4 * i + 0]] = axes[i].frst;
        d[dcore::VIDX_KEYS[4 * i + 1]] = axes[i].last;
        d[dcore::VIDX_KEYS[4 * i + 2]] = axes[i].ncrt;
        d[dcore::VIDX_KEYS[4 * i + 3]] = axes[i].amnt;
    }
    return d;
}

}  // namespace vidx
}  // namespace dorar
