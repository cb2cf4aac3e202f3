// The World's bodies and settings: adding, removing, reading and writing bodies by id.
#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>
#include <string>
#include <utility>

#include "vorn_world.hpp"
#include "vorn_world/inputs.hpp"
#include "vorn_world/state.hpp"

namespace vorn_world {

std::size_t World::State::slotOf(BodyId id) const {
    const auto it = std::lower_bound(ids.begin(), ids.end(), id);
    if (it == ids.end() || *it != id) {
        throw std::out_of_range("vorn_world: no body with id " + std::to_string(id));
    }
    return static_cast<std::size_t>(it - ids.begin());
}

void World::State::resizePadded(std::size_t padded) {
    const std::size_t old = paddedSize();
    // Every allocation comes first, so that a failed one leaves the arrays as they were.
    auto per_body = std::to_array<std::vector<double>*>(
        {&fx, &fy, &fz, &fw, &restitution, &friction, &gx, &gy, &gz, &gw, &mass});
    auto flags = std::to_array<std::vector<std::uint8_t>*>({&type, &active, &moved});
    for (auto* array : per_body) array->reserve(padded);
    for (auto* array : flags) array->reserve(padded);
    if (padded > rows) {
        // Each column moves to its place in blocks of the new row count.
        const std::size_t grown = std::max(padded, 2 * rows);
        auto blocks = std::to_array<std::vector<double>*>({&q_block, &v_block, &q_low_block, &v_low_block});
        std::array<std::vector<double>, 4> moved_blocks;
        for (std::size_t b = 0; b < blocks.size(); ++b) {
            if (!carry && b >= 2) continue;
            moved_blocks[b].assign(4 * grown, 0.0);
            for (std::size_t c = 0; c < 4; ++c) {
                std::copy_n(blocks[b]->data() + c * rows, old, moved_blocks[b].data() + c * grown);
            }
        }
        for (std::size_t b = 0; b < blocks.size(); ++b) {
            if (carry || b < 2) blocks[b]->swap(moved_blocks[b]);
        }
        rows = grown;
    }
    // New padding slots: at (0, 0, 0, 1), at rest.
    for (std::size_t i = old; i < padded; ++i) {
        for (std::size_t c = 0; c < 4; ++c) {
            q_block[c * rows + i] = c == 3 ? 1.0 : 0.0;
            v_block[c * rows + i] = 0.0;
        }
        clearLows(i);
    }
    for (auto* array : per_body) array->resize(padded, 0.0);
    for (auto* array : flags) array->resize(padded, 0);
}

void World::State::clearLows(std::size_t slot) {
    if (!carried()) return;
    for (std::size_t c = 0; c < 4; ++c) q_low_block[c * rows + slot] = v_low_block[c * rows + slot] = 0.0;
}

void World::State::writeSlot(std::size_t slot, const VornBody& body) {
    clearLows(slot);
    qx()[slot] = body.position.x;
    qy()[slot] = body.position.y;
    qz()[slot] = body.position.z;
    qw()[slot] = body.position.w;
    vx()[slot] = body.velocity.x;
    vy()[slot] = body.velocity.y;
    vz()[slot] = body.velocity.z;
    vw()[slot] = body.velocity.w;
    fx[slot] = body.force_accum.x;
    fy[slot] = body.force_accum.y;
    fz[slot] = body.force_accum.z;
    fw[slot] = body.force_accum.w;
    mass[slot] = body.mass;
    restitution[slot] = body.restitution;
    friction[slot] = body.friction;
    type[slot] = static_cast<std::uint8_t>(body.body_type);
    active[slot] = body.active ? 1 : 0;
    moved[slot] = isMoved(body) ? 1 : 0;
    gravity_valid = false;
}

VornBody World::State::readSlot(std::size_t slot) const {
    return VornBody{
        .position = HomVec4::init(qx()[slot], qy()[slot], qz()[slot], qw()[slot]),
        .velocity = HomVec4::init(vx()[slot], vy()[slot], vz()[slot], vw()[slot]),
        .mass = mass[slot],
        .restitution = restitution[slot],
        .friction = friction[slot],
        .force_accum = HomVec4::init(fx[slot], fy[slot], fz[slot], fw[slot]),
        .body_type = static_cast<VornBody::BodyType>(type[slot]),
        .active = active[slot] != 0,
    };
}

void World::State::runParallel(std::size_t count, const RangeBody& body) const {
    if (parallel_for) {
        parallel_for(count, body);
    } else {
        body(0, count);
    }
}

World::World(double G) : state_(std::make_unique<State>()) {
    detail::checkMagnitude("G", G, true);
    state_->G = G;
}
World::~World() = default;
World::World(const World& other) : state_(std::make_unique<State>(*other.state_)) {}
World& World::operator=(const World& other) {
    // A copy first, so that a failed allocation leaves this World as it was (or moved-from).
    if (this != &other) state_ = std::make_unique<State>(*other.state_);
    return *this;
}
World::World(World&&) noexcept = default;
World& World::operator=(World&&) noexcept = default;

BodyId World::add(const VornBody& body) { return add(std::span<const VornBody>(&body, 1)).front(); }

std::vector<BodyId> World::add(std::span<const VornBody> bodies) {
    std::vector<VornBody> accepted;
    accepted.reserve(bodies.size());
    for (const VornBody& body : bodies) accepted.push_back(detail::acceptedBody(body));
    State& s = *state_;
    std::vector<BodyId> new_ids(bodies.size());
    for (std::size_t k = 0; k < new_ids.size(); ++k) new_ids[k] = s.next_id + k;
    // Everything that can fail (allocation) comes before the first body is written.
    s.ids.reserve(s.size() + bodies.size());
    const std::size_t first = s.size();
    const std::size_t padded = (first + bodies.size() + 3) / 4 * 4;
    if (padded > s.paddedSize()) s.resizePadded(padded);
    s.ids.insert(s.ids.end(), new_ids.begin(), new_ids.end());
    for (std::size_t k = 0; k < accepted.size(); ++k) s.writeSlot(first + k, accepted[k]);
    s.next_id += bodies.size();
    return new_ids;
}

void World::remove(BodyId id) {
    State& s = *state_;
    const std::size_t slot = s.slotOf(id);
    const std::size_t last = s.size() - 1;
    // Later bodies move down one slot, keeping the storage in id order (with their low parts).
    for (std::size_t i = slot; i < last; ++i) {
        s.writeSlot(i, s.readSlot(i + 1));
        if (!s.carried()) continue;
        for (std::size_t c = 0; c < 4; ++c) {
            s.q_low_block[c * s.rows + i] = s.q_low_block[c * s.rows + i + 1];
            s.v_low_block[c * s.rows + i] = s.v_low_block[c * s.rows + i + 1];
        }
    }
    s.ids.erase(s.ids.begin() + static_cast<std::ptrdiff_t>(slot));
    s.writeSlot(last, VornBody{.position = HomVec4::init(0.0, 0.0, 0.0, 1.0),
                               .velocity = HomVec4::zero(),
                               .mass = 0.0,
                               .restitution = 0.0,
                               .friction = 0.0,
                               .force_accum = HomVec4::zero(),
                               .body_type = VornBody::BodyType::static_,
                               .active = false});
    const std::size_t padded = (s.size() + 3) / 4 * 4;
    if (padded < s.paddedSize()) s.resizePadded(padded);
}

World::Components World::positionComponents() const { return {state_->q_block.data(), state_->rows}; }
World::Components World::velocityComponents() const { return {state_->v_block.data(), state_->rows}; }

bool World::contains(BodyId id) const {
    return std::binary_search(state_->ids.begin(), state_->ids.end(), id);
}

VornBody World::body(BodyId id) const { return state_->readSlot(state_->slotOf(id)); }

void World::setBody(BodyId id, const VornBody& body) {
    const std::size_t slot = state_->slotOf(id);
    state_->writeSlot(slot, detail::acceptedBody(body));
}

void World::applyForce(BodyId id, HomVec4 force) {
    State& s = *state_;
    const std::size_t slot = s.slotOf(id);
    VornBody b = s.readSlot(slot);
    detail::checkMagnitude("a force", force);
    b.applyForce(force);
    detail::checkMagnitude("a body's accumulated force", b.force_accum);
    s.fx[slot] = b.force_accum.x;
    s.fy[slot] = b.force_accum.y;
    s.fz[slot] = b.force_accum.z;
    s.fw[slot] = b.force_accum.w;
}

std::size_t World::size() const { return state_->size(); }

std::span<const BodyId> World::ids() const { return state_->ids; }

std::vector<VornBody> World::exportBodies() const {
    std::vector<VornBody> bodies;
    bodies.reserve(size());
    for (std::size_t i = 0; i < size(); ++i) bodies.push_back(state_->readSlot(i));
    return bodies;
}

void World::addAttractor(HomVec4 position, double mass) {
    if (!std::isfinite(position.x) || !std::isfinite(position.y) || !std::isfinite(position.z) ||
        !std::isfinite(position.w) || !(position.norm() > 1e-15)) {
        throw std::invalid_argument(
            "vorn_world: an attractor's position must be finite and of length above 1e-15");
    }
    detail::checkMagnitude("an attractor's mass", mass);
    state_->attractors.push_back(Attractor{position.normalize(), mass});
    state_->gravity_valid = false;
}

void World::clearAttractors() {
    state_->attractors.clear();
    state_->gravity_valid = false;
}

std::span<const Attractor> World::attractors() const { return state_->attractors; }

double World::gravitationalConstant() const { return state_->G; }

void World::setGravitationalConstant(double G) {
    detail::checkMagnitude("G", G, true);
    state_->G = G;
    state_->gravity_valid = false;
}

bool World::mutualGravity() const { return state_->mutual; }

void World::setMutualGravity(bool on) {
    state_->mutual = on;
    state_->gravity_valid = false;
}

bool World::compensated() const { return state_->carried(); }

void World::setCompensated(bool on) {
    State& s = *state_;
    if (on == s.carried()) return;
    std::vector<double> q_low(on ? 4 * s.rows : 0, 0.0);
    std::vector<double> v_low(on ? 4 * s.rows : 0, 0.0);
    s.q_low_block.swap(q_low);
    s.v_low_block.swap(v_low);
    s.carry = on;
}

void World::setParallelFor(ParallelFor parallel_for) { state_->parallel_for = std::move(parallel_for); }

}  // namespace vorn_world
