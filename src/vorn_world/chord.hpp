// The geometry of a body and a source from their chord, for one body (T = double) or the bodies
// in the lanes: with p and s of unit length, s' = ±s the representative on p's side, δ = s' − p
// and h = |δ|²/2 = 1 − cos d,
//   t = δ + h·p is tangent at p toward s', with |t|² = sin²d = |δ|² − h²,
// which keeps full relative accuracy as d → 0 (no arc cosine, no 1 − cos d cancellation).
#pragma once

#include "vorn_kernel/lanes.hpp"
#include "vorn_world.hpp"

namespace vorn_world::detail {

using vorn_kernel::detail::Vec4;

// t (tangent toward s'), h = 1 − cos d and sin²d.
template <class T>
struct Chord {
    Vec4<T> t;
    T h;
    T sin_sq;
};

// The source s may come with each coordinate in every lane.
template <class T>
[[gnu::always_inline]] inline Chord<T> chord(const Vec4<T>& p, const Vec4<T>& s) {
    using vorn_kernel::detail::negateWhereNegative;
    const T along = dot(p, s);
    const Vec4<T> delta = Vec4<T>{negateWhereNegative(along, s.x), negateWhereNegative(along, s.y),
                                  negateWhereNegative(along, s.z), negateWhereNegative(along, s.w)} -
                          p;
    const T dd = dot(delta, delta);
    const T h = 0.5 * dd;
    return Chord<T>{delta + h * p, h, dd - h * h};
}

[[gnu::always_inline]] inline Vec4<double> vec4(HomVec4 v) { return {v.x, v.y, v.z, v.w}; }

}  // namespace vorn_world::detail
