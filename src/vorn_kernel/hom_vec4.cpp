// HomVec4: length, normalisation, Cartesian reading, projective equality and chart choice.
// Every comparison is an ordered IEEE comparison, so NaN input takes the branch whose test fails.
#include <cmath>

#include "vorn_kernel.hpp"

namespace vorn_kernel {

double HomVec4::norm() const { return std::sqrt(((x * x + y * y) + z * z) + w * w); }

HomVec4 HomVec4::normalize() const {
    const double n = norm();
    if (n < 1e-15) return {0.0, 0.0, 0.0, 1.0};
    return {x / n, y / n, z / n, w / n};
}

std::array<double, 3> HomVec4::cartesian3() const {
    if (std::fabs(w) < W_EPS) {
        // At or near infinity: report the direction, scaled by the full 4-norm.
        const double n = norm();
        if (n < 1e-15) return {0.0, 0.0, 0.0};
        return {x / n, y / n, z / n};
    }
    return {x / w, y / w, z / w};
}

bool HomVec4::isSamePoint(HomVec4 b, double tol) const {
    const double norm_a = norm();
    const double norm_b = b.norm();
    // The tolerance doubles as the floor on both lengths.
    if (norm_a < tol || norm_b < tol) return false;
    const double d = std::fabs(dot(*this, b)) / (norm_a * norm_b);
    return d > 1.0 - tol;
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
