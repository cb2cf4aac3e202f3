#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "support/same_bits.hpp"
#include "vorn_kernel.hpp"

namespace {

using vorn::test::atRunTime;
using vorn::test::sameBits;
using vorn_kernel::cordicInvSqrt;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

TEST(CordicInvSqrt, ThreeNewtonStepsFromTheBitGuess) {
    // Pure arithmetic without the math library: these bits hold on every conforming build.
    EXPECT_TRUE(sameBits(0x1.ffffffffc342dp-2, cordicInvSqrt(atRunTime(4.0))));
    EXPECT_TRUE(sameBits(0x1.ffffffffc342dp-1, cordicInvSqrt(atRunTime(1.0))));
    EXPECT_TRUE(sameBits(0x1.555555554cef5p-2, cordicInvSqrt(atRunTime(9.0))));
    EXPECT_NEAR(1.4e-11, 0.5 - cordicInvSqrt(atRunTime(4.0)), 1e-12);
}

TEST(CordicInvSqrt, CloseToOneOverRootTwo) {
    EXPECT_NEAR(1.0 / std::sqrt(atRunTime(2.0)), cordicInvSqrt(atRunTime(2.0)), 1e-14);
}

TEST(CordicInvSqrt, UsefulOverTheNormalRange) {
    for (const double x : {std::numeric_limits<double>::min(), 1e-300, 1e-3, 123.0, 1e300,
                           std::numeric_limits<double>::max()}) {
        const double expected = 1.0 / std::sqrt(atRunTime(x));
        EXPECT_NEAR(1.0, cordicInvSqrt(atRunTime(x)) / expected, 1e-10) << "x = " << x;
    }
}

TEST(CordicInvSqrt, NonPositiveGivesPositiveZero) {
    EXPECT_TRUE(sameBits(0.0, cordicInvSqrt(0.0)));
    EXPECT_TRUE(sameBits(0.0, cordicInvSqrt(-0.0)));
    EXPECT_TRUE(sameBits(0.0, cordicInvSqrt(-4.0)));
    EXPECT_TRUE(sameBits(0.0, cordicInvSqrt(-inf)));
}

TEST(CordicInvSqrt, PositiveInfinityGivesPositiveZero) { EXPECT_TRUE(sameBits(0.0, cordicInvSqrt(inf))); }

TEST(CordicInvSqrt, NanComesBackUnchanged) {
    EXPECT_TRUE(sameBits(nan, cordicInvSqrt(nan)));
    EXPECT_TRUE(sameBits(-nan, cordicInvSqrt(-nan)));
}

}  // namespace
