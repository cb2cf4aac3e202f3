// The drift for a World that carries each position and velocity component as a value and the
// low part it lost to rounding (World::setCompensated). The turn's cos x, h·sinc x and k are
// those of the plain drift (drift.hpp); its products and sums keep their errors, and the scale
// 1 + d makes c² + k·h_sinc, the factor by which the turn multiplies q∧v, one to about 2^-100
// (where the plain drift's Newton step makes |q'| one to rounding). A position more than about
// 2^-40 off the unit sphere gets the plain Newton step instead, as long as it stays off.
// A lane the block cannot take (a large angle, a position far off the sphere, |h| ≥ 2^500) is
// redone alone: carried where the products cannot overflow, else by the plain drift with its
// low parts cleared.
#pragma once

#include <cmath>
#include <cstddef>

#include "vorn_kernel/lanes.hpp"
#include "vorn_world/block_lanes.hpp"
#include "vorn_world/drift.hpp"
#include "vorn_world/error_free.hpp"

namespace vorn_world::detail {

// Whether the plain Newton step is used instead of the exact factor: |q'|² more than about
// 2^-40 off one.
[[gnu::always_inline]] inline bool offSphere(double plain_d) { return 0x1.0p-82 < plain_d * plain_d; }
[[gnu::always_inline]] inline Mask4 offSphere(const F64x4& plain_d) {
    return vorn_kernel::detail::lessInHalves(vorn_kernel::detail::broadcast(0x1.0p-82), plain_d * plain_d);
}
[[gnu::always_inline]] inline double choose(bool where, double if_set, double otherwise) {
    return where ? if_set : otherwise;
}
[[gnu::always_inline]] inline F64x4 choose(const Mask4& where, const F64x4& if_set, const F64x4& otherwise) {
    return vorn_kernel::detail::select(where, if_set, otherwise);
}

// One component of the turn: q' = (1 + d)·(c·q + h_sinc·v), v' = (1 + d)·(c·v − k·q), each
// with its low part (and q, v with theirs on entry).
template <class T>
[[gnu::always_inline]] inline void turnCarriedComponent(T& q, T& q_low, T& v, T& v_low, const T& c,
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

// The turn of q and v (with low parts) by the given factors; plain_d is the plain drift's
// Newton step and off_sphere whether it is used.
template <class T, class Off>
[[gnu::always_inline]] inline void turnCarried(V4<T>& q, V4<T>& q_low, V4<T>& v, V4<T>& v_low, const T& c,
                                               const T& h_sinc, const T& k, const T& plain_d,
                                               const Off& off_sphere) {
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
    const T d = choose(off_sphere, plain_d, 0.5 * gap);
    turnCarriedComponent(q.x, q_low.x, v.x, v_low.x, c, c_halves, h_sinc, h_sinc_halves, k, k_halves, d);
    turnCarriedComponent(q.y, q_low.y, v.y, v_low.y, c, c_halves, h_sinc, h_sinc_halves, k, k_halves, d);
    turnCarriedComponent(q.z, q_low.z, v.z, v_low.z, c, c_halves, h_sinc, h_sinc_halves, k, k_halves, d);
    turnCarriedComponent(q.w, q_low.w, v.w, v_low.w, c, c_halves, h_sinc, h_sinc_halves, k, k_halves, d);
}

// driftAlone with low parts: carried where the turn's products cannot overflow and the position
// is near the sphere, else the plain drift with the low parts cleared.
inline void driftAloneCarried(double q[4], double q_low[4], double v[4], double v_low[4], double h) {
    const double vv = ((v[0] * v[0] + v[1] * v[1]) + v[2] * v[2]) + v[3] * v[3];
    const TurnFactors f = turnFactors(vv, h);
    const V4<double> q0{q[0], q[1], q[2], q[3]};
    const V4<double> v0{v[0], v[1], v[2], v[3]};
    const double plain_d = 0.5 * (1.0 - turnedLengthSq(q0, v0, vv, f.c, f.h_sinc));
    // |v| < 2^512 (v·v is finite), |h·sinc x| ≤ |h| and |k| ≤ |v|: no product overflows.
    if (!(std::fabs(h) < 0x1.0p500 && plain_d * plain_d < 0x1.0p-40)) {
        driftAlone(q, v, h);
        for (int i = 0; i < 4; ++i) q_low[i] = v_low[i] = 0.0;
        return;
    }
    V4<double> nq = q0, nv = v0;
    V4<double> nq_low{q_low[0], q_low[1], q_low[2], q_low[3]};
    V4<double> nv_low{v_low[0], v_low[1], v_low[2], v_low[3]};
    turnCarried(nq, nq_low, nv, nv_low, f.c, f.h_sinc, f.k, plain_d, offSphere(plain_d));
    q[0] = nq.x, q[1] = nq.y, q[2] = nq.z, q[3] = nq.w;
    v[0] = nv.x, v[1] = nv.y, v[2] = nv.z, v[3] = nv.w;
    q_low[0] = nq_low.x, q_low[1] = nq_low.y, q_low[2] = nq_low.z, q_low[3] = nq_low.w;
    v_low[0] = nv_low.x, v_low[1] = nv_low.y, v_low[2] = nv_low.z, v_low[3] = nv_low.w;
}

// The block's lanes redone alone, out of line (rows: q, q_low, v, v_low, four each).
[[gnu::noinline]] inline void driftEachAloneCarried(double (&rows)[16][4], double h) {
    for (int k = 0; k < 4; ++k) {
        double part[4][4];
        for (int r = 0; r < 16; ++r) part[r / 4][r % 4] = rows[r][k];
        driftAloneCarried(part[0], part[1], part[2], part[3], h);
        for (int r = 0; r < 16; ++r) rows[r][k] = part[r / 4][r % 4];
    }
}

// The drift of the four bodies of a block for time h, with low parts.
[[gnu::always_inline]] inline void driftCarried(Vec& q, Vec& q_low, Vec& v, Vec& v_low, double h) {
    alignas(32) double saved[16][4];
    const Vec* parts[4] = {&q, &q_low, &v, &v_low};
    for (std::size_t p = 0; p < 4; ++p)
        storeVec(Columns{saved[4 * p], saved[4 * p + 1], saved[4 * p + 2], saved[4 * p + 3]}, 0, *parts[p]);
    const F64x4 vv = dot(v, v);
    const F64x4 y = vv * (h * h);
    const CosSinc<F64x4> cs = cosSinc(y);
    const F64x4 h_sinc = h * cs.sinc;
    const F64x4 plain_d = 0.5 * (1.0 - turnedLengthSq(q, v, vv, cs.c, h_sinc));
    turnCarried(q, q_low, v, v_low, cs.c, h_sinc, (vv * h) * cs.sinc, plain_d, offSphere(plain_d));
    // As in drift(): every lane's y and 2^36·d² are at most 1/16 where their sum is below it.
    const F64x4 test = y + 0x1.0p36 * (plain_d * plain_d);
    if (vorn_kernel::detail::sumInOrder(test) < 0.0625 && std::fabs(h) < 0x1.0p500) return;
    driftEachAloneCarried(saved, h);
    Vec* out[4] = {&q, &q_low, &v, &v_low};
    for (std::size_t p = 0; p < 4; ++p)
        *out[p] = loadVec(Columns{saved[4 * p], saved[4 * p + 1], saved[4 * p + 2], saved[4 * p + 3]}, 0);
}

}  // namespace vorn_world::detail
