// Conserved quantities: the total energy under the softened law and the angular-momentum
// bivector. Both are sums over the moved bodies in storage order.
#include <cstddef>

#include "vorn_world.hpp"
#include "vorn_world/pull.hpp"
#include "vorn_world/state.hpp"

namespace vorn_world {

double World::energy() const {
    const State& s = *state_;
    double total = 0.0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s.moved[i] == 0) continue;
        const HomVec4 q = HomVec4::init(s.qx()[i], s.qy()[i], s.qz()[i], s.qw()[i]);
        const HomVec4 v = HomVec4::init(s.vx()[i], s.vy()[i], s.vz()[i], s.vw()[i]);
        total += 0.5 * s.mass[i] * HomVec4::dot(v, v);
        for (const Attractor& a : s.attractors) {
            total += s.mass[i] * detail::potential(q, a.position, s.G * a.mass);
        }
        if (!s.mutual) continue;
        for (std::size_t j = i + 1; j < s.size(); ++j) {
            if (s.moved[j] == 0) continue;
            const HomVec4 p = HomVec4::init(s.qx()[j], s.qy()[j], s.qz()[j], s.qw()[j]);
            total += s.mass[i] * detail::potential(q, p, s.G * s.mass[j]);
        }
    }
    return total;
}

Bivector World::angularMomentum() const {
    const State& s = *state_;
    Bivector L{0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s.moved[i] == 0) continue;
        const double m = s.mass[i];
        L.xy += m * (s.qx()[i] * s.vy()[i] - s.qy()[i] * s.vx()[i]);
        L.xz += m * (s.qx()[i] * s.vz()[i] - s.qz()[i] * s.vx()[i]);
        L.xw += m * (s.qx()[i] * s.vw()[i] - s.qw()[i] * s.vx()[i]);
        L.yz += m * (s.qy()[i] * s.vz()[i] - s.qz()[i] * s.vy()[i]);
        L.yw += m * (s.qy()[i] * s.vw()[i] - s.qw()[i] * s.vy()[i]);
        L.zw += m * (s.qz()[i] * s.vw()[i] - s.qw()[i] * s.vz()[i]);
    }
    return L;
}

}  // namespace vorn_world
