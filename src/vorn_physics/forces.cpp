// Force laws: softened gravity toward a point mass along the joining great circle, and linear drag.
#include <cmath>

#include "vorn_geodesic.hpp"
#include "vorn_math/functions.hpp"
#include "vorn_physics.hpp"

namespace vorn_physics {

HomVec4 vornGravity(const VornBody& body, HomVec4 attractor_position, double attractor_mass, double G) {
    const double d = vorn_kernel::fsDistance(body.position, attractor_position);
    if (d < 1e-10) return HomVec4::zero();
    const HomVec4 tangent = vorn_geodesic::logMap(body.position, attractor_position);
    const double t_norm = tangent.norm();
    if (t_norm < 1e-15) return HomVec4::zero();
    const double sin_d = vorn::elementary::sin(d);
    // The softening term keeps the denominator positive at every distance, d = 0 included.
    const double denom = sin_d * sin_d + 1e-10;
    const double magnitude = (G * attractor_mass) / denom;
    // Multiplied first, divided second: the unit tangent is never formed on its own.
    return HomVec4::init((magnitude * tangent.x) / t_norm, (magnitude * tangent.y) / t_norm,
                         (magnitude * tangent.z) / t_norm, (magnitude * tangent.w) / t_norm);
}

HomVec4 dampingForce(HomVec4 velocity, double gamma) {
    const double k = -gamma;
    return HomVec4::init(k * velocity.x, k * velocity.y, k * velocity.z, k * velocity.w);
}

}  // namespace vorn_physics
