#include <cstdint>
#include <limits>
#include <new>
#include <numbers>
#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.hpp"
#include "vorn_geodesic.hpp"

namespace {

using vorn::geodesic_test::CountingResource;
using vorn::geodesic_test::FailingResource;
using vorn::test::bitsOf;
using vorn::test::sameBits;
using vorn_geodesic::freeGeodesicRhs;
using vorn_geodesic::geodesicExact;
using vorn_geodesic::GeodesicState;
using vorn_geodesic::rk4Integrate;
using vorn_geodesic::rk4Step;
using vorn_kernel::HomVec4;

constexpr double pi = std::numbers::pi;

// Frees a trajectory through the resource it came from, as its owner must.
void release(std::pmr::memory_resource& resource, std::span<GeodesicState> trajectory) {
    resource.deallocate(trajectory.data(), trajectory.size_bytes(), alignof(GeodesicState));
}

GeodesicState unitCircleStart() {
    return GeodesicState::fromHomVec4(HomVec4::init(1, 0, 0, 0), HomVec4::init(0, 1, 0, 0));
}

// A right-hand side is a plain function, so the times it sees are recorded in a global.
std::vector<double> g_seen_times;

GeodesicState recordingRhs(double t, GeodesicState state) {
    g_seen_times.push_back(t);
    return freeGeodesicRhs(t, state);
}

TEST(FreeGeodesicRhs, CopiesVelocityAndPullsTowardsTheCentre) {
    const GeodesicState rate = freeGeodesicRhs(
        123.0, GeodesicState::fromHomVec4(HomVec4::init(1, 0, 0, 0), HomVec4::init(0, 2, 0, 0)));
    EXPECT_TRUE(sameBits(HomVec4::init(0, 2, 0, 0), rate.pos()));
    EXPECT_TRUE(sameBits(HomVec4::init(-4.0, -0.0, -0.0, -0.0), rate.vel()));
}

TEST(FreeGeodesicRhs, NoVelocityGivesZeroDerivative) {
    const GeodesicState rate = freeGeodesicRhs(0.0, GeodesicState::init({0.6, 0, 0, 0.8}, {0, 0, 0, 0}));
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(rate.q[i], 0.0);
        EXPECT_EQ(rate.v[i], 0.0);
    }
}

TEST(Rk4Step, CallsTheRightHandSideFourTimesAtTheStageTimes) {
    g_seen_times.clear();
    rk4Step(recordingRhs, 1.0, unitCircleStart(), 0.25);
    EXPECT_EQ(g_seen_times, (std::vector<double>{1.0, 1.125, 1.125, 1.25}));
}

TEST(Rk4Step, FreeMotionDoesNotDependOnTime) {
    const GeodesicState y = unitCircleStart();
    EXPECT_TRUE(sameBits(rk4Step(freeGeodesicRhs, 0.0, y, 0.1), rk4Step(freeGeodesicRhs, 1e6, y, 0.1)));
}

// Each stage's position rate is its own time, so the stages differ and their grouping shows.
GeodesicState timeRhs(double t, GeodesicState) {
    return GeodesicState::init({t, 0.1 * t, 0, 0}, {0, 0, 0, 0});
}

TEST(Rk4Step, CombinesStagesAsTwoHalvesAndDividesTheStepBySix) {
    const double t = 0.4;
    const double h = 0.98000000000000009;
    const GeodesicState y = GeodesicState::init({0.1, 0.2, 0, 0}, {0, 0, 0, 0});
    const double k1 = t;
    const double k2 = t + 0.5 * h;
    const double k4 = t + h;
    const double combined = (k1 + 2.0 * k2) + (2.0 * k2 + k4);
    const double expected = 0.1 + (h / 6.0) * combined;
    // The other groupings round differently here, so a reordering would show.
    ASSERT_NE(bitsOf(expected), bitsOf(0.1 + (h / 6.0) * (((k1 + 2.0 * k2) + 2.0 * k2) + k4)));
    ASSERT_NE(bitsOf(expected), bitsOf(0.1 + (h * (1.0 / 6.0)) * combined));
    ASSERT_NE(bitsOf(expected), bitsOf(0.1 + h * combined / 6.0));
    const GeodesicState next = rk4Step(timeRhs, t, y, h);
    EXPECT_EQ(bitsOf(expected), bitsOf(next.q[0]));
}

TEST(Rk4Integrate, AsksForExactlyOneBlockOfAllStates) {
    CountingResource resource;
    const auto trajectory = rk4Integrate(freeGeodesicRhs, 0.0, 1.0, unitCircleStart(), 37, resource);
    ASSERT_EQ(resource.requests.size(), 1u);
    EXPECT_EQ(resource.requests[0].bytes, 38 * sizeof(GeodesicState));
    EXPECT_EQ(resource.requests[0].alignment, alignof(GeodesicState));
    EXPECT_EQ(trajectory.size(), 38u);
    EXPECT_EQ(trajectory.size_bytes(), 38 * sizeof(GeodesicState));
    release(resource, trajectory);
    EXPECT_EQ(resource.outstanding, 0u);
}

TEST(Rk4Integrate, ZeroStepsGiveTheStartStateOnly) {
    CountingResource resource;
    const GeodesicState y0 = unitCircleStart();
    g_seen_times.clear();
    const auto trajectory = rk4Integrate(recordingRhs, 0.0, 1.0, y0, 0, resource);
    ASSERT_EQ(trajectory.size(), 1u);
    EXPECT_TRUE(sameBits(y0, trajectory[0]));
    EXPECT_TRUE(g_seen_times.empty());
    EXPECT_EQ(resource.requests[0].bytes, sizeof(GeodesicState));
    release(resource, trajectory);
}

TEST(Rk4Integrate, EmptyIntervalKeepsEveryStateAtTheStart) {
    CountingResource resource;
    const GeodesicState y0 = GeodesicState::init({0.6, 0, 0, 0.8}, {0, 0.5, 0, 0});
    const auto trajectory = rk4Integrate(freeGeodesicRhs, 2.0, 2.0, y0, 10, resource);
    ASSERT_EQ(trajectory.size(), 11u);
    for (const GeodesicState& state : trajectory) EXPECT_TRUE(sameBits(y0, state));
    release(resource, trajectory);
}

TEST(Rk4Integrate, BackwardsIntervalRunsTheCircleBackwards) {
    CountingResource resource;
    const auto trajectory = rk4Integrate(freeGeodesicRhs, 0.0, -1.0, unitCircleStart(), 200, resource);
    const HomVec4 exact = geodesicExact(HomVec4::init(1, 0, 0, 0), HomVec4::init(0, 1, 0, 0), -1.0);
    const HomVec4 end = trajectory[200].pos();
    EXPECT_NEAR(end.x, exact.x, 1e-10);
    EXPECT_NEAR(end.y, exact.y, 1e-10);
    EXPECT_LT(end.y, 0.0);
    release(resource, trajectory);
}

TEST(Rk4Integrate, MatchesTheExactGeodesicClosely) {
    CountingResource resource;
    const double t1 = pi / 4;
    const auto trajectory = rk4Integrate(freeGeodesicRhs, 0.0, t1, unitCircleStart(), 100, resource);
    const HomVec4 exact = geodesicExact(HomVec4::init(1, 0, 0, 0), HomVec4::init(0, 1, 0, 0), t1);
    const HomVec4 end = trajectory[100].pos();
    EXPECT_NEAR(end.x, exact.x, 1e-10);
    EXPECT_NEAR(end.y, exact.y, 1e-10);
    EXPECT_EQ(end.z, 0.0);
    EXPECT_EQ(end.w, 0.0);
    release(resource, trajectory);
}

TEST(Rk4Integrate, StepsAreChainedThroughTheTrajectory) {
    CountingResource resource;
    const auto trajectory = rk4Integrate(freeGeodesicRhs, 0.0, 0.5, unitCircleStart(), 5, resource);
    for (std::size_t i = 1; i < trajectory.size(); ++i) {
        EXPECT_TRUE(sameBits(rk4Step(freeGeodesicRhs, 0.0, trajectory[i - 1], 0.1), trajectory[i])) << i;
    }
    release(resource, trajectory);
}

TEST(Rk4Integrate, AccumulatesTimeByRepeatedAddition) {
    CountingResource resource;
    const double t0 = 0.1;
    const double h = (1.0 - t0) / 30.0;
    g_seen_times.clear();
    const auto trajectory = rk4Integrate(recordingRhs, t0, 1.0, unitCircleStart(), 30, resource);
    ASSERT_EQ(g_seen_times.size(), 4u * 30u);
    double t = t0;
    bool differs_from_product = false;
    for (std::size_t i = 0; i < 30; ++i) {
        EXPECT_EQ(bitsOf(t), bitsOf(g_seen_times[4 * i])) << "step " << i;
        if (t != t0 + static_cast<double>(i) * h) differs_from_product = true;
        t = t + h;
    }
    // Otherwise the check above could not tell the two ways of forming the time apart.
    EXPECT_TRUE(differs_from_product);
    release(resource, trajectory);
}

TEST(Rk4Integrate, OutOfMemoryPropagatesBeforeAnyWork) {
    FailingResource resource;
    g_seen_times.clear();
    EXPECT_THROW(rk4Integrate(recordingRhs, 0.0, 1.0, unitCircleStart(), 100, resource), std::bad_alloc);
    EXPECT_EQ(resource.attempts, 1u);
    EXPECT_TRUE(g_seen_times.empty());
}

TEST(Rk4Integrate, CountThatDoesNotFitIn32BitsIsRefusedWithoutAsking) {
    CountingResource resource;
    EXPECT_THROW(rk4Integrate(freeGeodesicRhs, 0.0, 1.0, unitCircleStart(),
                              std::numeric_limits<std::uint32_t>::max(), resource),
                 std::bad_alloc);
    EXPECT_TRUE(resource.requests.empty());
    EXPECT_EQ(resource.outstanding, 0u);
}

GeodesicState throwingRhs(double t, GeodesicState state) {
    if (t > 0.5) throw std::runtime_error("right-hand side gave up");
    return freeGeodesicRhs(t, state);
}

TEST(Rk4Integrate, ThrowingRightHandSideLeavesNothingAllocated) {
    CountingResource resource;
    EXPECT_THROW(rk4Integrate(throwingRhs, 0.0, 1.0, unitCircleStart(), 10, resource), std::runtime_error);
    EXPECT_EQ(resource.requests.size(), 1u);
    EXPECT_EQ(resource.outstanding, 0u);
}

}  // namespace
