// The law for one body (T = double) or the bodies in the lanes (T = F64x4 or F64x8), written
// once so that all give the same bits. With p and the source s of unit length, s' = ±s the
// representative on p's side, δ = s' − p and h = |δ|²/2 = 1 − cos d:
//   t = δ + h·p is tangent at p toward s', with |t|² = sin²d = |δ|² − h²,
// which keeps full relative accuracy as d → 0 (no arc cosine, no 1 − cos d cancellation).
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "vorn_world.hpp"
#include "vorn_world/block_lanes.hpp"

namespace vorn_world::detail {

[[gnu::always_inline]] inline bool less(double a, double b) { return a < b; }
[[gnu::always_inline]] inline Mask4 less(const F64x4& a, double b) {
    return vorn_kernel::detail::lessInHalves(a, vorn_kernel::detail::broadcast(b));
}
[[gnu::always_inline]] inline Mask8 less(const F64x8& a, double b) { return a < b; }
// −x where value < 0, else x. The lanes use no comparison (one costs shuffles or scalar code
// in some builds): c = value + 0 turns −0 into +0, so the sign bit of c is set exactly where
// value < 0 or value is a NaN with its sign set, and NaNs (magnitude bits above those of
// infinity) are masked out.
[[gnu::always_inline]] inline double negateWhereNegative(double value, double x) {
    return value < 0.0 ? -x : x;
}
using U64x4 = std::uint64_t __attribute__((vector_size(32)));
using U64x8 = std::uint64_t __attribute__((vector_size(64)));
template <Lanes T>
[[gnu::always_inline]] inline T negateWhereNegative(const T& value, const T& x) {
    using Bits = std::conditional_t<std::is_same_v<T, F64x4>, U64x4, U64x8>;
    constexpr std::uint64_t sign = std::uint64_t{1} << 63;
    constexpr std::uint64_t above_infinity = 0x7ff0000000000001;  // the least NaN magnitude
    const Bits c = __builtin_bit_cast(Bits, value + 0.0);
    const Bits magnitude = c & ~sign;
    const Bits flip = c & (magnitude - above_infinity) & sign;  // sign of c, where magnitude < NaN's
    return __builtin_bit_cast(T, __builtin_bit_cast(Bits, x) ^ flip);
}
// +0 where `where` holds, else x (a bit operation in the lanes).
[[gnu::always_inline]] inline double zeroWhere(bool where, double x) { return where ? 0.0 : x; }
template <Lanes T, class Mask>
[[gnu::always_inline]] inline T zeroWhere(const Mask& where, const T& x) {
    return __builtin_bit_cast(T, __builtin_bit_cast(Mask, x) & ~where);
}
[[gnu::always_inline]] inline double root(double x) { return vorn_kernel::detail::squareRoot(x); }
template <Lanes T>
[[gnu::always_inline]] inline T root(const T& x) {
    return vorn_kernel::detail::squareRootsWithoutErrno(x);
}

// The chord geometry of p and the source: t (tangent toward s'), h = 1 − cos d and sin²d.
template <class T>
struct Chord {
    V4<T> t;
    T h;
    T sin_sq;
};

// The source s comes with each coordinate in every lane.
template <class T>
[[gnu::always_inline]] inline Chord<T> chord(const V4<T>& p, const V4<T>& s) {
    const T dot = ((p.x * s.x + p.y * s.y) + p.z * s.z) + p.w * s.w;
    const T dx = negateWhereNegative(dot, s.x) - p.x;
    const T dy = negateWhereNegative(dot, s.y) - p.y;
    const T dz = negateWhereNegative(dot, s.z) - p.z;
    const T dw = negateWhereNegative(dot, s.w) - p.w;
    const T dd = ((dx * dx + dy * dy) + dz * dz) + dw * dw;
    const T h = 0.5 * dd;
    return Chord<T>{{dx + h * p.x, dy + h * p.y, dz + h * p.z, dw + h * p.w}, h, dd - h * h};
}

// acc + gm·t / ((sin²d + ε)·sin d), or acc + 0 below the cut-off.
template <class T>
[[gnu::always_inline]] inline void addPull(const V4<T>& p, const V4<T>& s, const T& gm, V4<T>& acc) {
    const Chord<T> c = chord(p, s);
    const T sin_d = root(c.sin_sq);
    const T k = zeroWhere(less(sin_d, GRAVITY_CUTOFF), gm / ((c.sin_sq + GRAVITY_SOFTENING) * sin_d));
    acc.x = acc.x + k * c.t.x;
    acc.y = acc.y + k * c.t.y;
    acc.z = acc.z + k * c.t.z;
    acc.w = acc.w + k * c.t.w;
}

// A source's value, stored four times over, in every lane.
template <Lanes T>
[[gnu::always_inline]] inline T spread(const double* four_times) {
    const F64x4 four = vorn_kernel::detail::load4(four_times);
    if constexpr (std::is_same_v<T, F64x4>) {
        return four;
    } else {
        return __builtin_shufflevector(four, four, 0, 1, 2, 3, 0, 1, 2, 3);
    }
}

// Calls add(source, G·m) for each of `count` sources in order, each value in every lane. A
// source is 20 doubles, x, y, z, w and G·m each four times over (World::State::sources): read
// as whole vectors, where a value spread over the lanes in the loop would cost shuffles in the
// baseline build.
template <Lanes T, class Add>
[[gnu::always_inline]] inline void forEachSource(const double* sources, std::size_t count, Add&& add) {
    for (std::size_t j = 0; j < count; ++j) {
        const double* s = sources + World::State::doubles_per_source * j;
        add(V4<T>{spread<T>(s), spread<T>(s + 4), spread<T>(s + 8), spread<T>(s + 12)}, spread<T>(s + 16));
    }
}

// The acceleration of the bodies at p from `count` sources, added in their order to +0.
template <Lanes T>
[[gnu::always_inline]] inline V4<T> pullOfSources(const V4<T>& p, const double* sources, std::size_t count) {
    const T zero{};
    V4<T> acc{zero, zero, zero, zero};
    forEachSource<T>(
        sources, count, [&](const V4<T>& source, const T& gm) __attribute__((always_inline)) {
            addPull(p, source, gm, acc);
        });
    return acc;
}

// gm·atan(√((1+ε)/ε)·tan d) / √(ε(1+ε)), as atan2(√(1+ε)·sin d, √ε·cos d) with cos d = 1 − h.
inline double potential(HomVec4 p, HomVec4 s, double gm) {
    const Chord<double> c = chord(V4<double>{p.x, p.y, p.z, p.w}, V4<double>{s.x, s.y, s.z, s.w});
    const double eps = GRAVITY_SOFTENING;
    const double one_plus = 1.0 + eps;
    const double angle = std::atan2(std::sqrt(one_plus) * std::sqrt(c.sin_sq), std::sqrt(eps) * (1.0 - c.h));
    return gm * (angle / std::sqrt(eps * one_plus));
}

}  // namespace vorn_world::detail
