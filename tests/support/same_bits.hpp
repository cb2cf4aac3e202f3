// Bit-exact expectations for the tests: every bit counts, the signs of zeros and the payloads
// of NaNs included. EXPECT_TRUE(sameBits(expected, actual)) explains a failure in hexadecimal.
#pragma once

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <string>

#include "vorn_geodesic.hpp"
#include "vorn_kernel.hpp"
#include "vorn_physics.hpp"

namespace vorn::test {

using vorn_geodesic::GeodesicState;
using vorn_kernel::HomVec4;
using vorn_physics::VornBody;

inline std::uint64_t bitsOf(double x) { return std::bit_cast<std::uint64_t>(x); }

// Hides a value from the optimiser, so library math runs at run time instead of being folded
// by the compiler (whose folded results may differ from the library in the last bit).
inline double atRunTime(double x) {
    volatile double hidden = x;
    return hidden;
}

inline float atRunTime(float x) {
    volatile float hidden = x;
    return hidden;
}

inline HomVec4 atRunTime(HomVec4 v) {
    return HomVec4::init(atRunTime(v.x), atRunTime(v.y), atRunTime(v.z), atRunTime(v.w));
}

inline ::testing::AssertionResult sameBits(double expected, double actual) {
    if (bitsOf(expected) == bitsOf(actual)) return ::testing::AssertionSuccess();
    char text[128];
    std::snprintf(text, sizeof text, "expected %.17g (%a), got %.17g (%a)", expected, expected, actual,
                  actual);
    return ::testing::AssertionFailure() << text;
}

inline ::testing::AssertionResult sameBits(float expected, float actual) {
    if (std::bit_cast<std::uint32_t>(expected) == std::bit_cast<std::uint32_t>(actual)) {
        return ::testing::AssertionSuccess();
    }
    return sameBits(static_cast<double>(expected), static_cast<double>(actual)) << " (f32)";
}

inline ::testing::AssertionResult sameBits(HomVec4 expected, HomVec4 actual) {
    const double e[4] = {expected.x, expected.y, expected.z, expected.w};
    const double a[4] = {actual.x, actual.y, actual.z, actual.w};
    for (int i = 0; i < 4; ++i) {
        if (auto r = sameBits(e[i], a[i]); !r)
            return r << " (component "
                     << "xyzw"[i] << ')';
    }
    return ::testing::AssertionSuccess();
}

inline ::testing::AssertionResult sameBits(const GeodesicState& expected, const GeodesicState& actual) {
    if (auto r = sameBits(expected.pos(), actual.pos()); !r) return r << " (position)";
    if (auto r = sameBits(expected.vel(), actual.vel()); !r) return r << " (velocity)";
    return ::testing::AssertionSuccess();
}

// Every field of the body.
inline ::testing::AssertionResult sameBits(const VornBody& expected, const VornBody& actual) {
    if (auto r = sameBits(expected.position, actual.position); !r) return r << " (position)";
    if (auto r = sameBits(expected.velocity, actual.velocity); !r) return r << " (velocity)";
    if (auto r = sameBits(expected.mass, actual.mass); !r) return r << " (mass)";
    if (auto r = sameBits(expected.restitution, actual.restitution); !r) return r << " (restitution)";
    if (auto r = sameBits(expected.friction, actual.friction); !r) return r << " (friction)";
    if (auto r = sameBits(expected.force_accum, actual.force_accum); !r) return r << " (force_accum)";
    if (expected.body_type != actual.body_type) return ::testing::AssertionFailure() << "body_type differs";
    if (expected.active != actual.active) return ::testing::AssertionFailure() << "active differs";
    return ::testing::AssertionSuccess();
}

}  // namespace vorn::test
