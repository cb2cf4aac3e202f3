// The kick and the drift of the kick–drift–kick steps, each written once over the motion of one
// body (T = double) or of the four bodies of a block (T = F64x4), plain or compensated.
//
// A Motion holds positions and velocities and, when compensated (World::setCompensated), the
// low part of each component that its rounding lost. The two kinds differ only in how a kick's
// increment is added (kickBy) and how a turn is applied (turnBy); the shapes of the kick, the
// drift and the lane-by-lane redo are the same for both.
//
// The kick adds h·(g + f/m) and removes the radial part. The drift turns each body along its
// great circle (turn.hpp). For |x| < 1/4 the block's polynomials serve; a block with a lane whose
// angle is larger, or whose position is off the sphere by more than about 2^-20, is redone lane
// by lane (the same bits for the other lanes): sine and cosine from x/2^n and n doublings, or a
// division by the exact length.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>

#include "vorn_kernel/lanes.hpp"
#include "vorn_world/error_free.hpp"
#include "vorn_world/turn.hpp"

namespace vorn_world::detail {

using vorn_kernel::detail::F64x4;
using vorn_kernel::detail::Vec4;

template <class T, bool compensated>
struct Motion;

template <class T>
struct Motion<T, false> {
    static constexpr bool compensated = false;
    static constexpr std::size_t part_count = 2;
    Vec4<T> q, v;

    std::array<Vec4<T>*, part_count> parts() { return {&q, &v}; }
    // v + increment, less its part along q.
    [[gnu::always_inline]] void kickBy(const Vec4<T>& increment) {
        const Vec4<T> sum = v + increment;
        v = sum - dot(sum, q) * q;
    }
    [[gnu::always_inline]] void turnBy(const T& c, const T& h_sinc, const T& k, const T& plain_d) {
        turn(q, v, c, h_sinc, k, plain_d);
    }
    // Whether turnBy serves a step of h (else a plain turn, with low parts cleared).
    static bool takes(double /*h*/) { return true; }
    void clearLows() {}
};

template <class T>
struct Motion<T, true> {
    static constexpr bool compensated = true;
    static constexpr std::size_t part_count = 4;
    Vec4<T> q, v, q_low, v_low;

    std::array<Vec4<T>*, part_count> parts() { return {&q, &v, &q_low, &v_low}; }
    // The increment less the radial part of v + v_low + increment, added with its rounding
    // error kept in the low part.
    [[gnu::always_inline]] void kickBy(const Vec4<T>& increment) {
        const T radial = dot(v + increment, q) + dot(v_low, q);
        const Vec4<T> tangential = increment - radial * q;
        addCompensated(v.x, v_low.x, tangential.x);
        addCompensated(v.y, v_low.y, tangential.y);
        addCompensated(v.z, v_low.z, tangential.z);
        addCompensated(v.w, v_low.w, tangential.w);
    }
    [[gnu::always_inline]] void turnBy(const T& c, const T& h_sinc, const T& k, const T& plain_d) {
        turnCompensated(q, q_low, v, v_low, c, h_sinc, k, plain_d);
    }
    // The compensated turn's products cannot overflow for |h| < 2^500 (|v| < 2^512 as v·v is
    // finite, |h·sinc x| ≤ |h| and |k| ≤ |v|).
    static bool takes(double h) { return std::fabs(h) < 0x1.0p500; }
    void clearLows() { q_low = v_low = vorn_kernel::detail::zeroVec4<T>(); }
};

// The kick by h of the accelerations g and f/m.
template <class T, bool compensated>
[[gnu::always_inline]] inline void kick(Motion<T, compensated>& m, const Vec4<T>& g, const Vec4<T>& f_over_m,
                                        double h) {
    m.kickBy(h * (g + f_over_m));
}

// The drift of one body for time h, for any angle and any nonzero length of q.
template <bool compensated>
inline void driftAlone(Motion<double, compensated>& m, double h) {
    const double vv = dot(m.v, m.v);
    const TurnFactors f = turnFactors(vv, h);
    const double length_sq = turnedLengthSq(m.q, m.v, vv, f.c, f.h_sinc);
    const double plain_d = 0.5 * (1.0 - length_sq);
    const bool near_sphere = plain_d * plain_d < 0x1.0p-40;
    if (near_sphere && m.takes(h)) {
        m.turnBy(f.c, f.h_sinc, f.k, plain_d);
        return;
    }
    m.clearLows();
    if (near_sphere) {
        turn(m.q, m.v, f.c, f.h_sinc, f.k, plain_d);
        return;
    }
    // Far off the sphere (a position as the user set it): divided by the length instead.
    turn(m.q, m.v, f.c, f.h_sinc, f.k, 0.0);
    const double n = vorn_kernel::detail::squareRoot(length_sq);
    m.q = m.q / n;
    m.v = m.v / n;
}

// The block's motion as rows of four lanes (part p's component c in row 4·p + c), and back.
template <bool compensated>
using MotionRows = double[Motion<F64x4, compensated>::part_count * 4][4];

// driftAlone for each of the four bodies of a block saved as rows, in place. For a lane the
// block can take it gives the block's bits, so a block with any lane it cannot take is redone
// here whole (out of line: the block's loop then keeps its registers).
template <bool compensated>
[[gnu::noinline]] inline void driftEachAlone(MotionRows<compensated>& rows, double h) {
    for (std::size_t lane = 0; lane < 4; ++lane) {
        Motion<double, compensated> body;
        const auto parts = body.parts();
        for (std::size_t p = 0; p < parts.size(); ++p) {
            *parts[p] = {rows[4 * p][lane], rows[4 * p + 1][lane], rows[4 * p + 2][lane],
                         rows[4 * p + 3][lane]};
        }
        driftAlone(body, h);
        for (std::size_t p = 0; p < parts.size(); ++p) {
            rows[4 * p][lane] = parts[p]->x;
            rows[4 * p + 1][lane] = parts[p]->y;
            rows[4 * p + 2][lane] = parts[p]->z;
            rows[4 * p + 3][lane] = parts[p]->w;
        }
    }
}

// The drift of the four bodies of a block for time h.
template <bool compensated>
[[gnu::always_inline]] inline void drift(Motion<F64x4, compensated>& m, double h) {
    using vorn_kernel::detail::storeVec;
    alignas(32) MotionRows<compensated> saved;
    const auto parts = m.parts();
    for (std::size_t p = 0; p < parts.size(); ++p) {
        storeVec(
            vorn_kernel::detail::Columns{saved[4 * p], saved[4 * p + 1], saved[4 * p + 2], saved[4 * p + 3]},
            0, *parts[p]);
    }
    const F64x4 vv = dot(m.v, m.v);
    const F64x4 y = vv * (h * h);
    const CosSinc<F64x4> cs = cosSinc(y);
    const F64x4 h_sinc = h * cs.sinc;
    const F64x4 plain_d = 0.5 * (1.0 - turnedLengthSq(m.q, m.v, vv, cs.c, h_sinc));
    m.turnBy(cs.c, h_sinc, (vv * h) * cs.sinc, plain_d);
    // Every lane's y and 2^36·d² are at most 1/16 where their sum over the lanes is below it.
    const F64x4 test = y + 0x1.0p36 * (plain_d * plain_d);
    if (vorn_kernel::detail::sumInOrder(test) < 0.0625 && m.takes(h)) return;
    driftEachAlone<compensated>(saved, h);
    for (std::size_t p = 0; p < parts.size(); ++p) {
        *parts[p] = vorn_kernel::detail::loadVec<F64x4>(
            vorn_kernel::detail::ConstColumns{saved[4 * p], saved[4 * p + 1], saved[4 * p + 2],
                                              saved[4 * p + 3]},
            0);
    }
}

}  // namespace vorn_world::detail
