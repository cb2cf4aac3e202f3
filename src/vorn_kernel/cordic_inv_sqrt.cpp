// Inverse square root from a bit-pattern guess and three Newton–Raphson steps:
// no square root and no division.
#include <bit>
#include <cmath>
#include <cstdint>

#include "vorn_kernel.hpp"

namespace vorn_kernel {

// Special values:
// - x ≤ 0 (−0 included) gives +0.
// - NaN gives that same NaN back. A NaN passes the x ≤ 0 test, and a negative NaN would make the
//   guess subtraction wrap around; the steps would turn any guess into NaN anyway, so the value
//   is returned before the bit trick is reached.
// - +∞ gives +0, the limit of 1/√x. Run through the steps, +∞ would come out as −∞.
// - Subnormal inputs get a poor guess and a poor result; they lie outside the useful range.
double cordicInvSqrt(double x) {
    if (0.0 >= x) return 0.0;
    if (std::isnan(x)) return x;
    if (std::isinf(x)) return 0.0;
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(x);
    constexpr std::uint64_t magic = 0x5fe6eb50c7b537a9;
    const std::uint64_t y_bits = magic - (bits >> 1);
    double y = std::bit_cast<double>(y_bits);
    const double half_x = 0.5 * x;
    for (int step = 0; step < 3; ++step) {
        y = y * (1.5 - (half_x * y) * y);
    }
    return y;
}

}  // namespace vorn_kernel
