// NumPy at the boundary: batches of points are (N, 4) float64 arrays, one point a row, with the
// components in the order x, y, z, w. Inputs of another real dtype or layout are converted once;
// anything else is refused with a TypeError or ValueError that names the expected shape and dtype.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstddef>
#include <string>
#include <type_traits>

#include <vorn/vorn_kernel.hpp>

namespace vorn::python {

namespace py = pybind11;

using Points = py::array_t<double, py::array::c_style>;

// `value` as a C-contiguous (N, `width`) float64 array: the array itself when it already is one,
// otherwise one converted copy. `what` names the argument in error messages.
Points rowsOf(const py::handle& value, py::ssize_t width, const char* what);

inline Points pointsOf(const py::handle& value, const char* what) { return rowsOf(value, 4, what); }

// A new, uninitialised C-contiguous array of the given shape.
inline Points newPoints(py::ssize_t n) { return Points({n, py::ssize_t{4}}); }
inline py::array_t<double> newScalars(py::ssize_t n) { return py::array_t<double>(n); }

// Row i of a C-contiguous (N, 4) array as a HomVec4, and back.
inline vorn_kernel::HomVec4 rowAt(const double* rows, std::size_t i) {
    const double* r = rows + 4 * i;
    return vorn_kernel::HomVec4::init(r[0], r[1], r[2], r[3]);
}
inline void storeRow(double* rows, std::size_t i, vorn_kernel::HomVec4 v) {
    double* r = rows + 4 * i;
    r[0] = v.x;
    r[1] = v.y;
    r[2] = v.z;
    r[3] = v.w;
}

// Both arrays hold the same number of rows; otherwise a ValueError naming both.
void requireSameLength(const Points& a, const Points& b, const char* what_a, const char* what_b);

// Calls `body(i)` for every row index with the interpreter's lock released: the loop touches only
// the arrays' memory, which the caller's references keep alive.
template <typename Body>
void forEachRow(py::ssize_t n, Body&& body) {
    const py::gil_scoped_release unlocked;
    for (py::ssize_t i = 0; i < n; ++i) body(static_cast<std::size_t>(i));
}

// Row by row over two (N, 4) arrays `a` and `b`: `pair(a_i, b_i)` into an (N,) array when it
// gives a double, an (N, 4) array when it gives a HomVec4. The loop runs without the lock.
template <typename Pair>
py::array rowPairs(const py::array& a, const py::array& b, Pair&& pair) {
    const Points pa = pointsOf(a, "a");
    const Points pb = pointsOf(b, "b");
    requireSameLength(pa, pb, "a", "b");
    const double* x = pa.data();
    const double* y = pb.data();
    if constexpr (std::is_same_v<std::invoke_result_t<Pair&, vorn_kernel::HomVec4, vorn_kernel::HomVec4>,
                                 double>) {
        auto out = newScalars(pa.shape(0));
        double* d = out.mutable_data();
        forEachRow(pa.shape(0), [&](std::size_t i) { d[i] = pair(rowAt(x, i), rowAt(y, i)); });
        return out;
    } else {
        Points out = newPoints(pa.shape(0));
        double* d = out.mutable_data();
        forEachRow(pa.shape(0), [&](std::size_t i) { storeRow(d, i, pair(rowAt(x, i), rowAt(y, i))); });
        return out;
    }
}

}  // namespace vorn::python
