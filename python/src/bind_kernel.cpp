// vorn_kernel in Python: HomVec4, PGL4, the distance and the scalar helpers, and batch forms of
// the point operations over (N, 4) arrays.
#include <pybind11/numpy.h>
#include <pybind11/operators.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include <vorn/vorn_kernel.hpp>

#include "arrays.hpp"
#include "bindings.hpp"
#include "values.hpp"

namespace vorn::python {

namespace {

// The shared forms, overloaded below for this module's own types.
using python::reprOf;
using vorn_kernel::AffineCard;
using vorn_kernel::HomVec4;
using vorn_kernel::PGL4;

std::string reprOf(const PGL4& m) {
    std::string text = "PGL4([";
    for (std::size_t row = 0; row < 4; ++row) {
        text += row == 0 ? "[" : ",\n      [";
        for (std::size_t col = 0; col < 4; ++col) {
            if (col > 0) text += ", ";
            text += reprOf(m.get(row, col));
        }
        text += "]";
    }
    return text + "])";
}

HomVec4 vecFromSequence(const py::handle& values) {
    const auto items = py::cast<std::array<double, 4>>(values);
    return HomVec4::init(items[0], items[1], items[2], items[3]);
}

// A (4, 4) row-major array: the way NumPy users write matrices.
PGL4 matrixFromRows(const py::handle& rows) {
    const Points array = rowsOf(rows, 4, "rows");
    if (array.shape(0) != 4)
        throw py::value_error("rows: expected an array of shape (4, 4), got " +
                              std::to_string(array.shape(0)) + " rows");
    const auto r = vecsOf(array);
    const double m[4][4] = {{r[0].x, r[0].y, r[0].z, r[0].w},
                            {r[1].x, r[1].y, r[1].z, r[1].w},
                            {r[2].x, r[2].y, r[2].z, r[2].w},
                            {r[3].x, r[3].y, r[3].z, r[3].w}};
    return PGL4::fromRowMajor(m);
}

Points rowsOfMatrix(const PGL4& m) {
    Points out = newRows(4);
    const auto rows = mutableVecsOf(out);
    for (std::size_t r = 0; r < 4; ++r)
        rows[r] = HomVec4::init(m.get(r, 0), m.get(r, 1), m.get(r, 2), m.get(r, 3));
    return out;
}

std::size_t checkedIndex(py::ssize_t i) {
    if (i < 0 || i > 3) throw py::index_error("PGL4 index out of range: rows and columns are 0 to 3");
    return static_cast<std::size_t>(i);
}

void bindHomVec4(py::module_& m) {
    py::enum_<AffineCard>(m, "AffineCard",
                          "The affine chart in which a point is read: the coordinate set to 1.")
        .value("UW", AffineCard::UW)
        .value("UX", AffineCard::UX)
        .value("UY", AffineCard::UY)
        .value("UZ", AffineCard::UZ);

    py::class_<HomVec4>(m, "HomVec4",
                        "A homogeneous 4-vector (x, y, z, w); unit vectors are points of the 3-sphere, "
                        "and v and -v are the same projective point.")
        .def(py::init(&HomVec4::init), py::arg("x") = 0.0, py::arg("y") = 0.0, py::arg("z") = 0.0,
             py::arg("w") = 0.0, "The vector (x, y, z, w), stored as given.")
        .def(py::init(&vecFromSequence), py::arg("values"), "From any sequence or array of four numbers.")
        .def_readwrite("x", &HomVec4::x, "The first component.")
        .def_readwrite("y", &HomVec4::y, "The second component.")
        .def_readwrite("z", &HomVec4::z, "The third component.")
        .def_readwrite("w", &HomVec4::w, "The fourth component (the real part of a quaternion).")
        .def_static("from_cartesian", &HomVec4::fromCartesian, py::arg("x"), py::arg("y"), py::arg("z"),
                    "The point (x, y, z, 1).")
        .def_static("zero", &HomVec4::zero, "The vector (0, 0, 0, 0).")
        .def_static("dot", &HomVec4::dot, py::arg("a"), py::arg("b"),
                    "((a.x·b.x + a.y·b.y) + a.z·b.z) + a.w·b.w")
        .def("norm", &HomVec4::norm, "The Euclidean length.")
        .def("normalize", &HomVec4::normalize, "Unit length; (0, 0, 0, 1) below a norm of 1e-15.")
        .def("cartesian3", &HomVec4::cartesian3,
             "(x, y, z)/w; for |w| < W_EPS the direction (x, y, z)/norm(), or (0, 0, 0) below 1e-15.")
        .def("is_same_point", &HomVec4::isSamePoint, py::arg("b"), py::arg("tol"),
             "Whether |a·b| / (|a|·|b|) > 1 - tol: the same projective point, sign and scale ignored.")
        .def("is_antipodal_to", &HomVec4::isAntipodalTo, py::arg("b"), py::arg("tol"),
             "is_same_point with -b.")
        .def("pick_best_card", &HomVec4::pickBestCard,
             "The chart of the largest coordinate in absolute value; ties go to W, X, Y, Z in order.")
        .def("__repr__", [](const HomVec4& v) { return reprOf(v); })
        .def("__eq__", &equal, py::is_operator())
        .def("__iter__", [](const HomVec4& v) { return py::iter(py::make_tuple(v.x, v.y, v.z, v.w)); })
        .def("__len__", [](const HomVec4&) { return 4; })
        .def(
            "__array__",
            [](const HomVec4& v, const py::object& /*dtype*/) {
                Scalars out = newScalars(4);
                double* d = out.mutable_data();
                d[0] = v.x;
                d[1] = v.y;
                d[2] = v.z;
                d[3] = v.w;
                return out;
            },
            py::arg("dtype") = py::none())
        .def(py::pickle([](const HomVec4& v) { return py::make_tuple(v.x, v.y, v.z, v.w); },
                        [](const py::tuple& t) { return vecFromSequence(t); }));
    py::implicitly_convertible<py::tuple, HomVec4>();
    py::implicitly_convertible<py::list, HomVec4>();
}

void bindPGL4(py::module_& m) {
    py::class_<PGL4>(m, "PGL4",
                     "A 4×4 projective matrix. Built from a (4, 4) row-major array; stored column-major "
                     "as in C++ (`data`).")
        .def(py::init([] { return PGL4::identity(); }), "The identity.")
        .def(py::init(&matrixFromRows), py::arg("rows"), "From a (4, 4) row-major array-like.")
        .def_static("identity", &PGL4::identity, "The identity matrix.")
        .def_static(
            "from_column_major", [](const std::array<double, 16>& data) { return PGL4::init(data); },
            py::arg("data"), "From the 16 entries in column-major order, as C++ stores them.")
        .def_property_readonly(
            "data", [](const PGL4& p) { return p.data; }, "The 16 entries, column-major.")
        .def("to_numpy", &rowsOfMatrix, "A new (4, 4) row-major array.")
        .def(
            "__array__", [](const PGL4& p, const py::object& /*dtype*/) { return rowsOfMatrix(p); },
            py::arg("dtype") = py::none())
        .def("__getitem__",
             [](const PGL4& p, std::pair<py::ssize_t, py::ssize_t> rc) {
                 return p.get(checkedIndex(rc.first), checkedIndex(rc.second));
             })
        .def("__setitem__",
             [](PGL4& p, std::pair<py::ssize_t, py::ssize_t> rc, double value) {
                 p.set(checkedIndex(rc.first), checkedIndex(rc.second), value);
             })
        .def("apply", &PGL4::apply, py::arg("v"),
             "The matrix times the column vector v; neither normalised nor divided by w.")
        .def_static("mul", &PGL4::mul, py::arg("a"), py::arg("b"), "The product a·b (b acts first).")
        .def(
            "__matmul__", [](const PGL4& a, const PGL4& b) { return PGL4::mul(a, b); }, py::is_operator())
        .def(
            "__matmul__", [](const PGL4& a, const HomVec4& v) { return a.apply(v); }, py::is_operator())
        .def("transpose", &PGL4::transpose, "The transposed matrix.")
        .def("det", &PGL4::det, "The determinant, by Laplace expansion along row 0.")
        .def("normalize_det", &PGL4::normalizeDet,
             "The matrix scaled so |det| becomes 1, its sign kept; unchanged when |det| < 1e-15.")
        .def("inverse", &PGL4::inverse, py::arg("delta"), py::arg("max_iter"),
             "Newton–Schulz inverse of self + delta·I, at most max_iter refinements.")
        .def("__repr__", [](const PGL4& p) { return reprOf(p); })
        .def(
            "__eq__", [](const PGL4& a, const PGL4& b) { return a.data == b.data; }, py::is_operator())
        .def(py::pickle([](const PGL4& p) { return py::make_tuple(p.data); },
                        [](const py::tuple& t) { return PGL4::init(t[0].cast<std::array<double, 16>>()); }));

    m.def("pgl_translate", &vorn_kernel::pglTranslate, py::arg("tx"), py::arg("ty"), py::arg("tz"),
          "The projective translation by (tx, ty, tz).");
    m.def("pgl_scale", &vorn_kernel::pglScale, py::arg("sx"), py::arg("sy"), py::arg("sz"),
          "The scaling of x, y and z by sx, sy and sz.");
    m.def("pgl_rotate_z", &vorn_kernel::pglRotateZ, py::arg("angle"),
          "The rotation by `angle` about the z axis (x turning toward y).");
    m.def("compute_resonance", &vorn_kernel::computeResonance, py::arg("a"),
          "The antisymmetric part a - aᵀ.");
    m.def("compute_projector", &vorn_kernel::computeProjector, py::arg("jc"), py::arg("delta"),
          "I - jcᵀ·(jc·jcᵀ + 2·delta·I)⁻¹·jc, the inverse by 8 Newton–Schulz steps.");
    m.def("deformed_tensor_product", &vorn_kernel::deformedTensorProduct, py::arg("x"), py::arg("y"),
          py::arg("epsilon"), "x·y + epsilon·(x ∘ y): the entry-wise product added to the matrix product.");
}

void bindPointFunctions(py::module_& m) {
    m.attr("W_EPS") = vorn_kernel::W_EPS;
    m.attr("R_ORSELA_KM") = vorn_kernel::R_ORSELA_KM;
    m.def("fs_distance", &vorn_kernel::fsDistance, py::arg("a"), py::arg("b"),
          "Fubini–Study distance in [0, π/2]; p and -p are at distance 0.");
    m.def(
        "fs_distance",
        [](const ArrayLike& a, const ArrayLike& b) {
            return rowPairs(a.value, b.value,
                            [](HomVec4 p, HomVec4 q) { return vorn_kernel::fsDistance(p, q); });
        },
        py::arg("a"), py::arg("b"), "Row by row over two (N, 4) arrays; returns an (N,) array.");
    m.def(
        "normalize",
        [](const ArrayLike& points) {
            return mapRows(points.value, [](HomVec4 p) { return p.normalize(); });
        },
        py::arg("points"), "HomVec4.normalize for every row of an (N, 4) array.");
    m.def(
        "norm",
        [](const ArrayLike& points) {
            const Points in = pointsOf(points.value, "points");
            Scalars out = newScalars(in.shape(0));
            const auto src = vecsOf(in);
            double* d = out.mutable_data();
            {
                const py::gil_scoped_release unlocked;
                for (std::size_t i = 0; i < src.size(); ++i) d[i] = src[i].norm();
            }
            return out;
        },
        py::arg("points"), "HomVec4.norm for every row of an (N, 4) array.");
    m.def("w_from_distance", &vorn_kernel::wFromDistance, py::arg("s_meters"), py::arg("R_meters"),
          "cos(s / 2R): the weight of a surface distance s on a sphere of radius R.");
    m.def("s_from_w", &vorn_kernel::sFromW, py::arg("W"), py::arg("R_meters"),
          "2R·acos(W), W clamped to [-1, 1]: the inverse of w_from_distance.");
    m.def("cordic_inv_sqrt", &vorn_kernel::cordicInvSqrt, py::arg("x"),
          "About 1/√x without a square root or a division (relative error near 1e-11 for normal x).");
}

}  // namespace

void bindKernel(py::module_& m) {
    bindHomVec4(m);
    bindPGL4(m);
    bindPointFunctions(m);
}

}  // namespace vorn::python
