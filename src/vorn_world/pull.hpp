// The law for one body (T = double) or four (T = F64x4), written once so that both give the
// same bits. With p and the source s of unit length, s' = ±s the representative on p's side,
// δ = s' − p and h = |δ|²/2 = 1 − cos d:
//   t = δ + h·p is tangent at p toward s', with |t|² = sin²d = |δ|² − h²,
// which keeps full relative accuracy as d → 0 (no arc cosine, no 1 − cos d cancellation).
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "vorn_world.hpp"
#include "vorn_world/block_lanes.hpp"

namespace vorn_world::detail {

[[gnu::always_inline]] inline bool less(double a, double b) { return a < b; }
[[gnu::always_inline]] inline Mask4 less(const F64x4& a, double b) {
    return vorn_kernel::detail::lessInHalves(a, vorn_kernel::detail::broadcast(b));
}
// −x where value < 0, else x. The lanes use no comparison (one costs shuffles or scalar code
// in some builds): c = value + 0 turns −0 into +0, so the sign bit of c is set exactly where
// value < 0 or value is a NaN with its sign set, and NaNs (magnitude bits above those of
// infinity) are masked out.
[[gnu::always_inline]] inline double negateWhereNegative(double value, double x) {
    return value < 0.0 ? -x : x;
}
[[gnu::always_inline]] inline F64x4 negateWhereNegative(const F64x4& value, const F64x4& x) {
    using U64x4 = std::uint64_t __attribute__((vector_size(32)));
    constexpr std::uint64_t sign = std::uint64_t{1} << 63;
    constexpr std::uint64_t above_infinity = 0x7ff0000000000001;  // the least NaN magnitude
    const U64x4 c = __builtin_bit_cast(U64x4, value + 0.0);
    const U64x4 magnitude = c & ~sign;
    const U64x4 flip = c & (magnitude - above_infinity) & sign;  // sign of c, where magnitude < NaN's
    return __builtin_bit_cast(F64x4, __builtin_bit_cast(U64x4, x) ^ flip);
}
// +0 where `where` holds, else x (a bit operation in the lanes).
[[gnu::always_inline]] inline double zeroWhere(bool where, double x) { return where ? 0.0 : x; }
[[gnu::always_inline]] inline F64x4 zeroWhere(const Mask4& where, const F64x4& x) {
    return __builtin_bit_cast(F64x4, __builtin_bit_cast(Mask4, x) & ~where);
}
[[gnu::always_inline]] inline double root(double x) { return vorn_kernel::detail::squareRoot(x); }
[[gnu::always_inline]] inline F64x4 root(const F64x4& x) {
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

// The acceleration of the four bodies at p from `count` sources, added in their order to +0.
// A source is 20 doubles, x, y, z, w and G·m each four times over (World::State::sources):
// read as whole vectors, where a value spread over the lanes in the loop would cost shuffles.
[[gnu::always_inline]] inline Vec pullOfSources(const Vec& p, const double* sources, std::size_t count) {
    using vorn_kernel::detail::load4;
    const F64x4 zero{};
    Vec acc{zero, zero, zero, zero};
    for (std::size_t j = 0; j < count; ++j) {
        const double* s = sources + World::State::doubles_per_source * j;
        addPull(p, Vec{load4(s), load4(s + 4), load4(s + 8), load4(s + 12)}, load4(s + 16), acc);
    }
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
