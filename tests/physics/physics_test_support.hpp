// Helpers for the physics tests: bit-level comparison of values and whole bodies, and values
// hidden from constant folding.
#pragma once

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstring>

#include "vorn_physics.hpp"

namespace physics_test {

using vorn_kernel::HomVec4;
using vorn_physics::VornBody;

inline std::uint64_t bitsOf(double x) { return std::bit_cast<std::uint64_t>(x); }

// The compiler may fold sin/cos/acos of a constant to a result that differs in the last bit
// from the run-time library the kernel calls; reading through a volatile keeps it at run time.
inline double atRunTime(double x) {
    volatile double hidden = x;
    return hidden;
}

inline HomVec4 atRunTime(HomVec4 v) {
    return HomVec4::init(atRunTime(v.x), atRunTime(v.y), atRunTime(v.z), atRunTime(v.w));
}

inline ::testing::AssertionResult sameBits(double expected, double actual) {
    if (bitsOf(expected) == bitsOf(actual)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "expected " << expected << " (" << std::hexfloat << expected
                                         << "), got " << actual << " (" << actual << std::defaultfloat << ")";
}

// Signs of zeros and NaN payloads count.
inline ::testing::AssertionResult sameBits(HomVec4 expected, HomVec4 actual) {
    const double e[4] = {expected.x, expected.y, expected.z, expected.w};
    const double a[4] = {actual.x, actual.y, actual.z, actual.w};
    for (int i = 0; i < 4; ++i) {
        if (bitsOf(e[i]) != bitsOf(a[i])) {
            return ::testing::AssertionFailure() << "component "
                                                 << "xyzw"[i] << ": " << sameBits(e[i], a[i]).message();
        }
    }
    return ::testing::AssertionSuccess();
}

// Every field, bit for bit.
inline ::testing::AssertionResult sameBody(const VornBody& expected, const VornBody& actual) {
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

}  // namespace physics_test
