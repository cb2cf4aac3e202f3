// The 4×4 matrix operations over the lane layer, on column-major storage (data[4*col + row]):
// one column in one F64x4, lane r holding row r. Every lane does exactly the operations of
// the scalar loops for its entry, in their order.
#pragma once

#include <cstddef>

#include "vorn_kernel/lanes.hpp"

namespace vorn_kernel::detail {

// out = a·b. Lane r of output column c accumulates a(r, k)·b(k, c) for k = 0..3 in order,
// starting from +0, as the scalar triple loop does for that entry. `out` must not alias `a`
// or `b`.
[[gnu::always_inline]] inline void mulLanes(const double* a, const double* b, double* out) {
    const F64x4 a0 = load4(a);
    const F64x4 a1 = load4(a + 4);
    const F64x4 a2 = load4(a + 8);
    const F64x4 a3 = load4(a + 12);
    for (std::size_t c = 0; c < 4; ++c) {
        const double* bc = b + 4 * c;
        F64x4 sum = F64x4{} + a0 * bc[0];
        sum = sum + a1 * bc[1];
        sum = sum + a2 * bc[2];
        sum = sum + a3 * bc[3];
        store4(out + 4 * c, sum);
    }
}

// out[i] = (2·identity[i]) − mx[i] for the 16 entries.
[[gnu::always_inline]] inline void twoIdentityMinus(const double* identity, const double* mx, double* out) {
    for (std::size_t c = 0; c < 16; c += 4) store4(out + c, (2.0 * load4(identity + c)) - load4(mx + c));
}

// out[i] = m[i] / divisor for the 16 entries.
[[gnu::always_inline]] inline void divideEntries(const double* m, double divisor, double* out) {
    for (std::size_t c = 0; c < 16; c += 4) store4(out + c, load4(m + c) / divisor);
}

// Whether no entry of m differs from identity by 1e-12 or more in absolute value. A NaN
// difference never reaches the bound (both comparisons are false for it).
[[gnu::always_inline]] inline bool allWithin1e12(const double* m, const double* identity) {
    Mask4 far{};
    for (std::size_t c = 0; c < 16; c += 4) {
        const F64x4 diff = load4(m + c) - load4(identity + c);
        far = far | (diff >= 1e-12) | (diff <= -1e-12);
    }
    return !anyLane(far);
}

}  // namespace vorn_kernel::detail
