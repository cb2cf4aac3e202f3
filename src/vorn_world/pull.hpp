// The law for one body (T = double) or four (T = lanes::F64x4), written once so that both
// give the same bits. With p and the source s of unit length, s' = ±s the representative on
// p's side, δ = s' − p and h = |δ|²/2 = 1 − cos d:
//   t = δ + h·p is tangent at p toward s', with |t|² = sin²d = |δ|² − h²,
// which keeps full relative accuracy as d → 0 (no arc cosine, no 1 − cos d cancellation).
#pragma once

#include <cmath>

#include "vorn_world.hpp"
#include "vorn_world/lane_math.hpp"

namespace vorn_world::detail {

template <class T>
struct V4 {
    T x, y, z, w;
};

[[gnu::always_inline]] inline double pick(bool where, double if_set, double otherwise) {
    return where ? if_set : otherwise;
}
[[gnu::always_inline]] inline lanes::F64x4 pick(const lanes::Mask& where, const lanes::F64x4& if_set,
                                                const lanes::F64x4& otherwise) {
    return lanes::choose(where, if_set, otherwise);
}
[[gnu::always_inline]] inline double squareRoot(double x) { return std::sqrt(x); }
[[gnu::always_inline]] inline lanes::F64x4 squareRoot(const lanes::F64x4& x) { return lanes::sqrtLanes(x); }

// The chord geometry of p and the source: t (tangent toward s'), h = 1 − cos d and sin²d.
template <class T>
struct Chord {
    V4<T> t;
    T h;
    T sin_sq;
};

template <class T>
[[gnu::always_inline]] inline Chord<T> chord(const V4<T>& p, double sx, double sy, double sz, double sw) {
    const T dot = ((p.x * sx + p.y * sy) + p.z * sz) + p.w * sw;
    const T sign = pick(dot < 0.0, T{} - 1.0, T{} + 1.0);
    const T dx = sign * sx - p.x;
    const T dy = sign * sy - p.y;
    const T dz = sign * sz - p.z;
    const T dw = sign * sw - p.w;
    const T dd = ((dx * dx + dy * dy) + dz * dz) + dw * dw;
    const T h = 0.5 * dd;
    return Chord<T>{{dx + h * p.x, dy + h * p.y, dz + h * p.z, dw + h * p.w}, h, dd - h * h};
}

// acc + gm·t / ((sin²d + ε)·sin d), or acc + 0 below the cut-off.
template <class T>
[[gnu::always_inline]] inline void addPull(const V4<T>& p, double sx, double sy, double sz, double sw,
                                           double gm, V4<T>& acc) {
    const Chord<T> c = chord(p, sx, sy, sz, sw);
    const T sin_d = squareRoot(c.sin_sq);
    const T k = pick(sin_d < GRAVITY_CUTOFF, T{} + 0.0, gm / ((c.sin_sq + GRAVITY_SOFTENING) * sin_d));
    acc.x = acc.x + k * c.t.x;
    acc.y = acc.y + k * c.t.y;
    acc.z = acc.z + k * c.t.z;
    acc.w = acc.w + k * c.t.w;
}

// gm·atan(√((1+ε)/ε)·tan d) / √(ε(1+ε)), as atan2(√(1+ε)·sin d, √ε·cos d) with cos d = 1 − h.
inline double potential(HomVec4 p, HomVec4 s, double gm) {
    const Chord<double> c = chord(V4<double>{p.x, p.y, p.z, p.w}, s.x, s.y, s.z, s.w);
    const double eps = GRAVITY_SOFTENING;
    const double one_plus = 1.0 + eps;
    const double angle = std::atan2(std::sqrt(one_plus) * std::sqrt(c.sin_sq), std::sqrt(eps) * (1.0 - c.h));
    return gm * (angle / std::sqrt(eps * one_plus));
}

}  // namespace vorn_world::detail
