// The simulation loop: the bodies live in a vorn_world::World holding the attractors; each step
// applies damping to every free body, steps the world, then looks for captures by the attractors
// and contacts between bodies.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include <vorn/vorn_physics.hpp>
#include <vorn/vorn_world.hpp>

namespace orbits {

struct SimulationConfig {
    double dt = 0.01;
    double damping = 0.03;
    double G = 1.0;
    double attractor_mass = 0.02;
    double contact_distance = 0.02;  // two bodies closer than this angle touch (one moving)
    double capture_distance = 0.03;  // a body closer than this to an attractor stops there
    vorn_world::Integrator integrator = vorn_world::Integrator::kdk;
};

enum class BodyState : std::uint8_t { free, contact, captured };

struct ContactEvent {
    std::uint64_t step;
    int first;
    int second;
    vorn_kernel::HomVec4 position;  // the first body's position when the contact began
};

struct CaptureEvent {
    std::uint64_t step;
    int body;
    int attractor;
    vorn_kernel::HomVec4 position;
};

class Simulation {
public:
    Simulation(const SimulationConfig& config, std::vector<vorn_physics::VornBody> attractors,
               std::vector<vorn_physics::VornBody> bodies);

    // Advances every free body by one time step, then looks for captures and contacts. A
    // step that leaves a body's position or velocity not finite, or that the world refuses
    // for a body too fast to step (a time step too long for a close pass), ends the run: no
    // captures or contacts are looked for, unstableBody() names the body (the fastest one,
    // when the world refused), and the state is not worth stepping on.
    void step();
    // The first body whose state is no longer finite or that ran away, once a step has made one so.
    std::optional<std::size_t> unstableBody() const { return unstable_body_; }

    std::uint64_t stepsDone() const { return steps_done_; }
    double time() const { return time_; }
    const std::vector<vorn_physics::VornBody>& attractors() const { return attractors_; }
    const std::vector<vorn_physics::VornBody>& bodies() const { return bodies_; }
    BodyState state(std::size_t body) const;
    // The world's total energy: kinetic plus potential of the free and touching bodies (captured
    // bodies have left the dynamics and count for nothing).
    double energy() const { return world_.energy(); }

    // The contacts that began and the captures that happened in the last step.
    const std::vector<ContactEvent>& newContacts() const { return new_contacts_; }
    const std::vector<CaptureEvent>& newCaptures() const { return new_captures_; }

private:
    void advanceBodies();
    void findUnstableBody();
    void findCaptures();
    void findContacts();
    std::size_t pairIndex(std::size_t i, std::size_t j) const;

    SimulationConfig config_;
    std::vector<vorn_physics::VornBody> attractors_;
    vorn_world::World world_;
    std::vector<vorn_world::BodyId> ids_;         // per body, its id in world_
    std::vector<vorn_physics::VornBody> bodies_;  // a copy of world_'s bodies after each step
    std::vector<bool> in_contact_;                // per body, during the last step
    std::vector<bool> pair_touching_;             // per unordered pair i < j, during the last step
    std::vector<ContactEvent> new_contacts_;
    std::vector<CaptureEvent> new_captures_;
    std::optional<std::size_t> unstable_body_;
    std::uint64_t steps_done_ = 0;
    double time_ = 0.0;
};

}  // namespace orbits
