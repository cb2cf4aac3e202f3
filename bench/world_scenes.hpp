// Scenes of the world's benchmarks and long-run programs: an eccentric orbit about one attractor,
// a virialised cluster under mutual gravity, and a disc of test particles about three masses.
#pragma once

#include <cmath>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <numbers>
#include <vector>

#include "vorn_world.hpp"
#include "world/scene_support.hpp"

namespace vorn::bench {

using vorn_kernel::HomVec4;
using vorn_physics::VornBody;

inline const HomVec4 pole = HomVec4::init(0, 0, 0, 1);

// The angle of p from the pole.
inline double poleDistance(HomVec4 p) { return std::atan2(std::hypot(p.x, p.y, p.z), p.w); }

// One body about an attractor of G·M = 1 at the pole under −cot d, from apocentre with the
// tangential speed that brings it to the pericentre. With u = cot d the orbit is
// u(φ) = P + A·cos φ (P = (u_p + u_a)/2, A = (u_p − u_a)/2, ℓ² = 1/P), and the period
// ∮ sin²d dφ / ℓ = (2π/ℓ)·Re 1/√((1 + iP)² + A²).
struct KeplerOrbit {
    double pericentre, apocentre;

    double angularMomentum() const { return std::sqrt(1.0 / (0.5 * (cotPericentre() + cotApocentre()))); }
    double apocentreSpeed() const { return angularMomentum() / std::sin(apocentre); }
    double period() const {
        const double p = 0.5 * (cotPericentre() + cotApocentre()),
                     a = 0.5 * (cotPericentre() - cotApocentre());
        const std::complex<double> root =
            std::sqrt(std::complex<double>(1.0, p) * std::complex<double>(1.0, p) + a * a);
        return 2.0 * std::numbers::pi / angularMomentum() * (1.0 / root).real();
    }
    vorn_world::World world() const {
        vorn_world::World w(1.0);
        w.addAttractor(pole, 1.0);
        w.add(VornBody::init(HomVec4::init(std::sin(apocentre), 0, 0, std::cos(apocentre)),
                             HomVec4::init(0, apocentreSpeed(), 0, 0), 1.0));
        return w;
    }

private:
    double cotPericentre() const { return 1.0 / std::tan(pericentre); }
    double cotApocentre() const { return 1.0 / std::tan(apocentre); }
};

// The eccentric orbit of the adaptive integrator's figures: pericentre 0.05, apocentre 1.
inline constexpr KeplerOrbit eccentricKepler{0.05, 1.0};

// A vector of the unit ball of dimension 3 (w = 0) or 4, uniform (rejection from the cube).
inline HomVec4 inBall(world_test::Random& random, bool four) {
    while (true) {
        const double x = random.symmetric();
        const double y = random.symmetric();
        const double z = random.symmetric();
        const double w = four ? random.symmetric() : 0.0;
        const HomVec4 v = HomVec4::init(x, y, z, w);
        if (HomVec4::dot(v, v) <= 1.0) return v;
    }
}

// n bodies of mass 1/n (G = 1, mutual gravity, softening 1e-10) uniform in the ball of angular
// radius `radius` about the pole, with isotropic velocities scaled so that 2K = −W.
inline vorn_world::World virialisedCluster(std::size_t n, double radius = 0.3, std::uint64_t seed = 1) {
    vorn_world::World world(1.0);
    world.setMutualGravity(true);
    world_test::Random random(seed);
    for (std::size_t i = 0; i < n; ++i) {
        // The volume within angle r grows as ∫ sin²r dr: draw r³ uniform, keep r with
        // probability (sin r / r)².
        double r = 0.0;
        while (true) {
            r = radius * std::cbrt(0.5 * (random.symmetric() + 1.0));
            const double keep = r > 0.0 ? std::sin(r) / r : 1.0;
            if (0.5 * (random.symmetric() + 1.0) < keep * keep) break;
        }
        HomVec4 direction = inBall(random, false);
        while (HomVec4::dot(direction, direction) < 1e-4) direction = inBall(random, false);
        direction = direction.normalize();
        const double s = std::sin(r);
        const HomVec4 p = HomVec4::init(s * direction.x, s * direction.y, s * direction.z, std::cos(r));
        const HomVec4 v = inBall(random, true);  // the world removes its part along p
        world.add(VornBody::init(p, v, 1.0 / static_cast<double>(n)));
    }
    const double scale = std::sqrt(-world.potentialEnergy() / (2.0 * world.kineticEnergy()));
    for (const vorn_world::BodyId id : world.ids()) {
        VornBody b = world.body(id);
        b.velocity = HomVec4::init(scale * b.velocity.x, scale * b.velocity.y, scale * b.velocity.z,
                                   scale * b.velocity.w);
        world.setBody(id, b);
    }
    return world;
}

// Three bodies of mass 1/3 (G = 1) 0.02 from the pole, 120° apart in the xy plane and turning
// as a triangle, with n test particles of mass 1e-6 on circular orbits in that plane between 0.1
// and 1 from the pole, uniform in area. With `attractors`, the three are fixed attractors instead.
inline vorn_world::World discAboutThree(std::size_t n, bool attractors, std::uint64_t seed = 3) {
    vorn_world::World world(1.0);
    const double r = 0.02, m = 1.0 / 3.0;
    const double side = 2.0 * std::sin(r) * std::sin(std::numbers::pi / 3.0);
    const double speed = std::sqrt(std::sqrt(3.0) * m * r) / side;  // the flat triangle's
    for (int k = 0; k < 3; ++k) {
        const double phi = 2.0 * std::numbers::pi * k / 3.0;
        const HomVec4 p =
            HomVec4::init(std::sin(r) * std::cos(phi), std::sin(r) * std::sin(phi), 0, std::cos(r));
        if (attractors) {
            world.addAttractor(p, m);
        } else {
            world.add(
                VornBody::init(p, HomVec4::init(-speed * std::sin(phi), speed * std::cos(phi), 0, 0), m));
        }
    }
    world.setMutualGravity(!attractors);
    world_test::Random random(seed);
    std::vector<VornBody> disc;
    disc.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double u = 0.5 * (random.symmetric() + 1.0);
        const double d = std::acos(std::cos(0.1) - u * (std::cos(0.1) - std::cos(1.0)));
        const double phi = std::numbers::pi * random.symmetric();
        const double v = std::sqrt(1.0 / (std::sin(d) * std::cos(d)));  // v²·cot d = 1/sin²d
        disc.push_back(VornBody::init(
            HomVec4::init(std::sin(d) * std::cos(phi), std::sin(d) * std::sin(phi), 0, std::cos(d)),
            HomVec4::init(-v * std::sin(phi), v * std::cos(phi), 0, 0), 1e-6));
    }
    world.add(disc, {.test_particle = true});
    return world;
}

}  // namespace vorn::bench
