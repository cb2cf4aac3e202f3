#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

#include "support/same_bits.hpp"
#include "vorn_kernel.hpp"

namespace {

using vorn::test::atRunTime;
using vorn::test::sameBits;
using vorn_kernel::fsDistance;
using vorn_kernel::HomVec4;
using vorn_kernel::sFromW;
using vorn_kernel::wFromDistance;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double R = vorn_kernel::R_ORSELA_KM * 1000.0;

TEST(FsDistance, SamePointIsExactlyZeroForUnitVectors) {
    const HomVec4 v = HomVec4::init(1, 0, 0, 0);
    EXPECT_TRUE(sameBits(0.0, fsDistance(v, v)));
    EXPECT_TRUE(sameBits(0.0, fsDistance(v, HomVec4::init(-1, 0, 0, 0))));
    EXPECT_TRUE(sameBits(0.0, fsDistance(v, HomVec4::init(3, 0, 0, 0))));
}

TEST(FsDistance, RatioRoundedAboveOneIsClampedToZeroDistance) {
    // |v|² rounds below 3 while dot(v, v) is 3: without the clamp acos would give NaN.
    const HomVec4 v = HomVec4::init(atRunTime(1.0), 1, 1, 0);
    ASSERT_GT(HomVec4::dot(v, v) / (v.norm() * v.norm()), 1.0);
    EXPECT_TRUE(sameBits(0.0, fsDistance(v, v)));
}

TEST(FsDistance, NonUnitVectorCanBeFarFromItselfByRounding) {
    // 2 / (√2·√2) rounds to 1 − 2⁻⁵², so the distance of (0, 0, 1, 1) to itself is not 0.
    const HomVec4 v = HomVec4::init(0, 0, atRunTime(1.0), 1);
    EXPECT_TRUE(sameBits(std::acos(atRunTime(1.0 - 0x1p-52)), fsDistance(v, v)));
    EXPECT_NEAR(2.1073424255447017e-8, fsDistance(v, v), 1e-22);
}

TEST(FsDistance, OrthogonalIsHalfPiWhateverTheLengths) {
    const double half_pi = std::acos(atRunTime(0.0));
    EXPECT_TRUE(sameBits(half_pi, fsDistance(HomVec4::init(1, 0, 0, 0), HomVec4::init(0, 1, 0, 0))));
    EXPECT_TRUE(sameBits(half_pi, fsDistance(HomVec4::init(0, 0, 7, 0), HomVec4::init(0, -1e-3, 0, 2))));
}

TEST(FsDistance, QuarterTurn) {
    EXPECT_NEAR(std::numbers::pi / 4, fsDistance(HomVec4::init(1, 0, 0, 0), HomVec4::init(1, 1, 0, 0)),
                1e-15);
}

TEST(FsDistance, NearNullVectorIsAtDistanceZeroFromEverything) {
    const HomVec4 v = HomVec4::init(0, 1, 0, 0);
    EXPECT_TRUE(sameBits(0.0, fsDistance(HomVec4::zero(), v)));
    EXPECT_TRUE(sameBits(0.0, fsDistance(v, HomVec4::zero())));
    const HomVec4 tiny = HomVec4::init(std::nextafter(1e-15, 0.0), 0, 0, 0);
    EXPECT_TRUE(sameBits(0.0, fsDistance(tiny, v)));
    EXPECT_TRUE(sameBits(0.0, fsDistance(v, tiny)));
    // A norm of exactly 1e-15 is measured.
    const HomVec4 at_floor = HomVec4::init(atRunTime(1e-15), 0, 0, 0);
    ASSERT_EQ(at_floor.norm(), 1e-15);
    EXPECT_TRUE(sameBits(std::acos(atRunTime(0.0)), fsDistance(at_floor, v)));
}

TEST(FsDistance, NanOrInfiniteInputGivesZero) {
    const HomVec4 v = HomVec4::init(0.6, 0, 0, 0.8);
    EXPECT_TRUE(sameBits(0.0, fsDistance(HomVec4::init(nan, 0, 0, 1), v)));
    EXPECT_TRUE(sameBits(0.0, fsDistance(v, HomVec4::init(0, 0, nan, 0))));
    EXPECT_TRUE(sameBits(0.0, fsDistance(HomVec4::init(inf, 0, 0, 0), v)));
}

TEST(WeightMapping, ZeroDistanceAndFullWeight) {
    EXPECT_TRUE(sameBits(1.0, wFromDistance(0, R)));
    EXPECT_TRUE(sameBits(0.0, sFromW(1, R)));
}

TEST(WeightMapping, HalfCircumferenceGivesWeightNearZero) {
    EXPECT_NEAR(6.123233995736766e-17, wFromDistance(std::numbers::pi * atRunTime(1.0), 1), 1e-30);
    // For the world radius the quotient lands one ulp above π/2, so the weight is negative.
    const double w = wFromDistance(std::numbers::pi * atRunTime(R), R);
    EXPECT_LT(w, 0.0);
    EXPECT_NEAR(-1.6e-16, w, 1e-17);
}

TEST(WeightMapping, WeightIsClampedToMinusOneOne) {
    const double antipode = sFromW(-1, R);
    EXPECT_NEAR(2 * std::numbers::pi * R, antipode, 1e-6);
    EXPECT_TRUE(sameBits(antipode, sFromW(-7, R)));
    EXPECT_TRUE(sameBits(antipode, sFromW(-inf, R)));
    EXPECT_TRUE(sameBits(0.0, sFromW(1.5, R)));
    EXPECT_TRUE(sameBits(0.0, sFromW(inf, R)));
}

TEST(WeightMapping, NanWeightMeansZeroDistance) { EXPECT_TRUE(sameBits(0.0, sFromW(nan, R))); }

TEST(WeightMapping, ZeroRadiusIsNotGuarded) {
    EXPECT_TRUE(std::isnan(wFromDistance(1000, 0)));
    EXPECT_TRUE(std::isnan(wFromDistance(0, 0)));
}

TEST(WeightMapping, RoundTripWithinCentimetres) {
    for (const double s : {1.0, 1000.0, 1e6, 1.5e7}) {
        EXPECT_NEAR(s, sFromW(wFromDistance(s, R), R), 0.01) << "s = " << s;
    }
}

}  // namespace
