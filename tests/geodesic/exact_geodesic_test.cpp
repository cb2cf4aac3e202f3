#include <cmath>
#include <limits>
#include <numbers>

#include <gtest/gtest.h>

#include "test_support.hpp"
#include "vorn_geodesic.hpp"

namespace {

using vorn::test::atRunTime;
using vorn::test::bitsOf;
using vorn::test::sameBits;
using vorn_geodesic::fsDistanceAlongGeodesic;
using vorn_geodesic::geodesicExact;
using vorn_geodesic::geodesicScaled;
using vorn_geodesic::orthogonalVelocity;
using vorn_kernel::HomVec4;

constexpr double pi = std::numbers::pi;
constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

TEST(GeodesicExact, AtTimeZeroReturnsTheStartPoint) {
    const HomVec4 p = HomVec4::init(0.6, -0.0, 1e-300, 0.8);
    const HomVec4 v = HomVec4::init(3.0, -5.0, 7.0, 1e10);
    EXPECT_TRUE(sameBits(p, geodesicExact(p, v, 0.0)));
}

TEST(GeodesicExact, IgnoresTheLengthOfTheVelocity) {
    // The unit-speed formula scales the velocity in, so a long v leaves the sphere.
    const HomVec4 g = geodesicExact(HomVec4::init(1, 0, 0, 0), HomVec4::init(0, 2, 0, 0), pi / 2);
    EXPECT_NEAR(g.y, 2.0, 1e-15);
}

TEST(GeodesicScaled, NullVelocityStaysPutForEveryTime) {
    const HomVec4 p = HomVec4::init(0.6, 0, -0.0, 0.8);
    for (double t : {0.0, 1.0, -3.0, 1e300, inf, nan}) {
        EXPECT_TRUE(sameBits(p, geodesicScaled(p, HomVec4::zero(), t))) << "t = " << t;
    }
    // Just under the floor still counts as no velocity.
    EXPECT_TRUE(sameBits(p, geodesicScaled(p, HomVec4::init(0, 9e-16, 0, 0), 1e20)));
}

TEST(GeodesicScaled, SpeedOfExactlyTheFloorStillMoves) {
    const HomVec4 p = HomVec4::init(0, 1, 0, 0);
    const HomVec4 v = HomVec4::init(1e-15, 0, 0, 0);
    ASSERT_EQ(v.norm(), 1e-15);  // the comparison against the floor is strict

    const HomVec4 small_step = geodesicScaled(p, v, 1.0);
    EXPECT_NE(small_step.x, 0.0);
    EXPECT_NEAR(small_step.x, 1e-15, 1e-30);

    // At t = 1e15 the angle travelled is 1 radian.
    const HomVec4 one_radian = geodesicScaled(p, v, 1e15);
    EXPECT_NEAR(one_radian.x, std::sin(1.0), 1e-15);
    EXPECT_NEAR(one_radian.y, std::cos(1.0), 1e-15);
}

TEST(GeodesicScaled, TravelsAtTheSpeedOfTheVelocity) {
    const HomVec4 g = geodesicScaled(HomVec4::init(1, 0, 0, 0), HomVec4::init(0, 2, 0, 0), pi / 4);
    EXPECT_NEAR(g.x, 0.0, 1e-15);
    EXPECT_EQ(g.y, 1.0);
    EXPECT_EQ(g.z, 0.0);
    EXPECT_EQ(g.w, 0.0);
}

TEST(GeodesicScaled, MultipliesBySineBeforeTheReciprocalOfTheSpeed) {
    const HomVec4 p = HomVec4::init(0, 0, 1, 0);
    const HomVec4 v = HomVec4::init(0.62, 0.7, 0, 0);
    const double t = 1.3;

    const double speed = std::sqrt(atRunTime(0.62 * 0.62 + 0.7 * 0.7));
    const double sn = std::sin(atRunTime(speed * t));
    const double ct = std::cos(atRunTime(speed * t));
    const double inv_speed = 1.0 / speed;
    const double x = (sn * 0.62) * inv_speed;
    // For this input the other orders round differently, so the check below can tell them apart.
    ASSERT_NE(bitsOf(x), bitsOf(sn * (0.62 * inv_speed)));
    ASSERT_NE(bitsOf(x), bitsOf((sn * 0.62) / speed));

    const HomVec4 expected =
        HomVec4::init(ct * 0.0 + x, ct * 0.0 + (sn * 0.7) * inv_speed, ct * 1.0 + (sn * 0.0) * inv_speed,
                      ct * 0.0 + (sn * 0.0) * inv_speed);
    EXPECT_TRUE(sameBits(expected, geodesicScaled(p, v, t)));
}

TEST(GeodesicScaled, NaNVelocityPropagates) {
    const HomVec4 g = geodesicScaled(HomVec4::init(1, 0, 0, 0), HomVec4::init(nan, 0, 0, 0), 1.0);
    EXPECT_TRUE(std::isnan(g.x));
    EXPECT_TRUE(std::isnan(g.w));
}

TEST(FsDistanceAlongGeodesic, IsEvenWithPeriodPi) {
    for (double t : {0.3, 1.2, 2.0, 4.0, 100.0}) {
        EXPECT_EQ(bitsOf(fsDistanceAlongGeodesic(t)), bitsOf(fsDistanceAlongGeodesic(-t))) << t;
    }
    EXPECT_EQ(bitsOf(fsDistanceAlongGeodesic(-0.0)), bitsOf(0.0));
    EXPECT_EQ(fsDistanceAlongGeodesic(pi), 0.0);
    EXPECT_NEAR(fsDistanceAlongGeodesic(5 * pi / 4), pi / 4, 1e-15);
    EXPECT_EQ(fsDistanceAlongGeodesic(pi / 2), pi / 2);
}

TEST(FsDistanceAlongGeodesic, ReducesWithTheExactRemainder) {
    // A reduction through t − floor(t/π)·π loses the low bits here; the exact remainder does not.
    const double t = atRunTime(100.0);
    const double exact = pi - std::fmod(t, pi);
    const double naive = pi - (t - std::floor(t / pi) * pi);
    ASSERT_NE(bitsOf(exact), bitsOf(naive));
    EXPECT_EQ(bitsOf(exact), bitsOf(fsDistanceAlongGeodesic(100.0)));
}

TEST(FsDistanceAlongGeodesic, NonFiniteTimeGivesNaN) {
    EXPECT_TRUE(std::isnan(fsDistanceAlongGeodesic(inf)));
    EXPECT_TRUE(std::isnan(fsDistanceAlongGeodesic(-inf)));
    EXPECT_TRUE(std::isnan(fsDistanceAlongGeodesic(nan)));
}

struct OrthogonalCase {
    HomVec4 p;
    HomVec4 expected;  // bit for bit, signs of zeros included
};

TEST(OrthogonalVelocity, AxisChoiceAndSignsOfZeros) {
    const double s = std::sqrt(0.75);
    const OrthogonalCase cases[] = {
        // Smallest component w (all three others tie with it): axis w.
        {HomVec4::init(1, 0, 0, 0), HomVec4::init(-0.0, -0.0, -0.0, 1.0)},
        // w is largest; x, y, z tie at zero and x comes first.
        {HomVec4::init(0, 0, 0, 1), HomVec4::init(1.0, -0.0, -0.0, -0.0)},
        // Everything ties: axis w.
        {HomVec4::init(0.5, 0.5, 0.5, 0.5), HomVec4::init(-0.25 / s, -0.25 / s, -0.25 / s, 0.75 / s)},
        // The null vector picks axis w too.
        {HomVec4::zero(), HomVec4::init(-0.0, -0.0, -0.0, 1.0)},
        // y and z tie at zero below x and w: y wins.
        {HomVec4::init(0.6, 0, 0, 0.8), HomVec4::init(-0.0, 1.0, -0.0, -0.0)},
        // Only z is smallest.
        {HomVec4::init(0.6, 0.8, 0, 0.1), HomVec4::init(-0.0, -0.0, 1.0, -0.0)},
        // A negative component on the chosen axis turns the off-axis zeros positive.
        {HomVec4::init(-0.0, 0.6, 0.8, 0.9), HomVec4::init(1.0, 0.0, 0.0, 0.0)},
    };
    for (const OrthogonalCase& c : cases) {
        EXPECT_TRUE(sameBits(c.expected, orthogonalVelocity(c.p)))
            << "p = (" << c.p.x << ", " << c.p.y << ", " << c.p.z << ", " << c.p.w << ")";
    }
}

TEST(OrthogonalVelocity, NaNInZLeadsToAxisZ) {
    const HomVec4 u = orthogonalVelocity(HomVec4::init(0, 0, nan, 0));
    // Axis z: (−z)·x and friends are NaN, and so is everything after normalising.
    EXPECT_TRUE(std::isnan(u.x));
    EXPECT_TRUE(std::isnan(u.z));
    // With the NaN elsewhere the axis is still chosen among the rest.
    const HomVec4 from_w_nan = orthogonalVelocity(HomVec4::init(0.6, 0.8, 0.0, nan));
    EXPECT_TRUE(std::isnan(from_w_nan.w));
}

TEST(OrthogonalVelocity, IsAUnitTangentOnTheSphere) {
    const HomVec4 points[] = {
        HomVec4::init(1, 2, 3, 4).normalize(),
        HomVec4::init(-0.3, 0.1, -0.9, 0.2).normalize(),
        HomVec4::init(0.5, -0.5, 0.5, -0.5),
    };
    for (const HomVec4& p : points) {
        const HomVec4 u = orthogonalVelocity(p);
        EXPECT_NEAR(HomVec4::dot(p, u), 0.0, 1e-15);
        EXPECT_NEAR(u.norm(), 1.0, 1e-15);
    }
}

}  // namespace
