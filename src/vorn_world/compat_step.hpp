// The compat step: per body exactly vorn_physics::integrateStep under the forces of the step's
// start, as a user's loop over vornGravity and integrateSteps would give.
#pragma once

#include "vorn_world/state.hpp"

namespace vorn_world::detail {

// One compat step of length dt; refused (std::invalid_argument, nothing written) where the
// Runge–Kutta stages of a turn far beyond one radian overflow.
void compatStep(WorldState& s, double dt);

}  // namespace vorn_world::detail
