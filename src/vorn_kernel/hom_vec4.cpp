// HomVec4: length, normalisation, Cartesian reading, projective equality and chart choice.
// Every comparison is an ordered IEEE comparison, so NaN input takes the branch whose test fails.
// Lengths and ratios of finite vectors whose squares overflow come from the vectors rescaled by
// a power of two; every other input gets the plain formula's bits.
#include <cmath>

#include "vorn_kernel.hpp"
#include "vorn_kernel/power_of_two_rescaling.hpp"

namespace vorn_kernel {

namespace {

double sumOfSquares(HomVec4 v) { return ((v.x * v.x + v.y * v.y) + v.z * v.z) + v.w * v.w; }

// v with each component divided by n = norm(v). A finite v whose length lies beyond the double
// range (n = +∞) is divided after rescaling, which gives the quotients of the exact length.
HomVec4 dividedByNorm(HomVec4 v, double n) {
    if (n == detail::inf && detail::isFinite(v)) {
        const HomVec4 r = detail::toUnitBinade(v);
        const double r_norm = r.norm();
        return {r.x / r_norm, r.y / r_norm, r.z / r_norm, r.w / r_norm};
    }
    return {v.x / n, v.y / n, v.z / n, v.w / n};
}

}  // namespace

double HomVec4::norm() const {
    const double plain = std::sqrt(sumOfSquares(*this));
    if (plain != detail::inf || !detail::isFinite(*this)) return plain;
    // A component above about 1.3e154 overflowed a square: the length of the vector with its
    // largest component in [1, 2), scaled back. Infinite only if the length itself is.
    const int e = detail::largestExponent(*this);
    return std::ldexp(std::sqrt(sumOfSquares(detail::timesPowerOfTwo(*this, -e))), e);
}

HomVec4 HomVec4::normalize() const {
    const double n = norm();
    if (n < 1e-15) return {0.0, 0.0, 0.0, 1.0};
    return dividedByNorm(*this, n);
}

std::array<double, 3> HomVec4::cartesian3() const {
    if (std::fabs(w) < W_EPS) {
        // At or near infinity: report the direction, scaled by the full 4-norm.
        const double n = norm();
        if (n < 1e-15) return {0.0, 0.0, 0.0};
        const HomVec4 direction = dividedByNorm(*this, n);
        return {direction.x, direction.y, direction.z};
    }
    return {x / w, y / w, z / w};
}

bool HomVec4::isSamePoint(HomVec4 b, double tol) const {
    const double norm_a = norm();
    const double norm_b = b.norm();
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
