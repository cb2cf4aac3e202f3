// The tree walk (tree_gravity.hpp) for one body (T = double) or for the bodies in the lanes
// (T = F64x4 or F64x8), written once: every lane meets the cells in the one depth-first order
// and adds, under a mask, exactly the terms its own walk adds, so a body's result is the same
// bits whichever bodies share its lanes and whatever the lanes' width.
#pragma once

#include <array>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "vorn_kernel/lanes.hpp"
#include "vorn_world/pull.hpp"
#include "vorn_world/tree_gravity.hpp"

namespace vorn_world::detail {

// Which lanes take part: a bool for one body.
template <class T>
struct WalkMaskOf {
    using type = vorn_kernel::detail::MaskOf<T>;
};
template <>
struct WalkMaskOf<double> {
    using type = bool;
};
template <class T>
using WalkMask = typename WalkMaskOf<T>::type;

template <class T>
[[gnu::always_inline]] inline bool anyOf(const WalkMask<T>& mask) {
    if constexpr (std::same_as<T, double>) {
        return mask;
    } else {
        constexpr std::size_t count = vorn_kernel::detail::lane_count<T>;
        std::uint64_t lanes[count];
        __builtin_memcpy(lanes, &mask, sizeof lanes);
        std::uint64_t any = 0;
        for (std::size_t k = 0; k < count; ++k) any |= lanes[k];
        return any != 0;
    }
}

// a and not b.
template <class T>
[[gnu::always_inline]] inline WalkMask<T> andNot(const WalkMask<T>& a, const WalkMask<T>& b) {
    if constexpr (std::same_as<T, double>) {
        return a && !b;
    } else {
        return a & ~b;
    }
}

template <class T>
[[gnu::always_inline]] inline WalkMask<T> both(const WalkMask<T>& a, const WalkMask<T>& b) {
    if constexpr (std::same_as<T, double>) {
        return a && b;
    } else {
        return a & b;
    }
}

template <class T>
[[gnu::always_inline]] inline WalkMask<T> either(const WalkMask<T>& a, const WalkMask<T>& b) {
    if constexpr (std::same_as<T, double>) {
        return a || b;
    } else {
        return a | b;
    }
}

// f(c) = 1 / ((1 − c² + ε)·√(1 − c²)) and its first two derivatives, at c with 1 − c² = sin_sq:
// the law's pull toward s is gm·f(p·s)·(s − (p·s)·p).
template <class T>
struct PullFactors {
    T f, df, ddf;
};

// One division and one square root: with t = sin d = √sin_sq and R = 1/(sin_sq·(sin_sq + ε)·t),
// f = sin_sq·R, a = 1/(sin_sq + ε) = sin_sq·t·R and b = 1/sin_sq = (sin_sq + ε)·t·R.
template <class T>
[[gnu::always_inline]] inline PullFactors<T> pullFactors(const T& c, const T& sin_sq, double softening) {
    const T t = vorn_kernel::detail::squareRoot(sin_sq);
    const T softened = sin_sq + softening;
    const T r = 1.0 / ((sin_sq * softened) * t);
    const T f = sin_sq * r;
    const T a = (sin_sq * t) * r;
    const T b = (softened * t) * r;
    const T g = 2.0 * a + b;
    const T c_sq = c * c;
    return {f, c * f * g, f * ((g + c_sq * g * g) + 2.0 * c_sq * (2.0 * a * a + b * b))};
}

template <class T>
[[gnu::always_inline]] inline Vec4<T> spreadVec(const Vec4<double>& v) {
    using vorn_kernel::detail::spread;
    return {spread<T>(v.x), spread<T>(v.y), spread<T>(v.z), spread<T>(v.w)};
}

// Q·p for the symmetric Q stored as its upper triangle.
template <class T>
[[gnu::always_inline]] inline Vec4<T> times(const double (&q)[10], const Vec4<T>& p) {
    return {((q[0] * p.x + q[1] * p.y) + q[2] * p.z) + q[3] * p.w,
            ((q[1] * p.x + q[4] * p.y) + q[5] * p.z) + q[6] * p.w,
            ((q[2] * p.x + q[5] * p.y) + q[7] * p.z) + q[8] * p.w,
            ((q[3] * p.x + q[6] * p.y) + q[8] * p.z) + q[9] * p.w};
}

// The expansion of the cell's pull at p about u' = σ·u (σ = sign(p·u)), whose chord to p is
// delta, to the first order:
//   M·f·w + f′·(p·D′)·w + f·(D′ − (p·D′)·p),
// and to the second, plus ½·f″·(pᵀQp)·w + f′·(Qp − (pᵀQp)·p), with w = u′ − c·p, c = p·u′,
// D′ = σ·D.
template <class T>
[[gnu::always_inline]] inline Vec4<T> expansion(const TreeMoments& cell, const Vec4<T>& p, const T& sigma,
                                                const Vec4<T>& delta, const TreeOptions& options) {
    const T dd = dot(delta, delta);
    const T h = 0.5 * dd;
    const T c = 1.0 - h;
    const PullFactors<T> k = pullFactors(c, dd - h * h, options.softening);
    const Vec4<T> w = delta + h * p;  // u′ − c·p
    const Vec4<T> d = sigma * spreadVec<T>(cell.first);
    const T pd = dot(p, d);
    const Vec4<T> tangent_d = d - pd * p;
    if (options.order < 2) return (cell.mass * k.f + k.df * pd) * w + k.f * tangent_d;
    const Vec4<T> qp = times(cell.second, p);
    const T pqp = dot(p, qp);
    const Vec4<T> tangent_qp = qp - pqp * p;
    return (((cell.mass * k.f + k.df * pd + 0.5 * k.ddf * pqp) * w + k.f * tangent_d) + k.df * tangent_qp);
}

// Added to sin r in the test for a cell on one side of p's equator: covers the rounding of
// p·u and of the radius.
inline constexpr double equator_margin = 1e-12;

// start plus the pull of the tree's sources on the bodies at p in the lanes of `active`; the
// other lanes keep start. counts (one body only) accumulate what the walk did.
template <class T>
[[gnu::always_inline]] inline Vec4<T> walkTree(const GravityTree& tree, const Vec4<T>& p,
                                               const WalkMask<T>& active, const Vec4<T>& start,
                                               TreeWalkCounts* counts = nullptr) {
    using vorn_kernel::detail::less;
    using vorn_kernel::detail::select;
    using vorn_kernel::detail::spread;
    Vec4<T> acc = start;
    if (tree.cells.empty()) return acc;
    const double softening = tree.options.softening;
    // Depth first, the stack never holds more than the depth plus one (at most 33 below 2^32
    // sources).
    struct Pending {
        std::uint32_t cell;
        WalkMask<T> lanes;
    };
    std::array<Pending, 64> stack;
    std::size_t top = 0;
    stack[top++] = {0, active};
    while (top > 0) {
        const Pending at = stack[--top];
        const TreeCell& cell = tree.cells[at.cell];
        const Vec4<T> u = spreadVec<T>(cell.centre);
        const T along = dot(p, u);
        const T sigma = select(less(along, spread<T>(0.0)), spread<T>(-1.0), spread<T>(1.0));
        const Vec4<T> delta = sigma * u - p;
        const T beyond = spread<T>(cell.sin_radius + equator_margin);
        const WalkMask<T> one_side = either<T>(less(beyond, along), less(along, -beyond));
        const WalkMask<T> far = less(spread<T>(cell.open_chord_sq), dot(delta, delta));
        // The lanes that expand the cell: on one side of their equator and far enough.
        const WalkMask<T> expand = both<T>(at.lanes, both<T>(one_side, far));
        if (anyOf<T>(expand)) {
            const Vec4<T> term = expansion(tree.moments[at.cell], p, sigma, delta, tree.options);
            acc = select(expand, acc + term, acc);
            if (counts != nullptr) ++counts->accepted;
        }
        const WalkMask<T> rest = andNot<T>(at.lanes, expand);
        if (!anyOf<T>(rest)) continue;
        if (cell.upper != 0) {
            if (counts != nullptr) ++counts->opened;
            stack[top++] = {cell.upper, rest};
            stack[top++] = {at.cell + 1, rest};
            continue;
        }
        for (std::uint32_t k = cell.begin; k < cell.end; ++k) {
            Vec4<T> pulled = acc;
            addPull(p, spreadVec<T>(tree.points[k]), spread<T>(tree.gm[k]), softening, pulled);
            acc = select(rest, pulled, acc);
        }
        if (counts != nullptr)
            (anyOf<T>(andNot<T>(rest, one_side)) ? counts->exact_straddling : counts->exact_near) +=
                cell.end - cell.begin;
    }
    return acc;
}

}  // namespace vorn_world::detail
