// The Runge–Kutta step: which bodies it moves, what it does to them, and its exact arithmetic.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <random>

#include "support/same_bits.hpp"
#include "vorn_physics.hpp"

namespace {

using vorn::test::atRunTime;
using vorn::test::sameBits;
using vorn_kernel::HomVec4;
using vorn_physics::integrateStep;
using vorn_physics::VornBody;
using BodyType = VornBody::BodyType;

// A dynamic body with a velocity and forces already collected.
VornBody loadedBody() {
    VornBody body = VornBody::init(HomVec4::init(0.6, 0, 0.8, 0), HomVec4::init(0, 0.3, 0, -0.1), 1.0);
    body.applyForce(HomVec4::init(0.25, -0.5, 0, 1));
    return body;
}

// The step written independently with arrays and loops, in the same order of operations.
VornBody referenceStep(VornBody body, double dt, HomVec4 external) {
    using V = std::array<double, 4>;
    auto arr = [](HomVec4 h) { return V{h.x, h.y, h.z, h.w}; };
    auto dot = [](const V& a, const V& b) {
        return ((a[0] * b[0] + a[1] * b[1]) + a[2] * b[2]) + a[3] * b[3];
    };
    if (!body.active || body.body_type != BodyType::dynamic) return body;
    const V q = arr(body.position);
    const V v = arr(body.velocity);
    const double m = body.mass;
    if (m < 1e-10) return body;
    V f{};
    const V ext = arr(external);
    const V acc = arr(body.force_accum);
    for (int i = 0; i < 4; ++i) f[i] = ext[i] + acc[i];
    auto accel = [&](const V& Q, double s) {
        V a{};
        for (int i = 0; i < 4; ++i) a[i] = ((-s) * Q[i]) + (f[i] / m);
        return a;
    };
    auto step = [](const V& base, double factor, const V& slope) {
        V r{};
        for (int i = 0; i < 4; ++i) r[i] = base[i] + factor * slope[i];
        return r;
    };
    const double h = 0.5 * dt;
    const V k1q = v, k1v = accel(q, dot(v, v));
    const V q2 = step(q, h, k1q), v2 = step(v, h, k1v);
    const V k2q = v2, k2v = accel(q2, dot(v2, v2));
    const V q3 = step(q, h, k2q), v3 = step(v, h, k2v);
    const V k3q = v3, k3v = accel(q3, dot(v3, v3));
    const V q4 = step(q, dt, k3q), v4 = step(v, dt, k3v);
    const V k4q = v4, k4v = accel(q4, dot(v4, v4));
    V pos{}, vel{};
    for (int i = 0; i < 4; ++i) {
        pos[i] = q[i] + (dt / 6.0) * (((k1q[i] + 2.0 * k2q[i]) + 2.0 * k3q[i]) + k4q[i]);
        vel[i] = v[i] + (dt / 6.0) * (((k1v[i] + 2.0 * k2v[i]) + 2.0 * k3v[i]) + k4v[i]);
    }
    HomVec4 position = HomVec4::init(pos[0], pos[1], pos[2], pos[3]);
    if (position.norm() > 1e-15) position = position.normalize();
    const V p = arr(position);
    const double radial = dot(vel, p);
    for (int i = 0; i < 4; ++i) vel[i] = vel[i] - radial * p[i];
    body.position = position;
    body.velocity = HomVec4::init(vel[0], vel[1], vel[2], vel[3]);
    body.force_accum = HomVec4::zero();
    return body;
}

TEST(IntegrateStepEarlyReturn, LeavesBodiesItMustNotMoveUntouched) {
    VornBody inactive = loadedBody();
    inactive.active = false;
    VornBody fixed = VornBody::static_(HomVec4::init(1, 0, 0, 0));
    fixed.active = true;  // the kind alone keeps it in place
    fixed.mass = 1.0;
    fixed.velocity = HomVec4::init(0, 1, 0, 0);
    fixed.force_accum = HomVec4::init(0, 0, 3, 0);
    VornBody kinematic = loadedBody();
    kinematic.body_type = BodyType::kinematic;

    for (const VornBody& original : {inactive, fixed, kinematic}) {
        VornBody body = original;
        integrateStep(body, 0.1, HomVec4::init(0, 5, 0, 0));
        EXPECT_TRUE(sameBits(original, body));
    }
}

TEST(IntegrateStepEarlyReturn, LeavesBodiesLighterThanTheFloorUntouched) {
    for (const double mass : {0.0, -0.0, -1.0, std::nextafter(1e-10, 0.0), -HUGE_VAL}) {
        VornBody original = loadedBody();
        original.mass = mass;
        VornBody body = original;
        integrateStep(body, 0.1, HomVec4::init(0, 5, 0, 0));
        EXPECT_TRUE(sameBits(original, body)) << "mass " << mass;
    }
}

TEST(IntegrateStepEarlyReturn, AMassOfExactlyTheFloorIsIntegrated) {
    VornBody body = loadedBody();
    body.mass = 1e-10;
    const VornBody expected = referenceStep(body, 1e-6, HomVec4::zero());
    integrateStep(body, 1e-6, HomVec4::zero());
    EXPECT_TRUE(sameBits(expected, body));
    EXPECT_TRUE(sameBits(HomVec4::zero(), body.force_accum));
    EXPECT_GT(std::fabs(body.position.y), 0.0);
}

TEST(IntegrateStep, FreeBodyFollowsItsGreatCircle) {
    VornBody body = VornBody::init(HomVec4::init(1, 0, 0, 0), HomVec4::init(0, 0.1, 0, 0), 1.0);
    integrateStep(body, 0.01, HomVec4::zero());
    const double angle = atRunTime(0.001);
    EXPECT_NEAR(body.position.x, std::cos(angle), 1e-15);
    EXPECT_NEAR(body.position.y, std::sin(angle), 1e-15);
    EXPECT_TRUE(sameBits(0.0, body.position.z));
    EXPECT_TRUE(sameBits(0.0, body.position.w));
    EXPECT_NEAR(body.velocity.x, -0.1 * std::sin(angle), 1e-15);
    EXPECT_NEAR(body.velocity.y, 0.1 * std::cos(angle), 1e-15);
    EXPECT_NEAR(body.position.norm(), 1.0, 1e-15);
    EXPECT_NEAR(HomVec4::dot(body.velocity, body.position), 0.0, 1e-17);
}

TEST(IntegrateStep, FreeBodyKeepsItsSpeedOverManySteps) {
    VornBody body = VornBody::init(HomVec4::init(1, 0, 0, 0), HomVec4::init(0, 0.1, 0, 0), 1.0);
    for (int i = 0; i < 1000; ++i) integrateStep(body, 0.01, HomVec4::zero());
    const double angle = atRunTime(0.1 * 10.0);
    EXPECT_NEAR(body.position.x, std::cos(angle), 1e-12);
    EXPECT_NEAR(body.position.y, std::sin(angle), 1e-12);
    EXPECT_NEAR(body.velocity.norm(), 0.1, 1e-13);
}

TEST(IntegrateStep, RadialForceLeavesABodyAtRestWhereItIs) {
    VornBody body = VornBody::init(HomVec4::init(1, 0, 0, 0), HomVec4::zero(), 1.0);
    integrateStep(body, 0.1, HomVec4::init(1, 0, 0, 0));
    EXPECT_TRUE(sameBits(HomVec4::init(1, 0, 0, 0), body.position));
    EXPECT_TRUE(sameBits(HomVec4::zero(), body.velocity));
}

TEST(IntegrateStep, TangentialForceMovesTheBodyAlongIt) {
    const double dt = 0.1;
    const double m = 2.0;
    VornBody body = VornBody::init(HomVec4::init(1, 0, 0, 0), HomVec4::zero(), m);
    integrateStep(body, dt, HomVec4::init(0, 1, 0, 0));
    EXPECT_NEAR(body.position.norm(), 1.0, 1e-15);
    EXPECT_GT(body.position.y, 0.0);
    EXPECT_NEAR(body.position.y, dt * dt / (2 * m), 1e-8);
    EXPECT_EQ(body.position.z, 0.0);
    EXPECT_EQ(body.position.w, 0.0);
    EXPECT_NEAR(body.velocity.y, dt / m, 1e-6);
    EXPECT_LT(body.velocity.x, 0.0);
    EXPECT_NEAR(body.velocity.x, -(dt / m) * (dt * dt / (2 * m)), 1e-7);
    EXPECT_NEAR(HomVec4::dot(body.velocity, body.position), 0.0, 1e-17);
}

TEST(IntegrateStep, AccumulatedAndExternalForcesAddUp) {
    VornBody split = VornBody::init(HomVec4::init(1, 0, 0, 0), HomVec4::init(0, 0, 0.2, 0), 1.5);
    split.applyForce(HomVec4::init(0, 0.5, 0, 0));
    VornBody whole = VornBody::init(HomVec4::init(1, 0, 0, 0), HomVec4::init(0, 0, 0.2, 0), 1.5);
    integrateStep(split, 0.05, HomVec4::init(0, 0.5, 0, 0));
    integrateStep(whole, 0.05, HomVec4::init(0, 1, 0, 0));
    EXPECT_TRUE(sameBits(whole, split));
    EXPECT_TRUE(sameBits(HomVec4::zero(), split.force_accum));
}

TEST(IntegrateStep, ForcesAreConsumedOnce) {
    VornBody body = VornBody::init(HomVec4::init(1, 0, 0, 0), HomVec4::zero(), 1.0);
    body.applyForce(HomVec4::init(0, 1, 0, 0));
    integrateStep(body, 0.1, HomVec4::zero());
    const HomVec4 velocity_after_push = body.velocity;
    integrateStep(body, 0.1, HomVec4::zero());
    // The second step is free motion: the speed stays that of the first.
    EXPECT_NEAR(body.velocity.norm(), velocity_after_push.norm(), 1e-12);
}

TEST(IntegrateStep, ZeroTimeStepOnlyRenormalisesAndTakesOutTheRadialVelocity) {
    VornBody body = VornBody::init(HomVec4::init(1, 0, 0, 0), HomVec4::init(1, 1, 0, 0), 1.0);
    body.applyForce(HomVec4::init(0, 0, 9, 0));
    integrateStep(body, 0.0, HomVec4::init(0, 0, 0, 9));
    EXPECT_TRUE(sameBits(HomVec4::init(1, 0, 0, 0), body.position));
    EXPECT_TRUE(sameBits(HomVec4::init(0, 1, 0, 0), body.velocity));
    EXPECT_TRUE(sameBits(HomVec4::zero(), body.force_accum));

    VornBody off_sphere = VornBody::init(HomVec4::init(0, 1, 0, 0), HomVec4::zero(), 1.0);
    off_sphere.position = HomVec4::init(0, 3, 0, 4);
    integrateStep(off_sphere, 0.0, HomVec4::zero());
    EXPECT_TRUE(sameBits(HomVec4::init(0, 0.6, 0, 0.8), off_sphere.position));
}

TEST(IntegrateStep, NegativeTimeStepRunsBackwards) {
    VornBody body = VornBody::init(HomVec4::init(1, 0, 0, 0), HomVec4::init(0, 0.1, 0, 0.05), 1.0);
    const VornBody start = body;
    integrateStep(body, 0.02, HomVec4::zero());
    integrateStep(body, -0.02, HomVec4::zero());
    EXPECT_NEAR(body.position.x, start.position.x, 1e-14);
    EXPECT_NEAR(body.position.y, start.position.y, 1e-14);
    EXPECT_NEAR(body.position.w, start.position.w, 1e-14);
    EXPECT_NEAR(body.velocity.y, start.velocity.y, 1e-14);
    EXPECT_NEAR(body.velocity.w, start.velocity.w, 1e-14);
}

TEST(IntegrateStep, ACollapsedPositionIsNotDividedByItsVanishingNorm) {
    VornBody body = VornBody::init(HomVec4::init(1, 0, 0, 0), HomVec4::zero(), 1.0);
    body.position = HomVec4::zero();
    integrateStep(body, 0.1, HomVec4::zero());
    EXPECT_TRUE(sameBits(HomVec4::zero(), body.position));
    EXPECT_TRUE(sameBits(HomVec4::zero(), body.velocity));

    body.position = HomVec4::init(1e-16, 0, 0, 0);
    integrateStep(body, 0.0, HomVec4::zero());
    EXPECT_TRUE(sameBits(HomVec4::init(1e-16, 0, 0, 0), body.position));
}

TEST(IntegrateStep, MatchesTheScalarOrderOfOperationsBitForBit) {
    std::mt19937_64 rng(20261208);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    auto randomVec = [&](double scale) {
        return HomVec4::init(scale * unit(rng), scale * unit(rng), scale * unit(rng), scale * unit(rng));
    };
    for (int i = 0; i < 2000; ++i) {
        VornBody body = VornBody::init(randomVec(1.0), randomVec(0.5), 0.1 + std::fabs(unit(rng)) * 10.0);
        body.applyForce(randomVec(3.0));
        const double dt = unit(rng) * 0.2;
        const HomVec4 external = randomVec(2.0);
        const VornBody expected = referenceStep(body, dt, external);
        integrateStep(body, dt, external);
        ASSERT_TRUE(sameBits(expected, body)) << "case " << i;
    }
}

TEST(IntegrateStep, NonFiniteInputPropagatesWithoutTrapping) {
    VornBody body = VornBody::init(HomVec4::init(1, 0, 0, 0), HomVec4::zero(), 1.0);
    integrateStep(body, 0.1, HomVec4::init(std::numeric_limits<double>::quiet_NaN(), 0, 0, 0));
    // The position's norm is NaN, so it is left unnormalised; the accumulator is still cleared.
    EXPECT_TRUE(std::isnan(body.position.x));
    EXPECT_TRUE(sameBits(HomVec4::zero(), body.force_accum));
}

}  // namespace
