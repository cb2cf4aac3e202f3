// The kick and the drift of the kick–drift–kick steps, each written once over the motion of one
// body (T = double) or of the four bodies of a block (T = F64x4), for each kind of Motion.
//
// A Motion holds positions and velocities and the low parts that its rounding lost of those it
// carries (Carry): none (kdk's plain steps), the positions' (yoshida4's plain steps: its orbits
// stay round enough for their rounding to repeat, docs/world.md "Rounding that repeats"), or
// every component's (World::setCompensated). The kinds differ only in how a kick's increment is
// added (kickBy) and how a turn is applied (turnBy); the shapes of the kick, the drift and the
// lane-by-lane redo are the same for all.
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

// Which low parts a Motion carries from step to step.
enum class Carry { none, positions, all };

template <class T, Carry carry>
struct Motion;

// v + increment, less its part along q.
template <class T>
[[gnu::always_inline]] inline void kickPlain(const Vec4<T>& q, Vec4<T>& v, const Vec4<T>& increment) {
    const Vec4<T> sum = v + increment;
    v = sum - dot(sum, q) * q;
}

template <class T>
struct Motion<T, Carry::none> {
    static constexpr std::size_t part_count = 2;
    Vec4<T> q, v;

    std::array<Vec4<T>*, part_count> parts() { return {&q, &v}; }
    [[gnu::always_inline]] void kickBy(const Vec4<T>& increment) { kickPlain(q, v, increment); }
    [[gnu::always_inline]] void turnBy(const T& c, const T& /*c_minus*/, const T& h_sinc, const T& k,
                                       const T& plain_d) {
        turn(q, v, c, h_sinc, k, plain_d);
    }
    // Whether turnBy serves a step of h (else a plain turn, with low parts cleared).
    static bool takes(double /*h*/) { return true; }
    void clearLows() {}
};

// The plain motion with the positions' low parts: turned by increments, each position's
// rounding kept in q_low and added back in by the next turn.
template <class T>
struct Motion<T, Carry::positions> {
    static constexpr std::size_t part_count = 3;
    Vec4<T> q, v, q_low;

    std::array<Vec4<T>*, part_count> parts() { return {&q, &v, &q_low}; }
    [[gnu::always_inline]] void kickBy(const Vec4<T>& increment) { kickPlain(q, v, increment); }
    [[gnu::always_inline]] void turnBy(const T& /*c*/, const T& c_minus, const T& h_sinc, const T& k,
                                       const T& plain_d) {
        turnByIncrements(q, q_low, v, c_minus, h_sinc, k, plain_d);
    }
    static bool takes(double /*h*/) { return true; }
    void clearLows() { q_low = vorn_kernel::detail::zeroVec4<T>(); }
};

template <class T>
struct Motion<T, Carry::all> {
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
    [[gnu::always_inline]] void turnBy(const T& c, const T& /*c_minus*/, const T& h_sinc, const T& k,
                                       const T& plain_d) {
        turnCompensated(q, q_low, v, v_low, c, h_sinc, k, plain_d);
    }
    // The compensated turn's products cannot overflow for |h| < 2^500 (|v| < 2^512 as v·v is
    // finite, |h·sinc x| ≤ |h| and |k| ≤ |v|).
    static bool takes(double h) { return std::fabs(h) < 0x1.0p500; }
    void clearLows() { q_low = v_low = vorn_kernel::detail::zeroVec4<T>(); }
};

// The kick by h of the accelerations g and f/m.
template <class T, Carry carry>
[[gnu::always_inline]] inline void kick(Motion<T, carry>& m, const Vec4<T>& g, const Vec4<T>& f_over_m,
                                        double h) {
    m.kickBy(h * (g + f_over_m));
}

// The drift of one body for time h, for any angle and any nonzero length of q.
template <Carry carry>
inline void driftAlone(Motion<double, carry>& m, double h) {
    const double vv = dot(m.v, m.v);
    const TurnFactors f = turnFactors(vv, h);
    const double length_sq = turnedLengthSq(m.q, m.v, vv, f.c, f.h_sinc);
    const double plain_d = 0.5 * (1.0 - length_sq);
    const bool near_sphere = plain_d * plain_d < 0x1.0p-40;
    // Turns by increments serve round orbits, whose steps turn a body little. They correct the
    // length along q instead of q', which leaves cos²x·(1 − cos x) of its error (growing where
    // cos x < −0.755): a turn of a radian or more is taken plainly (docs/world.md).
    const bool small_turn = carry != Carry::positions || vv * (h * h) < 1.0;
    if (near_sphere && m.takes(h) && small_turn) {
        m.turnBy(f.c, f.c_minus, f.h_sinc, f.k, plain_d);
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
template <Carry carry>
using MotionRows = double[Motion<F64x4, carry>::part_count * 4][4];

// driftAlone for each of the four bodies of a block saved as rows, in place. For a lane the
// block can take it gives the block's bits, so a block with any lane it cannot take is redone
// here whole (out of line: the block's loop then keeps its registers).
template <Carry carry>
[[gnu::noinline]] inline void driftEachAlone(MotionRows<carry>& rows, double h) {
    for (std::size_t lane = 0; lane < 4; ++lane) {
        Motion<double, carry> body;
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
template <Carry carry>
[[gnu::always_inline]] inline void drift(Motion<F64x4, carry>& m, double h) {
    using vorn_kernel::detail::storeVec;
    alignas(32) MotionRows<carry> saved;
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
    F64x4 c_minus{};
    if constexpr (carry == Carry::positions) c_minus = oneLessCos(y);
    m.turnBy(cs.c, c_minus, h_sinc, (vv * h) * cs.sinc, plain_d);
    // Every lane's y and 2^36·d² are at most 1/16 where their sum over the lanes is below it.
    const F64x4 test = y + 0x1.0p36 * (plain_d * plain_d);
    if (vorn_kernel::detail::sumInOrder(test) < 0.0625 && m.takes(h)) return;
    driftEachAlone<carry>(saved, h);
    for (std::size_t p = 0; p < parts.size(); ++p) {
        *parts[p] = vorn_kernel::detail::loadVec<F64x4>(
            vorn_kernel::detail::ConstColumns{saved[4 * p], saved[4 * p + 1], saved[4 * p + 2],
                                              saved[4 * p + 3]},
            0);
    }
}

}  // namespace vorn_world::detail
