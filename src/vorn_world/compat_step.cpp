// The compat step: vornGravity from every source, then integrateSteps over all bodies.
#include "vorn_world/compat_step.hpp"

#include <cmath>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

#include "vorn_physics.hpp"
#include "vorn_world/inputs.hpp"

namespace vorn_world::detail {

namespace {

HomVec4 onSide(HomVec4 p, HomVec4 a) {
    return HomVec4::dot(p, a) < 0.0 ? HomVec4::init(-a.x, -a.y, -a.z, -a.w) : a;
}

void addScaled(HomVec4& sum, double m, HomVec4 g) {
    sum = HomVec4::init(sum.x + m * g.x, sum.y + m * g.y, sum.z + m * g.z, sum.w + m * g.w);
}

}  // namespace

void compatStep(WorldState& s, double dt) {
    std::vector<VornBody> bodies(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) bodies[i] = s.readSlot(i);
    std::vector<HomVec4> forces(s.size(), HomVec4::zero());
    s.runParallel(s.size(), [&](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) {
            const VornBody& b = bodies[i];
            if (!isMoved(b)) continue;
            HomVec4 sum = HomVec4::zero();
            for (const Attractor& a : s.attractors) {
                addScaled(sum, b.mass,
                          vorn_physics::vornGravity(b, onSide(b.position, a.position), a.mass, s.G));
            }
            if (s.mutual) {
                for (std::size_t j = 0; j < bodies.size(); ++j) {
                    if (j == i || !isMoved(bodies[j])) continue;
                    addScaled(sum, b.mass,
                              vorn_physics::vornGravity(b, onSide(b.position, bodies[j].position),
                                                        bodies[j].mass, s.G));
                }
            }
            forces[i] = sum;
        }
    });
    vorn_physics::integrateSteps(bodies, dt, forces);
    // Runge–Kutta stages of a turn far beyond one radian can overflow: such a step is refused
    // before anything is written.
    for (std::size_t i = 0; i < bodies.size(); ++i) {
        const HomVec4 q = bodies[i].position, v = bodies[i].velocity;
        if (!std::isfinite(((q.x + q.y) + (q.z + q.w)) + HomVec4::dot(v, v))) {
            throw std::invalid_argument("vorn_world: dt = " + shown(dt) +
                                        " is too long for the compat step of body " +
                                        std::to_string(s.ids[i]) + " (its Runge-Kutta stages overflow)");
        }
    }
    for (std::size_t i = 0; i < s.size(); ++i) s.writeSlot(i, bodies[i]);
}

}  // namespace vorn_world::detail
