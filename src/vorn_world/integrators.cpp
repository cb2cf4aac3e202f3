// World::step's kick–drift–kick steps, four bodies per block in the fastest lane build the CPU
// has, each loop written once for every kind of motion (motion.hpp): kdk's plain steps carry no
// low parts, yoshida4's the positions', compensated steps all.
#include <algorithm>
#include <array>
#include <cstddef>
#include <stdexcept>
#include <string>

#include "vorn_world.hpp"
#include "vorn_world/compat_step.hpp"
#include "vorn_world/inputs.hpp"
#include "vorn_world/motion.hpp"
#include "vorn_world/pull.hpp"
#include "vorn_world/state.hpp"

namespace vorn_world {

namespace {

using detail::BodyArrays;
using detail::Carry;
using detail::Motion;
using detail::Vec4;
using vorn_kernel::detail::Columns;
using vorn_kernel::detail::F64x4;
using vorn_kernel::detail::Mask4;
namespace lanes = vorn_kernel::detail;

// A block as the loops read it: the mask of its moved bodies, their forces and forces times
// inverse masses (the same in every kick of a step).
struct Block {
    Mask4 moves;
    Vec4<F64x4> f, f_over_m;
};

[[gnu::always_inline]] inline Block loadBlock(const BodyArrays& a, std::size_t i) {
    const F64x4 inverse_mass = lanes::loadLanes<F64x4>(a.force_scale + i);
    const Vec4<F64x4> f = lanes::loadVec<F64x4>(a.f, i);
    return {lanes::movedMask<F64x4>(a.moved + i), f, inverse_mass * f};
}

// The columns of a motion's parts, in the order of Motion::parts().
template <Carry carry>
std::array<Columns, Motion<F64x4, carry>::part_count> partColumns(const BodyArrays& a) {
    if constexpr (carry == Carry::all) {
        return {a.q, a.v, a.q_low, a.v_low};
    } else if constexpr (carry == Carry::positions) {
        return {a.q, a.v, a.q_low};
    } else {
        return {a.q, a.v};
    }
}

template <Carry carry>
[[gnu::always_inline]] inline Motion<F64x4, carry> loadMotion(const BodyArrays& a, std::size_t i) {
    Motion<F64x4, carry> m;
    const auto parts = m.parts();
    const auto columns = partColumns<carry>(a);
    for (std::size_t p = 0; p < parts.size(); ++p) *parts[p] = lanes::loadVec<F64x4>(columns[p], i);
    return m;
}

// Writes the parts of `m` from `first` on for the moved bodies (the others keep `before`'s):
// from 0 the whole motion, from 1 the velocity and the low parts it carries.
template <Carry carry>
[[gnu::always_inline]] inline void storeMotion(const BodyArrays& a, std::size_t i, const Mask4& moves,
                                               Motion<F64x4, carry> m, Motion<F64x4, carry> before,
                                               std::size_t first = 0) {
    const auto parts = m.parts();
    const auto kept = before.parts();
    const auto columns = partColumns<carry>(a);
    for (std::size_t p = first; p < parts.size(); ++p) {
        lanes::storeVec(columns[p], i, lanes::select(moves, *parts[p], *kept[p]));
    }
}

// With mutual gravity, the opening half of a kick–drift–kick step for blocks [begin, end): the
// kick by h/2 with the stored accelerations, then the drift by h.
template <Carry carry>
[[gnu::always_inline]] inline void openBlocks(const BodyArrays& a, double h, std::size_t begin,
                                              std::size_t end) {
    for (std::size_t block = begin; block < end; ++block) {
        const Block b = loadBlock(a, 4 * block);
        const Motion<F64x4, carry> before = loadMotion<carry>(a, 4 * block);
        Motion<F64x4, carry> m = before;
        detail::kick(m, lanes::loadVec<F64x4>(a.g, 4 * block), b.f_over_m, 0.5 * h);
        detail::drift(m, h);
        storeMotion(a, 4 * block, b.moves, m, before);
    }
}

// With mutual gravity, the closing half for blocks [begin, end): the kick by h/2 with the
// accelerations stored for the new positions; on the last, the moved bodies' forces cleared.
template <Carry carry>
[[gnu::always_inline]] inline void closeBlocks(const BodyArrays& a, double h, bool clear_forces,
                                               std::size_t begin, std::size_t end) {
    for (std::size_t block = begin; block < end; ++block) {
        const Block b = loadBlock(a, 4 * block);
        const Motion<F64x4, carry> before = loadMotion<carry>(a, 4 * block);
        Motion<F64x4, carry> m = before;
        detail::kick(m, lanes::loadVec<F64x4>(a.g, 4 * block), b.f_over_m, 0.5 * h);
        storeMotion(a, 4 * block, b.moves, m, before, 1);
        if (clear_forces)
            lanes::storeVec(a.f, 4 * block, lanes::select(b.moves, lanes::zeroVec4<F64x4>(), b.f));
    }
}

// Without mutual gravity a body's acceleration depends on its own position only, so each block
// goes through all the kick–drift–kick steps of `steps` in one pass: kick by h/2, drift by h,
// the accelerations at the new position from the attractors, kick by h/2. Then the
// accelerations (zero for the bodies not moved) and the moved bodies' cleared forces.
template <Carry carry>
[[gnu::always_inline]] inline void stepBlocks(const BodyArrays& a, bool evaluate,
                                              const detail::Sources& attractors, const double* steps,
                                              std::size_t step_count, std::size_t begin, std::size_t end) {
    for (std::size_t block = begin; block < end; ++block) {
        const Block b = loadBlock(a, 4 * block);
        const Motion<F64x4, carry> before = loadMotion<carry>(a, 4 * block);
        Motion<F64x4, carry> m = before;
        Vec4<F64x4> g =
            evaluate ? detail::pullOfSources(m.q, attractors) : lanes::loadVec<F64x4>(a.g, 4 * block);
        for (std::size_t k = 0; k < step_count; ++k) {
            const double h = steps[k];
            detail::kick(m, g, b.f_over_m, 0.5 * h);
            detail::drift(m, h);
            g = detail::pullOfSources(m.q, attractors);
            detail::kick(m, g, b.f_over_m, 0.5 * h);
        }
        storeMotion(a, 4 * block, b.moves, m, before);
        lanes::storeVec(a.g, 4 * block, lanes::select(b.moves, g, lanes::zeroVec4<F64x4>()));
        lanes::storeVec(a.f, 4 * block, lanes::select(b.moves, lanes::zeroVec4<F64x4>(), b.f));
    }
}

// Kick–drift–kick steps of the lengths in `steps`, one after the other; then the moved bodies'
// forces are cleared and the accelerations are those at the new positions.
template <Carry carry, std::size_t step_count>
void kickDriftKickSteps(detail::WorldState& s, const std::array<double, step_count>& steps) {
    const lanes::LaneBuild build = lanes::fastestLaneBuild();
    const BodyArrays a = s.arrays();
    const std::size_t blocks = s.paddedSize() / 4;
    if (!s.mutual) {
        const bool evaluate = !s.gravity_valid;
        const std::size_t count = s.gatherSources(false);  // before the buffer's address is taken
        const detail::Sources attractors{s.sources.data(), count, s.softening};
        s.runParallel(blocks, [&](std::size_t begin, std::size_t end) {
            lanes::runLanes<&stepBlocks<carry>>(build, a, evaluate, attractors, steps.data(), step_count,
                                                begin, end);
        });
        s.gravity_valid = true;
        return;
    }
    // With mutual gravity the accelerations take a pass of their own between the halves (in
    // the widest lanes this CPU has).
    for (std::size_t k = 0; k < step_count; ++k) {
        const double h = steps[k];
        if (!s.gravity_valid) s.computeGravity();
        // Stale from here until computeGravity, also when the ParallelFor throws.
        s.gravity_valid = false;
        s.runParallel(blocks, [&](std::size_t begin, std::size_t end) {
            lanes::runLanes<&openBlocks<carry>>(build, a, h, begin, end);
        });
        s.computeGravity();
        const bool last = k + 1 == step_count;
        s.runParallel(blocks, [&](std::size_t begin, std::size_t end) {
            lanes::runLanes<&closeBlocks<carry>>(build, a, h, last, begin, end);
        });
    }
}

// Kick–drift–kick steps that carry all low parts when compensated and otherwise `plain`'s: a
// plain step that carries the positions' keeps their low parts from then on (zero at first), a
// plain step that carries none leaves them zero.
template <Carry plain, std::size_t step_count>
void kickDriftKick(detail::WorldState& s, const std::array<double, step_count>& steps) {
    if (s.compensated) {
        kickDriftKickSteps<Carry::all>(s, steps);
        return;
    }
    if constexpr (plain == Carry::positions) {
        if (s.q_low_block.empty()) s.q_low_block.assign(4 * s.rows, 0.0);
        s.position_lows_set = true;
    } else if (s.position_lows_set) {
        std::fill(s.q_low_block.begin(), s.q_low_block.end(), 0.0);
        s.position_lows_set = false;
    }
    kickDriftKickSteps<plain>(s, steps);
}

}  // namespace

void World::step(double dt, Integrator integrator) {
    detail::WorldState& s = *state_;
    detail::checkMagnitude("dt", dt);
    switch (integrator) {
        case Integrator::compat:
            detail::compatStep(s, dt);
            break;
        case Integrator::kdk:
            kickDriftKick<Carry::none>(s, std::array<double, 1>{dt});
            break;
        case Integrator::yoshida4: {
            // 2^(1/3) correctly rounded, as a literal: compilers that fold std::cbrt(2.0) and
            // the library's own cbrt need not agree in the last bit.
            constexpr double cbrt2 = 1.2599210498948731648;
            const double w1 = 1.0 / (2.0 - cbrt2);
            const double w0 = -cbrt2 / (2.0 - cbrt2);
            // With the positions' low parts: its orbits stay round enough for their rounding to
            // repeat from step to step (docs/world.md, "Rounding that repeats").
            kickDriftKick<Carry::positions>(s, std::array<double, 3>{w1 * dt, w0 * dt, w1 * dt});
            break;
        }
        default:
            throw std::invalid_argument("vorn_world: unknown integrator " +
                                        std::to_string(static_cast<unsigned>(integrator)));
    }
    s.advanceTime(dt);
}

void World::integrate(double t_end, Integrator integrator, double dt) {
    detail::checkMagnitude("t_end", t_end);
    detail::checkMagnitude("dt", dt);
    if (!(dt > 0.0))
        throw std::invalid_argument("vorn_world: integrate needs dt > 0; got " + detail::shown(dt));
    detail::WorldState& s = *state_;
    if ((t_end - s.time) / dt > 0x1.0p53) {
        throw std::invalid_argument("vorn_world: integrate to " + detail::shown(t_end) + " in steps of " +
                                    detail::shown(dt) + " would take more than 2^53 steps");
    }
    while (s.time < t_end) {
        // The remaining time, with the low part of the clock: the last step lands on t_end.
        const double remaining = (t_end - s.time) - s.time_low;
        if (remaining <= dt * (1.0 + 0x1.0p-40)) {
            if (remaining > 0.0) step(remaining, integrator);
            s.time = t_end;
            s.time_low = 0.0;
            return;
        }
        step(dt, integrator);
    }
}

}  // namespace vorn_world
