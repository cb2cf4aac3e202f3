// Builders of rotations of S³: the six coordinate planes, isoclinic rotations, the rotation
// taking one point to another, and slerp.
#include <cmath>
#include <numbers>

#include "vorn_geodesic.hpp"
#include "vorn_math/functions.hpp"
#include "vorn_motion.hpp"

namespace vorn_motion {

Rotation planeRotation(Plane plane, double angle) {
    const double c = vorn::elementary::cos(0.5 * angle);
    const double s = vorn::elementary::sin(0.5 * angle);
    // Planes of two imaginary axes are turned by conjugation (l = r) about the third axis;
    // a plane with w by l = e^(−u·angle/2), r = e^(u·angle/2) for its imaginary axis u.
    switch (plane) {
        case Plane::XY:
            return {{0.0, 0.0, s, c}, {0.0, 0.0, s, c}};
        case Plane::XZ:
            return {{0.0, -s, 0.0, c}, {0.0, -s, 0.0, c}};
        case Plane::YZ:
            return {{s, 0.0, 0.0, c}, {s, 0.0, 0.0, c}};
        case Plane::XW:
            return {{-s, 0.0, 0.0, c}, {s, 0.0, 0.0, c}};
        case Plane::YW:
            return {{0.0, -s, 0.0, c}, {0.0, s, 0.0, c}};
        case Plane::ZW:
            return {{0.0, 0.0, -s, c}, {0.0, 0.0, s, c}};
    }
    return Rotation::identity();
}

Rotation leftIsoclinic(HomVec4 q) { return {q.normalize(), {0.0, 0.0, 0.0, 1.0}}; }

Rotation rightIsoclinic(HomVec4 q) { return {{0.0, 0.0, 0.0, 1.0}, qconj(q.normalize())}; }

namespace {

// v times a power of two (exact) that brings tiny components up, where the sum of their squares
// would lose digits below the normal range; other vectors as they are.
HomVec4 withoutTinyScale(HomVec4 v) {
    const double largest =
        std::fmax(std::fmax(std::fabs(v.x), std::fabs(v.y)), std::fmax(std::fabs(v.z), std::fabs(v.w)));
    if (!(largest < 0x1.0p-480) || largest == 0.0) return v;
    return 0x1.0p600 * v;
}

}  // namespace

std::optional<Rotation> rotationTaking(HomVec4 a, HomVec4 b) {
    // Only the directions matter.
    a = withoutTinyScale(a);
    b = withoutTinyScale(b);
    const double norm_a = a.norm();
    const double norm_b = b.norm();
    if (!(norm_a > 0.0 && norm_b > 0.0 && std::isfinite(norm_a) && std::isfinite(norm_b)))
        return std::nullopt;
    const HomVec4 ua = (1.0 / norm_a) * a;
    const HomVec4 ub = (1.0 / norm_b) * b;
    const double half_cos = 0.5 * (ua + ub).norm();  // cos(Ω/2) for the angle Ω from a to b
    const double half_sin = 0.5 * (ub - ua).norm();  // sin(Ω/2)
    if (!(half_cos >= 0.5e-12)) return std::nullopt;
    // b·ā = cos Ω + sin Ω·n for a unit imaginary n. Then l = e^(n·Ω/2) and r = ā·l̄·a give
    // l·a·r̄ = l·a·ā·l·a = l²·a = b and fix the plane orthogonal to a and b. Taken from the
    // half-angle sine and cosine, l² stays accurate even where n is poorly determined (b near
    // −a), and r follows l so that the two stay consistent.
    const HomVec4 q = qmul(ub, qconj(ua));
    const double s = std::sqrt((q.x * q.x + q.y * q.y) + q.z * q.z);
    if (!(s > 0.0)) return Rotation::identity();  // b = a
    const double k = half_sin / s;
    const HomVec4 l{k * q.x, k * q.y, k * q.z, half_cos};
    return Rotation{l, qmul(qmul(qconj(ua), qconj(l)), ua)};
}

HomVec4 slerp(HomVec4 a, HomVec4 b, double t) {
    const double cos_omega = HomVec4::dot(a, b);
    const HomVec4 across = b - cos_omega * a;
    const double sin_omega = across.norm();
    if (!(sin_omega > 0.0)) {
        if (cos_omega > 0.0) return a;
        return vorn_geodesic::geodesicExact(a, vorn_geodesic::orthogonalVelocity(a), t * std::numbers::pi);
    }
    const double omega = vorn::elementary::atan2(sin_omega, cos_omega);
    return vorn_geodesic::geodesicExact(a, (1.0 / sin_omega) * across, t * omega);
}

}  // namespace vorn_motion
