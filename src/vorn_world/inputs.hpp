// What the World accepts. Every value it is given is checked before anything changes: a value
// that can never be meaningful (not finite, a negative G, a magnitude beyond MAX_MAGNITUDE) is
// refused with std::invalid_argument naming it. Positions and velocities are put on the sphere
// on entry (see World::add).
#pragma once

#include <string>
#include <string_view>

#include "vorn_world.hpp"

namespace vorn_world::detail {

// The value as messages show it: every digit that tells it apart ("%.17g").
std::string shown(double value);

// Throws std::invalid_argument("vorn_world: <what> must be <rule>; got <value>") unless the
// value is finite and |value| <= MAX_MAGNITUDE (and, with non_negative, value >= 0).
void checkMagnitude(std::string_view what, double value, bool non_negative = false);
void checkMagnitude(std::string_view what, HomVec4 value);

// v without its part along the unit p, unless that part is already below 2^-40 of |v| (then v
// as it is, bit for bit).
HomVec4 tangentAt(HomVec4 p, HomVec4 v);

// Throws std::invalid_argument unless the method is one of the three, θ is in [0, 1) and the
// order is 1 or 2.
void checkGravitySolver(const GravitySolver& solver);

// Throws std::invalid_argument unless the radius is finite and in [0, π/2].
void checkOptions(const BodyOptions& options);

// The body as the World stores it, or std::invalid_argument: a finite position of length above
// 1e-15, divided by its length unless its squared length is within 2^-40 of one; a velocity
// without its radial part (removed unless already below 2^-40 of the speed); every other field
// finite and within MAX_MAGNITUDE, and a known body type.
VornBody acceptedBody(const VornBody& body);

}  // namespace vorn_world::detail
