// Four-lane f32 normalisation. Everything here stays in f32, lane by lane.
#include <cmath>
#include <limits>

#include "vorn_kernel.hpp"

namespace vorn_kernel {

namespace {

// v over its length when the plain sum of squares overflowed: the same steps on the lanes times
// 2^−e, e the exponent of the largest lane, which is exact and keeps the direction. Lanes that
// are not all finite take the plain steps. Out of line, off the plain path.
[[gnu::cold, gnu::noinline]] F32x4 normalizeOverflowed(F32x4 v, float d) {
    if (!std::isfinite(v[0]) || !std::isfinite(v[1]) || !std::isfinite(v[2]) || !std::isfinite(v[3])) {
        const float len = std::sqrt(d);
        return v / F32x4{len, len, len, len};
    }
    const float largest =
        std::fmax(std::fmax(std::fabs(v[0]), std::fabs(v[1])), std::fmax(std::fabs(v[2]), std::fabs(v[3])));
    const int e = std::ilogb(largest);
    const F32x4 scaled =
        f32x4(std::ldexp(v[0], -e), std::ldexp(v[1], -e), std::ldexp(v[2], -e), std::ldexp(v[3], -e));
    const float len = std::sqrt(simdDot4(scaled, scaled));
    return scaled / F32x4{len, len, len, len};
}

}  // namespace

F32x4 simdNormalize3(F32x4 v) {
    // All four lanes take part, w included, despite the name.
    const float d = simdDot4(v, v);
    // The floor is on the squared length; a NaN length fails it and propagates.
    if (d < 1e-15f) return f32x4(0.0f, 0.0f, 0.0f, 1.0f);
    // A lane above about 1.8e19 overflowed a square.
    if (d == std::numeric_limits<float>::infinity()) [[unlikely]]
        return normalizeOverflowed(v, d);
    const float len = std::sqrt(d);
    return v / F32x4{len, len, len, len};
}

}  // namespace vorn_kernel
