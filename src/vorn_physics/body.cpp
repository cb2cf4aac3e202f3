// VornBody: construction on S³, force accumulation and the distance between two bodies.
#include "vorn_physics.hpp"

namespace vorn_physics {

VornBody VornBody::init(HomVec4 pos, HomVec4 vel, double mass) {
    const double n = pos.norm();
    // Strictly above the floor: a norm of exactly 1e-15, and a NaN norm, take the fallback.
    const HomVec4 position = n > 1e-15 ? pos.normalize() : HomVec4::fromCartesian(0.0, 0.0, 0.0);
    return VornBody{
        .position = position,
        .velocity = vel,  // kept as passed: the integration step removes its radial part
        .mass = mass,
        .restitution = 0.5,
        .friction = 0.3,
        .force_accum = HomVec4::zero(),
        .body_type = BodyType::dynamic,
        .active = true,
    };
}

VornBody VornBody::static_(HomVec4 pos) {
    VornBody body = init(pos, HomVec4::zero(), 0.0);
    body.body_type = BodyType::static_;
    body.active = false;
    return body;
}

void VornBody::applyForce(HomVec4 force) {
    // Only the kind matters: an inactive dynamic body keeps collecting forces for later.
    if (body_type != BodyType::dynamic) return;
    force_accum = HomVec4::init(force_accum.x + force.x, force_accum.y + force.y, force_accum.z + force.z,
                                force_accum.w + force.w);
}

void VornBody::clearForces() { force_accum = HomVec4::zero(); }

double VornBody::distanceTo(const VornBody& other) const {
    return vorn_kernel::fsDistance(position, other.position);
}

}  // namespace vorn_physics
