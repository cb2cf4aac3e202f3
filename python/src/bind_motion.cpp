// vorn_motion in Python: quaternions, rotations of S³, the reporting inverse and the
// projections, each with a batch form over NumPy arrays.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstddef>
#include <optional>
#include <string>

#include <vorn/vorn_motion.hpp>

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
using vorn_motion::Point3;
using vorn_motion::Rotation;

std::string reprOf(const Rotation& r) { return "Rotation(l=" + reprOf(r.l) + ", r=" + reprOf(r.r) + ")"; }

// A batch of projections: every row of `points` to an (N, 3) array, unusable images as NaN rows.
template <typename Project>
Points projectRows(const py::handle& points, Project&& project) {
    const Points in = pointsOf(points, "points");
    Points out = newRows(in.shape(0), 3);
    const auto src = vecsOf(in);
    const auto dst = mutablePoints3Of(out);
    {
        const py::gil_scoped_release unlocked;
        project(src, dst);
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
        [](const ArrayLike& a, const ArrayLike& b) {
            return rowPairs(a.value, b.value, [](HomVec4 p, HomVec4 q) { return vorn_motion::qmul(p, q); });
        },
        py::arg("a"), py::arg("b"), "Row-by-row quaternion products of two (N, 4) arrays.");
    m.def("qconj", &vorn_motion::qconj, py::arg("a"), "The quaternion conjugate (-x, -y, -z, w).");

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
             py::arg("l"), py::arg("r"), "The rotation of the pair (l, r), stored as given.")
        .def_static("identity", &Rotation::identity, "The identity rotation.")
        .def_readwrite("l", &Rotation::l, "The left unit quaternion.")
        .def_readwrite("r", &Rotation::r, "The right unit quaternion.")
        .def("apply", &Rotation::apply, py::arg("p"), "The image l·p·conj(r) of a point.")
        .def(
            "apply",
            [](const Rotation& r, const ArrayLike& points) {
                return mapRows(points.value, [&r](HomVec4 p) { return r.apply(p); });
            },
            py::arg("points"), "Every row of an (N, 4) array.")
        .def("apply_to_tangent", &Rotation::applyToTangent, py::arg("v"),
             "The image of a tangent vector (the map is linear: as apply).")
        .def("inverse", &Rotation::inverse, "The conjugate pair: the exact inverse.")
        .def("to_pgl4", &Rotation::toPGL4, "The orthogonal matrix of the same map.")
        .def("__matmul__", &vorn_motion::compose, py::is_operator(), "a @ b: a after b.")
        .def("__repr__", [](const Rotation& r) { return reprOf(r); })
        .def(
            "__eq__", [](const Rotation& a, const Rotation& b) { return equal(a.l, b.l) && equal(a.r, b.r); },
            py::is_operator())
        .def(py::pickle([](const Rotation& r) { return py::make_tuple(r.l, r.r); },
                        [](const py::tuple& t) {
                            return Rotation{t[0].cast<HomVec4>(), t[1].cast<HomVec4>()};
                        }));

    m.def("compose", &vorn_motion::compose, py::arg("a"), py::arg("b"), "a after b.");
    m.def("is_rotation", &vorn_motion::isRotation, py::arg("m"), py::arg("tolerance") = 1e-12,
          "Whether mᵀ·m is the identity within `tolerance`, entry by entry, and det m > 0.");
    m.def(
        "rotation_from_pgl4",
        [](const PGL4& matrix, double tolerance) {
            return optionalRotation(vorn_motion::rotationFromPGL4(matrix, tolerance));
        },
        py::arg("m"), py::arg("tolerance") = 1e-12, "The rotation of a rotation matrix, or None.");
    m.def("plane_rotation", &vorn_motion::planeRotation, py::arg("plane"), py::arg("angle"),
          "The rotation in a coordinate plane, its first axis turning toward the second by `angle`.");
    m.def("left_isoclinic", &vorn_motion::leftIsoclinic, py::arg("q"),
          "p ↦ q·p, q normalised first (a zero q gives the identity).");
    m.def("right_isoclinic", &vorn_motion::rightIsoclinic, py::arg("q"),
          "p ↦ p·q, q normalised first (a zero q gives the identity).");
    m.def(
        "rotation_taking",
        [](HomVec4 a, HomVec4 b) { return optionalRotation(vorn_motion::rotationTaking(a, b)); },
        py::arg("a"), py::arg("b"),
        "The rotation carrying a to b along their great circle, or None (antipodal).");
    m.def("slerp", &vorn_motion::slerp, py::arg("a"), py::arg("b"), py::arg("t"),
          "The point at fraction t of the shorter great-circle arc from unit a to unit b.");
    // The batch apply, into a new array or into `out` (C-contiguous (N, 4) float64, writable;
    // it may be the input itself): reusing an array saves the page faults of a fresh one.
    const auto apply_rows = [](const PGL4& matrix, const ArrayLike& points, const py::object& out) {
        const Points in = pointsOf(points.value, "points");
        Points result = outputRows(out, in.shape(0));
        const auto src = vecsOf(in);
        const auto dst = mutableVecsOf(result);
        {
            const py::gil_scoped_release unlocked;
            vorn_motion::applyToAll(matrix, src, dst);
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

    py::class_<vorn_motion::InverseReport>(m, "InverseReport",
                                           "PGL4.inverse's result with how the iteration went.")
        .def_readonly("inverse", &vorn_motion::InverseReport::inverse,
                      "The approximation of (m + delta·I)⁻¹, the bits of PGL4.inverse.")
        .def_readonly("iterations", &vorn_motion::InverseReport::iterations,
                      "Refinement steps run, at most max_iter.")
        .def_readonly("residual", &vorn_motion::InverseReport::residual,
                      "The largest |entry of (m + delta·I)·inverse - I|; NaN if any is.")
        .def_readonly("converged", &vorn_motion::InverseReport::converged,
                      "residual < 1e-12, the iteration's own stopping test.")
        .def("__repr__", [](const vorn_motion::InverseReport& r) {
            return "InverseReport(iterations=" + std::to_string(r.iterations) +
                   ", residual=" + reprOf(r.residual) + ", converged=" + (r.converged ? "True" : "False") +
                   ")";
        });
    m.def("inverse_with_report", &vorn_motion::inverseWithReport, py::arg("m"), py::arg("delta"),
          py::arg("max_iter"), "PGL4.inverse (the same bits) with how the iteration went.");

    py::class_<vorn_motion::StereographicPole>(m, "StereographicPole",
                                               "The pole of a stereographic projection and its frame.")
        .def_static("at", &vorn_motion::StereographicPole::at, py::arg("pole"), py::arg("max_radius"),
                    "The projection from `pole` (normalised; a zero pole gives (0, 0, 0, 1)).")
        .def_readonly("pole", &vorn_motion::StereographicPole::pole, "The unit pole projected from.")
        .def_readonly("max_radius", &vorn_motion::StereographicPole::max_radius,
                      "Images farther than this from the origin are NaN.");
    const auto tuple3 = [](Point3 p) { return py::make_tuple(p.x, p.y, p.z); };
    m.def(
        "stereographic",
        [tuple3](HomVec4 p, const vorn_motion::StereographicPole& pole) {
            return tuple3(vorn_motion::stereographic(p, pole));
        },
        py::arg("p"), py::arg("pole"),
        "The image of p from the pole: (x, y, z), NaN without a usable image.");
    m.def(
        "stereographic",
        [](const ArrayLike& points, const vorn_motion::StereographicPole& pole) {
            return projectRows(points.value,
                               [&](auto in, auto out) { vorn_motion::stereographic(in, out, pole); });
        },
        py::arg("points"), py::arg("pole"), "An (N, 3) array; rows without an image are NaN.");
    m.def(
        "gnomonic",
        [tuple3](HomVec4 p, AffineCard chart, double max_radius) {
            return tuple3(vorn_motion::gnomonic(p, chart, max_radius));
        },
        py::arg("p"), py::arg("chart"), py::arg("max_radius"),
        "The central projection of p through a chart: (x, y, z), NaN without a usable image.");
    m.def(
        "gnomonic",
        [](const ArrayLike& points, AffineCard chart, double max_radius) {
            return projectRows(points.value,
                               [&](auto in, auto out) { vorn_motion::gnomonic(in, out, chart, max_radius); });
        },
        py::arg("points"), py::arg("chart"), py::arg("max_radius"),
        "An (N, 3) array; rows without an image are NaN.");
    m.def(
        "hopf", [tuple3](HomVec4 p) { return tuple3(vorn_motion::hopf(p)); }, py::arg("p"),
        "The Hopf map of p to the unit 2-sphere: (x, y, z).");
    m.def(
        "hopf",
        [](const ArrayLike& points) {
            return projectRows(points.value, [](auto in, auto out) { vorn_motion::hopf(in, out); });
        },
        py::arg("points"), "An (N, 3) array on the unit 2-sphere.");
}

}  // namespace vorn::python
