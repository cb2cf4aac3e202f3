// The Newton–Schulz iteration behind PGL4::inverse, with the number of iterations it ran.
// Internal to the kernel: callers outside it use PGL4::inverse.
#pragma once

#include <cstdint>

#include "vorn_kernel.hpp"

namespace vorn_kernel::detail {

struct NewtonSchulzResult {
    PGL4 inverse;              // the last iterate
    std::uint32_t iterations;  // refinement steps run, at most max_iter
};

// Approximates the inverse of m + delta·I, refining at most max_iter times.
NewtonSchulzResult newtonSchulzInverse(const PGL4& m, double delta, std::uint32_t max_iter);

// The two builds newtonSchulzInverse chooses between; exposed so that tests can check that
// they agree bit for bit. Call the AVX2 one only where the CPU has AVX2.
NewtonSchulzResult newtonSchulzInverseBaseline(const PGL4& m, double delta, std::uint32_t max_iter);
[[gnu::target("avx2")]] NewtonSchulzResult newtonSchulzInverseAvx2(const PGL4& m, double delta,
                                                                   std::uint32_t max_iter);

}  // namespace vorn_kernel::detail
