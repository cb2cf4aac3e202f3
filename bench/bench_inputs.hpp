// Inputs for throughput measurements: fixed pseudo-random arrays that each benchmark cycles
// through, so that no figure comes from one constant value the compiler could fold or the
// branch predictor could learn.
#pragma once

#include <array>
#include <cstddef>
#include <span>

#include "vorn_geodesic.hpp"
#include "vorn_kernel.hpp"
#include "vorn_physics.hpp"

namespace vorn::bench {

// Every input array has this many entries; a benchmark iteration runs over all of them.
inline constexpr std::size_t input_count = 1024;

// Unit vectors spread over S³.
std::span<const vorn_kernel::HomVec4> unitVectors();
// A second, independent set of unit vectors, for two-argument operations.
std::span<const vorn_kernel::HomVec4> otherUnitVectors();
// Unit vectors orthogonal to the matching unitVectors() entry, scaled to speeds in [0.1, 2].
std::span<const vorn_kernel::HomVec4> tangentVelocities();
// Vectors with components in [-10, 10], w included, so cartesian3 takes both branches.
std::span<const vorn_kernel::HomVec4> generalVectors();
// Doubles in [-4, 4]: times, angles, scale factors.
std::span<const double> scalars();
// Doubles in (0, 1e6]: arguments of the inverse square root.
std::span<const double> positiveScalars();
// Four-lane f32 vectors with lanes in [-4, 4].
std::span<const vorn_kernel::F32x4> f32Vectors();
// Well-conditioned matrices: the identity plus entries in [-0.25, 0.25].
std::span<const vorn_kernel::PGL4> matrices();
std::span<const vorn_kernel::PGL4> otherMatrices();
// GeodesicStates on S³ with tangent velocities.
std::span<const vorn_geodesic::GeodesicState> states();
// Dynamic bodies on S³ with tangent velocities and masses in [0.5, 2].
std::span<const vorn_physics::VornBody> bodies();

}  // namespace vorn::bench
