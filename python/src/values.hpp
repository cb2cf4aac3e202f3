// The value types in Python print as code that rebuilds them once `from vorn import *` has run
// (a NaN or an infinity as float('nan') or float('inf')), compare with == field by field (== on
// each double: a NaN is unequal to itself, -0.0 equals 0.0), and pickle through their fields,
// which also gives copy.copy and copy.deepcopy.
#pragma once

#include <pybind11/pybind11.h>

#include <cmath>
#include <string>

#include <vorn/vorn_kernel.hpp>

namespace vorn::python {

namespace py = pybind11;

// A double as Python source that reads back to the same bits (NaN: to a NaN).
inline std::string reprOf(double value) {
    if (std::isnan(value)) return "float('nan')";
    if (std::isinf(value)) return value > 0 ? "float('inf')" : "float('-inf')";
    return std::string(py::repr(py::float_(value)));
}

inline std::string reprOf(const vorn_kernel::HomVec4& v) {
    return "HomVec4(" + reprOf(v.x) + ", " + reprOf(v.y) + ", " + reprOf(v.z) + ", " + reprOf(v.w) + ")";
}

inline bool equal(const vorn_kernel::HomVec4& a, const vorn_kernel::HomVec4& b) {
    return a.x == b.x && a.y == b.y && a.z == b.z && a.w == b.w;
}

}  // namespace vorn::python
