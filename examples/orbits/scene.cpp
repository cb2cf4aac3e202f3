#include "scene.hpp"

#include <cmath>
#include <numbers>

#include <vorn/vorn_geodesic.hpp>

#include "splitmix64.hpp"

namespace orbits {

using vorn_kernel::HomVec4;
using vorn_physics::VornBody;

namespace {

// Uniform on S³ by Marsaglia's method: only arithmetic and a square root, which are
// correctly rounded, so the scene is the same on every platform.
HomVec4 randomPointOnS3(SplitMix64& rng) {
    double x1 = 0.0, x2 = 0.0, s1 = 0.0;
    do {
        x1 = rng.uniform(-1.0, 1.0);
        x2 = rng.uniform(-1.0, 1.0);
        s1 = x1 * x1 + x2 * x2;
    } while (s1 >= 1.0);
    double x3 = 0.0, x4 = 0.0, s2 = 0.0;
    do {
        x3 = rng.uniform(-1.0, 1.0);
        x4 = rng.uniform(-1.0, 1.0);
        s2 = x3 * x3 + x4 * x4;
    } while (s2 >= 1.0 || s2 == 0.0);
    const double f = std::sqrt((1.0 - s1) / s2);
    return HomVec4::init(x1, x2, x3 * f, x4 * f);
}

// v minus its component along the unit vector u.
HomVec4 withoutComponent(HomVec4 v, HomVec4 u) {
    const double k = HomVec4::dot(v, u);
    return HomVec4::init(v.x - k * u.x, v.y - k * u.y, v.z - k * u.z, v.w - k * u.w);
}

// A random unit vector orthogonal to every vector in `against` (each of unit length and
// orthogonal to the others).
template <std::size_t N>
HomVec4 randomUnitOrthogonalTo(SplitMix64& rng, const HomVec4 (&against)[N]) {
    for (;;) {
        HomVec4 v = randomPointOnS3(rng);
        for (const HomVec4& u : against) v = withoutComponent(v, u);
        if (v.norm() > 1e-3) return v.normalize();
    }
}

HomVec4 scaled(double a, HomVec4 u) { return HomVec4::init(a * u.x, a * u.y, a * u.z, a * u.w); }

HomVec4 combine(double a, HomVec4 u, double b, HomVec4 v) {
    return HomVec4::init(a * u.x + b * v.x, a * u.y + b * v.y, a * u.z + b * v.z, a * u.w + b * v.w);
}

}  // namespace

std::vector<VornBody> makeAttractors(int count) {
    std::vector<VornBody> attractors;
    for (int k = 0; k < count; ++k) {
        const double angle = 2.0 * std::numbers::pi * k / count + std::numbers::pi / 2.0;
        attractors.push_back(
            VornBody::static_(HomVec4::init(0.96 * std::cos(angle), 0.96 * std::sin(angle), 0.0, 0.28)));
    }
    return attractors;
}

std::vector<VornBody> makeBodies(const SceneConfig& config, const std::vector<VornBody>& attractors) {
    SplitMix64 rng(config.seed);
    std::vector<VornBody> bodies;
    bodies.reserve(static_cast<std::size_t>(config.bodies));
    for (int i = 0; i < config.bodies; ++i) {
        const HomVec4 q = attractors[static_cast<std::size_t>(i) % attractors.size()].position;
        const double d = rng.uniform(config.min_orbit_distance, config.max_orbit_distance);
        const HomVec4 away = randomUnitOrthogonalTo(rng, {q});
        const HomVec4 p = combine(std::cos(d), q, std::sin(d), away).normalize();

        // The unit tangent at p pointing back to the attractor, then a direction of travel
        // square to it: an orbit in a random plane through the attractor.
        const HomVec4 inward = vorn_geodesic::logMap(p, q).normalize();
        const HomVec4 along = randomUnitOrthogonalTo(rng, {p, inward});

        // Circular speed on the unit sphere: v² = G·M·tan d / sin² d.
        const double circular = std::sqrt(config.G * config.attractor_mass / (std::sin(d) * std::cos(d)));
        const double speed = circular * rng.uniform(0.8, 1.0);
        bodies.push_back(VornBody::init(p, scaled(speed, along), 1.0));
    }
    return bodies;
}

}  // namespace orbits
