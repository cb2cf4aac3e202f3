// vorn_physics in Python: bodies, the forces, the integration step and collision detection.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <string>

#include <vorn/vorn_physics.hpp>

#include "bindings.hpp"
#include "values.hpp"

namespace vorn::python {

namespace {

// The shared forms, overloaded below for this module's own types.
using python::equal;
using python::reprOf;
using vorn_kernel::HomVec4;
using vorn_physics::CollisionResult;
using vorn_physics::VornBody;

std::string reprOf(VornBody::BodyType type) {
    switch (type) {
        case VornBody::BodyType::static_:
            return "VornBody.BodyType.static_";
        case VornBody::BodyType::dynamic:
            return "VornBody.BodyType.dynamic";
        case VornBody::BodyType::kinematic:
            return "VornBody.BodyType.kinematic";
    }
    return "VornBody.BodyType(" + std::to_string(static_cast<unsigned>(type)) + ")";
}

std::string reprOf(const VornBody& b) {
    return "VornBody(position=" + reprOf(b.position) + ", velocity=" + reprOf(b.velocity) +
           ", mass=" + reprOf(b.mass) + ", restitution=" + reprOf(b.restitution) +
           ", friction=" + reprOf(b.friction) + ", force_accum=" + reprOf(b.force_accum) +
           ", body_type=" + reprOf(b.body_type) + ", active=" + (b.active ? "True" : "False") + ")";
}

bool equal(const VornBody& a, const VornBody& b) {
    return equal(a.position, b.position) && equal(a.velocity, b.velocity) && a.mass == b.mass &&
           a.restitution == b.restitution && a.friction == b.friction &&
           equal(a.force_accum, b.force_accum) && a.body_type == b.body_type && a.active == b.active;
}

// Every field as given, nothing normalised: the form repr() prints.
VornBody fromFields(HomVec4 position, HomVec4 velocity, double mass, double restitution, double friction,
                    HomVec4 force_accum, VornBody::BodyType body_type, bool active) {
    return VornBody{position, velocity, mass, restitution, friction, force_accum, body_type, active};
}

}  // namespace

void bindPhysics(py::module_& m) {
    py::class_<VornBody> body(m, "VornBody", "A point body on the 3-sphere (a plain value record).");
    py::enum_<VornBody::BodyType>(body, "BodyType", "How a body moves: static_, dynamic or kinematic.")
        .value("static_", VornBody::BodyType::static_)
        .value("dynamic", VornBody::BodyType::dynamic)
        .value("kinematic", VornBody::BodyType::kinematic);
    const VornBody defaults = VornBody::init(HomVec4::fromCartesian(0.0, 0.0, 0.0), HomVec4::zero(), 0.0);
    body.def(py::init(&VornBody::init), py::arg("pos"), py::arg("vel"), py::arg("mass"),
             "A dynamic, active body at the normalised position (a zero or NaN position gives (0, 0, 0, 1)).")
        .def(py::init(&fromFields), py::kw_only(), py::arg("position"), py::arg("velocity"), py::arg("mass"),
             py::arg("restitution") = defaults.restitution, py::arg("friction") = defaults.friction,
             py::arg("force_accum") = defaults.force_accum, py::arg("body_type") = defaults.body_type,
             py::arg("active") = defaults.active,
             "Every field by keyword, stored as given (nothing normalised).")
        .def_static("static_", &VornBody::static_, py::arg("pos"), "A static, inactive body of mass 0.")
        .def_readwrite("position", &VornBody::position, "Where the body is (unit length once moved).")
        .def_readwrite("velocity", &VornBody::velocity, "The velocity, tangent to the position once moved.")
        .def_readwrite("mass", &VornBody::mass, "The mass; bodies below 1e-10 are not moved.")
        .def_readwrite("restitution", &VornBody::restitution, "The restitution of its contacts.")
        .def_readwrite("friction", &VornBody::friction, "Carried for callers; read by nothing in vorn.")
        .def_readwrite("force_accum", &VornBody::force_accum, "The forces applied since the last step.")
        .def_readwrite("body_type", &VornBody::body_type, "static_, dynamic or kinematic.")
        .def_readwrite("active", &VornBody::active, "Whether a dynamic body is moved.")
        .def("apply_force", &VornBody::applyForce, py::arg("force"),
             "Adds the force to the accumulator of a dynamic body; others ignore it.")
        .def("clear_forces", &VornBody::clearForces, "Sets the accumulated force to zero.")
        .def("distance_to", &VornBody::distanceTo, py::arg("other"),
             "The Fubini–Study distance of the two positions, in [0, π/2].")
        .def("__repr__", [](const VornBody& b) { return reprOf(b); })
        .def(
            "__eq__", [](const VornBody& a, const VornBody& b) { return equal(a, b); }, py::is_operator())
        .def(py::pickle(
            [](const VornBody& b) {
                return py::make_tuple(b.position, b.velocity, b.mass, b.restitution, b.friction,
                                      b.force_accum, b.body_type, b.active);
            },
            [](const py::tuple& t) {
                return fromFields(t[0].cast<HomVec4>(), t[1].cast<HomVec4>(), t[2].cast<double>(),
                                  t[3].cast<double>(), t[4].cast<double>(), t[5].cast<HomVec4>(),
                                  t[6].cast<VornBody::BodyType>(), t[7].cast<bool>());
            }));

    py::class_<CollisionResult>(m, "CollisionResult", "Whether two bodies touch, their distance and normal.")
        .def_readonly("fs_distance", &CollisionResult::fs_distance,
                      "The Fubini–Study distance of the two positions.")
        .def_readonly("normal", &CollisionResult::normal,
                      "The unit direction at the first body toward the second, or zero.")
        .def_readonly("collided", &CollisionResult::collided, "Whether the distance is below the threshold.")
        .def("__bool__", [](const CollisionResult& r) { return r.collided; })
        .def("__repr__", [](const CollisionResult& r) {
            return "CollisionResult(fs_distance=" + reprOf(r.fs_distance) +
                   ", collided=" + (r.collided ? "True" : "False") + ")";
        });

    m.def("vorn_gravity", &vorn_physics::vornGravity, py::arg("body"), py::arg("attractor_position"),
          py::arg("attractor_mass"), py::arg("G"),
          "The kernel's softened pull on `body` toward a point mass (not multiplied by the body's mass).");
    m.def("damping_force", &vorn_physics::dampingForce, py::arg("velocity"), py::arg("gamma"),
          "Linear drag -gamma·velocity.");
    m.def("integrate_step", &vorn_physics::integrateStep, py::arg("body"), py::arg("dt"),
          py::arg("external_force"), "One Runge–Kutta step of `body` in place.");
    m.def("check_collision", &vorn_physics::checkCollision, py::arg("a"), py::arg("b"), py::arg("threshold"),
          "Whether the bodies are closer than `threshold` (an angle), with their distance and normal.");
}

}  // namespace vorn::python
