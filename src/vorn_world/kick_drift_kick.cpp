// The kick–drift–kick steps, four bodies per block in the fastest lane build the CPU has, each
// loop written once for every kind of motion (motion.hpp): one pass when the
// pull's sources do not move with the pass, three a step with mutual gravity, and massive
// bodies first when test particles move among them.
#include "vorn_world/kick_drift_kick.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <vector>

#include "vorn_world/motion.hpp"
#include "vorn_world/pull.hpp"
#include "vorn_world/state.hpp"

namespace vorn_world::detail {

namespace {

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

// The motion of block i: each part named, so that the motion stays in registers.
template <Carry carry>
[[gnu::always_inline]] inline Motion<F64x4, carry> loadMotion(const BodyArrays& a, std::size_t i) {
    Motion<F64x4, carry> m;
    m.q = lanes::loadVec<F64x4>(a.q, i);
    m.v = lanes::loadVec<F64x4>(a.v, i);
    if constexpr (carry != Carry::none) m.q_low = lanes::loadVec<F64x4>(a.q_low, i);
    if constexpr (carry == Carry::all) m.v_low = lanes::loadVec<F64x4>(a.v_low, i);
    return m;
}

// Writes `m` for the moved bodies (the others keep `before`'s): with `positions` the whole
// motion, without them the velocity and the low parts it carries.
template <Carry carry>
[[gnu::always_inline]] inline void storeMotion(const BodyArrays& a, std::size_t i, const Mask4& moves,
                                               const Motion<F64x4, carry>& m,
                                               const Motion<F64x4, carry>& before, bool positions = true) {
    if (positions) lanes::storeVec(a.q, i, lanes::select(moves, m.q, before.q));
    lanes::storeVec(a.v, i, lanes::select(moves, m.v, before.v));
    if constexpr (carry != Carry::none)
        lanes::storeVec(a.q_low, i, lanes::select(moves, m.q_low, before.q_low));
    if constexpr (carry == Carry::all)
        lanes::storeVec(a.v_low, i, lanes::select(moves, m.v_low, before.v_low));
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
        kick(m, lanes::loadVec<F64x4>(a.g, 4 * block), b.f_over_m, 0.5 * h);
        drift(m, h);
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
        kick(m, lanes::loadVec<F64x4>(a.g, 4 * block), b.f_over_m, 0.5 * h);
        storeMotion(a, 4 * block, b.moves, m, before, false);
        if (clear_forces)
            lanes::storeVec(a.f, 4 * block, lanes::select(b.moves, lanes::zeroVec4<F64x4>(), b.f));
    }
}

// When the sources of a body's pull do not depend on the bodies the pass moves (attractors
// only, or test particles under massive bodies stepped before), each block goes through all
// the kick–drift–kick steps of `steps` in one pass: kick by h/2, drift by h, the accelerations
// at the new position from the sources as they stand after that sub-step (at[k + 1]; at[0] at
// the start), kick by h/2. Then the accelerations (zero for the bodies not moved) and the moved
// bodies' cleared forces.
template <Carry carry>
[[gnu::always_inline]] inline void stepBlocks(const BodyArrays& a, bool evaluate, const Sources* at,
                                              const double* steps, std::size_t step_count, std::size_t begin,
                                              std::size_t end) {
    for (std::size_t block = begin; block < end; ++block) {
        const Block b = loadBlock(a, 4 * block);
        const Motion<F64x4, carry> before = loadMotion<carry>(a, 4 * block);
        Motion<F64x4, carry> m = before;
        Vec4<F64x4> g = evaluate ? pullOfSources(m.q, at[0]) : lanes::loadVec<F64x4>(a.g, 4 * block);
        for (std::size_t k = 0; k < step_count; ++k) {
            const double h = steps[k];
            kick(m, g, b.f_over_m, 0.5 * h);
            drift(m, h);
            g = pullOfSources(m.q, at[k + 1]);
            kick(m, g, b.f_over_m, 0.5 * h);
        }
        storeMotion(a, 4 * block, b.moves, m, before);
        lanes::storeVec(a.g, 4 * block, lanes::select(b.moves, g, lanes::zeroVec4<F64x4>()));
        lanes::storeVec(a.f, 4 * block, lanes::select(b.moves, lanes::zeroVec4<F64x4>(), b.f));
    }
}

// The steps with mutual gravity: each takes three passes, the opening kick and drift of every
// block, the accelerations of all bodies at their new positions from every source (in the
// widest lanes this CPU has), and the closing kick. With `boundaries`, the sources as they
// stand after each sub-step are appended to it.
template <Carry carry>
void mutualSteps(WorldState& s, std::span<const double> steps, std::vector<double>* boundaries) {
    const lanes::LaneBuild build = lanes::fastestLaneBuild();
    const BodyArrays a = s.arrays();
    const std::size_t blocks = s.paddedSize() / 4;
    for (std::size_t k = 0; k < steps.size(); ++k) {
        const double h = steps[k];
        if (!s.gravity_valid) s.computeGravity();
        // Stale from here until computeGravity, also when the ParallelFor throws.
        s.gravity_valid = false;
        s.runParallel(blocks, [&](std::size_t begin, std::size_t end) {
            lanes::runLanes<&openBlocks<carry>>(build, a, h, begin, end);
        });
        if (s.share_positions) s.share_positions();
        s.computeGravity();
        if (boundaries != nullptr) boundaries->insert(boundaries->end(), s.sources.begin(), s.sources.end());
        const bool last = k + 1 == steps.size();
        s.runParallel(blocks, [&](std::size_t begin, std::size_t end) {
            lanes::runLanes<&closeBlocks<carry>>(build, a, h, last, begin, end);
        });
    }
}

// The sources at each sub-step boundary: at most three sub-steps (yoshida4).
constexpr std::size_t max_sub_steps = 3;
using SourcesAt = std::array<Sources, max_sub_steps + 1>;

// The one-pass steps over the bodies flagged in `moves` (a.moved or the test particles).
template <Carry carry>
void onePassSteps(WorldState& s, const std::uint8_t* moves, const SourcesAt& at,
                  std::span<const double> steps) {
    const lanes::LaneBuild build = lanes::fastestLaneBuild();
    BodyArrays a = s.arrays();
    a.moved = moves;
    const bool evaluate = !s.gravity_valid;
    s.runParallel(s.paddedSize() / 4, [&](std::size_t begin, std::size_t end) {
        lanes::runLanes<&stepBlocks<carry>>(build, a, evaluate, at.data(), steps.data(), steps.size(), begin,
                                            end);
    });
}

// Mutual gravity with test particles: the massive bodies are stepped first, alone in a World
// of their own (they feel nothing of the test particles), leaving the sources of every sub-step
// boundary; then the test particles take the one pass, as under attractors that move. Each
// body gets the bits the three passes over all bodies would give it.
template <Carry carry>
void stepsWithTestParticles(WorldState& s, std::span<const double> steps) {
    WorldState& m = s.massive.get();
    std::vector<std::size_t>& slots = s.massive.slots;
    slots.clear();
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s.pulls[i] != 0) slots.push_back(i);
    }
    m.load(s, slots);
    // The sources at the start, then after each sub-step.
    std::vector<double>& boundaries = s.massive.boundaries;
    if (!m.gravity_valid) m.computeGravity();
    m.gatherSources(m.positions(), true);
    boundaries.assign(m.sources.begin(), m.sources.end());
    mutualSteps<carry>(m, steps, &boundaries);
    const std::size_t per_boundary = boundaries.size() / (steps.size() + 1);
    SourcesAt at{};
    for (std::size_t k = 0; k <= steps.size(); ++k) {
        at[k] = {boundaries.data() + k * per_boundary, per_boundary / WorldState::doubles_per_source,
                 s.softening};
    }
    onePassSteps<carry>(s, s.test_moved.data(), at, steps);
    m.store(s, slots);
    s.gravity_valid = true;
}

}  // namespace

void kickDriftKick(WorldState& s, std::span<const double> steps, bool carry_positions) {
    if (steps.size() > max_sub_steps)
        throw std::invalid_argument("vorn_world: at most three sub-steps a step");
    const auto run = [&]<Carry carry>() {
        const std::size_t moved_massive = s.movedCount() - s.test_count;
        if (!s.mutual || moved_massive == 0) {
            // Nothing the pass moves pulls: the attractors' sources at every boundary.
            const std::size_t count = s.gatherSources(s.positions(), false);  // before its address is taken
            const Sources attractors{s.sources.data(), count, s.softening};
            SourcesAt at{};
            at.fill(attractors);
            onePassSteps<carry>(s, s.moved.data(), at, steps);
            s.gravity_valid = true;
        } else if (s.test_count == 0 || s.treeInUse()) {
            // The tree's walk reads the sources from its own build: test particles are targets
            // of it like every other moved body.
            mutualSteps<carry>(s, steps, nullptr);
        } else {
            stepsWithTestParticles<carry>(s, steps);
        }
    };
    if (s.compensated) {
        run.template operator()<Carry::all>();
    } else if (carry_positions) {
        s.keepPositionLows();
        run.template operator()<Carry::positions>();
    } else {
        s.dropPositionLows();
        run.template operator()<Carry::none>();
    }
}

}  // namespace vorn_world::detail
