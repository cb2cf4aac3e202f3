// The World's arrays. Every per-body array has a length that is a multiple of four (the
// lanes of the force and step loops); the slots past size() hold padding bodies at (0, 0, 0, 1)
// that are never moved and pull nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "vorn_world.hpp"
#include "vorn_world/contact_grid.hpp"

namespace vorn_world {

// The four columns (x, y, z, w) of one array of per-body vectors.
struct Columns {
    double* x;
    double* y;
    double* z;
    double* w;
};

// The per-body arrays of the block loops, each paddedSize() long: plain pointers, so that
// the loops take memory and nothing else.
struct BodyArrays {
    Columns q, v, f, g;
    Columns q_low, v_low;  // null while the World carries no low parts
    const double* mass;
    const std::uint8_t* moved;
};

struct World::State {
    double G = 1.0;
    bool mutual = false;
    ParallelFor parallel_for;

    std::vector<BodyId> ids;  // size() entries, strictly increasing
    BodyId next_id = 0;

    // Positions and velocities, each one block of four columns (x, y, z, w) of `rows` values
    // (at least paddedSize()), so that a body's components lie a fixed stride apart
    // (World::positionComponents); the rows grow by doubling.
    std::vector<double> q_block, v_block;
    std::size_t rows = 0;
    std::span<double> qx() { return {q_block.data(), paddedSize()}; }
    std::span<double> qy() { return {q_block.data() + rows, paddedSize()}; }
    std::span<double> qz() { return {q_block.data() + 2 * rows, paddedSize()}; }
    std::span<double> qw() { return {q_block.data() + 3 * rows, paddedSize()}; }
    std::span<double> vx() { return {v_block.data(), paddedSize()}; }
    std::span<double> vy() { return {v_block.data() + rows, paddedSize()}; }
    std::span<double> vz() { return {v_block.data() + 2 * rows, paddedSize()}; }
    std::span<double> vw() { return {v_block.data() + 3 * rows, paddedSize()}; }
    std::span<const double> qx() const { return {q_block.data(), paddedSize()}; }
    std::span<const double> qy() const { return {q_block.data() + rows, paddedSize()}; }
    std::span<const double> qz() const { return {q_block.data() + 2 * rows, paddedSize()}; }
    std::span<const double> qw() const { return {q_block.data() + 3 * rows, paddedSize()}; }
    std::span<const double> vx() const { return {v_block.data(), paddedSize()}; }
    std::span<const double> vy() const { return {v_block.data() + rows, paddedSize()}; }
    std::span<const double> vz() const { return {v_block.data() + 2 * rows, paddedSize()}; }
    std::span<const double> vw() const { return {v_block.data() + 3 * rows, paddedSize()}; }
    // With World::setCompensated on, the low parts of the positions and velocities in the same
    // layout; empty while off. A body written whole (added, set, a compat step) has zero ones.
    std::vector<double> q_low_block, v_low_block;
    bool carry = false;
    bool carried() const { return carry; }
    void clearLows(std::size_t slot);
    std::vector<double> fx, fy, fz, fw;  // accumulated forces
    std::vector<double> mass, restitution, friction;
    std::vector<std::uint8_t> type, active;
    std::vector<std::uint8_t> moved;  // 1 for the bodies the integrators move

    std::vector<Attractor> attractors;

    // Gravitational accelerations at the current positions, valid while gravity_valid.
    std::vector<double> gx, gy, gz, gw;
    bool gravity_valid = false;

    // The contact pass's arrays, kept between passes (contacts() is const).
    mutable detail::ContactGrid contact_grid;

    std::size_t size() const { return ids.size(); }
    std::size_t paddedSize() const { return mass.size(); }
    std::size_t slotOf(BodyId id) const;  // throws std::out_of_range
    void resizePadded(std::size_t padded);
    void writeSlot(std::size_t slot, const VornBody& body);  // low parts cleared
    VornBody readSlot(std::size_t slot) const;
    void runParallel(std::size_t count, const RangeBody& body) const;

    BodyArrays arrays();

    // The sources of one gravity evaluation, in order: the attractors and, when `with_bodies`,
    // every moved body in storage order; each x, y, z, w and G·m, every value four times over
    // (one vector of lanes). Kept between evaluations so that a step allocates nothing once
    // the buffer has grown.
    static constexpr std::size_t doubles_per_source = 20;
    std::vector<double> sources;
    std::size_t gatherSources(bool with_bodies);  // the number of sources

    // Fills gx..gw for every slot (padding and bodies not moved get zero) and marks them valid.
    void computeGravity();
};

// Whether integrateStep moves a body: active, dynamic, mass at least 1e-10 (a NaN mass passes).
inline bool isMoved(const VornBody& body) {
    return body.active && body.body_type == VornBody::BodyType::dynamic && !(body.mass < 1e-10);
}

}  // namespace vorn_world
