// The World's arrays: slots by id, growth, reading and writing bodies, the block loops' view of
// the arrays, and the sources of a gravity evaluation.
#include "vorn_world/state.hpp"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <string>

#include "vorn_world/error_free.hpp"

namespace vorn_world::detail {

std::size_t WorldState::slotOf(BodyId id) const {
    const auto it = std::lower_bound(ids.begin(), ids.end(), id);
    if (it == ids.end() || *it != id) {
        throw std::out_of_range("vorn_world: no body with id " + std::to_string(id));
    }
    return static_cast<std::size_t>(it - ids.begin());
}

void WorldState::resizePadded(std::size_t padded) {
    const std::size_t old = paddedSize();
    // Every allocation comes first, so that a failed one leaves the arrays as they were.
    auto per_body = std::to_array<std::vector<double>*>(
        {&fx, &fy, &fz, &fw, &restitution, &friction, &radius, &force_scale, &gx, &gy, &gz, &gw, &mass});
    auto flags = std::to_array<std::vector<std::uint8_t>*>({&type, &active, &test, &moved, &pulls});
    for (auto* array : per_body) array->reserve(padded);
    for (auto* array : flags) array->reserve(padded);
    if (!spins.empty()) spins.reserve(padded);
    if (padded > rows) {
        // Each column moves to its place in blocks of the new row count.
        const std::size_t grown = std::max(padded, 2 * rows);
        auto blocks = std::to_array<std::vector<double>*>({&q_block, &v_block, &q_low_block, &v_low_block});
        const std::size_t in_use = compensated ? 4 : 2;
        std::array<std::vector<double>, 4> moved_blocks;
        for (std::size_t b = 0; b < in_use; ++b) {
            moved_blocks[b].assign(4 * grown, 0.0);
            for (std::size_t c = 0; c < 4; ++c) {
                std::copy_n(blocks[b]->data() + c * rows, old, moved_blocks[b].data() + c * grown);
            }
        }
        for (std::size_t b = 0; b < in_use; ++b) blocks[b]->swap(moved_blocks[b]);
        rows = grown;
    }
    // New padding slots: at (0, 0, 0, 1), at rest, with zero low parts.
    const Columns q = positions();
    const Columns v = velocities();
    for (std::size_t i = old; i < padded; ++i) {
        q.x[i] = q.y[i] = q.z[i] = 0.0;
        q.w[i] = 1.0;
        v.x[i] = v.y[i] = v.z[i] = v.w[i] = 0.0;
    }
    for (std::size_t i = old; i < padded; ++i) clearLows(i);
    for (auto* array : per_body) array->resize(padded, 0.0);
    for (auto* array : flags) array->resize(padded, 0);
    if (!spins.empty()) spins.resize(padded, Bivector{});
}

void WorldState::clearLows(std::size_t slot) {
    if (!compensated) return;
    for (const Columns low : {columnsOfBlock(q_low_block, rows), columnsOfBlock(v_low_block, rows)}) {
        low.x[slot] = low.y[slot] = low.z[slot] = low.w[slot] = 0.0;
    }
}

void WorldState::writeSlot(std::size_t slot, const VornBody& body) {
    clearLows(slot);
    const Columns q = positions();
    const Columns v = velocities();
    q.x[slot] = body.position.x;
    q.y[slot] = body.position.y;
    q.z[slot] = body.position.z;
    q.w[slot] = body.position.w;
    v.x[slot] = body.velocity.x;
    v.y[slot] = body.velocity.y;
    v.z[slot] = body.velocity.z;
    v.w[slot] = body.velocity.w;
    fx[slot] = body.force_accum.x;
    fy[slot] = body.force_accum.y;
    fz[slot] = body.force_accum.z;
    fw[slot] = body.force_accum.w;
    mass[slot] = body.mass;
    restitution[slot] = body.restitution;
    friction[slot] = body.friction;
    type[slot] = static_cast<std::uint8_t>(body.body_type);
    active[slot] = body.active ? 1 : 0;
    refreshFlags(slot);
}

void WorldState::writeOptions(std::size_t slot, const BodyOptions& options) {
    radius[slot] = options.radius;
    test[slot] = options.test_particle ? 1 : 0;
    refreshFlags(slot);
}

void WorldState::writePadding(std::size_t slot) {
    writeSlot(slot, VornBody{.position = HomVec4::init(0.0, 0.0, 0.0, 1.0),
                             .velocity = HomVec4::zero(),
                             .mass = 0.0,
                             .restitution = 0.0,
                             .friction = 0.0,
                             .force_accum = HomVec4::zero(),
                             .body_type = VornBody::BodyType::static_,
                             .active = false});
    writeOptions(slot, BodyOptions{});
    if (!spins.empty()) spins[slot] = Bivector{};
}

BodyOptions WorldState::readOptions(std::size_t slot) const {
    return {.radius = radius[slot], .test_particle = test[slot] != 0};
}

void WorldState::refreshFlags(std::size_t slot) {
    if (moved[slot] != 0 && test[slot] != 0) --test_count;
    const bool dynamic =
        active[slot] != 0 && type[slot] == static_cast<std::uint8_t>(VornBody::BodyType::dynamic);
    const bool heavy = !(mass[slot] < 1e-10);
    const bool is_test = test[slot] != 0;
    moved[slot] = dynamic && (heavy || is_test) ? 1 : 0;
    pulls[slot] = moved[slot] != 0 && !is_test ? 1 : 0;
    force_scale[slot] = is_test && !heavy ? 0.0 : 1.0 / mass[slot];
    if (moved[slot] != 0 && is_test) ++test_count;
    gravity_valid = false;
}

void WorldState::advanceTime(double dt) {
    const WithError<double> sum = twoSum(time, dt);
    const WithError<double> renormalized = twoSum(sum.value, time_low + sum.error);
    time = renormalized.value;
    time_low = renormalized.error;
    ++step_count;
}

HomVec4 WorldState::position(std::size_t slot) const {
    const ConstColumns q = positions();
    return HomVec4::init(q.x[slot], q.y[slot], q.z[slot], q.w[slot]);
}

HomVec4 WorldState::velocity(std::size_t slot) const {
    const ConstColumns v = velocities();
    return HomVec4::init(v.x[slot], v.y[slot], v.z[slot], v.w[slot]);
}

VornBody WorldState::readSlot(std::size_t slot) const {
    return VornBody{
        .position = position(slot),
        .velocity = velocity(slot),
        .mass = mass[slot],
        .restitution = restitution[slot],
        .friction = friction[slot],
        .force_accum = HomVec4::init(fx[slot], fy[slot], fz[slot], fw[slot]),
        .body_type = static_cast<VornBody::BodyType>(type[slot]),
        .active = active[slot] != 0,
    };
}

void WorldState::moveSlot(std::size_t from, std::size_t to) {
    writeSlot(to, readSlot(from));
    writeOptions(to, readOptions(from));
    if (!spins.empty()) spins[to] = spins[from];
    if (!compensated) return;
    for (const Columns low : {columnsOfBlock(q_low_block, rows), columnsOfBlock(v_low_block, rows)}) {
        low.x[to] = low.x[from];
        low.y[to] = low.y[from];
        low.z[to] = low.z[from];
        low.w[to] = low.w[from];
    }
}

Bivector WorldState::spinOf(std::size_t slot) const { return spins.empty() ? Bivector{} : spins[slot]; }

void WorldState::runParallel(std::size_t count, const RangeBody& body) const {
    if (parallel_for) {
        parallel_for(count, body);
    } else {
        body(0, count);
    }
}

BodyArrays WorldState::arrays() {
    const Columns none{nullptr, nullptr, nullptr, nullptr};
    return {positions(),
            velocities(),
            {fx.data(), fy.data(), fz.data(), fw.data()},
            {gx.data(), gy.data(), gz.data(), gw.data()},
            compensated ? columnsOfBlock(q_low_block, rows) : none,
            compensated ? columnsOfBlock(v_low_block, rows) : none,
            force_scale.data(),
            moved.data()};
}

std::size_t WorldState::gatherSources(bool with_bodies) {
    sources.clear();
    const auto add = [this](double x, double y, double z, double w, double gm) {
        for (const double value : {x, y, z, w, gm}) sources.insert(sources.end(), 4, value);
    };
    for (const Attractor& a : attractors)
        add(a.position.x, a.position.y, a.position.z, a.position.w, G * a.mass);
    if (with_bodies) {
        const Columns q = positions();
        for (std::size_t j = 0; j < size(); ++j) {
            if (pulls[j] != 0) add(q.x[j], q.y[j], q.z[j], q.w[j], G * mass[j]);
        }
    }
    return sources.size() / doubles_per_source;
}

}  // namespace vorn_world::detail
