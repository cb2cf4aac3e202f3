// The great-circle turn of the drift, for one body (T = double) or a block (T = F64x4). With
// x = |v|·h, y = x² = (v·v)·h², sinc x = sin x / x and d = (1 − |q'|²)/2,
//   q' = cos x·q + h·sinc x·v,   v' = cos x·v − (v·v)·h·sinc x·q,
// both scaled by 1 + d: one Newton step toward |q'| = 1 (q enters of unit length to rounding),
// with |q'|² from q·q, q·v and v·v. The common factor keeps q∧v and |v| to rounding, where the
// rounding of cos x and sinc x alone would change both by the same factor every step of a
// body turning at a constant rate. The turn by increments forms the same q' and v' as q and v
// plus small changes, with 1 − cos x from its own series, and keeps the rounding of q' in a low
// part that the next turn adds back in (yoshida4; docs/world.md, "Rounding that repeats"). The compensated
// turn forms the same q' and v' from error-free products and sums with the low parts, scaled
// by the exact factor that makes c² + k·h·sinc x one, so that q∧v is kept to about 2^-100 a
// step. Only +, −, ·, / and the correctly rounded square root: the bits are the same on every
// target. See docs/world.md.
#pragma once

#include <cmath>
#include <limits>

#include "vorn_kernel/lanes.hpp"
#include "vorn_world/error_free.hpp"

namespace vorn_world::detail {

using vorn_kernel::detail::F64x4;
using vorn_kernel::detail::Vec4;

// cos x and sin x / x for |x| ≤ 1/4 from y = x², Taylor terms up to y⁶ (the first omitted is
// below 5e-20), evaluated in Estrin's order for a short chain.
template <class T>
struct CosSinc {
    T c, sinc;
};
template <class T>
[[gnu::always_inline]] inline CosSinc<T> cosSinc(const T& y) {
    const T y2 = y * y;
    const T y4 = y2 * y2;
    const T c = ((1.0 + y * (-1.0 / 2.0)) + y2 * (1.0 / 24.0 + y * (-1.0 / 720.0))) +
                y4 * ((1.0 / 40320.0 + y * (-1.0 / 3628800.0)) + y2 * (1.0 / 479001600.0));
    const T sinc = ((1.0 + y * (-1.0 / 6.0)) + y2 * (1.0 / 120.0 + y * (-1.0 / 5040.0))) +
                   y4 * ((1.0 / 362880.0 + y * (-1.0 / 39916800.0)) + y2 * (1.0 / 6227020800.0));
    return {c, sinc};
}

// 1 − cos x for |x| ≤ 1/4 from y = x², the same series as cosSinc's without its leading 1 (so
// that its rounding is of its own size, not of one).
template <class T>
[[gnu::always_inline]] inline T oneLessCos(const T& y) {
    const T y2 = y * y;
    const T y4 = y2 * y2;
    return (y * (1.0 / 2.0) + y2 * (-1.0 / 24.0 + y * (1.0 / 720.0))) +
           y4 * ((-1.0 / 40320.0 + y * (1.0 / 3628800.0)) + y2 * (-1.0 / 479001600.0));
}

// |q'|² for q' = c·q + h_sinc·v, from q·q, q·v and v·v (so off the chain of q' itself).
template <class T>
[[gnu::always_inline]] inline T turnedLengthSq(const Vec4<T>& q, const Vec4<T>& v, const T& vv, const T& c,
                                               const T& h_sinc) {
    return ((c * c) * dot(q, q) + (2.0 * c * h_sinc) * dot(q, v)) + (h_sinc * h_sinc) * vv;
}

// q and v turned by the angle whose cos x, h·sinc x and k = (v·v)·h·sinc x are given, and
// scaled by 1 + d: q' = c·q + (h_sinc·v + d·c·q), v' = c·v + (d·c·v − k·q). The scaling
// enters the smaller term before the last rounding: added to a rounded c·q, a correction d
// below half a unit in its last place would be lost, and as the rounding of cos x and sinc x
// is the same every step of a body turning at a constant rate, so would be the loss.
template <class T>
[[gnu::always_inline]] inline void turn(Vec4<T>& q, Vec4<T>& v, const T& c, const T& h_sinc, const T& k,
                                        const T& d) {
    const Vec4<T> cq = c * q;
    const Vec4<T> cv = c * v;
    const Vec4<T> new_q = cq + (h_sinc * v + d * cq);
    v = cv + (d * cv - k * q);
    q = new_q;
}

// The same turn by increments, from 1 − cos x (c_minus) instead of cos x, with the low part of q:
//   q' + q_low' = q + (((h_sinc·v − c_minus·q) + d·q) + q_low),   v' = v + (d·v − (c_minus·v + k·q)),
// which drops only d·(q' − q) and d·(v' − v), products of two small numbers while the turn is
// small (it leaves cos²x·(1 − cos x) of the length's error: callers keep the turn below a
// radian). In the product form the rounding of c·q, half a unit in the last place of q, depends
// on q and cos x alone: a component that stays within about (1 − cos x)⁻¹ units of its value
// (the one along an attractor on a near-circular orbit) is rounded the same way every step.
// Here the only rounding at the scale of q is that of q plus its change, and it is kept: where
// the change repeats from step to step (its fraction of a unit is then the same), its rounding
// would too.
template <class T>
[[gnu::always_inline]] inline void turnByIncrements(Vec4<T>& q, Vec4<T>& q_low, Vec4<T>& v, const T& c_minus,
                                                    const T& h_sinc, const T& k, const T& d) {
    const Vec4<T> change = ((h_sinc * v - c_minus * q) + d * q) + q_low;
    v = v + (d * v - (c_minus * v + k * q));
    const WithError<T> x = twoSum(q.x, change.x);
    const WithError<T> y = twoSum(q.y, change.y);
    const WithError<T> z = twoSum(q.z, change.z);
    const WithError<T> w = twoSum(q.w, change.w);
    q = {x.value, y.value, z.value, w.value};
    q_low = {x.error, y.error, z.error, w.error};
}

// cos x, h·sinc x and k = (v·v)·h·sinc x of one body's turn, for any angle (NaN for an
// infinite or NaN speed).
struct TurnFactors {
    double c, h_sinc, k;
    double c_minus;  // 1 − cos x
};
inline TurnFactors turnFactors(double vv, double h) {
    const double y = vv * (h * h);
    if (y < 0.0625) {
        const CosSinc<double> cs = cosSinc(y);
        return {cs.c, h * cs.sinc, (vv * h) * cs.sinc, oneLessCos(y)};
    }
    const double speed = vorn_kernel::detail::squareRoot(vv);
    const double x = speed * std::fabs(h);
    // Beyond 1e150 radians (where y would overflow) the angle is taken modulo the double nearest
    // 2π, exactly: as good a place on the circle as the turn's digits allow.
    double a = y <= 1e300 ? x : std::fmod(x, 6.283185307179586);
    if (!std::isfinite(a)) {
        const double nan = std::numeric_limits<double>::quiet_NaN();
        return {nan, nan, nan, nan};
    }
    // a/2^n ≤ 1/4 (halving is exact), then n times sin 2a = 2·sin a·cos a, cos 2a = 1 − 2·sin² a,
    // each pair put back on the unit circle (else its error would double with the angle).
    int doublings = 0;
    for (; a > 0.25; ++doublings) a *= 0.5;
    const CosSinc<double> cs = cosSinc(a * a);
    double s = a * cs.sinc;
    double c = cs.c;
    for (; doublings > 0; --doublings) {
        const double s2 = 2.0 * s * c;
        const double c2 = 1.0 - 2.0 * s * s;
        const double e = 0.5 * (1.0 - (c2 * c2 + s2 * s2));
        s = s2 + e * s2;
        c = c2 + e * c2;
    }
    const double sinc = s / x;
    // Beyond x = 1/4, cos x < 0.97: 1 − c is as good as c.
    if (!(y <= 1e300)) return {c, h * sinc, vv * (h * sinc), 1.0 - c};  // vv·h alone may overflow
    return {c, h * sinc, (vv * h) * sinc, 1.0 - c};
}

// One component of the compensated turn: q' = (1 + d)·(c·q + h_sinc·v), v' = (1 + d)·(c·v − k·q),
// each with its low part (and q, v with theirs on entry).
template <class T>
[[gnu::always_inline]] inline void turnCompensatedComponent(T& q, T& q_low, T& v, T& v_low, const T& c,
                                                            const Halves<T>& c_halves, const T& h_sinc,
                                                            const Halves<T>& h_sinc_halves, const T& k,
                                                            const Halves<T>& k_halves, const T& d) {
    const Halves<T> q_halves = halves(q);
    const Halves<T> v_halves = halves(v);
    const WithError<T> cq = twoProduct(c, c_halves, q, q_halves);
    const WithError<T> sv = twoProduct(h_sinc, h_sinc_halves, v, v_halves);
    const WithError<T> cv = twoProduct(c, c_halves, v, v_halves);
    const WithError<T> kq = twoProduct(k, k_halves, q, q_halves);
    const WithError<T> q_sum = twoSum(cq.value, sv.value);
    const WithError<T> v_sum = twoSum(cv.value, -kq.value);
    const T q_rest = ((cq.error + sv.error) + q_sum.error) + (c * q_low + h_sinc * v_low);
    const T v_rest = ((cv.error - kq.error) + v_sum.error) + (c * v_low - k * q_low);
    const WithError<T> new_q = twoSum(q_sum.value, q_rest + d * q_sum.value);
    const WithError<T> new_v = twoSum(v_sum.value, v_rest + d * v_sum.value);
    q = new_q.value;
    q_low = new_q.error;
    v = new_v.value;
    v_low = new_v.error;
}

// The compensated turn by the given factors. plain_d is the plain turn's Newton step: where it
// is above about 2^-41 (|q| more than about 2^-40 off one) the position gets that step instead
// of the exact factor, so that it comes back toward the sphere. The products need |h| < 2^500.
template <class T>
[[gnu::always_inline]] inline void turnCompensated(Vec4<T>& q, Vec4<T>& q_low, Vec4<T>& v, Vec4<T>& v_low,
                                                   const T& c, const T& h_sinc, const T& k,
                                                   const T& plain_d) {
    using vorn_kernel::detail::spread;
    const Halves<T> c_halves = halves(c);
    const Halves<T> h_sinc_halves = halves(h_sinc);
    const Halves<T> k_halves = halves(k);
    // 1 − (c² + k·h_sinc), to the rounding of its own size.
    const WithError<T> c_sq = twoProduct(c, c_halves, c, c_halves);
    const WithError<T> ks = twoProduct(k, k_halves, h_sinc, h_sinc_halves);
    const T one = T{} + 1.0;
    const WithError<T> less_c_sq = twoSum(one, -c_sq.value);
    const WithError<T> less_both = twoSum(less_c_sq.value, -ks.value);
    const T gap = less_both.value + (((less_c_sq.error + less_both.error) - c_sq.error) - ks.error);
    const auto off_sphere = vorn_kernel::detail::less(spread<T>(0x1.0p-82), plain_d * plain_d);
    const T d = vorn_kernel::detail::select(off_sphere, plain_d, 0.5 * gap);
    turnCompensatedComponent(q.x, q_low.x, v.x, v_low.x, c, c_halves, h_sinc, h_sinc_halves, k, k_halves, d);
    turnCompensatedComponent(q.y, q_low.y, v.y, v_low.y, c, c_halves, h_sinc, h_sinc_halves, k, k_halves, d);
    turnCompensatedComponent(q.z, q_low.z, v.z, v_low.z, c, c_halves, h_sinc, h_sinc_halves, k, k_halves, d);
    turnCompensatedComponent(q.w, q_low.w, v.w, v_low.w, c, c_halves, h_sinc, h_sinc_halves, k, k_halves, d);
}

}  // namespace vorn_world::detail
