// The second path of the functions whose plain sums of squares or products overflow for finite
// input: the same arithmetic on the input multiplied by a power of two. That changes only the
// exponents, exactly, so a rescaled vector has the digits and the direction of the original.
// Callers take this path only when the plain result is not finite, so every other input keeps
// the plain result's bits.
#pragma once

#include <cmath>
#include <limits>

#include "vorn_kernel.hpp"

namespace vorn_kernel::detail {

inline constexpr double inf = std::numeric_limits<double>::infinity();

inline bool isFinite(HomVec4 v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z) && std::isfinite(v.w);
}

// The exponent e of the largest component, 2^e ≤ max |component| < 2^(e+1). Finite, non-null v.
inline int largestExponent(HomVec4 v) {
    const double largest =
        std::fmax(std::fmax(std::fabs(v.x), std::fabs(v.y)), std::fmax(std::fabs(v.z), std::fabs(v.w)));
    return std::ilogb(largest);
}

// v·2^e, each component (exact unless a component leaves the normal range).
inline HomVec4 timesPowerOfTwo(HomVec4 v, int e) {
    return HomVec4::init(std::ldexp(v.x, e), std::ldexp(v.y, e), std::ldexp(v.z, e), std::ldexp(v.w, e));
}

// v brought to a largest component in [1, 2). Finite, non-null v.
inline HomVec4 toUnitBinade(HomVec4 v) { return timesPowerOfTwo(v, -largestExponent(v)); }

inline bool isNull(HomVec4 v) { return v.x == 0.0 && v.y == 0.0 && v.z == 0.0 && v.w == 0.0; }

// |a·b| / (|a|·|b|), the product of the lengths formed first, given the lengths. The ratio does
// not depend on the lengths: when finite, non-null vectors make the product of the lengths
// infinite or the ratio not finite (a square or a product overflowed, or a length underflowed
// to 0), it is formed from both vectors brought to a largest component in [1, 2).
inline double absCosine(HomVec4 a, HomVec4 b, double norm_a, double norm_b) {
    const double lengths = norm_a * norm_b;
    const double plain = std::fabs(HomVec4::dot(a, b)) / lengths;
    const bool sound = std::isfinite(plain) && lengths != inf;
    if (sound || !isFinite(a) || !isFinite(b) || isNull(a) || isNull(b)) return plain;
    const HomVec4 a1 = toUnitBinade(a);
    const HomVec4 b1 = toUnitBinade(b);
    return std::fabs(HomVec4::dot(a1, b1)) / (a1.norm() * b1.norm());
}

}  // namespace vorn_kernel::detail
