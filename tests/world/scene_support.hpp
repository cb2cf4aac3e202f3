// Deterministic scenes for the world's tests, its determinism scene and its benchmarks.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <vector>

#include "vorn_world.hpp"

namespace vorn::world_test {

using vorn_kernel::HomVec4;
using vorn_physics::VornBody;

// splitmix64: the same numbers from every compiler and library.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // Uniform in [-1, 1).
    double symmetric() { return static_cast<double>(next() >> 11) * 0x1.0p-52 - 1.0; }
    // A unit vector, uniform on S³ (rejection from the cube).
    HomVec4 unit() {
        while (true) {
            const HomVec4 v = draw(1.0);
            const double n2 = HomVec4::dot(v, v);
            if (n2 > 1e-4 && n2 <= 1.0) return v.normalize();
        }
    }
    // A tangent vector at the unit vector p, components up to `scale`.
    HomVec4 tangent(HomVec4 p, double scale) {
        const HomVec4 r = draw(scale);
        const double radial = HomVec4::dot(r, p);
        return HomVec4::init(r.x - radial * p.x, r.y - radial * p.y, r.z - radial * p.z, r.w - radial * p.w);
    }

private:
    // Four draws in x, y, z, w order (the order of a function's arguments is unspecified).
    HomVec4 draw(double scale) {
        const double x = scale * symmetric();
        const double y = scale * symmetric();
        const double z = scale * symmetric();
        const double w = scale * symmetric();
        return HomVec4::init(x, y, z, w);
    }

    std::uint64_t state_;
};

// A unit vector at angle `angle` from the unit vector p, in a random direction.
inline HomVec4 near(Random& random, HomVec4 p, double angle) {
    const HomVec4 t = random.tangent(p, 1.0);
    const double n = t.norm();
    const double c = std::cos(angle), s = std::sin(angle) / n;
    return HomVec4::init(c * p.x + s * t.x, c * p.y + s * t.y, c * p.z + s * t.z, c * p.w + s * t.w)
        .normalize();
}

// Whether two bodies hold the same bits in every field.
inline bool sameBits(const VornBody& a, const VornBody& b) {
    const auto same_double = [](double x, double y) {
        return std::bit_cast<std::uint64_t>(x) == std::bit_cast<std::uint64_t>(y);
    };
    const auto same = [&](HomVec4 x, HomVec4 y) {
        return same_double(x.x, y.x) && same_double(x.y, y.y) && same_double(x.z, y.z) &&
               same_double(x.w, y.w);
    };
    return same(a.position, b.position) && same(a.velocity, b.velocity) &&
           same(a.force_accum, b.force_accum) && same_double(a.mass, b.mass) &&
           same_double(a.restitution, b.restitution) && same_double(a.friction, b.friction) &&
           a.body_type == b.body_type && a.active == b.active;
}

inline bool sameBits(const std::vector<VornBody>& a, const std::vector<VornBody>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (!sameBits(a[i], b[i])) return false;
    }
    return true;
}

// An eccentric orbit about one attractor: speed 0.7 of the circular speed at distance 0.5.
inline vorn_world::World eccentricOrbit() {
    vorn_world::World world(1.0);
    world.addAttractor(HomVec4::init(0, 0, 0, 1), 1.0);
    const double d = 0.5;
    // On a circle of radius d the pull f = 1/(sin²d + ε) supplies v²·cot d.
    const double circular = std::sqrt(std::tan(d) / (std::sin(d) * std::sin(d) + 1e-10));
    world.add(VornBody::init(HomVec4::init(std::sin(d), 0, 0, std::cos(d)),
                             HomVec4::init(0, 0.7 * circular, 0, 0), 1.0));
    return world;
}

}  // namespace vorn::world_test
