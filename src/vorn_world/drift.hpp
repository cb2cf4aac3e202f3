// The drift of the kick–drift–kick steps: each body follows its great circle for time h.
// With x = |v|·h, y = x² = (v·v)·h², sinc x = sin x / x and d = (1 − |q'|²)/2,
//   q' = cos x·q + h·sinc x·v,   v' = cos x·v − (v·v)·h·sinc x·q,
// both scaled by 1 + d: one Newton step toward |q'| = 1 (q enters of unit length to rounding),
// with |q'|² from q·q, q·v and v·v. The common factor keeps q∧v and |v| to rounding, where the
// rounding of cos x and sinc x alone would change both by a factor that is the same every step
// of a body turning at a constant rate. The velocity's radial part left by rounding is removed
// by the kick that follows every drift.
// For |x| < 1/4, cos x and sinc x are polynomials in y: no square root, no division, and a body
// at rest needs no case of its own. A block with a lane whose angle is larger, or whose
// position is off the unit sphere by more than about 2^-20 (as a user may set it), is redone
// lane by lane (the same bits for the other lanes): the polynomials at x/2^n ≤ 1/4 and n angle
// doublings, or a division by the exact length. Only +, −, ·, / and the correctly rounded
// square root, so the bits are the same on every target.
#pragma once

#include <cmath>
#include <limits>

#include "vorn_kernel/lanes.hpp"
#include "vorn_world/block_lanes.hpp"

namespace vorn_world::detail {

// cos x and sin x / x for |x| ≤ 1/4 from y = x², Taylor terms up to y⁶ (the first omitted is
// below 5e-20), evaluated in Estrin's order for a short chain. T = double or F64x4.
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

// |q'|² for q' = c·q + h_sinc·v, from q·q, q·v and v·v (so off the chain of q' itself).
template <class T>
[[gnu::always_inline]] inline T turnedLengthSq(const V4<T>& q, const V4<T>& v, const T& vv, const T& c,
                                               const T& h_sinc) {
    return ((c * c) * dot(q, q) + (2.0 * c * h_sinc) * dot(q, v)) + (h_sinc * h_sinc) * vv;
}

// q and v turned by the angle whose cos x, h·sinc x and k = (v·v)·h·sinc x are given, and
// scaled by 1 + d: q' = c·q + (h_sinc·v + d·c·q), v' = c·v + (d·c·v − k·q). The scaling
// enters the smaller term before the last rounding: added to a rounded c·q, a correction d
// below half a unit in its last place would be lost, and as the rounding of cos x and sinc x
// is the same every step of a body turning at a constant rate, so would be the loss.
template <class T>
struct Turned {
    V4<T> q, v;
};
template <class T>
[[gnu::always_inline]] inline Turned<T> turn(const V4<T>& q, const V4<T>& v, const T& c, const T& h_sinc,
                                             const T& k, const T& d) {
    const V4<T> cq{c * q.x, c * q.y, c * q.z, c * q.w};
    const V4<T> cv{c * v.x, c * v.y, c * v.z, c * v.w};
    return {{cq.x + (h_sinc * v.x + d * cq.x), cq.y + (h_sinc * v.y + d * cq.y),
             cq.z + (h_sinc * v.z + d * cq.z), cq.w + (h_sinc * v.w + d * cq.w)},
            {cv.x + (d * cv.x - k * q.x), cv.y + (d * cv.y - k * q.y), cv.z + (d * cv.z - k * q.z),
             cv.w + (d * cv.w - k * q.w)}};
}

// cos x, h·sinc x and k = (v·v)·h·sinc x of one body's turn, for any angle (NaN for an
// infinite or NaN speed).
struct TurnFactors {
    double c, h_sinc, k;
};
inline TurnFactors turnFactors(double vv, double h) {
    const double y = vv * (h * h);
    if (y < 0.0625) {
        const CosSinc<double> cs = cosSinc(y);
        return {cs.c, h * cs.sinc, (vv * h) * cs.sinc};
    }
    const double speed = vorn_kernel::detail::squareRoot(vv);
    const double x = speed * std::fabs(h);
    // Beyond 1e150 radians (where y would overflow) the angle is taken modulo the double nearest
    // 2π, exactly: as good a place on the circle as the turn's digits allow.
    double a = y <= 1e300 ? x : std::fmod(x, 6.283185307179586);
    if (!std::isfinite(a)) {
        const double nan = std::numeric_limits<double>::quiet_NaN();
        return {nan, nan, nan};
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
    if (!(y <= 1e300)) return {c, h * sinc, vv * (h * sinc)};  // vv·h alone may overflow
    return {c, h * sinc, (vv * h) * sinc};
}

// The drift of one body, for the lanes the block cannot take: any angle, any nonzero length of q.
inline void driftAlone(double q[4], double v[4], double h) {
    const double vv = ((v[0] * v[0] + v[1] * v[1]) + v[2] * v[2]) + v[3] * v[3];
    const TurnFactors f = turnFactors(vv, h);
    const double c = f.c, h_sinc = f.h_sinc, k = f.k;
    const V4<double> q0{q[0], q[1], q[2], q[3]};
    const V4<double> v0{v[0], v[1], v[2], v[3]};
    const double length_sq = turnedLengthSq(q0, v0, vv, c, h_sinc);
    const double d = 0.5 * (1.0 - length_sq);
    V4<double> nq, nv;
    if (d * d < 0x1.0p-40) {
        const Turned<double> t = turn(q0, v0, c, h_sinc, k, d);
        nq = t.q;
        nv = t.v;
    } else {
        // Far off the sphere (a position as the user set it): divided by the length instead.
        const Turned<double> t = turn(q0, v0, c, h_sinc, k, 0.0);
        const double n = vorn_kernel::detail::squareRoot(length_sq);
        nq = {t.q.x / n, t.q.y / n, t.q.z / n, t.q.w / n};
        nv = {t.v.x / n, t.v.y / n, t.v.z / n, t.v.w / n};
    }
    q[0] = nq.x, q[1] = nq.y, q[2] = nq.z, q[3] = nq.w;
    v[0] = nv.x, v[1] = nv.y, v[2] = nv.z, v[3] = nv.w;
}

// driftAlone for the four bodies of a block given as rows q.x, q.y, q.z, q.w, v.x, …, v.w,
// in place. For a lane the block can take it gives the block's bits, so a block with any
// lane it cannot take is redone here whole (out of line: the loop then keeps its registers).
[[gnu::noinline]] inline void driftEachAlone(double (&rows)[8][4], double h) {
    for (int k = 0; k < 4; ++k) {
        double q[4] = {rows[0][k], rows[1][k], rows[2][k], rows[3][k]};
        double v[4] = {rows[4][k], rows[5][k], rows[6][k], rows[7][k]};
        driftAlone(q, v, h);
        for (int i = 0; i < 4; ++i) {
            rows[i][k] = q[i];
            rows[4 + i][k] = v[i];
        }
    }
}

// The drift of the four bodies of a block for time h.
[[gnu::always_inline]] inline void drift(Vec& q, Vec& v, double h) {
    alignas(32) double saved[8][4];
    storeVec(Columns{saved[0], saved[1], saved[2], saved[3]}, 0, q);
    storeVec(Columns{saved[4], saved[5], saved[6], saved[7]}, 0, v);
    const F64x4 vv = dot(v, v);
    const F64x4 y = vv * (h * h);
    const CosSinc<F64x4> cs = cosSinc(y);
    const F64x4 h_sinc = h * cs.sinc;
    const F64x4 d = 0.5 * (1.0 - turnedLengthSq(q, v, vv, cs.c, h_sinc));
    const Turned<F64x4> t = turn(q, v, cs.c, h_sinc, (vv * h) * cs.sinc, d);
    q = t.q;
    v = t.v;
    // Every lane's y and 2^36·d² are at most 1/16 where their sum over the lanes is below it.
    const F64x4 test = y + 0x1.0p36 * (d * d);
    if (vorn_kernel::detail::sumInOrder(test) < 0.0625) return;
    driftEachAlone(saved, h);
    q = loadVec(Columns{saved[0], saved[1], saved[2], saved[3]}, 0);
    v = loadVec(Columns{saved[4], saved[5], saved[6], saved[7]}, 0);
}

}  // namespace vorn_world::detail
