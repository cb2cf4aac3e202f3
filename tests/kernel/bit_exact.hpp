// Helpers for bit-exact expectations: signs of zeros and NaNs count.
#pragma once

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstdio>

namespace vorn_kernel_test {

// Hides a value from the optimiser, so library math runs at run time instead of being folded
// by the compiler (whose folded results may differ from the library in the last bit).
inline double opaque(double x) {
    volatile double hidden = x;
    return hidden;
}

inline float opaque(float x) {
    volatile float hidden = x;
    return hidden;
}

inline ::testing::AssertionResult sameBits(double expected, double actual) {
    if (std::bit_cast<std::uint64_t>(expected) == std::bit_cast<std::uint64_t>(actual)) {
        return ::testing::AssertionSuccess();
    }
    char text[96];
    std::snprintf(text, sizeof text, "expected %a, got %a", expected, actual);
    return ::testing::AssertionFailure() << text;
}

inline ::testing::AssertionResult sameBits(float expected, float actual) {
    if (std::bit_cast<std::uint32_t>(expected) == std::bit_cast<std::uint32_t>(actual)) {
        return ::testing::AssertionSuccess();
    }
    char text[96];
    std::snprintf(text, sizeof text, "expected %a, got %a", static_cast<double>(expected),
                  static_cast<double>(actual));
    return ::testing::AssertionFailure() << text;
}

}  // namespace vorn_kernel_test
