// Conserved quantities: the total energy under the softened law and the angular-momentum
// bivector. Both are sums over the moved bodies in storage order.
#include <cstddef>

#include "vorn_world.hpp"
#include "vorn_world/chord.hpp"
#include "vorn_world/state.hpp"

namespace vorn_world {

double World::energy() const {
    const detail::WorldState& s = *state_;
    double total = 0.0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s.moved[i] == 0) continue;
        const HomVec4 q = s.position(i);
        const HomVec4 v = s.velocity(i);
        total += 0.5 * s.mass[i] * HomVec4::dot(v, v);
        for (const Attractor& a : s.attractors) {
            total += s.mass[i] * detail::potential(q, a.position, s.G * a.mass);
        }
        if (!s.mutual) continue;
        for (std::size_t j = i + 1; j < s.size(); ++j) {
            if (s.moved[j] == 0) continue;
            const HomVec4 p = s.position(j);
            total += s.mass[i] * detail::potential(q, p, s.G * s.mass[j]);
        }
    }
    return total;
}

Bivector World::angularMomentum() const {
    const detail::WorldState& s = *state_;
    Bivector L{0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s.moved[i] == 0) continue;
        const double m = s.mass[i];
        const HomVec4 q = s.position(i);
        const HomVec4 v = s.velocity(i);
        L.xy += m * (q.x * v.y - q.y * v.x);
        L.xz += m * (q.x * v.z - q.z * v.x);
        L.xw += m * (q.x * v.w - q.w * v.x);
        L.yz += m * (q.y * v.z - q.z * v.y);
        L.yw += m * (q.y * v.w - q.w * v.y);
        L.zw += m * (q.z * v.w - q.w * v.z);
    }
    return L;
}

}  // namespace vorn_world
