// Puts a drifted state back onto S³ and its tangent space.
#include "vorn_geodesic.hpp"

namespace vorn_geodesic {

GeodesicState renormalizeOnS3(GeodesicState state) {
    const HomVec4 q = state.pos();
    const double n = q.norm();
    // Unlike HomVec4::normalize, a too-short position is kept as it is, not replaced.
    if (n < 1e-15) return state;
    const HomVec4 q_norm = HomVec4::init(q.x / n, q.y / n, q.z / n, q.w / n);
    const HomVec4 v = state.vel();
    const double vn = HomVec4::dot(v, q_norm);
    // Only the radial part goes; the speed is not restored.
    const HomVec4 v_tangent =
        HomVec4::init(v.x - vn * q_norm.x, v.y - vn * q_norm.y, v.z - vn * q_norm.z, v.w - vn * q_norm.w);
    return GeodesicState::fromHomVec4(q_norm, v_tangent);
}

}  // namespace vorn_geodesic
