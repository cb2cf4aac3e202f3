#include <cmath>
#include <numbers>

#include <gtest/gtest.h>

#include "test_support.hpp"
#include "vorn_geodesic.hpp"

namespace {

using vorn::test::atRunTime;
using vorn::test::bitsOf;
using vorn::test::sameBits;
using vorn_geodesic::expMap;
using vorn_geodesic::geodesicExact;
using vorn_geodesic::logMap;
using vorn_geodesic::parallelTransport;
using vorn_kernel::HomVec4;

constexpr double pi = std::numbers::pi;
const double root_half = std::sqrt(0.5);

HomVec4 negated(HomVec4 a) { return HomVec4::init(-a.x, -a.y, -a.z, -a.w); }

void expectNear(HomVec4 expected, HomVec4 actual, double tolerance) {
    EXPECT_NEAR(expected.x, actual.x, tolerance);
    EXPECT_NEAR(expected.y, actual.y, tolerance);
    EXPECT_NEAR(expected.z, actual.z, tolerance);
    EXPECT_NEAR(expected.w, actual.w, tolerance);
}

TEST(ParallelTransport, AtTimeZeroReturnsTheVector) {
    const HomVec4 p = HomVec4::init(0.6, 0, 0, 0.8);
    const HomVec4 v = HomVec4::init(0, 1, 0, 0);
    const HomVec4 w = HomVec4::init(0.3, -0.7, 0.2, 0.5);
    expectNear(w, parallelTransport(p, v, w, 0.0), 1e-16);
}

TEST(ParallelTransport, TurnsThePlaneOfMotionAndKeepsTheRest) {
    const HomVec4 p = HomVec4::init(0.6, 0, 0, 0.8);
    const HomVec4 v = HomVec4::init(0, 0, 1, 0);
    const double t = atRunTime(0.9);
    const double ct = std::cos(t);
    const double st = std::sin(t);
    expectNear(geodesicExact(p, v, t), parallelTransport(p, v, p, t), 1e-15);
    expectNear(HomVec4::init(-st * p.x, -st * p.y, ct, -st * p.w), parallelTransport(p, v, v, t), 1e-15);
    // The direction orthogonal to both p and v comes back unchanged, bit for bit.
    const HomVec4 off_plane = HomVec4::init(0, 1, 0, 0);
    EXPECT_TRUE(sameBits(off_plane, parallelTransport(p, v, off_plane, t)));
}

TEST(ParallelTransport, TangentVectorStaysTangentWithItsLength) {
    const HomVec4 p = HomVec4::init(1, 0, 0, 0);
    const HomVec4 v = HomVec4::init(0, 1, 0, 0);
    const HomVec4 w = HomVec4::init(0, 0.3, -0.4, 1.2);
    for (double t : {0.4, 1.0, 2.5, -3.0}) {
        const HomVec4 moved = parallelTransport(p, v, w, t);
        EXPECT_NEAR(moved.norm(), w.norm(), 1e-15);
        EXPECT_NEAR(HomVec4::dot(moved, geodesicExact(p, v, t)), 0.0, 1e-15);
    }
}

TEST(ExpMap, NullVelocityReturnsTheStartPoint) {
    const HomVec4 p = HomVec4::init(0.6, -0.0, 0, 0.8);
    EXPECT_TRUE(sameBits(p, expMap(p, HomVec4::zero())));
}

TEST(LogMap, SamePointGivesTheNullVector) {
    for (HomVec4 p : {HomVec4::init(1, 0, 0, 0), HomVec4::init(0.6, 0, 0, 0.8)}) {
        for (HomVec4 q : {p, negated(p), HomVec4::init(2 * p.x, 2 * p.y, 2 * p.z, 2 * p.w)}) {
            EXPECT_TRUE(sameBits(HomVec4::zero(), logMap(p, q)));
        }
        EXPECT_TRUE(sameBits(HomVec4::zero(), logMap(p, HomVec4::zero())));
        EXPECT_TRUE(sameBits(HomVec4::zero(), logMap(HomVec4::zero(), p)));
    }
}

TEST(LogMap, NearNullArgumentsGiveTheNullVector) {
    const HomVec4 p = HomVec4::init(0, 1, 0, 0);
    EXPECT_TRUE(sameBits(HomVec4::zero(), logMap(p, HomVec4::init(9e-16, 0, 0, 0))));
    EXPECT_TRUE(sameBits(HomVec4::zero(), logMap(HomVec4::init(0, 0, 9e-16, 0), p)));
}

TEST(LogMap, RoundedSelfDistanceLeavesATinyVector) {
    // 2/(√2·√2) rounds just below 1, so the distance of this point to itself is about 2.1e-8
    // and the result is a residue of order 1e-16 rather than the null vector.
    const HomVec4 p = HomVec4::init(0, 0, 1, 1);
    const HomVec4 self = logMap(p, p);
    EXPECT_EQ(self.x, 0.0);
    EXPECT_EQ(self.y, 0.0);
    EXPECT_NE(self.z, 0.0);
    EXPECT_NE(self.w, 0.0);
    EXPECT_LT(std::fabs(self.z), 1e-15);
    EXPECT_GT(std::fabs(self.z), 1e-17);
}

TEST(LogMap, PointsTowardsTheTargetWithTheDistanceAsLength) {
    const HomVec4 p = HomVec4::init(1, 0, 0, 0);
    // Built at run time: g++ 12.2 targeting AVX-512 passes a constant (c, c, 0, 0) argument
    // as (c, c, c, c).
    const HomVec4 q = HomVec4::init(atRunTime(root_half), atRunTime(root_half), 0, 0);
    const HomVec4 v = logMap(p, q);
    expectNear(HomVec4::init(0, pi / 4, 0, 0), v, 1e-15);
    expectNear(q, expMap(p, v), 1e-15);
}

TEST(LogMap, UsesTheTargetWithItsOwnSign) {
    // The distance is to the nearer of q and −q (π/4), but the direction comes from q itself,
    // so the result has a component along p.
    const HomVec4 p = HomVec4::init(1, 0, 0, 0);
    const HomVec4 v = logMap(p, HomVec4::init(-root_half, root_half, 0, 0));
    expectNear(HomVec4::init(-pi / 2, pi / 4, 0, 0), v, 1e-15);
}

TEST(LogMap, DoesNotNormaliseTheTarget) {
    const HomVec4 v = logMap(HomVec4::init(1, 0, 0, 0), HomVec4::init(0, 2, 0, 0));
    EXPECT_NEAR(v.x, 0.0, 1e-15);
    EXPECT_NE(v.x, 0.0);  // cos(π/2) is not exactly 0
    EXPECT_EQ(bitsOf(v.y), bitsOf(pi));
}

TEST(LogMap, SubtractsBeforeScaling) {
    const HomVec4 p = HomVec4::init(0.3, 0.1, -0.5, 0.8);
    const HomVec4 q = HomVec4::init(-0.2, 0.9, 0.4, 0.1);
    const double d = vorn_kernel::fsDistance(p, q);
    const double cos_d = std::cos(atRunTime(d));
    const double sin_d = std::sin(atRunTime(d));
    const double scale = d / sin_d;
    const HomVec4 expected = HomVec4::init(scale * (q.x - cos_d * p.x), scale * (q.y - cos_d * p.y),
                                           scale * (q.z - cos_d * p.z), scale * (q.w - cos_d * p.w));
    EXPECT_TRUE(sameBits(expected, logMap(p, q)));
}

}  // namespace
