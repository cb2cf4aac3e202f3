// vorn_geodesic in Python: great circles, transport, the exponential and logarithm maps, and
// fourth-order Runge–Kutta integration of the free geodesic into a NumPy array.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

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

namespace vorn::python {

namespace {

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

std::string reprOf(const GeodesicState& s) {
    return "GeodesicState(q=" + std::string(py::str(py::cast(s.q))) +
           ", v=" + std::string(py::str(py::cast(s.v))) + ")";
}

}  // namespace

void bindGeodesic(py::module_& m) {
    py::class_<GeodesicState>(m, "GeodesicState", "A position q and a velocity v on the 3-sphere.")
        .def(py::init(&GeodesicState::init), py::arg("q"), py::arg("v"))
        .def_static("from_hom_vec4", &GeodesicState::fromHomVec4, py::arg("position"), py::arg("velocity"))
        .def_readwrite("q", &GeodesicState::q)
        .def_readwrite("v", &GeodesicState::v)
        .def("pos", &GeodesicState::pos)
        .def("vel", &GeodesicState::vel)
        .def("__repr__", &reprOf)
        .def(
            "__eq__", [](const GeodesicState& a, const GeodesicState& b) { return a.q == b.q && a.v == b.v; },
            py::is_operator());

    m.def("add_state", &vorn_geodesic::addState, py::arg("a"), py::arg("b"));
    m.def("scale_state", &vorn_geodesic::scaleState, py::arg("s"), py::arg("k"));
    m.def("geodesic_exact", &vorn_geodesic::geodesicExact, py::arg("p"), py::arg("v"), py::arg("t"));
    m.def("geodesic_scaled", &vorn_geodesic::geodesicScaled, py::arg("p"), py::arg("v"), py::arg("t"));
    m.def("fs_distance_along_geodesic", &vorn_geodesic::fsDistanceAlongGeodesic, py::arg("t"));
    m.def("orthogonal_velocity", &vorn_geodesic::orthogonalVelocity, py::arg("p"));
    m.def("free_geodesic_rhs", &vorn_geodesic::freeGeodesicRhs, py::arg("t"), py::arg("state"));
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
    m.def("renormalize_on_s3", &vorn_geodesic::renormalizeOnS3, py::arg("state"));
    m.def("parallel_transport", &vorn_geodesic::parallelTransport, py::arg("p"), py::arg("v"), py::arg("w"),
          py::arg("t"));
    m.def("exp_map", &vorn_geodesic::expMap, py::arg("p"), py::arg("v"));
    m.def("log_map", &vorn_geodesic::logMap, py::arg("p"), py::arg("q"));
}

}  // namespace vorn::python
