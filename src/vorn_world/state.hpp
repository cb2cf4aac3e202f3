// The World's arrays and settings. Every per-body array has a length that is a multiple of four
// (the lanes of the force and step loops); the slots past size() hold padding bodies at
// (0, 0, 0, 1) that are never moved and pull nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <type_traits>
#include <vector>

#include "vorn_kernel/lanes.hpp"
#include "vorn_physics/is_moved.hpp"
#include "vorn_world.hpp"
#include "vorn_world/adaptive.hpp"
#include "vorn_world/contact_grid.hpp"
#include "vorn_world/tree_gravity.hpp"

namespace vorn_world::detail {

using vorn_kernel::detail::Columns;
using vorn_kernel::detail::ConstColumns;

// The per-body arrays of the block loops, each paddedSize() long: plain pointers, so that the
// loops take memory and nothing else.
struct BodyArrays {
    Columns q, v, f, g;
    Columns q_low, v_low;       // null while not kept (WorldState::positionLowsKept, compensated)
    const double* force_scale;  // what a force is multiplied by: 1/m, or 0 for a massless test particle
    const std::uint8_t* moved;
};

// The four columns of a block of `rows` rows.
template <class Block>
auto columnsOfBlock(Block& block, std::size_t rows) {
    using D = std::remove_pointer_t<decltype(block.data())>;
    D* const base = block.data();
    return vorn_kernel::detail::ColumnsOf<D>{base, base + rows, base + 2 * rows, base + 3 * rows};
}

struct WorldState;

// A World of the massive bodies alone, for the steps with test particles among them; kept
// between steps (a copy starts without one).
struct MassiveScratch {
    std::unique_ptr<WorldState> state;
    std::vector<std::size_t> slots;  // the massive bodies' slots in the World
    std::vector<double> boundaries;  // their sources at each sub-step boundary
    WorldState& get();
    MassiveScratch();
    MassiveScratch(const MassiveScratch& /*other*/);
    MassiveScratch& operator=(const MassiveScratch& /*other*/);
    MassiveScratch(MassiveScratch&&) noexcept;
    MassiveScratch& operator=(MassiveScratch&&) noexcept;
    ~MassiveScratch();
};

// The tree solver's sources and tree, rebuilt at each evaluation in place (a copy starts empty),
// and each slot's rank in the order its bodies are walked in (sources in tree order, then the
// other moved bodies in storage order).
struct TreeScratch {
    std::vector<Vec4<double>> points;
    std::vector<double> gm;
    std::vector<std::uint32_t> slot_of_source;
    std::vector<std::uint32_t> rank;
    GravityTree tree;
    TreeScratch() = default;
    TreeScratch(const TreeScratch& /*other*/) {}
    TreeScratch& operator=(const TreeScratch& /*other*/) { return *this; }
    TreeScratch(TreeScratch&&) noexcept = default;
    TreeScratch& operator=(TreeScratch&&) noexcept = default;
    ~TreeScratch() = default;
};

// Which sum computeGravityAt may use: the World's solver, or the direct sum whatever it is.
enum class Summation : std::uint8_t { solver, direct };

struct WorldState {
    double G = 1.0;
    double softening = GRAVITY_SOFTENING;
    bool mutual = false;
    GravitySolver solver;
    TreeScratch tree_scratch;
    // Whether kdk and yoshida4 sum mutual gravity with the tree (the solver, and for automatic
    // the number of moved bodies that pull).
    bool treeInUse() const;
    bool compensated = false;  // whether v_low is kept (and q_low)
    // Whether q_low is kept: while compensated, and from the first plain yoshida4 step on, which
    // carries the positions' low parts (the other plain steps leave them zero).
    bool positionLowsKept() const { return compensated || !q_low_block.empty(); }
    bool position_lows_set = false;  // a plain yoshida4 step may have left q_low nonzero
    // q_low kept from now on (allocated if need be), and zeroed where a step that carries none
    // (plain kdk, the adaptive integrator's own) moves the positions.
    void keepPositionLows();
    void dropPositionLows();
    ParallelFor parallel_for;
    // Called after the opening kick and drift of each mutual-gravity sub-step, before the
    // accelerations at the new positions (empty: nothing to do). A World whose passes run only
    // some of the blocks in this process gathers the others' positions here.
    std::function<void()> share_positions;

    // The time as a value and the low part its sum lost, and the steps taken.
    double time = 0.0, time_low = 0.0;
    std::uint64_t step_count = 0;
    void advanceTime(double dt, std::uint64_t steps);

    std::vector<BodyId> ids;  // size() entries, strictly increasing
    BodyId next_id = 0;

    // Positions, velocities and (compensated) their low parts: each one block of four columns
    // (x, y, z, w) of `rows` values (at least paddedSize()), so that a body's components lie a
    // fixed stride apart (World::positionComponents); the rows grow by doubling. The low
    // blocks are empty while not kept; a body written whole has zero low parts.
    std::vector<double> q_block, v_block, q_low_block, v_low_block;
    std::size_t rows = 0;
    std::vector<double> fx, fy, fz, fw;  // accumulated forces
    std::vector<double> mass, restitution, friction;
    std::vector<double> radius;       // BodyOptions::radius
    std::vector<double> force_scale;  // BodyArrays::force_scale
    std::vector<std::uint8_t> type, active;
    std::vector<std::uint8_t> test;               // BodyOptions::test_particle
    std::vector<std::uint8_t> moved;              // 1 for the bodies the integrators move
    std::vector<std::uint8_t> pulls;              // 1 for the moved bodies that are sources of gravity
    std::vector<std::uint8_t> test_moved;         // 1 for the moved test particles
    std::size_t moved_count = 0, test_count = 0;  // moved bodies, and the test particles among them
    std::size_t movedCount() const { return moved_count; }
    MassiveScratch massive;
    // Each body's spin, the angular momentum a merger leaves beyond m·q∧v (World::mergeContacts):
    // empty until the first merger, then paddedSize() long (zero for every other body).
    std::vector<Bivector> spins;

    std::vector<Attractor> attractors;

    // Gravitational accelerations at the current positions, valid while gravity_valid.
    std::vector<double> gx, gy, gz, gw;
    bool gravity_valid = false;

    // Counts the changes to the bodies made other than by the adaptive integrator (which keeps
    // its predictions only while it is the one that moved them).
    std::uint64_t revision = 0;
    AdaptiveMemory adaptive;

    // The contact pass's arrays, kept between passes (contacts() is const).
    mutable ContactGrid contact_grid;

    // The sources of one gravity evaluation, in order: the attractors and, when `with_bodies`,
    // every moved body in storage order; each x, y, z, w and G·m, every value four times over
    // (one vector of lanes). Kept between evaluations so that a step allocates nothing once
    // the buffer has grown.
    static constexpr std::size_t doubles_per_source = 20;
    std::vector<double> sources;

    std::size_t size() const { return ids.size(); }
    std::size_t paddedSize() const { return mass.size(); }
    Columns positions() { return columnsOfBlock(q_block, rows); }
    ConstColumns positions() const { return columnsOfBlock(q_block, rows); }
    Columns velocities() { return columnsOfBlock(v_block, rows); }
    ConstColumns velocities() const { return columnsOfBlock(v_block, rows); }
    HomVec4 position(std::size_t slot) const {
        const ConstColumns q = positions();
        return HomVec4::init(q.x[slot], q.y[slot], q.z[slot], q.w[slot]);
    }
    HomVec4 velocity(std::size_t slot) const {
        const ConstColumns v = velocities();
        return HomVec4::init(v.x[slot], v.y[slot], v.z[slot], v.w[slot]);
    }

    std::size_t slotOf(BodyId id) const;  // throws std::out_of_range
    // Grows or shrinks the arrays to `padded` slots; allocates before it changes anything.
    void resizePadded(std::size_t padded);
    void writeSlot(std::size_t slot, const VornBody& body);  // low parts cleared
    void writeOptions(std::size_t slot, const BodyOptions& options);
    // A padding body at (0, 0, 0, 1): static, inactive, massless, without radius or spin.
    void writePadding(std::size_t slot);
    BodyOptions readOptions(std::size_t slot) const;
    void clearLows(std::size_t slot);
    // moved, pulls, test_moved, force_scale and the counts for the slot's body and options.
    void refreshFlags(std::size_t slot);
    // This state as the massive bodies of `from` in `slots` (settings, bodies, low parts and
    // accelerations), and their motion, forces and accelerations back.
    void load(const WorldState& from, const std::vector<std::size_t>& slots);
    void store(WorldState& to, const std::vector<std::size_t>& slots) const;
    VornBody readSlot(std::size_t slot) const;
    void moveSlot(std::size_t from, std::size_t to);  // with the options, low parts and spin
    Bivector spinOf(std::size_t slot) const;          // zero while no spins are kept
    // body(begin, end) over [0, count) by the ParallelFor, or in one call without one. The
    // body is passed by reference: a RangeBody made from it allocates nothing.
    template <class Body>
    void runParallel(std::size_t count, const Body& body) const {
        if (parallel_for) {
            parallel_for(count, RangeBody(std::cref(body)));
        } else {
            body(std::size_t{0}, count);
        }
    }

    BodyArrays arrays();
    // The sources with the bodies at `at` (with_bodies: the ones that pull); their number.
    std::size_t gatherSources(ConstColumns at, bool with_bodies);
    // Fills gx..gw for every slot (padding and bodies not moved get zero) and marks them valid.
    void computeGravity();
    // The same accelerations for the bodies at `at` (mutual sources there too), into `out`.
    void computeGravityAt(ConstColumns at, Columns out, Summation summation = Summation::solver);
    // The same through the tree: the attractors' pulls in order, then the tree walk's terms.
    void treeGravityAt(ConstColumns at, Columns out);
};

// Whether integrateStep moves a body (the integrators also move active dynamic test particles).
using vorn_physics::detail::isMoved;

}  // namespace vorn_world::detail
