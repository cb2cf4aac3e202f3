// vorn_motion in Python: quaternions, rotations of S³, the reporting inverse and the
// projections, each with a batch form over NumPy arrays.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstddef>
#include <span>
#include <string>

#include <vorn/vorn_motion.hpp>

#include "arrays.hpp"
#include "bindings.hpp"

namespace vorn::python {

namespace {

using vorn_kernel::AffineCard;
using vorn_kernel::HomVec4;
using vorn_kernel::PGL4;
using vorn_motion::Point3;
using vorn_motion::Rotation;

static_assert(sizeof(HomVec4) == 4 * sizeof(double) && sizeof(Point3) == 3 * sizeof(double),
              "rows of C-contiguous float64 arrays are read as HomVec4 and Point3");

// The rows of a C-contiguous (N, 4) array as HomVec4 values, in place.
std::span<const HomVec4> vecs(const Points& rows) {
    return {reinterpret_cast<const HomVec4*>(rows.data()), static_cast<std::size_t>(rows.shape(0))};
}
std::span<HomVec4> vecs(Points& rows) {
    return {reinterpret_cast<HomVec4*>(rows.mutable_data()), static_cast<std::size_t>(rows.shape(0))};
}
std::span<Point3> points3(Points& rows) {
    return {reinterpret_cast<Point3*>(rows.mutable_data()), static_cast<std::size_t>(rows.shape(0))};
}
Points newPoints3(py::ssize_t n) { return Points({n, py::ssize_t{3}}); }

std::string reprOf(const Rotation& r) {
    return "Rotation(l=" + std::string(py::repr(py::cast(r.l))) +
           ", r=" + std::string(py::repr(py::cast(r.r))) + ")";
}

// A batch of projections: every row of `points` to an (N, 3) array, unusable images as NaN rows.
template <typename Project>
Points projectRows(const py::array& points, Project&& project) {
    const Points in = pointsOf(points, "points");
    Points out = newPoints3(in.shape(0));
    {
        const py::gil_scoped_release unlocked;
        project(vecs(in), points3(out));
    }
    return out;
}

py::object optionalRotation(const std::optional<Rotation>& r) { return r ? py::cast(*r) : py::none(); }

}  // namespace

void bindMotion(py::module_& m) {
    m.def("qmul", &vorn_motion::qmul, py::arg("a"), py::arg("b"),
          "Quaternion product; (x, y, z, w) is w + x·i + y·j + z·k, w the real part.");
    m.def(
        "qmul",
        [](const py::array& a, const py::array& b) {
            return rowPairs(a, b, [](HomVec4 p, HomVec4 q) { return vorn_motion::qmul(p, q); });
        },
        py::arg("a"), py::arg("b"), "Row-by-row quaternion products of two (N, 4) arrays.");
    m.def("qconj", &vorn_motion::qconj, py::arg("a"));

    py::enum_<vorn_motion::Plane>(m, "Plane", "A coordinate plane of R⁴; XY turns x toward y.")
        .value("XY", vorn_motion::Plane::XY)
        .value("XZ", vorn_motion::Plane::XZ)
        .value("XW", vorn_motion::Plane::XW)
        .value("YZ", vorn_motion::Plane::YZ)
        .value("YW", vorn_motion::Plane::YW)
        .value("ZW", vorn_motion::Plane::ZW);

    py::class_<Rotation>(m, "Rotation", "The rotation p ↦ l·p·conj(r) of S³ for unit quaternions l and r.")
        .def(py::init([](HomVec4 l, HomVec4 r) {
                 return Rotation{l, r};
             }),
             py::arg("l"), py::arg("r"))
        .def_static("identity", &Rotation::identity)
        .def_readwrite("l", &Rotation::l)
        .def_readwrite("r", &Rotation::r)
        .def("apply", &Rotation::apply, py::arg("p"))
        .def(
            "apply",
            [](const Rotation& r, const py::array& points) {
                const Points in = pointsOf(points, "points");
                Points out = newPoints(in.shape(0));
                const double* src = in.data();
                double* dst = out.mutable_data();
                forEachRow(in.shape(0), [&](std::size_t i) { storeRow(dst, i, r.apply(rowAt(src, i))); });
                return out;
            },
            py::arg("points"), "Every row of an (N, 4) array.")
        .def("apply_to_tangent", &Rotation::applyToTangent, py::arg("v"))
        .def("inverse", &Rotation::inverse, "The conjugate pair: the exact inverse.")
        .def("to_pgl4", &Rotation::toPGL4)
        .def("__matmul__", &vorn_motion::compose, py::is_operator(), "a @ b: a after b.")
        .def("__repr__", &reprOf)
        .def(
            "__eq__",
            [](const Rotation& a, const Rotation& b) {
                return a.l.x == b.l.x && a.l.y == b.l.y && a.l.z == b.l.z && a.l.w == b.l.w &&
                       a.r.x == b.r.x && a.r.y == b.r.y && a.r.z == b.r.z && a.r.w == b.r.w;
            },
            py::is_operator());

    m.def("compose", &vorn_motion::compose, py::arg("a"), py::arg("b"), "a after b.");
    m.def("is_rotation", &vorn_motion::isRotation, py::arg("m"), py::arg("tolerance") = 1e-12);
    m.def(
        "rotation_from_pgl4",
        [](const PGL4& matrix, double tolerance) {
            return optionalRotation(vorn_motion::rotationFromPGL4(matrix, tolerance));
        },
        py::arg("m"), py::arg("tolerance") = 1e-12, "The rotation of a rotation matrix, or None.");
    m.def("plane_rotation", &vorn_motion::planeRotation, py::arg("plane"), py::arg("angle"));
    m.def("left_isoclinic", &vorn_motion::leftIsoclinic, py::arg("q"));
    m.def("right_isoclinic", &vorn_motion::rightIsoclinic, py::arg("q"));
    m.def(
        "rotation_taking",
        [](HomVec4 a, HomVec4 b) { return optionalRotation(vorn_motion::rotationTaking(a, b)); },
        py::arg("a"), py::arg("b"),
        "The rotation carrying a to b along their great circle, or None (antipodal).");
    m.def("slerp", &vorn_motion::slerp, py::arg("a"), py::arg("b"), py::arg("t"));
    // The batch apply, into a new array or into `out` (C-contiguous (N, 4) float64, writable;
    // it may be the input itself): reusing an array saves the page faults of a fresh one.
    const auto apply_rows = [](const PGL4& matrix, const py::array& points, const py::object& out) {
        const Points in = pointsOf(points, "points");
        if (!out.is_none()) {
            const bool fits = py::isinstance<Points>(out) &&
                              py::reinterpret_borrow<Points>(out).ndim() == 2 &&
                              py::reinterpret_borrow<Points>(out).shape(0) == in.shape(0) &&
                              py::reinterpret_borrow<Points>(out).shape(1) == 4 &&
                              py::reinterpret_borrow<Points>(out).writeable();
            if (!fits) {
                throw py::value_error("out: expected a writable C-contiguous float64 array of shape (" +
                                      std::to_string(in.shape(0)) + ", 4)");
            }
        }
        Points result = out.is_none() ? newPoints(in.shape(0)) : py::reinterpret_borrow<Points>(out);
        {
            const py::gil_scoped_release unlocked;
            vorn_motion::applyToAll(matrix, vecs(in), vecs(result));
        }
        return result;
    };
    // PGL4.apply over an array is the batch apply.
    py::reinterpret_borrow<py::class_<PGL4>>(py::type::of<PGL4>())
        .def("apply", apply_rows, py::arg("points"), py::arg("out") = py::none(),
             "Every row of an (N, 4) array, the bits of apply for each; into `out` when given.");
    m.def(
        "apply_to_all", apply_rows, py::arg("m"), py::arg("points"), py::arg("out") = py::none(),
        "m.apply for every row of an (N, 4) array, the same bits, several at a time; into `out` when given.");

    py::class_<vorn_motion::InverseReport>(m, "InverseReport")
        .def_readonly("inverse", &vorn_motion::InverseReport::inverse)
        .def_readonly("iterations", &vorn_motion::InverseReport::iterations)
        .def_readonly("residual", &vorn_motion::InverseReport::residual)
        .def_readonly("converged", &vorn_motion::InverseReport::converged)
        .def("__repr__", [](const vorn_motion::InverseReport& r) {
            return "InverseReport(iterations=" + std::to_string(r.iterations) +
                   ", residual=" + std::string(py::repr(py::float_(r.residual))) +
                   ", converged=" + (r.converged ? "True" : "False") + ")";
        });
    m.def("inverse_with_report", &vorn_motion::inverseWithReport, py::arg("m"), py::arg("delta"),
          py::arg("max_iter"));

    py::class_<vorn_motion::StereographicPole>(m, "StereographicPole")
        .def_static("at", &vorn_motion::StereographicPole::at, py::arg("pole"), py::arg("max_radius"))
        .def_readonly("pole", &vorn_motion::StereographicPole::pole)
        .def_readonly("max_radius", &vorn_motion::StereographicPole::max_radius);
    const auto tuple3 = [](Point3 p) { return py::make_tuple(p.x, p.y, p.z); };
    m.def(
        "stereographic",
        [tuple3](HomVec4 p, const vorn_motion::StereographicPole& pole) {
            return tuple3(vorn_motion::stereographic(p, pole));
        },
        py::arg("p"), py::arg("pole"));
    m.def(
        "stereographic",
        [](const py::array& points, const vorn_motion::StereographicPole& pole) {
            return projectRows(points, [&](auto in, auto out) { vorn_motion::stereographic(in, out, pole); });
        },
        py::arg("points"), py::arg("pole"), "An (N, 3) array; rows without an image are NaN.");
    m.def(
        "gnomonic",
        [tuple3](HomVec4 p, AffineCard chart, double max_radius) {
            return tuple3(vorn_motion::gnomonic(p, chart, max_radius));
        },
        py::arg("p"), py::arg("chart"), py::arg("max_radius"));
    m.def(
        "gnomonic",
        [](const py::array& points, AffineCard chart, double max_radius) {
            return projectRows(points,
                               [&](auto in, auto out) { vorn_motion::gnomonic(in, out, chart, max_radius); });
        },
        py::arg("points"), py::arg("chart"), py::arg("max_radius"),
        "An (N, 3) array; rows without an image are NaN.");
    m.def(
        "hopf", [tuple3](HomVec4 p) { return tuple3(vorn_motion::hopf(p)); }, py::arg("p"));
    m.def(
        "hopf",
        [](const py::array& points) {
            return projectRows(points, [](auto in, auto out) { vorn_motion::hopf(in, out); });
        },
        py::arg("points"), "An (N, 3) array on the unit 2-sphere.");
}

}  // namespace vorn::python
