#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <limits>
#include <type_traits>

#include "support/same_bits.hpp"
#include "vorn_kernel.hpp"

namespace {

using vorn::test::atRunTime;
using vorn::test::sameBits;
using vorn_kernel::AffineCard;
using vorn_kernel::HomVec4;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

void expectSameBits(HomVec4 expected, HomVec4 actual) {
    EXPECT_TRUE(sameBits(expected.x, actual.x));
    EXPECT_TRUE(sameBits(expected.y, actual.y));
    EXPECT_TRUE(sameBits(expected.z, actual.z));
    EXPECT_TRUE(sameBits(expected.w, actual.w));
}

TEST(HomVec4Layout, FourDoublesInOrder) {
    static_assert(sizeof(HomVec4) == 32);
    static_assert(std::is_standard_layout_v<HomVec4>);
    static_assert(offsetof(HomVec4, x) == 0 && offsetof(HomVec4, w) == 24);
    static_assert(static_cast<int>(AffineCard::UW) == 0 && static_cast<int>(AffineCard::UZ) == 3);
}

TEST(HomVec4Dot, SumsLeftToRight) {
    // (1e16 + 1) rounds back to 1e16, so only the left-to-right order gives exactly 0.
    const HomVec4 a = HomVec4::init(atRunTime(1e16), 1, -1e16, 0);
    const HomVec4 ones = HomVec4::init(1, 1, 1, 1);
    EXPECT_TRUE(sameBits(0.0, HomVec4::dot(a, ones)));
}

TEST(HomVec4Normalize, NearNullFallsBackToUnitW) {
    expectSameBits(HomVec4::init(0, 0, 0, 1), HomVec4::zero().normalize());
    expectSameBits(HomVec4::init(0, 0, 0, 1), HomVec4::init(-0.0, -0.0, -0.0, -0.0).normalize());
    const double below = std::nextafter(1e-15, 0.0);
    expectSameBits(HomVec4::init(0, 0, 0, 1), HomVec4::init(below, 0, 0, 0).normalize());
}

TEST(HomVec4Normalize, NormExactlyAtFloorIsDivided) {
    const HomVec4 v = HomVec4::init(atRunTime(1e-15), 0, 0, 0);
    ASSERT_EQ(v.norm(), 1e-15);
    expectSameBits(HomVec4::init(1, 0, 0, 0), v.normalize());
}

TEST(HomVec4Normalize, KeepsSignsIncludingZeros) {
    expectSameBits(HomVec4::init(-0.0, 0, -0.0, -1), HomVec4::init(-0.0, 0, -0.0, -5).normalize());
}

TEST(HomVec4Normalize, DividesByNormRatherThanMultiplyingByReciprocal) {
    // 3 · (1/5) is one ulp above 0.6; 3/5 is the double nearest 0.6.
    const HomVec4 n = HomVec4::init(atRunTime(3.0), 0, 0, 4).normalize();
    EXPECT_TRUE(sameBits(0.6, n.x));
    EXPECT_TRUE(sameBits(0.8, n.w));
}

TEST(HomVec4Normalize, NanPropagatesToEveryComponent) {
    const HomVec4 n = HomVec4::init(nan, 0, 0, 1).normalize();
    EXPECT_TRUE(std::isnan(n.x) && std::isnan(n.y) && std::isnan(n.z) && std::isnan(n.w));
}

TEST(HomVec4Cartesian, DividesByWeightKeepingItsSign) {
    const auto c = HomVec4::init(2, 4, 6, -2).cartesian3();
    EXPECT_TRUE(sameBits(-1.0, c[0]));
    EXPECT_TRUE(sameBits(-2.0, c[1]));
    EXPECT_TRUE(sameBits(-3.0, c[2]));
    const auto signed_zeros = HomVec4::init(0, 0, 0, -2).cartesian3();
    EXPECT_TRUE(sameBits(-0.0, signed_zeros[0]));
}

TEST(HomVec4Cartesian, WeightExactlyAtThresholdIsDividedBy) {
    const auto c = HomVec4::init(1, 0, 0, atRunTime(1e-6)).cartesian3();
    EXPECT_TRUE(sameBits(1.0 / atRunTime(1e-6), c[0]));
    const auto negative = HomVec4::init(1, 0, 0, atRunTime(-1e-6)).cartesian3();
    EXPECT_TRUE(sameBits(1.0 / atRunTime(-1e-6), negative[0]));
}

TEST(HomVec4Cartesian, PointAtInfinityGivesDirectionOverFull4Norm) {
    const auto c = HomVec4::init(3, 4, 0, 0).cartesian3();
    EXPECT_TRUE(sameBits(0.6, c[0]));
    EXPECT_TRUE(sameBits(0.8, c[1]));
    EXPECT_TRUE(sameBits(0.0, c[2]));

    // Just below the threshold, w is not divided by but counts in the norm.
    const double w = std::nextafter(1e-6, 0.0);
    const HomVec4 v = HomVec4::init(1, 0, 0, w);
    EXPECT_TRUE(sameBits(1.0 / v.norm(), v.cartesian3()[0]));
}

TEST(HomVec4Cartesian, NullVectorGivesOrigin) {
    const auto c = HomVec4::zero().cartesian3();
    EXPECT_TRUE(sameBits(0.0, c[0]) && sameBits(0.0, c[1]) && sameBits(0.0, c[2]));
}

TEST(HomVec4Cartesian, NanWeightIsDividedBy) {
    const auto c = HomVec4::init(1, 2, 3, nan).cartesian3();
    EXPECT_TRUE(std::isnan(c[0]) && std::isnan(c[1]) && std::isnan(c[2]));
}

TEST(HomVec4IsSamePoint, SignAndScaleBlind) {
    const HomVec4 v = HomVec4::init(0.3, -1.2, 2.5, 0.7);
    EXPECT_TRUE(v.isSamePoint(HomVec4::init(-v.x, -v.y, -v.z, -v.w), 1e-8));
    EXPECT_TRUE(v.isSamePoint(HomVec4::init(2 * v.x, 2 * v.y, 2 * v.z, 2 * v.w), 1e-8));
    EXPECT_FALSE(v.isSamePoint(HomVec4::init(v.x, v.y, v.z, v.w + 0.1), 1e-8));
}

TEST(HomVec4IsSamePoint, ToleranceIsAlsoTheLengthFloor) {
    EXPECT_FALSE(HomVec4::zero().isSamePoint(HomVec4::zero(), 1e-8));
    EXPECT_FALSE(HomVec4::zero().isSamePoint(HomVec4::zero(), 1e-300));
    const HomVec4 short_v = HomVec4::init(0.4, 0, 0, 0);
    EXPECT_FALSE(short_v.isSamePoint(short_v, 0.5));
    // A length exactly at the floor passes it.
    const HomVec4 at_floor = HomVec4::init(0.5, 0, 0, 0);
    EXPECT_TRUE(at_floor.isSamePoint(at_floor, 0.5));
    // The floor applies to either argument.
    EXPECT_FALSE(HomVec4::init(1, 0, 0, 0).isSamePoint(short_v, 0.5));
}

TEST(HomVec4IsSamePoint, RatioMustExceedOneMinusTolStrictly) {
    // |a| = 1, |b| = 2, dot = 1: the ratio is exactly 0.5.
    const HomVec4 a = HomVec4::init(1, 0, 0, 0);
    const HomVec4 b = HomVec4::init(1, 1, 1, 1);
    EXPECT_FALSE(a.isSamePoint(b, 0.5));
    EXPECT_TRUE(a.isSamePoint(b, std::nextafter(0.5, 1.0)));
}

TEST(HomVec4IsSamePoint, NanIsNeverTheSamePoint) {
    const HomVec4 v = HomVec4::init(1, 0, 0, 0);
    EXPECT_FALSE(v.isSamePoint(HomVec4::init(1, 0, 0, nan), 1e-8));
    EXPECT_FALSE(HomVec4::init(nan, 0, 0, 1).isSamePoint(v, 1e-8));
    EXPECT_FALSE(v.isSamePoint(v, nan));
}

TEST(HomVec4IsAntipodalTo, AgreesWithIsSamePoint) {
    const HomVec4 cases[] = {
        HomVec4::init(1, 2, 3, 4),
        HomVec4::init(-1, -2, -3, -4),
        HomVec4::init(1, 2, 3, 5),
        HomVec4::init(0, -0.0, 0, 1),
        HomVec4::zero(),
        HomVec4::init(0.4, 0, 0, 0),
        HomVec4::init(nan, 0, 0, 1),
        HomVec4::init(0, 1, 0, 0),
    };
    for (const HomVec4& a : cases) {
        for (const HomVec4& b : cases) {
            for (const double tol : {1e-8, 0.5}) {
                EXPECT_EQ(a.isSamePoint(b, tol), a.isAntipodalTo(b, tol));
            }
        }
    }
    const HomVec4 v = HomVec4::init(0.3, 0.1, -0.2, 0.9);
    EXPECT_TRUE(v.isAntipodalTo(v, 1e-8));
}

TEST(HomVec4PickBestCard, TiesGoToTheEarlierChart) {
    EXPECT_EQ(AffineCard::UW, HomVec4::init(1, 1, 1, 1).pickBestCard());
    EXPECT_EQ(AffineCard::UX, HomVec4::init(2, 2, 1, 1).pickBestCard());
    EXPECT_EQ(AffineCard::UY, HomVec4::init(1, 2, 2, 1).pickBestCard());
    EXPECT_EQ(AffineCard::UW, HomVec4::zero().pickBestCard());
    EXPECT_EQ(AffineCard::UW, HomVec4::init(-0.0, 0, 0, 0).pickBestCard());
}

TEST(HomVec4PickBestCard, ComparesAbsoluteValues) {
    EXPECT_EQ(AffineCard::UX, HomVec4::init(-9, 1, 1, 1).pickBestCard());
    EXPECT_EQ(AffineCard::UZ, HomVec4::init(1, -2, -3, 2.5).pickBestCard());
}

TEST(HomVec4PickBestCard, NanNeverWins) {
    EXPECT_EQ(AffineCard::UZ, HomVec4::init(1, 1, nan, 1).pickBestCard());
    EXPECT_EQ(AffineCard::UX, HomVec4::init(0, 0, 0, nan).pickBestCard());
    EXPECT_EQ(AffineCard::UY, HomVec4::init(nan, 5, 1, 1).pickBestCard());
}

}  // namespace
