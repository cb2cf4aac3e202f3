#include "vorn_kernel/power_of_two_rescaling.hpp"

namespace vorn_kernel::detail {

namespace {

bool isFinite(HomVec4 v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z) && std::isfinite(v.w);
}

bool isNull(HomVec4 v) { return v.x == 0.0 && v.y == 0.0 && v.z == 0.0 && v.w == 0.0; }

// The exponent e of the largest component, 2^e ≤ max |component| < 2^(e+1). Finite, non-null v.
int largestExponent(HomVec4 v) {
    const double largest =
        std::fmax(std::fmax(std::fabs(v.x), std::fabs(v.y)), std::fmax(std::fabs(v.z), std::fabs(v.w)));
    return std::ilogb(largest);
}

// v·2^e, each component (exact unless a component leaves the normal range).
HomVec4 timesPowerOfTwo(HomVec4 v, int e) {
    return HomVec4::init(std::ldexp(v.x, e), std::ldexp(v.y, e), std::ldexp(v.z, e), std::ldexp(v.w, e));
}

}  // namespace

double normOfOverflowed(double x, double y, double z, double w) {
    const HomVec4 v = HomVec4::init(x, y, z, w);
    if (!isFinite(v)) return inf;
    // The length of v with its largest component in [1, 2), scaled back: +∞ only if the
    // length itself is beyond the double range.
    const int e = largestExponent(v);
    return std::ldexp(timesPowerOfTwo(v, -e).norm(), e);
}

HomVec4 dividedByInfiniteNorm(const HomVec4& v) {
    if (!isFinite(v)) return {v.x / inf, v.y / inf, v.z / inf, v.w / inf};
    const HomVec4 r = timesPowerOfTwo(v, -largestExponent(v));
    const double r_norm = r.norm();
    return {r.x / r_norm, r.y / r_norm, r.z / r_norm, r.w / r_norm};
}

double absCosineOfRescaled(const HomVec4& a, const HomVec4& b, double plain) {
    if (!isFinite(a) || !isFinite(b) || isNull(a) || isNull(b)) return plain;
    const HomVec4 a1 = timesPowerOfTwo(a, -largestExponent(a));
    const HomVec4 b1 = timesPowerOfTwo(b, -largestExponent(b));
    return std::fabs(HomVec4::dot(a1, b1)) / (a1.norm() * b1.norm());
}

}  // namespace vorn_kernel::detail
