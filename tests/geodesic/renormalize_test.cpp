#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "test_support.hpp"
#include "vorn_geodesic.hpp"

namespace {

using vorn::test::sameBits;
using vorn_geodesic::GeodesicState;
using vorn_geodesic::renormalizeOnS3;
using vorn_kernel::HomVec4;

TEST(RenormalizeOnS3, TooShortPositionIsReturnedUnchanged) {
    // Unlike HomVec4::normalize, no default point is substituted.
    const GeodesicState null_position = GeodesicState::init({0, -0.0, 0, 0}, {3, -0.0, 5, 7});
    EXPECT_TRUE(sameBits(null_position, renormalizeOnS3(null_position)));
    const GeodesicState tiny = GeodesicState::init({5e-16, 0, 0, 0}, {0, 1, 0, 1});
    EXPECT_TRUE(sameBits(tiny, renormalizeOnS3(tiny)));
}

TEST(RenormalizeOnS3, PositionOfExactlyTheFloorIsScaled) {
    const GeodesicState s = GeodesicState::init({1e-15, 0, 0, 0}, {0.5, 1, 0, 0});
    const GeodesicState fixed = renormalizeOnS3(s);
    EXPECT_EQ(fixed.q[0], 1.0);
    EXPECT_EQ(fixed.v[0], 0.0);
    EXPECT_EQ(fixed.v[1], 1.0);
}

TEST(RenormalizeOnS3, StateOnTheSphereIsKept) {
    const HomVec4 q = HomVec4::init(0.6, 0, 0, 0.8);
    const HomVec4 v = HomVec4::init(0, 0.3, 0.4, 0);
    const GeodesicState fixed = renormalizeOnS3(GeodesicState::fromHomVec4(q, v));
    EXPECT_NEAR(fixed.q[0], 0.6, 1e-16);
    EXPECT_NEAR(fixed.q[3], 0.8, 1e-16);
    EXPECT_NEAR(fixed.v[1], 0.3, 1e-16);
    EXPECT_NEAR(fixed.v[2], 0.4, 1e-16);
}

TEST(RenormalizeOnS3, RemovesOnlyTheRadialPartOfTheVelocity) {
    const GeodesicState fixed = renormalizeOnS3(GeodesicState::init({1.01, 0.02, 0.01, 0.01}, {0, 1, 0, 0}));
    EXPECT_NEAR(fixed.pos().norm(), 1.0, 1e-15);
    EXPECT_NEAR(HomVec4::dot(fixed.pos(), fixed.vel()), 0.0, 1e-17);
    // The speed is not restored: about 2e-4 of it went with the radial part.
    const double lost = 1.0 - fixed.vel().norm();
    EXPECT_GT(lost, 1.5e-4);
    EXPECT_LT(lost, 2.5e-4);
}

TEST(RenormalizeOnS3, NaNPositionPropagates) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const GeodesicState fixed = renormalizeOnS3(GeodesicState::init({nan, 0, 0, 1}, {0, 1, 0, 0}));
    EXPECT_TRUE(std::isnan(fixed.q[3]));
    EXPECT_TRUE(std::isnan(fixed.v[1]));
}

}  // namespace
