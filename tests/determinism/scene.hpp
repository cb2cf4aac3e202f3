// A fixed scene of bodies on S³: gravity toward fixed attractors, linear damping, one
// integration step per body per frame and a contact test on every pair. Its hash changes
// whenever any rounding anywhere in the physics changes.
#pragma once

#include <cstdint>

namespace vorn::determinism {

struct SceneSummary {
    std::uint64_t hash;      // FNV-1a over every position, velocity and contact of every frame
    std::uint64_t contacts;  // pairs found in contact, summed over all frames
    bool finite;             // every position and velocity stayed finite
};

struct SceneSize {
    int bodies;
    int frames;
};

SceneSummary runScene(SceneSize size);

}  // namespace vorn::determinism
