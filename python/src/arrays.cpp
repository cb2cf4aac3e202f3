#include "arrays.hpp"

#include <string>

namespace vorn::python {

namespace {

std::string shapeText(const py::array& a) {
    std::string text = "(";
    for (py::ssize_t d = 0; d < a.ndim(); ++d) {
        if (d > 0) text += ", ";
        text += std::to_string(a.shape(d));
    }
    return text + (a.ndim() == 1 ? ",)" : ")");
}

}  // namespace

Points rowsOf(const py::handle& value, py::ssize_t width, const char* what) {
    const std::string expected = "an array of shape (N, " + std::to_string(width) + ") and dtype float64";
    if (py::isinstance<Points>(value)) {
        const auto exact = py::reinterpret_borrow<Points>(value);
        if (exact.ndim() == 2 && exact.shape(1) == width) return exact;
    }
    py::array array;
    try {
        array = py::array::ensure(value);
    } catch (const py::error_already_set&) {
        array = py::array();
    }
    if (!array) {
        throw py::type_error(std::string(what) + ": expected " + expected + ", got " +
                             std::string(py::str(py::type::handle_of(value).attr("__name__"))));
    }
    const char kind = array.dtype().kind();
    if (kind != 'f' && kind != 'i' && kind != 'u') {
        throw py::type_error(std::string(what) + ": expected " + expected + ", got dtype " +
                             std::string(py::str(array.dtype())));
    }
    if (array.ndim() != 2 || array.shape(1) != width) {
        throw py::value_error(std::string(what) + ": expected " + expected + ", got shape " +
                              shapeText(array));
    }
    using Converted = py::array_t<double, py::array::c_style | py::array::forcecast>;
    Converted converted = Converted::ensure(array);
    if (!converted) throw py::error_already_set();
    return py::reinterpret_steal<Points>(converted.release());
}

void requireSameLength(const Points& a, const Points& b, const char* what_a, const char* what_b) {
    if (a.shape(0) != b.shape(0)) {
        throw py::value_error(std::string(what_a) + " and " + what_b +
                              " must have the same number of rows, got " + std::to_string(a.shape(0)) +
                              " and " + std::to_string(b.shape(0)));
    }
}

}  // namespace vorn::python
