// The Newton–Schulz iteration behind PGL4::inverse, with the number of iterations it ran.
// Internal to the kernel: callers outside it use PGL4::inverse.
#pragma once

#include <cstdint>

#include "vorn_kernel.hpp"
#include "vorn_kernel/lanes.hpp"

namespace vorn_kernel::detail {

struct NewtonSchulzResult {
    PGL4 inverse;              // the last iterate
    std::uint32_t iterations;  // refinement steps run, at most max_iter
};

// Approximates the inverse of m + delta·I, refining at most max_iter times, in the given
// build of the lane code (every build gives the same bits).
NewtonSchulzResult newtonSchulzInverse(const PGL4& m, double delta, std::uint32_t max_iter,
                                       LaneBuild build = fastestLaneBuild());

}  // namespace vorn_kernel::detail
