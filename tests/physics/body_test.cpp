// Body construction, force accumulation and the distance between bodies.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

#include "support/same_bits.hpp"
#include "vorn_physics.hpp"

namespace {

using vorn::test::sameBits;
using vorn_kernel::HomVec4;
using vorn_physics::VornBody;
using BodyType = VornBody::BodyType;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(VornBodyInit, NormalisesThePosition) {
    EXPECT_TRUE(sameBits(HomVec4::init(1, 0, 0, 0),
                         VornBody::init(HomVec4::init(2, 0, 0, 0), HomVec4::zero(), 1.0).position));
    const HomVec4 pos = HomVec4::init(3, 4, 0, 1);
    const VornBody body = VornBody::init(pos, HomVec4::zero(), 1.0);
    EXPECT_TRUE(sameBits(pos.normalize(), body.position));
    EXPECT_NEAR(body.position.norm(), 1.0, 1e-15);
}

TEST(VornBodyInit, PositionAtOrBelowTheFloorBecomesTheOriginOfTheChart) {
    const HomVec4 fallback = HomVec4::init(0, 0, 0, 1);
    // The norm of (1e-15, 0, 0, 0) is exactly 1e-15: the floor test is strict.
    ASSERT_EQ(HomVec4::init(1e-15, 0, 0, 0).norm(), 1e-15);
    for (const HomVec4 pos : {HomVec4::zero(), HomVec4::init(1e-15, 0, 0, 0), HomVec4::init(0, -5e-16, 0, 0),
                              HomVec4::init(kNaN, 1, 0, 0), HomVec4::init(0, 0, 0, kNaN)}) {
        EXPECT_TRUE(sameBits(fallback, VornBody::init(pos, HomVec4::zero(), 1.0).position));
    }
    EXPECT_TRUE(sameBits(HomVec4::init(1, 0, 0, 0),
                         VornBody::init(HomVec4::init(2e-15, 0, 0, 0), HomVec4::zero(), 1.0).position));
}

TEST(VornBodyInit, StoresVelocityAndMassAsPassed) {
    // The radial component (1, 0, 0, 0) of this velocity stays until the first step.
    const VornBody body = VornBody::init(HomVec4::init(1, 0, 0, 0), HomVec4::init(1, 1, 0, 0), 2.0);
    EXPECT_TRUE(sameBits(HomVec4::init(1, 1, 0, 0), body.velocity));
    EXPECT_EQ(body.mass, 2.0);
    EXPECT_EQ(body.restitution, 0.5);
    EXPECT_EQ(body.friction, 0.3);
    EXPECT_TRUE(sameBits(HomVec4::zero(), body.force_accum));
    EXPECT_EQ(body.body_type, BodyType::dynamic);
    EXPECT_TRUE(body.active);

    for (const double mass : {0.0, -3.0, 1e-300, kNaN}) {
        const VornBody b = VornBody::init(HomVec4::init(1, 0, 0, 0), HomVec4::zero(), mass);
        EXPECT_TRUE(sameBits(mass, b.mass));
        EXPECT_EQ(b.body_type, BodyType::dynamic);
        EXPECT_TRUE(b.active);
    }
}

TEST(VornBodyStatic, IsAnInactiveMasslessBodyAtRest) {
    const VornBody body = VornBody::static_(HomVec4::init(0, 0, 0, 2));
    EXPECT_TRUE(sameBits(HomVec4::init(0, 0, 0, 1), body.position));
    EXPECT_TRUE(sameBits(HomVec4::zero(), body.velocity));
    EXPECT_TRUE(sameBits(0.0, body.mass));
    EXPECT_EQ(body.restitution, 0.5);
    EXPECT_EQ(body.friction, 0.3);
    EXPECT_TRUE(sameBits(HomVec4::zero(), body.force_accum));
    EXPECT_EQ(body.body_type, BodyType::static_);
    EXPECT_FALSE(body.active);
    EXPECT_TRUE(sameBits(HomVec4::init(0, 0, 0, 1), VornBody::static_(HomVec4::zero()).position));
}

TEST(VornBodyForces, DynamicBodiesSumForcesActiveOrNot) {
    VornBody body = VornBody::init(HomVec4::init(0, 0, 0, 1), HomVec4::zero(), 1.0);
    body.applyForce(HomVec4::init(1, 0, 0, 0));
    body.applyForce(HomVec4::init(0, 2, 0, 0));
    EXPECT_TRUE(sameBits(HomVec4::init(1, 2, 0, 0), body.force_accum));

    // Forces are added as plain 4-vectors: the radial w component is kept.
    body.applyForce(HomVec4::init(0, 0, 0, 7));
    EXPECT_TRUE(sameBits(HomVec4::init(1, 2, 0, 7), body.force_accum));

    VornBody inactive = VornBody::init(HomVec4::init(0, 0, 0, 1), HomVec4::zero(), 1.0);
    inactive.active = false;
    inactive.applyForce(HomVec4::init(0.5, 0, -1, 0));
    EXPECT_TRUE(sameBits(HomVec4::init(0.5, 0, -1, 0), inactive.force_accum));
}

TEST(VornBodyForces, StaticAndKinematicBodiesIgnoreForces) {
    VornBody fixed = VornBody::static_(HomVec4::init(0, 0, 0, 1));
    fixed.active = true;  // the kind decides, not the flag
    fixed.applyForce(HomVec4::init(100, 0, 0, 0));
    EXPECT_TRUE(sameBits(HomVec4::zero(), fixed.force_accum));

    VornBody moved = VornBody::init(HomVec4::init(0, 0, 0, 1), HomVec4::zero(), 1.0);
    moved.applyForce(HomVec4::init(1, 2, 3, 4));
    moved.body_type = BodyType::kinematic;
    moved.applyForce(HomVec4::init(100, 0, 0, 0));
    EXPECT_TRUE(sameBits(HomVec4::init(1, 2, 3, 4), moved.force_accum));
}

TEST(VornBodyForces, ClearForcesEmptiesAnyBody) {
    for (const BodyType type : {BodyType::static_, BodyType::dynamic, BodyType::kinematic}) {
        VornBody body = VornBody::init(HomVec4::init(0, 0, 0, 1), HomVec4::zero(), 1.0);
        body.force_accum = HomVec4::init(1, -2, 3, -4);
        body.body_type = type;
        body.active = false;
        body.clearForces();
        EXPECT_TRUE(sameBits(HomVec4::zero(), body.force_accum));
    }
}

TEST(VornBodyDistance, IsTheSignBlindFubiniStudyAngle) {
    const VornBody a = VornBody::init(HomVec4::init(1, 0, 0, 0), HomVec4::zero(), 1.0);
    const VornBody antipode = VornBody::init(HomVec4::init(-1, 0, 0, 0), HomVec4::zero(), 1.0);
    const VornBody quarter = VornBody::init(HomVec4::init(0, 1, 0, 0), HomVec4::zero(), 1.0);
    EXPECT_TRUE(sameBits(0.0, a.distanceTo(antipode)));
    EXPECT_TRUE(sameBits(0.0, a.distanceTo(a)));
    EXPECT_TRUE(sameBits(std::numbers::pi / 2, a.distanceTo(quarter)));

    // Only positions count, whatever the kind, and the distance is symmetric.
    const VornBody fixed = VornBody::static_(HomVec4::init(1, 1, 0, 0));
    EXPECT_NEAR(a.distanceTo(fixed), std::numbers::pi / 4, 1e-15);
    EXPECT_TRUE(sameBits(a.distanceTo(fixed), fixed.distanceTo(a)));
    const VornBody fixed_negated = VornBody::static_(HomVec4::init(-1, -1, 0, 0));
    EXPECT_TRUE(sameBits(a.distanceTo(fixed), a.distanceTo(fixed_negated)));
}

}  // namespace
