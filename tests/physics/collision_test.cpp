// Contact detection: outcome, distance and the normal at the first body.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "support/same_bits.hpp"
#include "vorn_physics.hpp"

namespace {

using vorn::test::sameBits;
using vorn_kernel::HomVec4;
using vorn_physics::checkCollision;
using vorn_physics::CollisionResult;
using vorn_physics::VornBody;

VornBody bodyAt(double x, double y, double z, double w) {
    return VornBody::init(HomVec4::init(x, y, z, w), HomVec4::zero(), 1.0);
}

TEST(CheckCollision, DistantBodiesDoNotTouch) {
    const CollisionResult result = checkCollision(bodyAt(1, 0, 0, 0), bodyAt(0, 1, 0, 0), 0.1);
    EXPECT_FALSE(result.collided);
    EXPECT_TRUE(sameBits(std::numbers::pi / 2, result.fs_distance));
    EXPECT_TRUE(sameBits(HomVec4::zero(), result.normal));
}

TEST(CheckCollision, CoincidentAndAntipodalBodiesTouchWithoutANormal) {
    const VornBody a = bodyAt(0.6, 0, 0, 0.8);
    for (const VornBody& b : {bodyAt(0.6, 0, 0, 0.8), bodyAt(-0.6, 0, 0, -0.8), bodyAt(3, 0, 0, 4)}) {
        const CollisionResult result = checkCollision(a, b, 1e-3);
        EXPECT_TRUE(result.collided);
        EXPECT_TRUE(sameBits(0.0, result.fs_distance));
        EXPECT_TRUE(sameBits(HomVec4::zero(), result.normal));
    }
}

TEST(CheckCollision, ADistanceEqualToTheThresholdIsNoContact) {
    const VornBody a = bodyAt(1, 0, 0, 0);
    const VornBody b = bodyAt(0.8, 0.6, 0, 0);
    const double d = a.distanceTo(b);
    const CollisionResult at = checkCollision(a, b, d);
    EXPECT_FALSE(at.collided);
    EXPECT_TRUE(sameBits(d, at.fs_distance));
    EXPECT_TRUE(sameBits(HomVec4::zero(), at.normal));
    const CollisionResult above = checkCollision(a, b, std::nextafter(d, 2.0));
    EXPECT_TRUE(above.collided);
    EXPECT_TRUE(sameBits(d, above.fs_distance));
}

TEST(CheckCollision, ThresholdsAtOrBelowZeroNeverTouchAndAboveAQuarterTurnAlwaysDo) {
    const VornBody a = bodyAt(1, 0, 0, 0);
    for (const double threshold : {0.0, -0.0, -1.0}) {
        EXPECT_FALSE(checkCollision(a, a, threshold).collided);
    }
    const CollisionResult far =
        checkCollision(a, bodyAt(0, 0, 0, 1), std::nextafter(std::numbers::pi / 2, 4.0));
    EXPECT_TRUE(far.collided);
    EXPECT_NEAR(far.normal.w, 1.0, 1e-15);
}

TEST(CheckCollision, TheNormalIsTheUnitTangentAtTheFirstBody) {
    const VornBody a = bodyAt(1, 0, 0, 0);
    const VornBody b = VornBody::init(HomVec4::init(0.99, 0.01, 0, 0).normalize(), HomVec4::zero(), 1.0);
    const CollisionResult ab = checkCollision(a, b, 0.5);
    ASSERT_TRUE(ab.collided);
    // The arc cosine of a cosine this close to 1 is good to about 1e-14.
    EXPECT_NEAR(ab.fs_distance, std::atan(0.01 / 0.99), 1e-13);
    EXPECT_NEAR(ab.normal.x, 0.0, 1e-13);
    EXPECT_NEAR(ab.normal.y, 1.0, 1e-15);
    EXPECT_TRUE(sameBits(0.0, ab.normal.z));
    EXPECT_TRUE(sameBits(0.0, ab.normal.w));

    // Swapped, the normal is taken at the other body and points back.
    const CollisionResult ba = checkCollision(b, a, 0.5);
    EXPECT_TRUE(sameBits(ab.fs_distance, ba.fs_distance));
    EXPECT_TRUE(ba.collided);
    EXPECT_NEAR(HomVec4::dot(ba.normal, b.position), 0.0, 1e-13);
    EXPECT_NEAR(ba.normal.norm(), 1.0, 1e-15);
    EXPECT_LT(ba.normal.y, 0.0);
    EXPECT_GT(ba.normal.x, 0.0);
}

TEST(CheckCollision, GeneralContactNormalsAreUnitAndTangent) {
    const VornBody a = VornBody::init(HomVec4::init(0.1, -0.7, 0.2, 0.5), HomVec4::zero(), 1.0);
    const VornBody b = VornBody::init(HomVec4::init(0.15, -0.65, 0.25, 0.45), HomVec4::zero(), 1.0);
    ASSERT_GE(HomVec4::dot(a.position, b.position), 0.0);
    const CollisionResult result = checkCollision(a, b, 0.2);
    ASSERT_TRUE(result.collided);
    EXPECT_NEAR(result.normal.norm(), 1.0, 1e-15);
    EXPECT_NEAR(HomVec4::dot(result.normal, a.position), 0.0, 1e-14);
}

TEST(CheckCollision, IsBlindToSignAndToTheKindOfBody) {
    const VornBody a = bodyAt(1, 0, 0, 0);
    const VornBody b = bodyAt(0.8, 0.6, 0, 0);
    const VornBody b_negated = bodyAt(-0.8, -0.6, 0, 0);
    EXPECT_TRUE(
        sameBits(checkCollision(a, b, 1.0).fs_distance, checkCollision(a, b_negated, 1.0).fs_distance));
    EXPECT_TRUE(checkCollision(a, b_negated, 1.0).collided);

    VornBody fixed = VornBody::static_(HomVec4::init(0.8, 0.6, 0, 0));
    VornBody kinematic = b;
    kinematic.body_type = VornBody::BodyType::kinematic;
    kinematic.active = false;
    const CollisionResult reference = checkCollision(a, b, 1.0);
    for (const VornBody& other : {fixed, kinematic}) {
        const CollisionResult result = checkCollision(a, other, 1.0);
        EXPECT_TRUE(result.collided);
        EXPECT_TRUE(sameBits(reference.fs_distance, result.fs_distance));
        EXPECT_TRUE(sameBits(reference.normal, result.normal));
    }
}

}  // namespace
