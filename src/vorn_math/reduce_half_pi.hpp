#pragma once
// Argument reduction by pi/2 with integer arithmetic (Payne and Hanek's method): for a normal
// ax > 0, ax * 2/pi = k + f with k an integer and |f| <= 1/2 (+ the error), computed from
// the table of 2/pi's bits, so the result does not depend on the size of ax.

#include <cstdint>

namespace vorn::math::detail {

inline constexpr int kMaxReductionWords = 20;

// Writes |f| as the fixed-point fraction sum of words[i] 2^(-64 (i + 1)), i < fracWords
// (<= kMaxReductionWords), with an error below 2^(1 - 64 fracWords); sets negative to f < 0
// and returns k mod 4.
int reduceHalfPi(double ax, int fracWords, std::uint64_t* words, bool& negative);

}  // namespace vorn::math::detail
