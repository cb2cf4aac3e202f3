// The World's bodies and settings: adding, removing, reading and writing bodies by id.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "vorn_world.hpp"
#include "vorn_world/inputs.hpp"
#include "vorn_world/state.hpp"

namespace vorn_world {

World::World(double G) : state_(std::make_unique<detail::WorldState>()) {
    detail::checkMagnitude("G", G, true);
    state_->G = G;
}
World::~World() = default;
World::World(const World& other) : state_(std::make_unique<detail::WorldState>(*other.state_)) {}
World& World::operator=(const World& other) {
    // A copy first, so that a failed allocation leaves this World as it was (or moved-from).
    if (this != &other) state_ = std::make_unique<detail::WorldState>(*other.state_);
    return *this;
}
World::World(World&&) noexcept = default;

detail::WorldState& detail::stateOf(World& world) { return *world.state_; }
World& World::operator=(World&&) noexcept = default;

BodyId World::add(const VornBody& body, const BodyOptions& options) {
    return add(std::span<const VornBody>(&body, 1), options).front();
}

std::vector<BodyId> World::add(std::span<const VornBody> bodies, const BodyOptions& options) {
    detail::checkOptions(options);
    std::vector<VornBody> accepted;
    accepted.reserve(bodies.size());
    for (std::size_t k = 0; k < bodies.size(); ++k) {
        try {
            accepted.push_back(detail::acceptedBody(bodies[k]));
        } catch (const std::invalid_argument& refused) {
            if (bodies.size() == 1) throw;
            const std::string_view reason =
                std::string_view(refused.what()).substr(std::strlen("vorn_world: "));
            throw std::invalid_argument("vorn_world: body " + std::to_string(k) + " of " +
                                        std::to_string(bodies.size()) +
                                        " refused, none added: " + std::string(reason));
        }
    }
    detail::WorldState& s = *state_;
    std::vector<BodyId> new_ids(bodies.size());
    for (std::size_t k = 0; k < new_ids.size(); ++k) new_ids[k] = s.next_id + k;
    // Everything that can fail (allocation) comes before the first body is written.
    s.ids.reserve(s.size() + bodies.size());
    const std::size_t first = s.size();
    const std::size_t padded = (first + bodies.size() + 3) / 4 * 4;
    if (padded > s.paddedSize()) s.resizePadded(padded);
    s.ids.insert(s.ids.end(), new_ids.begin(), new_ids.end());
    for (std::size_t k = 0; k < accepted.size(); ++k) {
        s.writeOptions(first + k, options);
        s.writeSlot(first + k, accepted[k]);
    }
    s.next_id += bodies.size();
    return new_ids;
}

void World::remove(BodyId id) { remove(std::span<const BodyId>(&id, 1)); }

World::Components World::positionComponents() const { return {state_->positions().x, state_->rows}; }
World::Components World::velocityComponents() const { return {state_->velocities().x, state_->rows}; }

bool World::contains(BodyId id) const {
    return std::binary_search(state_->ids.begin(), state_->ids.end(), id);
}

VornBody World::body(BodyId id) const { return state_->readSlot(state_->slotOf(id)); }

void World::setBody(BodyId id, const VornBody& body) {
    const std::size_t slot = state_->slotOf(id);
    state_->writeSlot(slot, detail::acceptedBody(body));
}

BodyOptions World::options(BodyId id) const { return state_->readOptions(state_->slotOf(id)); }

void World::setOptions(BodyId id, const BodyOptions& options) {
    const std::size_t slot = state_->slotOf(id);
    detail::checkOptions(options);
    state_->writeOptions(slot, options);
}

void World::applyForce(BodyId id, HomVec4 force) {
    detail::WorldState& s = *state_;
    const std::size_t slot = s.slotOf(id);
    if (s.test[slot] != 0 && s.mass[slot] < 1e-10) {
        throw std::invalid_argument("vorn_world: body " + std::to_string(id) +
                                    " is a test particle of mass below 1e-10 and takes no force");
    }
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

double World::softening() const { return state_->softening; }

void World::setSoftening(double epsilon) {
    detail::checkMagnitude("the softening", epsilon, true);
    state_->softening = epsilon;
    state_->gravity_valid = false;
}

GravitySolver World::gravitySolver() const { return state_->solver; }

void World::setGravitySolver(const GravitySolver& solver) {
    detail::checkGravitySolver(solver);
    state_->solver = solver;
    state_->gravity_valid = false;
}

double World::adaptiveTolerance() const { return state_->adaptive.tolerance; }

void World::setAdaptiveTolerance(double tolerance) {
    if (!(tolerance >= 0x1.0p-60 && tolerance <= 1.0))
        throw std::invalid_argument("vorn_world: the adaptive tolerance must be between 2^-60 and 1; got " +
                                    detail::shown(tolerance));
    state_->adaptive.tolerance = tolerance;
}

std::uint64_t World::adaptiveStepLimit() const { return state_->adaptive.step_limit; }

void World::setAdaptiveStepLimit(std::uint64_t steps) {
    if (steps == 0) throw std::invalid_argument("vorn_world: the adaptive step limit must be at least 1");
    state_->adaptive.step_limit = steps;
}

AdaptiveReport World::adaptiveReport() const {
    const detail::AdaptiveMemory& m = state_->adaptive;
    return {m.steps, m.rejected, m.evaluations, m.next_step};
}

double World::time() const { return state_->time; }

std::uint64_t World::stepCount() const { return state_->step_count; }

bool World::compensated() const { return state_->compensated; }

void World::setCompensated(bool on) {
    detail::WorldState& s = *state_;
    if (on == s.compensated) return;
    std::vector<double> q_low(on ? 4 * s.rows : 0, 0.0);
    std::vector<double> v_low(on ? 4 * s.rows : 0, 0.0);
    s.q_low_block.swap(q_low);
    s.v_low_block.swap(v_low);
    s.compensated = on;
    ++s.revision;
}

void World::setParallelFor(ParallelFor parallel_for) { state_->parallel_for = std::move(parallel_for); }

}  // namespace vorn_world
