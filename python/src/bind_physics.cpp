// vorn_physics in Python: bodies, the forces, the integration step and collision detection.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <string>

#include <vorn/vorn_physics.hpp>

#include "bindings.hpp"

namespace vorn::python {

namespace {

using vorn_physics::CollisionResult;
using vorn_physics::VornBody;

std::string reprOf(const VornBody& b) {
    return "VornBody(position=" + std::string(py::str(py::repr(py::cast(b.position)))) +
           ", velocity=" + std::string(py::str(py::repr(py::cast(b.velocity)))) +
           ", mass=" + std::string(py::str(py::repr(py::float_(b.mass)))) +
           ", type=" + std::string(py::str(py::cast(b.body_type).attr("name"))) +
           ", active=" + (b.active ? "True" : "False") + ")";
}

}  // namespace

void bindPhysics(py::module_& m) {
    py::class_<VornBody> body(m, "VornBody", "A point body on the 3-sphere (a plain value record).");
    py::enum_<VornBody::BodyType>(body, "BodyType")
        .value("static_", VornBody::BodyType::static_)
        .value("dynamic", VornBody::BodyType::dynamic)
        .value("kinematic", VornBody::BodyType::kinematic);
    body.def(py::init(&VornBody::init), py::arg("pos"), py::arg("vel"), py::arg("mass"),
             "A dynamic, active body at the normalised position.")
        .def_static("static_", &VornBody::static_, py::arg("pos"), "A static, inactive body of mass 0.")
        .def_readwrite("position", &VornBody::position)
        .def_readwrite("velocity", &VornBody::velocity)
        .def_readwrite("mass", &VornBody::mass)
        .def_readwrite("restitution", &VornBody::restitution)
        .def_readwrite("friction", &VornBody::friction)
        .def_readwrite("force_accum", &VornBody::force_accum)
        .def_readwrite("body_type", &VornBody::body_type)
        .def_readwrite("active", &VornBody::active)
        .def("apply_force", &VornBody::applyForce, py::arg("force"))
        .def("clear_forces", &VornBody::clearForces)
        .def("distance_to", &VornBody::distanceTo, py::arg("other"))
        .def("__repr__", &reprOf);

    py::class_<CollisionResult>(m, "CollisionResult")
        .def_readonly("fs_distance", &CollisionResult::fs_distance)
        .def_readonly("normal", &CollisionResult::normal)
        .def_readonly("collided", &CollisionResult::collided)
        .def("__bool__", [](const CollisionResult& r) { return r.collided; })
        .def("__repr__", [](const CollisionResult& r) {
            return "CollisionResult(fs_distance=" +
                   std::string(py::str(py::repr(py::float_(r.fs_distance)))) +
                   ", collided=" + (r.collided ? "True" : "False") + ")";
        });

    m.def("vorn_gravity", &vorn_physics::vornGravity, py::arg("body"), py::arg("attractor_position"),
          py::arg("attractor_mass"), py::arg("G"),
          "The kernel's softened pull on `body` toward a point mass (not multiplied by the body's mass).");
    m.def("damping_force", &vorn_physics::dampingForce, py::arg("velocity"), py::arg("gamma"));
    m.def("integrate_step", &vorn_physics::integrateStep, py::arg("body"), py::arg("dt"),
          py::arg("external_force"), "One Runge–Kutta step of `body` in place.");
    m.def("check_collision", &vorn_physics::checkCollision, py::arg("a"), py::arg("b"), py::arg("threshold"));
}

}  // namespace vorn::python
