// The Fubini–Study distance between projective points and the distance/weight conversions.
#include <cmath>

#include "vorn_kernel.hpp"
#include "vorn_kernel/power_of_two_rescaling.hpp"
#include "vorn_math/functions.hpp"

namespace vorn_kernel {

double fsDistance(HomVec4 a, HomVec4 b) {
    const double norm_a = a.norm();
    const double norm_b = b.norm();
    if (norm_a < 1e-15 || norm_b < 1e-15) return 0.0;
    // |a·b| / (|a|·|b|); finite vectors that overflow it are rescaled first.
    const double d = detail::absCosine(a, b, norm_a, norm_b);
    // A ratio rounded above 1, and a NaN ratio, both become exactly 1 (distance 0).
    const double cos_theta = d < 1.0 ? d : 1.0;
    return vorn::elementary::acos(cos_theta);
}

double wFromDistance(double s_meters, double R_meters) {
    return vorn::elementary::cos(s_meters / (2.0 * R_meters));
}

double sFromW(double W, double R_meters) {
    // A NaN weight fails the first test and becomes 1, so its distance is 0.
    const double m = W < 1.0 ? W : 1.0;
    const double W_clamped = m > -1.0 ? m : -1.0;
    const double two_r = 2.0 * R_meters;
    return two_r * vorn::elementary::acos(W_clamped);
}

}  // namespace vorn_kernel
