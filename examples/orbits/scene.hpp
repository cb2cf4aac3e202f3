// The starting scene: fixed attractors and bodies on roughly circular orbits around them.
#pragma once

#include <cstdint>
#include <vector>

#include <vorn/vorn_physics.hpp>

namespace orbits {

struct SceneConfig {
    int bodies = 36;
    int attractors = 3;
    std::uint64_t seed = 1;
    double G = 1.0;
    double attractor_mass = 0.02;
    double min_orbit_distance = 0.15;  // angular distance of a body from its attractor at the start
    double max_orbit_distance = 0.5;
};

// Attractors at fixed points that share one small positive w, spread evenly around the w axis.
std::vector<vorn_physics::VornBody> makeAttractors(int count);

// Body i starts near attractor i mod count, at a random distance and on a random orbital
// plane, with about the speed of a circular orbit (somewhat less, so orbits are eccentric).
std::vector<vorn_physics::VornBody> makeBodies(const SceneConfig& config,
                                               const std::vector<vorn_physics::VornBody>& attractors);

}  // namespace orbits
