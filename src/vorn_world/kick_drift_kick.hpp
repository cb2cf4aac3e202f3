// The kick–drift–kick steps of kdk and yoshida4 (kick_drift_kick.cpp).
#pragma once

#include <span>

#include "vorn_world/state.hpp"

namespace vorn_world::detail {

// Kick–drift–kick sub-steps of the lengths in `steps` (at most three), one after the other, for
// every moved body; then their forces are cleared and the accelerations are those at the new
// positions. Compensated, the steps carry every low part; otherwise the positions' with
// carry_positions (kept from then on, zero at first), none without (and the positions' are
// zeroed).
void kickDriftKick(WorldState& s, std::span<const double> steps, bool carry_positions);

}  // namespace vorn_world::detail
