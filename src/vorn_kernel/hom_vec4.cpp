// HomVec4: length, normalisation, Cartesian reading, projective equality and chart choice.
// Every comparison is an ordered IEEE comparison, so NaN input takes the branch whose test fails.
// Lengths and ratios of finite vectors whose squares overflow come from the vectors rescaled by
// a power of two; every other input gets the plain formula's bits.
#include <cmath>

#include "vorn_kernel.hpp"
#include "vorn_kernel/power_of_two_rescaling.hpp"

namespace vorn_kernel {

namespace {

// The length, inlined into every function here so that the rescaled path, out of line, does
// not keep the plain one from being inlined.
[[gnu::always_inline]] inline double lengthOf(HomVec4 v) {
    const double sum_of_squares = ((v.x * v.x + v.y * v.y) + v.z * v.z) + v.w * v.w;
    // +∞ when a square overflowed (a component above about 1.3e154) or a component is infinite.
    // Tested before the square root, which then stays the last call.
    if (sum_of_squares == detail::inf) [[unlikely]]
        return detail::normOfOverflowed(v.x, v.y, v.z, v.w);
    return std::sqrt(sum_of_squares);
}

// v with each component divided by n = norm(v). A finite v whose length lies beyond the double
// range (n = +∞) is divided after rescaling, which gives the quotients of the exact length.
HomVec4 dividedByNorm(HomVec4 v, double n) {
    if (n == detail::inf) [[unlikely]]
        return detail::dividedByInfiniteNorm(v);
    return {v.x / n, v.y / n, v.z / n, v.w / n};
}

// normalize() of a vector whose sum of squares is +∞, out of line: its length is at least the
// largest component, far above the 1e-15 floor.
[[gnu::cold, gnu::noinline]] HomVec4 normalizedOfOverflowed(const HomVec4& v) {
    return dividedByNorm(v, detail::normOfOverflowed(v.x, v.y, v.z, v.w));
}

}  // namespace

double HomVec4::norm() const { return lengthOf(*this); }

HomVec4 HomVec4::normalize() const {
    // lengthOf written out, so that the plain path tests for overflow once.
    const double sum_of_squares = ((x * x + y * y) + z * z) + w * w;
    if (sum_of_squares == detail::inf) [[unlikely]]
        return normalizedOfOverflowed(*this);
    const double n = std::sqrt(sum_of_squares);
    if (n < 1e-15) return {0.0, 0.0, 0.0, 1.0};
    return {x / n, y / n, z / n, w / n};
}

std::array<double, 3> HomVec4::cartesian3() const {
    if (std::fabs(w) < W_EPS) {
        // At or near infinity: report the direction, scaled by the full 4-norm.
        const double n = lengthOf(*this);
        if (n < 1e-15) return {0.0, 0.0, 0.0};
        const HomVec4 direction = dividedByNorm(*this, n);
        return {direction.x, direction.y, direction.z};
    }
    return {x / w, y / w, z / w};
}

bool HomVec4::isSamePoint(HomVec4 b, double tol) const {
    const double norm_a = lengthOf(*this);
    const double norm_b = lengthOf(b);
    // The tolerance doubles as the floor on both lengths.
    if (norm_a < tol || norm_b < tol) return false;
    return detail::absCosine(*this, b, norm_a, norm_b) > 1.0 - tol;
}

bool HomVec4::isAntipodalTo(HomVec4 b, double tol) const {
    const HomVec4 neg_b{-b.x, -b.y, -b.z, -b.w};
    return isSamePoint(neg_b, tol);
}

AffineCard HomVec4::pickBestCard() const {
    const double aw = std::fabs(w);
    const double ax = std::fabs(x);
    const double ay = std::fabs(y);
    const double az = std::fabs(z);
    // Every test is "at least": ties go to the earlier chart in the order W, X, Y, Z.
    if (aw >= ax && aw >= ay && aw >= az) return AffineCard::UW;
    if (ax >= ay && ax >= az) return AffineCard::UX;
    if (ay >= az) return AffineCard::UY;
    return AffineCard::UZ;
}

}  // namespace vorn_kernel
