// The fixed battery of inputs: special values, the kernel's thresholds and their
// neighbours, and pseudo-random values from a fixed seed. Everything is produced at run
// time from values read through `volatile`, so the compiler cannot fold a kernel call on a
// constant (it would round math functions exactly, not as the runtime library does).
#pragma once

#include <utility>
#include <vector>

#include "vorn_kernel.hpp"

namespace vorn::bitexact {

using vorn_kernel::F32x4;
using vorn_kernel::HomVec4;
using vorn_kernel::PGL4;

struct Battery {
    std::vector<double> scalars;                     // specials, thresholds, random of many scales
    std::vector<HomVec4> vectors;                    // structured and random, unit and not
    std::vector<std::pair<HomVec4, HomVec4>> pairs;  // equal, opposite, scaled, near and random pairs
    std::vector<HomVec4> points;                     // unit points on S³
    std::vector<HomVec4> tangents;                   // tangents[i] is orthogonal to points[i]
    std::vector<PGL4> matrices;                      // structured, degenerate and random
    // Finite values whose squares or products overflow; their lines come after all others.
    std::vector<HomVec4> huge_vectors;
    std::vector<F32x4> huge_lanes;
    std::vector<PGL4> huge_matrices;
};

// The value as read back from memory the compiler must not see through.
double opaque(double value);

Battery makeBattery();

}  // namespace vorn::bitexact
