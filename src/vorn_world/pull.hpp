// The law for one body (T = double) or the bodies in the lanes (T = F64x4 or F64x8), written
// once so that all give the same bits: a source of gravitational parameter gm pulls with
// gm / (sin²d + ε) along the chord's tangent t (chord.hpp), zero below the cut-off on sin d.
#pragma once

#include <cstddef>
#include <type_traits>

#include "vorn_kernel/lanes.hpp"
#include "vorn_world.hpp"
#include "vorn_world/chord.hpp"
#include "vorn_world/state.hpp"

namespace vorn_world::detail {

using vorn_kernel::detail::F64x4;
using vorn_kernel::detail::F64x8;
using vorn_kernel::detail::Lanes;
using vorn_kernel::detail::Vec4;

// acc + gm·t / ((sin²d + ε)·sin d), or acc + 0 below the cut-off.
template <class T>
[[gnu::always_inline]] inline void addPull(const Vec4<T>& p, const Vec4<T>& s, const T& gm, double softening,
                                           Vec4<T>& acc) {
    using vorn_kernel::detail::spread;
    const Chord<T> c = chord(p, s);
    const T sin_d = vorn_kernel::detail::squareRoot(c.sin_sq);
    const T k = vorn_kernel::detail::zeroWhere(vorn_kernel::detail::less(sin_d, spread<T>(GRAVITY_CUTOFF)),
                                               gm / ((c.sin_sq + softening) * sin_d));
    acc = acc + k * c.t;
}

// A source's value, stored four times over, in every lane.
template <Lanes T>
[[gnu::always_inline]] inline T sourceValue(const double* four_times) {
    const F64x4 four = vorn_kernel::detail::loadLanes<F64x4>(four_times);
    if constexpr (std::is_same_v<T, F64x4>) {
        return four;
    } else {
        return __builtin_shufflevector(four, four, 0, 1, 2, 3, 0, 1, 2, 3);
    }
}

// Calls add(source, G·m) for each of `count` sources in order, each value in every lane. A
// source is 20 doubles, x, y, z, w and G·m each four times over (WorldState::sources): read
// as whole vectors, where a value spread over the lanes in the loop would cost shuffles in the
// baseline build.
template <Lanes T, class Add>
[[gnu::always_inline]] inline void forEachSource(const double* sources, std::size_t count, Add&& add) {
    for (std::size_t j = 0; j < count; ++j) {
        const double* s = sources + WorldState::doubles_per_source * j;
        add(Vec4<T>{sourceValue<T>(s), sourceValue<T>(s + 4), sourceValue<T>(s + 8), sourceValue<T>(s + 12)},
            sourceValue<T>(s + 16));
    }
}

// The sources of one evaluation: `count` of them from `values` (WorldState::sources), and the
// softening of the law.
struct Sources {
    const double* values;
    std::size_t count;
    double softening;
};

// The acceleration of the bodies at p from the sources, added in their order to +0.
template <Lanes T>
[[gnu::always_inline]] inline Vec4<T> pullOfSources(const Vec4<T>& p, const Sources& sources) {
    Vec4<T> acc = vorn_kernel::detail::zeroVec4<T>();
    forEachSource<T>(
        sources.values,
        sources.count, [&](const Vec4<T>& source, const T& gm) __attribute__((always_inline)) {
            addPull(p, source, gm, sources.softening, acc);
        });
    return acc;
}

}  // namespace vorn_world::detail
