// Four-lane f32 normalisation. Everything here stays in f32, lane by lane.
#include <cmath>

#include "vorn_kernel.hpp"

namespace vorn_kernel {

F32x4 simdNormalize3(F32x4 v) {
    // All four lanes take part, w included, despite the name.
    const float d = simdDot4(v, v);
    // The floor is on the squared length; a NaN length fails it and propagates.
    if (d < 1e-15f) return f32x4(0.0f, 0.0f, 0.0f, 1.0f);
    const float len = std::sqrt(d);
    return v / F32x4{len, len, len, len};
}

}  // namespace vorn_kernel
