// The rule of the approximate-equality check, for either floating type.
#pragma once

#include <cmath>

namespace vorn::runner::detail {

// Equal values pass (equal infinities, and +0 against -0, included); otherwise a NaN fails;
// otherwise the difference, formed in the arguments' own precision, must not exceed the
// tolerance. Symmetric in `expected` and `actual`.
template <typename Float>
bool withinAbsoluteTolerance(Float expected, Float actual, Float tolerance) {
    if (expected == actual) return true;
    if (std::isnan(expected) || std::isnan(actual)) return false;
    const Float difference = expected - actual;
    return std::fabs(difference) <= tolerance;
}

}  // namespace vorn::runner::detail
