#include "arrays.hpp"

#include <Python.h>

#include <string>

namespace vorn::python {

namespace {

using detail_api = py::detail::npy_api;

std::string shapeText(const py::array& a) {
    std::string text = "(";
    for (py::ssize_t d = 0; d < a.ndim(); ++d) {
        if (d > 0) text += ", ";
        text += std::to_string(a.shape(d));
    }
    return text + (a.ndim() == 1 ? ",)" : ")");
}

std::string typeName(const py::handle& value) {
    return std::string(py::str(py::type::handle_of(value).attr("__name__")));
}

// NumPy's PyArray_FromAny: `value` as an array, with `flags`, of dtype float64 when `as_double`.
// nullptr with the Python error set when NumPy cannot (a MemoryError among them).
PyObject* fromAny(const py::handle& value, bool as_double, int flags) {
    PyObject* descr = as_double ? py::dtype::of<double>().release().ptr() : nullptr;  // stolen
    return detail_api::get().PyArray_FromAny_(value.ptr(), descr, 0, 0,
                                              detail_api::NPY_ARRAY_ENSUREARRAY_ | flags, nullptr);
}

// `value` as a NumPy array of real numbers, or a TypeError naming `expected`. A MemoryError
// while NumPy reads it is passed on as it is.
py::array realArray(const py::handle& value, const char* what, const std::string& expected) {
    py::array array;
    if (py::isinstance<py::array>(value)) {
        array = py::reinterpret_borrow<py::array>(value);
    } else if (PyObject* converted = fromAny(value, false, 0)) {
        array = py::reinterpret_steal<py::array>(converted);
    } else {
        if (PyErr_ExceptionMatches(PyExc_MemoryError)) throw py::error_already_set();
        PyErr_Clear();
        throw py::type_error(std::string(what) + ": expected " + expected + ", got " + typeName(value));
    }
    const char kind = array.dtype().kind();
    if (kind != 'f' && kind != 'i' && kind != 'u') {
        throw py::type_error(std::string(what) + ": expected " + expected + ", got dtype " +
                             std::string(py::str(array.dtype())));
    }
    return array;
}

// The array itself when it already is C-contiguous, aligned float64; otherwise one converted copy.
Scalars contiguousDoubles(const py::array& array) {
    constexpr int wanted = detail_api::NPY_ARRAY_C_CONTIGUOUS_ | detail_api::NPY_ARRAY_ALIGNED_;
    if (py::isinstance<Scalars>(array) && (array.flags() & wanted) == wanted)
        return py::reinterpret_borrow<Scalars>(array);
    PyObject* converted = fromAny(array, true, wanted | detail_api::NPY_ARRAY_FORCECAST_);
    if (converted == nullptr) throw py::error_already_set();
    return py::reinterpret_steal<Scalars>(converted);
}

}  // namespace

Points rowsOf(const py::handle& value, py::ssize_t width, const char* what) {
    const std::string expected = "an array of shape (N, " + std::to_string(width) + ") and dtype float64";
    const py::array array = realArray(value, what, expected);
    if (array.ndim() != 2 || array.shape(1) != width) {
        throw py::value_error(std::string(what) + ": expected " + expected + ", got shape " +
                              shapeText(array));
    }
    return contiguousDoubles(array);
}

ScalarRows::ScalarRows(const py::handle& value, py::ssize_t n, const char* what) {
    const std::string expected =
        "a number or an array of shape (" + std::to_string(n) + ",) and dtype float64";
    const py::array array = realArray(value, what, expected);
    const bool fits =
        array.ndim() == 0 || (array.ndim() == 1 && (array.shape(0) == n || array.shape(0) == 1));
    if (!fits) {
        throw py::value_error(std::string(what) + ": expected " + expected + ", got shape " +
                              shapeText(array));
    }
    array_ = contiguousDoubles(array);
    data_ = array_.data();
    broadcast_ = array_.size() == 1;
}

py::array contiguousOf(const py::array& array) {
    constexpr int wanted = detail_api::NPY_ARRAY_C_CONTIGUOUS_ | detail_api::NPY_ARRAY_ALIGNED_;
    if ((array.flags() & wanted) == wanted) return array;
    PyObject* converted = fromAny(array, false, wanted);
    if (converted == nullptr) throw py::error_already_set();
    return py::reinterpret_steal<py::array>(converted);
}

Points newRows(py::ssize_t n, py::ssize_t width) { return Points({n, width}); }

void requireSameLength(const Points& a, const Points& b, const char* what_a, const char* what_b) {
    if (a.shape(0) != b.shape(0)) {
        throw py::value_error(std::string(what_a) + " and " + what_b +
                              " must have the same number of rows, got " + std::to_string(a.shape(0)) +
                              " and " + std::to_string(b.shape(0)));
    }
}

Points outputRows(const py::object& out, py::ssize_t n) {
    if (out.is_none()) return newRows(n);
    constexpr int wanted = detail_api::NPY_ARRAY_C_CONTIGUOUS_ | detail_api::NPY_ARRAY_ALIGNED_ |
                           detail_api::NPY_ARRAY_WRITEABLE_;
    if (py::isinstance<Points>(out)) {
        auto rows = py::reinterpret_borrow<Points>(out);
        if (rows.ndim() == 2 && rows.shape(0) == n && rows.shape(1) == 4 && (rows.flags() & wanted) == wanted)
            return rows;
    }
    throw py::value_error("out: expected a writable C-contiguous float64 array of shape (" +
                          std::to_string(n) + ", 4)");
}

}  // namespace vorn::python
