// NumPy at the boundary: batches of points are (N, 4) float64 arrays, one point a row, with the
// components in the order x, y, z, w. Any array-like of real numbers is accepted (lists
// included), converted once when it is not already a C-contiguous aligned float64 array;
// anything else is refused with a TypeError or ValueError that names the expected shape and
// dtype. An allocation that fails, NumPy's or ours, is a MemoryError.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <type_traits>
#include <vector>

#include <vorn/vorn_kernel.hpp>
#include <vorn/vorn_motion.hpp>

namespace vorn::python {

namespace py = pybind11;

using vorn_kernel::HomVec4;
using vorn_motion::Point3;

using Points = py::array_t<double, py::array::c_style>;
using Scalars = py::array_t<double, py::array::c_style>;

// An argument that is an array-like: among overloads, pybind11 first tries each without
// conversions, and then only a NumPy array matches it, so a sequence of four numbers still goes
// to an overload taking one HomVec4; after that anything matches, and rowsOf judges it.
struct ArrayLike {
    py::object value;
};

static_assert(sizeof(HomVec4) == 4 * sizeof(double) && alignof(HomVec4) == alignof(double) &&
                  sizeof(Point3) == 3 * sizeof(double) && alignof(Point3) == alignof(double),
              "rows of aligned C-contiguous float64 arrays are read in place as HomVec4 and Point3");

// `value` as a C-contiguous, aligned (N, `width`) float64 array: the array itself when it already
// is one, otherwise one converted copy. `what` names the argument in error messages.
Points rowsOf(const py::handle& value, py::ssize_t width, const char* what);
inline Points pointsOf(const py::handle& value, const char* what) { return rowsOf(value, 4, what); }

// `value` (a real number, or an array-like of shape (n,) or (1,)) as numbers to read with
// ScalarRows: broadcast to n values as NumPy would, without copying a single value n times.
class ScalarRows {
public:
    ScalarRows(const py::handle& value, py::ssize_t n, const char* what);
    double operator[](std::size_t i) const { return data_[broadcast_ ? 0 : i]; }

private:
    Scalars array_;
    const double* data_;
    bool broadcast_;
};

// Any array as a C-contiguous, aligned one of the same dtype: itself, or one copy.
py::array contiguousOf(const py::array& array);

// A new NumPy array holding a copy of the values: of shape (values.size(),), or `shape`.
template <class T>
py::array_t<T> arrayOf(std::span<const T> values, std::vector<py::ssize_t> shape = {}) {
    if (shape.empty()) shape.push_back(static_cast<py::ssize_t>(values.size()));
    return py::array_t<T>(shape, values.data());
}

// A new bool array from flags that are 0 or 1.
inline py::array_t<bool> boolsOf(std::span<const std::uint8_t> flags) {
    py::array_t<bool> out(static_cast<py::ssize_t>(flags.size()));
    std::transform(flags.begin(), flags.end(), out.mutable_data(), [](std::uint8_t f) { return f != 0; });
    return out;
}

// A new, uninitialised C-contiguous array of n rows of `width`, or of n values.
Points newRows(py::ssize_t n, py::ssize_t width = 4);
inline Scalars newScalars(py::ssize_t n) { return Scalars(n); }

// The rows of an (N, 4) array as HomVec4 values, and of an (N, 3) array as Point3 values, in
// place: for arrays from rowsOf, newRows or outputRows (C-contiguous and aligned).
inline std::span<const HomVec4> vecsOf(const Points& rows) {
    return {reinterpret_cast<const HomVec4*>(rows.data()), static_cast<std::size_t>(rows.shape(0))};
}
inline std::span<HomVec4> mutableVecsOf(Points& rows) {
    return {reinterpret_cast<HomVec4*>(rows.mutable_data()), static_cast<std::size_t>(rows.shape(0))};
}
inline std::span<Point3> mutablePoints3Of(Points& rows) {
    return {reinterpret_cast<Point3*>(rows.mutable_data()), static_cast<std::size_t>(rows.shape(0))};
}

// Both arrays hold the same number of rows; otherwise a ValueError naming both.
void requireSameLength(const Points& a, const Points& b, const char* what_a, const char* what_b);

// `out` is None (a new (n, 4) array is returned) or a writable C-contiguous aligned float64
// array of shape (n, 4), returned as it is; otherwise a ValueError.
Points outputRows(const py::object& out, py::ssize_t n);

// `row(in_i)` for every row of an (N, 4) array into a new (N, 4) array, without the interpreter
// lock: the loop touches only the arrays' memory, which the local references keep alive.
template <typename Row>
Points mapRows(const py::handle& points, Row&& row) {
    const Points in = pointsOf(points, "points");
    Points out = newRows(in.shape(0));
    const auto src = vecsOf(in);
    const auto dst = mutableVecsOf(out);
    {
        const py::gil_scoped_release unlocked;
        for (std::size_t i = 0; i < src.size(); ++i) dst[i] = row(src[i]);
    }
    return out;
}

// Row by row over two (N, 4) arrays `a` and `b`: `pair(a_i, b_i)` into an (N,) array when it
// gives a double, an (N, 4) array when it gives a HomVec4. The loop runs without the lock.
template <typename Pair>
py::array rowPairs(const py::handle& a, const py::handle& b, Pair&& pair) {
    const Points pa = pointsOf(a, "a");
    const Points pb = pointsOf(b, "b");
    requireSameLength(pa, pb, "a", "b");
    const auto x = vecsOf(pa);
    const auto y = vecsOf(pb);
    using Result = std::invoke_result_t<Pair&, HomVec4, HomVec4>;
    if constexpr (std::is_same_v<Result, double>) {
        Scalars out = newScalars(pa.shape(0));
        double* d = out.mutable_data();
        {
            const py::gil_scoped_release unlocked;
            for (std::size_t i = 0; i < x.size(); ++i) d[i] = pair(x[i], y[i]);
        }
        return out;
    } else {
        Points out = newRows(pa.shape(0));
        const auto d = mutableVecsOf(out);
        {
            const py::gil_scoped_release unlocked;
            for (std::size_t i = 0; i < x.size(); ++i) d[i] = pair(x[i], y[i]);
        }
        return out;
    }
}

}  // namespace vorn::python

namespace pybind11::detail {
template <>
struct type_caster<vorn::python::ArrayLike> {
    PYBIND11_TYPE_CASTER(vorn::python::ArrayLike, const_name("numpy.typing.ArrayLike"));
    bool load(handle src, bool convert) {
        if (!convert && !isinstance<array>(src)) return false;
        value.value = reinterpret_borrow<object>(src);
        return true;
    }
};
}  // namespace pybind11::detail
