#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "test_support.hpp"
#include "vorn_geodesic.hpp"

namespace {

using vorn::test::bitsOf;
using vorn::test::sameBits;
using vorn_geodesic::addState;
using vorn_geodesic::GeodesicState;
using vorn_geodesic::scaleState;
using vorn_kernel::HomVec4;

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

TEST(GeodesicState, InitKeepsValuesWithoutNormalising) {
    const GeodesicState s = GeodesicState::init({1.01, 0.02, 0.01, 0.01}, {0, 1, 0, 0});
    EXPECT_TRUE(sameBits(HomVec4::init(1.01, 0.02, 0.01, 0.01), s.pos()));
    EXPECT_TRUE(sameBits(HomVec4::init(0, 1, 0, 0), s.vel()));
}

TEST(GeodesicState, ConversionsCopySignedZerosAndNonFiniteValues) {
    const HomVec4 a = HomVec4::init(-0.0, inf, -inf, 0.25);
    const HomVec4 b = HomVec4::init(nan, -0.0, 1e-300, -7.5);
    const GeodesicState s = GeodesicState::fromHomVec4(a, b);
    EXPECT_TRUE(sameBits(a, s.pos()));
    EXPECT_TRUE(sameBits(b, s.vel()));
    // Position and velocity land in their own halves, in the order x, y, z, w.
    EXPECT_EQ(s.q[1], inf);
    EXPECT_EQ(s.v[3], -7.5);
}

TEST(GeodesicState, AddingTheNegatedStateGivesZero) {
    const GeodesicState s = GeodesicState::init({0.1, -2.5, 3e10, 1e-300}, {7.0, -0.0, 0.3, -1e200});
    const GeodesicState sum = addState(s, scaleState(s, -1.0));
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(sum.q[i], 0.0);
        EXPECT_EQ(sum.v[i], 0.0);
    }
}

TEST(GeodesicState, AddAndScaleActOnEveryComponent) {
    const GeodesicState a = GeodesicState::init({1, 2, 3, 4}, {5, 6, 7, 8});
    const GeodesicState b = GeodesicState::init({10, 20, 30, 40}, {50, 60, 70, 80});
    EXPECT_TRUE(sameBits(GeodesicState::init({11, 22, 33, 44}, {55, 66, 77, 88}), addState(a, b)));
    EXPECT_TRUE(sameBits(GeodesicState::init({0.5, 1, 1.5, 2}, {2.5, 3, 3.5, 4}), scaleState(a, 0.5)));
}

TEST(GeodesicState, ScalingByZero) {
    const GeodesicState finite = GeodesicState::init({1, -2, 3, -4}, {5, 6, 7, 8});
    const GeodesicState zeroed = scaleState(finite, 0.0);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(zeroed.q[i], 0.0);
        EXPECT_EQ(zeroed.v[i], 0.0);
    }
    const GeodesicState odd = GeodesicState::init({inf, 1, nan, 1}, {1, -inf, 1, 1});
    const GeodesicState scaled = scaleState(odd, 0.0);
    EXPECT_TRUE(std::isnan(scaled.q[0]));
    EXPECT_TRUE(std::isnan(scaled.q[2]));
    EXPECT_TRUE(std::isnan(scaled.v[1]));
    EXPECT_EQ(bitsOf(scaled.q[1]), bitsOf(0.0));
}

}  // namespace
