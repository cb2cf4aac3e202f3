// The second path of the functions whose plain sums of squares or products overflow for finite
// input: the same arithmetic on the input multiplied by a power of two. That changes only the
// exponents, exactly, so a rescaled vector has the digits and the direction of the original.
// Callers take this path only when the plain result is not finite, so every other input keeps
// the plain result's bits; it is out of line, off the plain path.
#pragma once

#include <cmath>
#include <limits>

#include "vorn_kernel.hpp"

namespace vorn_kernel::detail {

inline constexpr double inf = std::numeric_limits<double>::infinity();

// The arguments are components and references, never HomVec4 values: a 32-byte value would be
// copied to the stack on the plain path too, before the test that skips the call.

// The length of (x, y, z, w) when the plain sum of its squares is +∞: from the vector rescaled
// when it is finite, +∞ otherwise.
[[gnu::cold]] double normOfOverflowed(double x, double y, double z, double w);

// v divided by its length when that length is +∞: the direction of v rescaled when v is
// finite, v/∞ otherwise.
[[gnu::cold]] HomVec4 dividedByInfiniteNorm(const HomVec4& v);

// |a·b| / (|a|·|b|) from a and b rescaled when both are finite and non-null; `plain` otherwise.
[[gnu::cold]] double absCosineOfRescaled(const HomVec4& a, const HomVec4& b, double plain);

// |a·b| / (|a|·|b|), the product of the lengths formed first, given the lengths. The ratio does
// not depend on the lengths: when the product of the lengths is infinite or the ratio not
// finite (a square or a product overflowed, or a length underflowed to 0), it is formed again
// from the vectors rescaled, if they are finite and non-null.
inline double absCosine(const HomVec4& a, const HomVec4& b, double norm_a, double norm_b) {
    const double lengths = norm_a * norm_b;
    const double plain = std::fabs(HomVec4::dot(a, b)) / lengths;
    if (std::isfinite(plain) && lengths != inf) [[likely]]
        return plain;
    return absCosineOfRescaled(a, b, plain);
}

}  // namespace vorn_kernel::detail
