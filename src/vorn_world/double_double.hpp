// Numbers carried as an unevaluated sum hi + lo of two doubles (about 106 bits), for the
// diagnostics that must resolve the rounding of the state: +, −, ·, /, the square root and the
// arc tangent, from +, −, ·, / and the correctly rounded square root only (error-free sums and
// Dekker's products, no fused multiply–add), so the bits are the same on every target. Each
// operation is accurate to a few units in 2^-104 of its result for finite inputs below 2^995;
// a sum or product that overflows (or meets an infinity) gives what plain doubles give.
#pragma once

#include <cmath>

#include "vorn_kernel/lanes.hpp"
#include "vorn_world/error_free.hpp"

namespace vorn_world::detail {

struct DoubleDouble {
    double hi = 0.0, lo = 0.0;
};
using DD = DoubleDouble;

inline DD quickNormalized(double hi, double lo) {  // |hi| ≥ |lo| or hi = 0
    const double s = hi + lo;
    return {s, lo - (s - hi)};
}

inline DD exactSum(double a, double b) {
    const WithError<double> s = twoSum(a, b);
    return {s.value, s.error};
}

inline DD exactProduct(double a, double b) {
    const WithError<double> p = twoProduct(a, halves(a), b, halves(b));
    return {p.value, p.error};
}

inline DD operator+(const DD& a, const DD& b) {
    const WithError<double> s = twoSum(a.hi, b.hi);
    if (!std::isfinite(s.value)) return {s.value, 0.0};  // ±∞ (or NaN) as plain doubles give it
    const WithError<double> t = twoSum(a.lo, b.lo);
    const DD u = quickNormalized(s.value, s.error + t.value);
    return quickNormalized(u.hi, u.lo + t.error);
}
inline DD operator-(const DD& a) { return {-a.hi, -a.lo}; }
inline DD operator-(const DD& a, const DD& b) { return a + (-b); }

inline DD operator*(const DD& a, const DD& b) {
    if (!std::isfinite(a.hi * b.hi)) return {a.hi * b.hi, 0.0};
    const DD p = exactProduct(a.hi, b.hi);
    return quickNormalized(p.hi, p.lo + (a.hi * b.lo + a.lo * b.hi));
}
inline DD operator*(double a, const DD& b) { return DD{a, 0.0} * b; }

inline DD operator/(const DD& a, const DD& b) {
    const double q1 = a.hi / b.hi;
    const DD r1 = a - q1 * b;
    const double q2 = r1.hi / b.hi;
    const DD r2 = r1 - q2 * b;
    const double q3 = r2.hi / b.hi;
    return DD{q1, 0.0} + (DD{q2, 0.0} + DD{q3, 0.0});
}

inline DD squareRoot(const DD& a) {
    if (!(a.hi > 0.0)) return {a.hi == 0.0 ? 0.0 : std::nan(""), 0.0};
    const double x = vorn_kernel::detail::squareRoot(a.hi);
    // One Newton step from the double root: x + (a − x²)/(2x).
    const DD residual = a - exactProduct(x, x);
    return quickNormalized(x, residual.hi / (2.0 * x));
}

// atan(x)/x for |x| ≤ 1/8 from its series in x² (to 2^-106 of the sum).
inline DD atanOverX(const DD& x) {
    const DD minus_x_sq = -(x * x);
    DD sum{1.0, 0.0};
    DD power{1.0, 0.0};
    for (int n = 1; n < 40; ++n) {
        power = power * minus_x_sq;
        const DD term = power / DD{2.0 * n + 1.0, 0.0};
        sum = sum + term;
        if (std::fabs(term.hi) < 0x1.0p-110) break;
    }
    return sum;
}

// atan(x) for x ≥ 0 (x = +∞ gives π/2): halved by atan x = 2·atan(x/(1 + √(1 + x²))) until
// x ≤ 1/8, then the series. Beyond 2^500, where x² would overflow, π/2 − 1/x (the next term,
// 1/(3x³), is below 2^-1500).
inline DD arcTangent(DD x) {
    const DD half_pi{1.5707963267948966, 6.123233995736766e-17};
    if (std::isinf(x.hi)) return half_pi;
    if (x.hi > 0x1.0p500) return half_pi - DD{1.0, 0.0} / x;
    int doublings = 0;
    while (x.hi > 0.125) {
        x = x / (DD{1.0, 0.0} + squareRoot(DD{1.0, 0.0} + x * x));
        ++doublings;
    }
    DD angle = x * atanOverX(x);
    for (; doublings > 0; --doublings) angle = DD{2.0, 0.0} * angle;
    return angle;
}

}  // namespace vorn_world::detail
