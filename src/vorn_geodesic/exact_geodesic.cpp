// Great circles of S³ in closed form, and a deterministic tangent direction at a point.
// Comparisons are ordered IEEE comparisons, so NaN input takes the branch whose test fails.
#include <cmath>
#include <numbers>

#include "vorn_geodesic.hpp"
#include "vorn_math/functions.hpp"

namespace vorn_geodesic {

HomVec4 geodesicExact(HomVec4 p, HomVec4 v, double t) {
    const double ct = vorn::elementary::cos(t);
    const double st = vorn::elementary::sin(t);
    return HomVec4::init(ct * p.x + st * v.x, ct * p.y + st * v.y, ct * p.z + st * v.z, ct * p.w + st * v.w);
}

HomVec4 geodesicScaled(HomVec4 p, HomVec4 v, double t) {
    const double speed = v.norm();
    // A body without velocity stays put; a NaN speed fails the test and propagates.
    if (speed < 1e-15) return p;
    const double st = speed * t;
    const double ct = vorn::elementary::cos(st);
    const double sn = vorn::elementary::sin(st);
    const double inv_speed = 1.0 / speed;
    // sn·v_i is rounded before the reciprocal is applied; v itself is never divided.
    return HomVec4::init(ct * p.x + (sn * v.x) * inv_speed, ct * p.y + (sn * v.y) * inv_speed,
                         ct * p.z + (sn * v.z) * inv_speed, ct * p.w + (sn * v.w) * inv_speed);
}

double fsDistanceAlongGeodesic(double t) {
    constexpr double pi = std::numbers::pi;
    const double abs_t = std::fabs(t);
    // The geodesic reaches the antipode, the same projective point, after π: period π.
    const double reduced = std::fmod(abs_t, pi);
    const double back = pi - reduced;
    return reduced < back ? reduced : back;
}

HomVec4 orthogonalVelocity(HomVec4 p) {
    const double aw = std::fabs(p.w);
    const double ax = std::fabs(p.x);
    const double ay = std::fabs(p.y);
    const double az = std::fabs(p.z);
    // Project the axis most nearly orthogonal to p; ties go to the earlier of w, x, y, z.
    // Off-axis terms are (−p_k)·p_j so that the signs of zeros come out the same everywhere.
    HomVec4 candidate{};
    if (aw <= ax && aw <= ay && aw <= az) {
        const double k = -p.w;
        candidate = HomVec4::init(k * p.x, k * p.y, k * p.z, 1.0 - p.w * p.w);
    } else if (ax <= ay && ax <= az) {
        const double k = -p.x;
        candidate = HomVec4::init(1.0 - p.x * p.x, k * p.y, k * p.z, k * p.w);
    } else if (ay <= az) {
        const double k = -p.y;
        candidate = HomVec4::init(k * p.x, 1.0 - p.y * p.y, k * p.z, k * p.w);
    } else {
        const double k = -p.z;
        candidate = HomVec4::init(k * p.x, k * p.y, 1.0 - p.z * p.z, k * p.w);
    }
    return candidate.normalize();
}

}  // namespace vorn_geodesic
