// Contact detection between two bodies: distance, outcome and the contact normal at the first body.
#include "vorn_geodesic.hpp"
#include "vorn_physics.hpp"

namespace vorn_physics {

CollisionResult checkCollision(const VornBody& a, const VornBody& b, double threshold) {
    const double d = vorn_kernel::fsDistance(a.position, b.position);
    // A distance equal to the threshold is no contact; a NaN threshold fails this test and
    // reports a contact.
    if (d >= threshold) return CollisionResult{d, HomVec4::zero(), false};
    const HomVec4 tangent = vorn_geodesic::logMap(a.position, b.position);
    const double t_norm = tangent.norm();
    const HomVec4 normal = t_norm > 1e-15 ? tangent.normalize() : HomVec4::zero();
    return CollisionResult{d, normal, true};
}

}  // namespace vorn_physics
