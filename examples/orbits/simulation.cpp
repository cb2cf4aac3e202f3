#include "simulation.hpp"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <utility>

namespace orbits {

using vorn_kernel::HomVec4;
using vorn_physics::VornBody;

Simulation::Simulation(const SimulationConfig& config, std::vector<VornBody> attractors,
                       std::vector<VornBody> bodies)
    : config_(config),
      attractors_(std::move(attractors)),
      world_(config.G),
      bodies_(std::move(bodies)),
      in_contact_(bodies_.size(), false),
      pair_touching_(bodies_.empty() ? 0 : bodies_.size() * (bodies_.size() - 1) / 2, false) {
    // Every attractor pulls with the configured mass; the world divides forces by the body's
    // mass, so the body's own mass cancels from gravity as it does from the law.
    for (const VornBody& attractor : attractors_)
        world_.addAttractor(attractor.position, config_.attractor_mass);
    ids_.reserve(bodies_.size());
    for (const VornBody& body : bodies_) ids_.push_back(world_.add(body));
}

BodyState Simulation::state(std::size_t body) const {
    if (!bodies_[body].active) return BodyState::captured;
    return in_contact_[body] ? BodyState::contact : BodyState::free;
}

void Simulation::step() {
    new_contacts_.clear();
    new_captures_.clear();
    advanceBodies();
    ++steps_done_;
    time_ = static_cast<double>(steps_done_) * config_.dt;
    findUnstableBody();
    if (unstable_body_) return;
    findCaptures();
    findContacts();
}

namespace {
bool isFinite(HomVec4 v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z) && std::isfinite(v.w);
}
}  // namespace

// The distance to a NaN position is NaN or 0, which would pass for a capture or a contact.
void Simulation::findUnstableBody() {
    if (unstable_body_) return;
    for (std::size_t i = 0; i < bodies_.size(); ++i) {
        if (!isFinite(bodies_[i].position) || !isFinite(bodies_[i].velocity)) {
            unstable_body_ = i;
            return;
        }
    }
}

// Damping is a force (−γ·m·v, so the world's division by the mass leaves the rate γ for every
// body) held constant over the step; the world adds the attractors' gravity.
// A body so fast that the world refuses its damping force or its step (beyond
// vorn_world::MAX_MAGNITUDE, or a compat step whose stages overflow) ends the run as a body
// that is no longer finite does.
void Simulation::advanceBodies() {
    std::size_t fastest = 0;
    try {
        for (std::size_t i = 0; i < bodies_.size(); ++i) {
            const VornBody& body = bodies_[i];
            if (!body.active) continue;
            if (body.velocity.norm() > bodies_[fastest].velocity.norm()) fastest = i;
            world_.applyForce(ids_[i],
                              body.mass * vorn_physics::dampingForce(body.velocity, config_.damping));
        }
        world_.step(config_.dt, config_.integrator);
    } catch (const std::invalid_argument&) {
        unstable_body_ = fastest;
        return;
    }
    for (std::size_t i = 0; i < bodies_.size(); ++i) bodies_[i] = world_.body(ids_[i]);
}

// A body that reaches an attractor stops there. This also keeps it away from the
// near-coincident positions where the softened gravity is at its enormous maximum.
void Simulation::findCaptures() {
    for (std::size_t i = 0; i < bodies_.size(); ++i) {
        VornBody& body = bodies_[i];
        if (!body.active) continue;
        for (std::size_t k = 0; k < attractors_.size(); ++k) {
            if (!vorn_physics::checkCollision(body, attractors_[k], config_.capture_distance).collided) {
                continue;
            }
            body.active = false;
            body.velocity = HomVec4::zero();
            body.clearForces();
            world_.setBody(ids_[i], body);
            new_captures_.push_back({steps_done_, static_cast<int>(i), static_cast<int>(k), body.position});
            break;
        }
    }
}

std::size_t Simulation::pairIndex(std::size_t i, std::size_t j) const {
    // Row i of the strict upper triangle starts after i rows of decreasing length.
    return i * (2 * bodies_.size() - i - 1) / 2 + (j - i - 1);
}

void Simulation::findContacts() {
    std::fill(in_contact_.begin(), in_contact_.end(), false);
    for (std::size_t i = 0; i < bodies_.size(); ++i) {
        for (std::size_t j = i + 1; j < bodies_.size(); ++j) {
            // Bodies resting at the same attractor touch for good: only moving bodies count.
            if (!bodies_[i].active && !bodies_[j].active) {
                pair_touching_[pairIndex(i, j)] = false;
                continue;
            }
            const auto result =
                vorn_physics::checkCollision(bodies_[i], bodies_[j], config_.contact_distance);
            const std::size_t pair = pairIndex(i, j);
            if (result.collided) {
                in_contact_[i] = true;
                in_contact_[j] = true;
                if (!pair_touching_[pair]) {
                    new_contacts_.push_back(
                        {steps_done_, static_cast<int>(i), static_cast<int>(j), bodies_[i].position});
                }
            }
            pair_touching_[pair] = result.collided;
        }
    }
}

}  // namespace orbits
