// Four bodies at a time: lane k of every vector belongs to body k of a block, and does exactly
// the scalar operations of that body's computation in their order. Nothing is ever summed
// across lanes. Vectors stay inside always-inlined helpers (a 32-byte vector passed between
// functions has a different ABI with and without AVX).
#pragma once

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstring>

#include "vorn_kernel/lanes.hpp"

namespace vorn_world::lanes {

#pragma GCC diagnostic ignored "-Wpsabi"

using vorn_kernel::detail::F64x4;
using Mask = decltype(F64x4{} < F64x4{});

[[gnu::always_inline]] inline F64x4 load(const double* p) {
    F64x4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

[[gnu::always_inline]] inline void store(double* p, const F64x4& v) { std::memcpy(p, &v, sizeof v); }

[[gnu::always_inline]] inline F64x4 broadcast(double x) { return F64x4{x, x, x, x}; }

// a < b in each lane, compared two lanes at a time: a comparison of all four is split into
// scalar compares and branches on targets without AVX, the halves into one instruction each.
[[gnu::always_inline]] inline Mask less(const F64x4& a, const F64x4& b) {
    using F64x2 = double __attribute__((vector_size(16)));
    const F64x2 a_low = __builtin_shufflevector(a, a, 0, 1);
    const F64x2 a_high = __builtin_shufflevector(a, a, 2, 3);
    const F64x2 b_low = __builtin_shufflevector(b, b, 0, 1);
    const F64x2 b_high = __builtin_shufflevector(b, b, 2, 3);
    return __builtin_shufflevector(a_low < b_low, a_high < b_high, 0, 1, 2, 3);
}

// In each lane, where_set ? if_set : otherwise.
[[gnu::always_inline]] inline F64x4 choose(const Mask& where_set, const F64x4& if_set,
                                           const F64x4& otherwise) {
    return std::bit_cast<F64x4>((std::bit_cast<Mask>(if_set) & where_set) |
                                (std::bit_cast<Mask>(otherwise) & ~where_set));
}

// The correctly rounded square root of each lane (built without errno, so the loop over the
// array becomes whole-vector square roots; lanes written one by one and read back as a
// vector would stall the load).
[[gnu::always_inline]] inline F64x4 sqrtLanes(const F64x4& x) {
    alignas(32) double in[4];
    alignas(32) double out[4];
    std::memcpy(in, &x, sizeof in);
    for (int k = 0; k < 4; ++k) out[k] = std::sqrt(in[k]);
    F64x4 r;
    std::memcpy(&r, out, sizeof r);
    return r;
}

struct Vec {
    F64x4 x, y, z, w;
};

[[gnu::always_inline]] inline Vec loadVec(const double* x, const double* y, const double* z, const double* w,
                                          std::size_t i) {
    return {load(x + i), load(y + i), load(z + i), load(w + i)};
}

[[gnu::always_inline]] inline void storeVec(double* x, double* y, double* z, double* w, std::size_t i,
                                            const Vec& v) {
    store(x + i, v.x);
    store(y + i, v.y);
    store(z + i, v.z);
    store(w + i, v.w);
}

// ((a.x·b.x + a.y·b.y) + a.z·b.z) + a.w·b.w, the order of HomVec4::dot.
[[gnu::always_inline]] inline F64x4 dot(const Vec& a, const Vec& b) {
    return ((a.x * b.x + a.y * b.y) + a.z * b.z) + a.w * b.w;
}

// The mask of the moved bodies among four bytes.
[[gnu::always_inline]] inline Mask movedMask(const unsigned char* moved) {
    return Mask{moved[0] ? -1 : 0, moved[1] ? -1 : 0, moved[2] ? -1 : 0, moved[3] ? -1 : 0};
}

}  // namespace vorn_world::lanes
