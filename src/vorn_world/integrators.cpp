// World::step: the compat step (vornGravity and integrateSteps, as a user's loop would) and
// the kick–drift–kick steps, four bodies per block in the widest lane build the CPU has.
#include <array>
#include <cmath>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

#include "vorn_physics.hpp"
#include "vorn_world.hpp"
#include "vorn_world/block_lanes.hpp"
#include "vorn_world/drift.hpp"
#include "vorn_world/drift_carried.hpp"
#include "vorn_world/error_free.hpp"
#include "vorn_world/inputs.hpp"
#include "vorn_world/pull.hpp"
#include "vorn_world/state.hpp"

namespace vorn_world {

using detail::F64x4;
using detail::Mask4;
using detail::Vec;

namespace {

// v + h·(g + f·(1/m)), less its part along q, with f·(1/m) given (the same in every kick of a
// step; one division per block instead of four).
[[gnu::always_inline]] inline Vec kick(const Vec& q, const Vec& v, const Vec& g, const Vec& f_over_m,
                                       double h) {
    const Vec a{g.x + f_over_m.x, g.y + f_over_m.y, g.z + f_over_m.z, g.w + f_over_m.w};
    const Vec k{v.x + h * a.x, v.y + h * a.y, v.z + h * a.z, v.w + h * a.w};
    const F64x4 radial = detail::dot(k, q);
    return {k.x - radial * q.x, k.y - radial * q.y, k.z - radial * q.z, k.w - radial * q.w};
}

// value + low + increment as a new value and low part.
[[gnu::always_inline]] inline void addCarried(F64x4& value, F64x4& low, const F64x4& increment) {
    const detail::WithError<F64x4> sum = detail::twoSum(value, increment);
    const detail::WithError<F64x4> renormalized = detail::twoSum(sum.value, low + sum.error);
    value = renormalized.value;
    low = renormalized.error;
}

// kick() for a velocity carried as v + v_low: the increment h·a less the radial part is added
// with its rounding error kept in the low part.
[[gnu::always_inline]] inline void kickCarried(const Vec& q, Vec& v, Vec& v_low, const Vec& g,
                                               const Vec& f_over_m, double h) {
    const Vec a{g.x + f_over_m.x, g.y + f_over_m.y, g.z + f_over_m.z, g.w + f_over_m.w};
    const Vec step{h * a.x, h * a.y, h * a.z, h * a.w};
    const F64x4 radial =
        detail::dot(Vec{v.x + step.x, v.y + step.y, v.z + step.z, v.w + step.w}, q) + detail::dot(v_low, q);
    addCarried(v.x, v_low.x, step.x - radial * q.x);
    addCarried(v.y, v_low.y, step.y - radial * q.y);
    addCarried(v.z, v_low.z, step.z - radial * q.z);
    addCarried(v.w, v_low.w, step.w - radial * q.w);
}

// One block as the passes read it: the mask of its moved bodies, their forces and forces
// times inverse masses, positions and velocities.
struct Block {
    Mask4 moves;
    Vec f, f_over_m, q, v;
};

[[gnu::always_inline]] inline Block loadBlock(const BodyArrays& a, std::size_t i) {
    const F64x4 inverse_mass = 1.0 / vorn_kernel::detail::load4(a.mass + i);
    const Vec f = detail::loadVec(a.f, i);
    return {detail::movedMask(a.moved + i),
            f,
            {f.x * inverse_mass, f.y * inverse_mass, f.z * inverse_mass, f.w * inverse_mass},
            detail::loadVec(a.q, i),
            detail::loadVec(a.v, i)};
}

// Writes the new positions and velocities of the moved bodies (the others keep theirs).
[[gnu::always_inline]] inline void storeMotion(const BodyArrays& a, std::size_t i, const Block& b,
                                               const Vec& q, const Vec& v) {
    detail::storeVec(a.q, i, detail::selectVec(b.moves, q, b.q));
    detail::storeVec(a.v, i, detail::selectVec(b.moves, v, b.v));
}

// Writes the low parts of the moved bodies (the others keep theirs).
[[gnu::always_inline]] inline void storeLows(const BodyArrays& a, std::size_t i, const Block& b,
                                             const Vec& q_low, const Vec& v_low) {
    detail::storeVec(a.q_low, i, detail::selectVec(b.moves, q_low, detail::loadVec(a.q_low, i)));
    detail::storeVec(a.v_low, i, detail::selectVec(b.moves, v_low, detail::loadVec(a.v_low, i)));
}

[[gnu::always_inline]] inline Vec zeroVec() {
    const F64x4 zero{};
    return {zero, zero, zero, zero};
}

// Writes the accelerations (zero for the bodies not moved) and zero forces for the moved bodies.
[[gnu::always_inline]] inline void storeGravityAndForces(const BodyArrays& a, std::size_t i, const Block& b,
                                                         const Vec& g) {
    detail::storeVec(a.g, i, detail::selectVec(b.moves, g, zeroVec()));
    detail::storeVec(a.f, i, detail::selectVec(b.moves, zeroVec(), b.f));
}

// With mutual gravity, the opening half of a kick–drift–kick step for blocks [begin, end):
// the kick by h/2 with the stored accelerations, then the drift by h. With `carried`, positions
// and velocities have low parts.
template <bool carried>
[[gnu::always_inline]] inline void openBlocks(const BodyArrays& a, double h, std::size_t begin,
                                              std::size_t end) {
    for (std::size_t block = begin; block < end; ++block) {
        const Block b = loadBlock(a, 4 * block);
        const Vec g = detail::loadVec(a.g, 4 * block);
        Vec q = b.q;
        if constexpr (carried) {
            Vec v = b.v;
            Vec q_low = detail::loadVec(a.q_low, 4 * block);
            Vec v_low = detail::loadVec(a.v_low, 4 * block);
            kickCarried(b.q, v, v_low, g, b.f_over_m, 0.5 * h);
            detail::driftCarried(q, q_low, v, v_low, h);
            storeMotion(a, 4 * block, b, q, v);
            storeLows(a, 4 * block, b, q_low, v_low);
        } else {
            Vec v = kick(b.q, b.v, g, b.f_over_m, 0.5 * h);
            detail::drift(q, v, h);
            storeMotion(a, 4 * block, b, q, v);
        }
    }
}

// With mutual gravity, the closing half for blocks [begin, end): the kick by h/2 with the
// accelerations stored for the new positions.
template <bool carried>
[[gnu::always_inline]] inline void closeBlocks(const BodyArrays& a, double h, bool clear_forces,
                                               std::size_t begin, std::size_t end) {
    for (std::size_t block = begin; block < end; ++block) {
        const Block b = loadBlock(a, 4 * block);
        const Vec g = detail::loadVec(a.g, 4 * block);
        if constexpr (carried) {
            Vec v = b.v;
            Vec v_low = detail::loadVec(a.v_low, 4 * block);
            kickCarried(b.q, v, v_low, g, b.f_over_m, 0.5 * h);
            detail::storeVec(a.v, 4 * block, detail::selectVec(b.moves, v, b.v));
            detail::storeVec(a.v_low, 4 * block,
                             detail::selectVec(b.moves, v_low, detail::loadVec(a.v_low, 4 * block)));
        } else {
            detail::storeVec(a.v, 4 * block,
                             detail::selectVec(b.moves, kick(b.q, b.v, g, b.f_over_m, 0.5 * h), b.v));
        }
        if (clear_forces) detail::storeVec(a.f, 4 * block, detail::selectVec(b.moves, zeroVec(), b.f));
    }
}

// Without mutual gravity a body's acceleration depends on its own position only, so each
// block goes through all the kick–drift–kick steps of `steps` in one pass: kick by h/2, drift
// by h, the accelerations at the new position from the attractors, kick by h/2.
template <bool carried>
[[gnu::always_inline]] inline void stepBlocks(const BodyArrays& a, bool evaluate, const double* attractors,
                                              std::size_t count, const double* steps, std::size_t step_count,
                                              std::size_t begin, std::size_t end) {
    for (std::size_t block = begin; block < end; ++block) {
        const Block b = loadBlock(a, 4 * block);
        Vec g = evaluate ? detail::pullOfSources(b.q, attractors, count) : detail::loadVec(a.g, 4 * block);
        Vec q = b.q;
        Vec v = b.v;
        if constexpr (carried) {
            Vec q_low = detail::loadVec(a.q_low, 4 * block);
            Vec v_low = detail::loadVec(a.v_low, 4 * block);
            for (std::size_t k = 0; k < step_count; ++k) {
                const double h = steps[k];
                kickCarried(q, v, v_low, g, b.f_over_m, 0.5 * h);
                detail::driftCarried(q, q_low, v, v_low, h);
                g = detail::pullOfSources(q, attractors, count);
                kickCarried(q, v, v_low, g, b.f_over_m, 0.5 * h);
            }
            storeLows(a, 4 * block, b, q_low, v_low);
        } else {
            for (std::size_t k = 0; k < step_count; ++k) {
                const double h = steps[k];
                v = kick(q, v, g, b.f_over_m, 0.5 * h);
                detail::drift(q, v, h);
                g = detail::pullOfSources(q, attractors, count);
                v = kick(q, v, g, b.f_over_m, 0.5 * h);
            }
        }
        storeMotion(a, 4 * block, b, q, v);
        storeGravityAndForces(a, 4 * block, b, g);
    }
}

// Kick–drift–kick steps of the lengths in `steps`, one after the other; then the moved
// bodies' forces are cleared and the accelerations are those at the new positions.
template <bool carried, std::size_t step_count>
void kickDriftKickSteps(World::State& s, const std::array<double, step_count>& steps) {
    using vorn_kernel::detail::runLanes;
    const vorn_kernel::detail::LaneBuild build = vorn_kernel::detail::fastestLaneBuild();
    const BodyArrays a = s.arrays();
    const std::size_t blocks = s.paddedSize() / 4;
    if (!s.mutual) {
        const bool evaluate = !s.gravity_valid;
        const std::size_t count = s.gatherSources(false);
        s.runParallel(blocks, [&](std::size_t begin, std::size_t end) {
            runLanes<&stepBlocks<carried>>(build, a, evaluate, s.sources.data(), count, steps.data(),
                                           step_count, begin, end);
        });
        s.gravity_valid = true;
        return;
    }
    // With mutual gravity the accelerations take a pass of their own between the halves
    // (in the widest lanes this CPU has).
    for (std::size_t k = 0; k < step_count; ++k) {
        const double h = steps[k];
        if (!s.gravity_valid) s.computeGravity();
        // Stale from here until computeGravity, also when the ParallelFor throws.
        s.gravity_valid = false;
        s.runParallel(blocks, [&](std::size_t begin, std::size_t end) {
            runLanes<&openBlocks<carried>>(build, a, h, begin, end);
        });
        s.computeGravity();
        const bool last = k + 1 == step_count;
        s.runParallel(blocks, [&](std::size_t begin, std::size_t end) {
            runLanes<&closeBlocks<carried>>(build, a, h, last, begin, end);
        });
    }
}

HomVec4 onSide(HomVec4 p, HomVec4 a) {
    return HomVec4::dot(p, a) < 0.0 ? HomVec4::init(-a.x, -a.y, -a.z, -a.w) : a;
}

void addScaled(HomVec4& sum, double m, HomVec4 g) {
    sum = HomVec4::init(sum.x + m * g.x, sum.y + m * g.y, sum.z + m * g.z, sum.w + m * g.w);
}

// The kick–drift–kick steps of `steps`, with low parts when the World carries them.
template <std::size_t step_count>
void kickDriftKick(World::State& s, const std::array<double, step_count>& steps) {
    if (s.carried())
        kickDriftKickSteps<true>(s, steps);
    else
        kickDriftKickSteps<false>(s, steps);
}

void compatStep(World::State& s, double dt) {
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
            throw std::invalid_argument("vorn_world: dt = " + detail::shown(dt) +
                                        " is too long for the compat step of body " +
                                        std::to_string(s.ids[i]) + " (its Runge-Kutta stages overflow)");
        }
    }
    for (std::size_t i = 0; i < s.size(); ++i) s.writeSlot(i, bodies[i]);
}

}  // namespace

void World::step(double dt, Integrator integrator) {
    State& s = *state_;
    detail::checkMagnitude("dt", dt);
    if (integrator != Integrator::compat && integrator != Integrator::kdk &&
        integrator != Integrator::yoshida4) {
        throw std::invalid_argument("vorn_world: unknown integrator " +
                                    std::to_string(static_cast<unsigned>(integrator)));
    }
    switch (integrator) {
        case Integrator::compat:
            compatStep(s, dt);
            return;
        case Integrator::kdk:
            kickDriftKick(s, std::array<double, 1>{dt});
            return;
        case Integrator::yoshida4: {
            // 2^(1/3) correctly rounded, as a literal: compilers that fold std::cbrt(2.0) and
            // the library's own cbrt need not agree in the last bit.
            constexpr double cbrt2 = 1.2599210498948731648;
            const double w1 = 1.0 / (2.0 - cbrt2);
            const double w0 = -cbrt2 / (2.0 - cbrt2);
            kickDriftKick(s, std::array<double, 3>{w1 * dt, w0 * dt, w1 * dt});
            return;
        }
    }
}

}  // namespace vorn_world
