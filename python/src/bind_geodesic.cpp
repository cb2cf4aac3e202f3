// vorn_geodesic in Python: great circles, transport, the exponential and logarithm maps, and
// fourth-order Runge–Kutta integration of the free geodesic into a NumPy array.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory_resource>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <vorn/vorn_geodesic.hpp>

#include "arrays.hpp"
#include "bindings.hpp"
#include "values.hpp"

namespace vorn::python {

namespace {

// The shared forms, overloaded below for this module's own types.
using python::reprOf;
using vorn_geodesic::GeodesicState;
using vorn_kernel::HomVec4;

// Hands rk4Integrate the storage of one new (n + 1, 2, 4) NumPy array, so the trajectory is
// written where Python reads it. Asked for anything but that one block, it refuses.
class ArrayResource final : public std::pmr::memory_resource {
public:
    py::array_t<double> take() { return std::move(*array_); }

private:
    void* do_allocate(std::size_t bytes, std::size_t alignment) override {
        if (array_.has_value() || bytes % sizeof(GeodesicState) != 0 ||
            alignment > alignof(std::max_align_t)) {
            throw std::bad_alloc();
        }
        const auto states = static_cast<py::ssize_t>(bytes / sizeof(GeodesicState));
        try {
            array_.emplace(std::vector<py::ssize_t>{states, 2, 4});
        } catch (const py::error_already_set&) {
            throw std::bad_alloc();  // NumPy's own MemoryError, reported the way C++ reports it
        }
        return array_->mutable_data();
    }
    void do_deallocate(void* /*p*/, std::size_t /*bytes*/, std::size_t /*alignment*/) override {
        array_.reset();
    }
    bool do_is_equal(const std::pmr::memory_resource& other) const noexcept override {
        return this == &other;
    }

    std::optional<py::array_t<double>> array_;
};

static_assert(sizeof(GeodesicState) == 8 * sizeof(double), "a state is q then v, eight doubles");

std::string reprOf(const std::array<double, 4>& a) {
    return "[" + reprOf(a[0]) + ", " + reprOf(a[1]) + ", " + reprOf(a[2]) + ", " + reprOf(a[3]) + "]";
}

std::string reprOf(const GeodesicState& s) {
    return "GeodesicState(q=" + reprOf(s.q) + ", v=" + reprOf(s.v) + ")";
}

}  // namespace

void bindGeodesic(py::module_& m) {
    py::class_<GeodesicState>(m, "GeodesicState", "A position q and a velocity v on the 3-sphere.")
        .def(py::init(&GeodesicState::init), py::arg("q"), py::arg("v"), "The state (q, v), stored as given.")
        .def_static("from_hom_vec4", &GeodesicState::fromHomVec4, py::arg("position"), py::arg("velocity"),
                    "The state of a position and a velocity given as vectors.")
        .def_readwrite("q", &GeodesicState::q, "The position x, y, z, w.")
        .def_readwrite("v", &GeodesicState::v, "The velocity x, y, z, w.")
        .def("pos", &GeodesicState::pos, "The position as a HomVec4.")
        .def("vel", &GeodesicState::vel, "The velocity as a HomVec4.")
        .def("__repr__", [](const GeodesicState& s) { return reprOf(s); })
        .def(
            "__eq__", [](const GeodesicState& a, const GeodesicState& b) { return a.q == b.q && a.v == b.v; },
            py::is_operator())
        .def(py::pickle([](const GeodesicState& s) { return py::make_tuple(s.q, s.v); },
                        [](const py::tuple& t) {
                            return GeodesicState::init(t[0].cast<std::array<double, 4>>(),
                                                       t[1].cast<std::array<double, 4>>());
                        }));

    m.def("add_state", &vorn_geodesic::addState, py::arg("a"), py::arg("b"),
          "a + b component by component, positions and velocities alike.");
    m.def("scale_state", &vorn_geodesic::scaleState, py::arg("s"), py::arg("k"),
          "k·s component by component, positions and velocities alike.");
    m.def("geodesic_exact", &vorn_geodesic::geodesicExact, py::arg("p"), py::arg("v"), py::arg("t"),
          "cos t·p + sin t·v: the unit-speed great circle for unit p and unit v orthogonal to p.");
    m.def("geodesic_scaled", &vorn_geodesic::geodesicScaled, py::arg("p"), py::arg("v"), py::arg("t"),
          "The great circle from p at angular speed |v| toward v; p itself when |v| < 1e-15.");
    m.def("fs_distance_along_geodesic", &vorn_geodesic::fsDistanceAlongGeodesic, py::arg("t"),
          "The Fubini–Study distance covered after time t at unit speed: |t| folded into [0, π/2].");
    m.def("orthogonal_velocity", &vorn_geodesic::orthogonalVelocity, py::arg("p"),
          "A unit vector orthogonal to p, from the axis least aligned with p.");
    m.def("free_geodesic_rhs", &vorn_geodesic::freeGeodesicRhs, py::arg("t"), py::arg("state"),
          "The free motion: dq/dt = v, dv/dt = -|v|²·q (t is ignored).");
    m.def(
        "rk4_step_free",
        [](double t, const GeodesicState& y, double h) {
            return vorn_geodesic::rk4Step(&vorn_geodesic::freeGeodesicRhs, t, y, h);
        },
        py::arg("t"), py::arg("y"), py::arg("h"), "One Runge–Kutta step of the free geodesic.");
    m.def(
        "rk4_integrate_free",
        [](double t0, double t1, const GeodesicState& y0, std::uint32_t n_steps) {
            ArrayResource storage;
            vorn_geodesic::rk4Integrate(&vorn_geodesic::freeGeodesicRhs, t0, t1, y0, n_steps, storage);
            return storage.take();
        },
        py::arg("t0"), py::arg("t1"), py::arg("y0"), py::arg("n_steps"),
        "The free geodesic from t0 to t1 in n_steps Runge–Kutta steps: an (n_steps + 1, 2, 4) array of "
        "states (position row, velocity row). Raises MemoryError when the trajectory cannot be stored.");
    m.def("renormalize_on_s3", &vorn_geodesic::renormalizeOnS3, py::arg("state"),
          "The position made unit length and the velocity stripped of its radial part.");
    m.def("parallel_transport", &vorn_geodesic::parallelTransport, py::arg("p"), py::arg("v"), py::arg("w"),
          py::arg("t"), "w carried for time t along the unit-speed geodesic from p with velocity v.");
    m.def("exp_map", &vorn_geodesic::expMap, py::arg("p"), py::arg("v"),
          "The point at angle |v| from p in the direction of v.");
    m.def("log_map", &vorn_geodesic::logMap, py::arg("p"), py::arg("q"),
          "The tangent at p toward q of length fs_distance(p, q).");
}

}  // namespace vorn::python
