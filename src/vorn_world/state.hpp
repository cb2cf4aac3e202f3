// The World's arrays and settings. Every per-body array has a length that is a multiple of four
// (the lanes of the force and step loops); the slots past size() hold padding bodies at
// (0, 0, 0, 1) that are never moved and pull nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <vector>

#include "vorn_kernel/lanes.hpp"
#include "vorn_physics/is_moved.hpp"
#include "vorn_world.hpp"
#include "vorn_world/contact_grid.hpp"

namespace vorn_world::detail {

using vorn_kernel::detail::Columns;
using vorn_kernel::detail::ConstColumns;

// The per-body arrays of the block loops, each paddedSize() long: plain pointers, so that the
// loops take memory and nothing else.
struct BodyArrays {
    Columns q, v, f, g;
    Columns q_low, v_low;       // null while the World is not compensated
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

struct WorldState {
    double G = 1.0;
    double softening = GRAVITY_SOFTENING;
    bool mutual = false;
    bool compensated = false;  // whether q_low and v_low are kept
    ParallelFor parallel_for;

    // The time as a value and the low part its sum lost, and the steps taken.
    double time = 0.0, time_low = 0.0;
    std::uint64_t step_count = 0;
    void advanceTime(double dt);

    std::vector<BodyId> ids;  // size() entries, strictly increasing
    BodyId next_id = 0;

    // Positions, velocities and (compensated) their low parts: each one block of four columns
    // (x, y, z, w) of `rows` values (at least paddedSize()), so that a body's components lie a
    // fixed stride apart (World::positionComponents); the rows grow by doubling. The low
    // blocks are empty while not compensated; a body written whole has zero low parts.
    std::vector<double> q_block, v_block, q_low_block, v_low_block;
    std::size_t rows = 0;
    std::vector<double> fx, fy, fz, fw;  // accumulated forces
    std::vector<double> mass, restitution, friction;
    std::vector<double> radius;       // BodyOptions::radius
    std::vector<double> force_scale;  // BodyArrays::force_scale
    std::vector<std::uint8_t> type, active;
    std::vector<std::uint8_t> test;   // BodyOptions::test_particle
    std::vector<std::uint8_t> moved;  // 1 for the bodies the integrators move
    std::vector<std::uint8_t> pulls;  // 1 for the moved bodies that are sources of gravity
    std::size_t test_count = 0;       // of the moved bodies, the test particles
    // Each body's spin, the angular momentum a merger leaves beyond m·q∧v (World::mergeContacts):
    // empty until the first merger, then paddedSize() long (zero for every other body).
    std::vector<Bivector> spins;

    std::vector<Attractor> attractors;

    // Gravitational accelerations at the current positions, valid while gravity_valid.
    std::vector<double> gx, gy, gz, gw;
    bool gravity_valid = false;

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
    HomVec4 position(std::size_t slot) const;
    HomVec4 velocity(std::size_t slot) const;

    std::size_t slotOf(BodyId id) const;  // throws std::out_of_range
    // Grows or shrinks the arrays to `padded` slots; allocates before it changes anything.
    void resizePadded(std::size_t padded);
    void writeSlot(std::size_t slot, const VornBody& body);  // low parts cleared
    void writeOptions(std::size_t slot, const BodyOptions& options);
    // A padding body at (0, 0, 0, 1): static, inactive, massless, without radius or spin.
    void writePadding(std::size_t slot);
    BodyOptions readOptions(std::size_t slot) const;
    void clearLows(std::size_t slot);
    // moved, pulls, force_scale and test_count for the slot's body and options.
    void refreshFlags(std::size_t slot);
    VornBody readSlot(std::size_t slot) const;
    void moveSlot(std::size_t from, std::size_t to);  // with the options, low parts and spin
    Bivector spinOf(std::size_t slot) const;          // zero while no spins are kept
    void runParallel(std::size_t count, const RangeBody& body) const;

    BodyArrays arrays();
    std::size_t gatherSources(bool with_bodies);  // the number of sources (bodies that pull)
    // Fills gx..gw for every slot (padding and bodies not moved get zero) and marks them valid.
    void computeGravity();
};

// Whether integrateStep moves a body (the integrators also move active dynamic test particles).
using vorn_physics::detail::isMoved;

}  // namespace vorn_world::detail
