// The World's arrays: slots by id, growth, reading and writing bodies, the block loops' view of
// the arrays, and the sources of a gravity evaluation.
#include "vorn_world/state.hpp"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <string>
#include <utility>

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
    ++revision;
    const std::size_t old = paddedSize();
    // Every allocation comes first, so that a failed one leaves the arrays as they were.
    auto per_body = std::to_array<std::vector<double>*>(
        {&fx, &fy, &fz, &fw, &restitution, &friction, &radius, &force_scale, &gx, &gy, &gz, &gw, &mass});
    auto flags =
        std::to_array<std::vector<std::uint8_t>*>({&type, &active, &test, &moved, &pulls, &test_moved});
    for (auto* array : per_body) array->reserve(padded);
    for (auto* array : flags) array->reserve(padded);
    if (!spins.empty()) spins.reserve(padded);
    if (padded > rows) {
        // Each column moves to its place in blocks of the new row count.
        const std::size_t grown = std::max(padded, 2 * rows);
        auto blocks = std::to_array<std::vector<double>*>({&q_block, &v_block, &q_low_block, &v_low_block});
        const std::array<bool, 4> in_use{true, true, positionLowsKept(), compensated || !v_low_block.empty()};
        std::array<std::vector<double>, 4> moved_blocks;
        for (std::size_t b = 0; b < blocks.size(); ++b) {
            if (!in_use[b]) continue;
            moved_blocks[b].assign(4 * grown, 0.0);
            // A block not yet filled (load() sets the flags before it fills them) starts at zero.
            if (blocks[b]->empty()) continue;
            for (std::size_t c = 0; c < 4; ++c) {
                std::copy_n(blocks[b]->data() + c * rows, old, moved_blocks[b].data() + c * grown);
            }
        }
        for (std::size_t b = 0; b < blocks.size(); ++b) {
            if (in_use[b]) blocks[b]->swap(moved_blocks[b]);
        }
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
    for (std::vector<double>* block : {&q_low_block, &v_low_block}) {
        if (block->empty()) continue;
        const Columns low = columnsOfBlock(*block, rows);
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
    ++revision;
    moved_count -= moved[slot];
    test_count -= test_moved[slot];
    const bool dynamic =
        active[slot] != 0 && type[slot] == static_cast<std::uint8_t>(VornBody::BodyType::dynamic);
    const bool heavy = !(mass[slot] < 1e-10);
    const bool is_test = test[slot] != 0;
    moved[slot] = dynamic && (heavy || is_test) ? 1 : 0;
    pulls[slot] = moved[slot] != 0 && !is_test ? 1 : 0;
    force_scale[slot] = is_test && !heavy ? 0.0 : 1.0 / mass[slot];
    test_moved[slot] = moved[slot] != 0 && is_test ? 1 : 0;
    moved_count += moved[slot];
    test_count += test_moved[slot];
    gravity_valid = false;
}

void WorldState::advanceTime(double dt, std::uint64_t steps) {
    const WithError<double> sum = twoSum(time, dt);
    const WithError<double> renormalized = twoSum(sum.value, time_low + sum.error);
    time = renormalized.value;
    time_low = renormalized.error;
    step_count += steps;
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
    for (std::vector<double>* block : {&q_low_block, &v_low_block}) {
        if (block->empty()) continue;
        const Columns low = columnsOfBlock(*block, rows);
        low.x[to] = low.x[from];
        low.y[to] = low.y[from];
        low.z[to] = low.z[from];
        low.w[to] = low.w[from];
    }
}

Bivector WorldState::spinOf(std::size_t slot) const { return spins.empty() ? Bivector{} : spins[slot]; }

BodyArrays WorldState::arrays() {
    const Columns none{nullptr, nullptr, nullptr, nullptr};
    return {positions(),
            velocities(),
            {fx.data(), fy.data(), fz.data(), fw.data()},
            {gx.data(), gy.data(), gz.data(), gw.data()},
            positionLowsKept() ? columnsOfBlock(q_low_block, rows) : none,
            compensated ? columnsOfBlock(v_low_block, rows) : none,
            force_scale.data(),
            moved.data()};
}

std::size_t WorldState::gatherSources(ConstColumns at, bool with_bodies) {
    std::size_t count = attractors.size();
    if (with_bodies) {
        const auto end = pulls.begin() + static_cast<std::ptrdiff_t>(size());
        count += static_cast<std::size_t>(std::count(pulls.begin(), end, std::uint8_t{1}));
    }
    sources.resize(count * doubles_per_source);  // grows once; a step then writes in place
    double* out = sources.data();
    const auto add = [&out](double x, double y, double z, double w, double gm) {
        for (const double value : {x, y, z, w, gm}) out = std::fill_n(out, 4, value);
    };
    for (const Attractor& a : attractors)
        add(a.position.x, a.position.y, a.position.z, a.position.w, G * a.mass);
    if (with_bodies) {
        for (std::size_t j = 0; j < size(); ++j) {
            if (pulls[j] != 0) add(at.x[j], at.y[j], at.z[j], at.w[j], G * mass[j]);
        }
    }
    return count;
}

MassiveScratch::MassiveScratch() = default;
MassiveScratch::MassiveScratch(const MassiveScratch& /*other*/) {}
MassiveScratch& MassiveScratch::operator=(const MassiveScratch& /*other*/) { return *this; }
MassiveScratch::MassiveScratch(MassiveScratch&&) noexcept = default;
MassiveScratch& MassiveScratch::operator=(MassiveScratch&&) noexcept = default;
MassiveScratch::~MassiveScratch() = default;

WorldState& MassiveScratch::get() {
    if (!state) state = std::make_unique<WorldState>();
    return *state;
}

void WorldState::load(const WorldState& from, const std::vector<std::size_t>& slots) {
    G = from.G;
    softening = from.softening;
    mutual = true;
    solver = from.solver;
    attractors = from.attractors;
    parallel_for = from.parallel_for;
    compensated = from.compensated;
    position_lows_set = from.position_lows_set;
    ids.resize(slots.size());
    for (std::size_t k = 0; k < slots.size(); ++k) ids[k] = k;
    resizePadded((slots.size() + 3) / 4 * 4);
    // The low parts the World keeps, and only those.
    q_low_block.assign(from.positionLowsKept() ? 4 * rows : 0, 0.0);
    v_low_block.assign(from.compensated ? 4 * rows : 0, 0.0);
    for (std::size_t k = 0; k < slots.size(); ++k) {
        const std::size_t i = slots[k];
        writeSlot(k, from.readSlot(i));
        gx[k] = from.gx[i];
        gy[k] = from.gy[i];
        gz[k] = from.gz[i];
        gw[k] = from.gw[i];
        for (const auto& [block, from_block] :
             {std::pair{&q_low_block, &from.q_low_block}, std::pair{&v_low_block, &from.v_low_block}}) {
            if (block->empty()) continue;
            const ConstColumns there = columnsOfBlock(*from_block, from.rows);
            const Columns here = columnsOfBlock(*block, rows);
            here.x[k] = there.x[i], here.y[k] = there.y[i], here.z[k] = there.z[i], here.w[k] = there.w[i];
        }
    }
    gravity_valid = from.gravity_valid;
}

void WorldState::store(WorldState& to, const std::vector<std::size_t>& slots) const {
    const ConstColumns q = positions(), v = velocities();
    const Columns to_q = to.positions(), to_v = to.velocities();
    for (std::size_t k = 0; k < slots.size(); ++k) {
        const std::size_t i = slots[k];
        to_q.x[i] = q.x[k], to_q.y[i] = q.y[k], to_q.z[i] = q.z[k], to_q.w[i] = q.w[k];
        to_v.x[i] = v.x[k], to_v.y[i] = v.y[k], to_v.z[i] = v.z[k], to_v.w[i] = v.w[k];
        to.fx[i] = fx[k], to.fy[i] = fy[k], to.fz[i] = fz[k], to.fw[i] = fw[k];
        to.gx[i] = gx[k], to.gy[i] = gy[k], to.gz[i] = gz[k], to.gw[i] = gw[k];
        for (const auto& [block, to_block] :
             {std::pair{&q_low_block, &to.q_low_block}, std::pair{&v_low_block, &to.v_low_block}}) {
            if (block->empty() || to_block->empty()) continue;
            const ConstColumns here = columnsOfBlock(*block, rows);
            const Columns there = columnsOfBlock(*to_block, to.rows);
            there.x[i] = here.x[k], there.y[i] = here.y[k], there.z[i] = here.z[k], there.w[i] = here.w[k];
        }
    }
}

void WorldState::keepPositionLows() {
    if (q_low_block.empty()) q_low_block.assign(4 * rows, 0.0);
    position_lows_set = true;
}

void WorldState::dropPositionLows() {
    if (!position_lows_set || compensated) return;
    std::fill(q_low_block.begin(), q_low_block.end(), 0.0);
    position_lows_set = false;
}

}  // namespace vorn_world::detail
