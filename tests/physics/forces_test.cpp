// Gravity toward a point mass and linear damping.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "support/same_bits.hpp"
#include "vorn_geodesic.hpp"
#include "vorn_physics.hpp"

namespace {

using vorn::test::atRunTime;
using vorn::test::sameBits;
using vorn_kernel::HomVec4;
using vorn_physics::dampingForce;
using vorn_physics::VornBody;
using vorn_physics::vornGravity;

VornBody bodyAt(HomVec4 position) {
    VornBody body = VornBody::init(HomVec4::zero(), HomVec4::zero(), 1.0);
    body.position = position;  // as given, without the constructor's normalisation
    return body;
}

HomVec4 negated(HomVec4 v) { return HomVec4::init(-v.x, -v.y, -v.z, -v.w); }

// The force law evaluated step by step from the distance and the logarithm map.
HomVec4 referenceGravity(HomVec4 p, HomVec4 q, double mass, double G) {
    const double d = vorn_kernel::fsDistance(p, q);
    if (d < 1e-10) return HomVec4::zero();
    const HomVec4 t = vorn_geodesic::logMap(p, q);
    const double t_norm = std::sqrt(((t.x * t.x + t.y * t.y) + t.z * t.z) + t.w * t.w);
    if (t_norm < 1e-15) return HomVec4::zero();
    const double s = std::sin(atRunTime(d));
    const double magnitude = (G * mass) / (s * s + 1e-10);
    return HomVec4::init((magnitude * t.x) / t_norm, (magnitude * t.y) / t_norm, (magnitude * t.z) / t_norm,
                         (magnitude * t.w) / t_norm);
}

TEST(VornGravity, IsZeroAtTheAttractorAndAtItsAntipode) {
    const HomVec4 positions[] = {
        HomVec4::init(1, 0, 0, 0), HomVec4::init(0, 0, 0, 1), HomVec4::init(0.5, 0.5, 0.5, 0.5),
        HomVec4::init(1, 2, 3, 4).normalize(), HomVec4::init(-0.3, 0.1, 0.9, -0.2).normalize(),
        // A normalised position from a random sample (see the near-antipode test below).
        HomVec4::init(-0x1.54317f7843f51p-7, -0x1.5ad6d5fd26c38p-1, -0x1.58454a2e75e81p-3,
                      -0x1.6e9ee01c92ea1p-1)};
    for (const HomVec4 p : positions) {
        const VornBody body = bodyAt(p);
        for (const double GM : {1.0, 1e300, -5.0}) {
            EXPECT_TRUE(sameBits(HomVec4::zero(), vornGravity(body, p, GM, 1.0)));
            EXPECT_TRUE(sameBits(HomVec4::zero(), vornGravity(body, negated(p), 1.0, GM)));
        }
    }
}

TEST(VornGravity, PointsAlongTheGreatCircleWithTheSoftenedInverseSquareOfTheSine) {
    const VornBody body = bodyAt(HomVec4::init(1, 0, 0, 0));
    double previous = HUGE_VAL;
    for (const double d : {1e-6, 1e-4, 1e-2, 0.1, 0.5, 1.0, 1.5, std::numbers::pi / 2}) {
        const double angle = atRunTime(d);
        const HomVec4 attractor = HomVec4::init(std::cos(angle), std::sin(angle), 0, 0);
        const HomVec4 force = vornGravity(body, attractor, 1.0, 1.0);
        // Near 0 the measured distance carries the arc cosine's error; the law uses that one.
        const double s = std::sin(vorn_kernel::fsDistance(body.position, attractor));
        const double expected = 1.0 / (s * s + 1e-10);
        EXPECT_NEAR(force.norm(), expected, expected * 1e-14) << "d = " << d;
        EXPECT_GT(force.y, 0.0);
        EXPECT_NEAR(force.x / force.norm(), 0.0, 1e-7) << "d = " << d;
        EXPECT_TRUE(sameBits(0.0, force.z));
        EXPECT_TRUE(sameBits(0.0, force.w));
        EXPECT_LT(force.norm(), previous) << "d = " << d;
        previous = force.norm();
    }
}

TEST(VornGravity, IsFiniteAtAQuarterTurn) {
    const HomVec4 force = vornGravity(bodyAt(HomVec4::init(1, 0, 0, 0)), HomVec4::init(0, 1, 0, 0), 1.0, 1.0);
    EXPECT_NEAR(force.norm(), 1.0 / (1.0 + 1e-10), 1e-15);
    // cos(π/2) in doubles is about 6.1e-17, which leaves a residue along the body's position.
    EXPECT_NEAR(force.x, -6.123233995736766e-17, 1e-25);
    EXPECT_LT(force.x, 0.0);
}

TEST(VornGravity, FollowsTheLawBitForBit) {
    const HomVec4 p = HomVec4::init(0.1, -0.7, 0.2, 0.5).normalize();
    const HomVec4 attractors[] = {HomVec4::init(0.3, 0.3, -0.1, 0.9).normalize(), HomVec4::init(0, 1, 0, 0),
                                  HomVec4::init(0.6, 0, 0.8, 0),
                                  HomVec4::init(p.x, p.y + 1e-6, p.z, p.w).normalize(),
                                  // negative dot product with p: the direction is taken from q
                                  HomVec4::init(-0.1, 0.7, 0.25, -0.5).normalize()};
    for (const HomVec4 q : attractors) {
        EXPECT_TRUE(sameBits(referenceGravity(p, q, 3.5, 0.25), vornGravity(bodyAt(p), q, 3.5, 0.25)));
    }
}

TEST(VornGravity, ScalesWithGAndTheAttractorMassAndIgnoresTheBodysOwnState) {
    const HomVec4 p = HomVec4::init(0.1, -0.7, 0.2, 0.5).normalize();
    const HomVec4 q = HomVec4::init(0.3, 0.3, -0.1, 0.9).normalize();
    const VornBody body = bodyAt(p);
    const HomVec4 base = vornGravity(body, q, 1.5, 0.75);
    // Doubling is exact in binary floating point, so the result doubles bit for bit.
    const HomVec4 doubled = HomVec4::init(2 * base.x, 2 * base.y, 2 * base.z, 2 * base.w);
    EXPECT_TRUE(sameBits(doubled, vornGravity(body, q, 3.0, 0.75)));
    EXPECT_TRUE(sameBits(doubled, vornGravity(body, q, 1.5, 1.5)));
    const HomVec4 reversed = vornGravity(body, q, -1.5, 0.75);
    EXPECT_TRUE(sameBits(negated(base), reversed));

    VornBody other = body;
    other.mass = 1e6;
    other.velocity = HomVec4::init(1, 2, 3, 4);
    other.body_type = VornBody::BodyType::static_;
    other.active = false;
    other.force_accum = HomVec4::init(5, 5, 5, 5);
    EXPECT_TRUE(sameBits(base, vornGravity(other, q, 1.5, 0.75)));
}

// Distances near zero are quantised: for unit vectors the arc cosine of the largest double
// below 1 is already about 1.49e-8, so a near-coincident pair is either at distance exactly 0
// (zero force) or above the 1e-10 cut-off, where the law gives its softened maximum.
TEST(VornGravityNearCoincidence, PositionsAFewRoundingsApartFeelNoForce) {
    const HomVec4 p = HomVec4::init(-0x1.54317f7843f51p-7, -0x1.5ad6d5fd26c38p-1, -0x1.58454a2e75e81p-3,
                                    -0x1.6e9ee01c92ea1p-1);
    for (int steps = 1; steps <= 4; ++steps) {
        HomVec4 q = p;
        for (int i = 0; i < steps; ++i) {
            q.x = std::nextafter(q.x, 1.0);
            q.y = std::nextafter(q.y, -1.0);
        }
        // Whether or not the distance rounds to zero, the tangent left over is too short to
        // follow and the force is zero.
        EXPECT_TRUE(sameBits(HomVec4::zero(), vornGravity(bodyAt(p), q, 1.0, 1.0)));
    }
}

TEST(VornGravityNearCoincidence, APairBelowTheResolutionCanGetTheSoftenedMaximum) {
    // Unit vectors 1e-12 apart, a pair for which the dot product rounds below 1.
    const HomVec4 p = HomVec4::init(-0x1.eab8fe5eacd56p-2, 0x1.70b9e2499c099p-2, -0x1.72f12e4bada63p-4,
                                    -0x1.973024f399325p-1);
    const HomVec4 q = HomVec4::init(-0x1.eab8fe5eaf7bcp-2, 0x1.70b9e24998f31p-2, -0x1.72f12e4ba6f92p-4,
                                    -0x1.973024f399313p-1);
    const double d = vorn_kernel::fsDistance(p, q);
    EXPECT_TRUE(sameBits(std::acos(atRunTime(1.0 - 0x1p-53)), d));

    const double G = 2.0;
    const double M = 3.0;
    const HomVec4 force = vornGravity(bodyAt(p), q, M, G);
    const double s = std::sin(atRunTime(d));
    EXPECT_NEAR(force.norm(), G * M / (s * s + 1e-10), 1e-5 * G * M);
    EXPECT_GT(force.norm(), 0.99999 * G * M * 1e10);
    // It points toward the attractor, with a small radial part.
    const HomVec4 toward = HomVec4::init(q.x - p.x, q.y - p.y, q.z - p.z, q.w - p.w).normalize();
    EXPECT_GT(HomVec4::dot(force, toward) / force.norm(), 0.999);
    EXPECT_TRUE(sameBits(referenceGravity(p, q, M, G), force));
}

TEST(VornGravityNearCoincidence, OneRoundingFromTheAntipodeCanGiveTheMaximumIntoTheSphere) {
    const HomVec4 p = HomVec4::init(-0x1.54317f7843f51p-7, -0x1.5ad6d5fd26c38p-1, -0x1.58454a2e75e81p-3,
                                    -0x1.6e9ee01c92ea1p-1);
    HomVec4 q = negated(p);
    q.y = std::nextafter(q.y, 1.0);  // one unit in the last place

    const HomVec4 force = vornGravity(bodyAt(p), q, 1.0, 1.0);
    EXPECT_NEAR(force.norm(), 1e10, 1e5);
    // The direction is taken from the attractor as given, about −2p: straight into the sphere.
    EXPECT_NEAR(HomVec4::dot(force, p) / force.norm(), -1.0, 1e-12);
    EXPECT_TRUE(sameBits(referenceGravity(p, q, 1.0, 1.0), force));
}

TEST(DampingForce, OpposesTheVelocityComponentByComponent) {
    EXPECT_TRUE(
        sameBits(HomVec4::init(-0.5, -0.0, -0.0, -0.0), dampingForce(HomVec4::init(1, 0, 0, 0), 0.5)));
    EXPECT_TRUE(
        sameBits(HomVec4::init(-0.0, -0.5, -0.0, -0.0), dampingForce(HomVec4::init(0, 2, 0, 0), 0.25)));
    EXPECT_TRUE(
        sameBits(HomVec4::init(-0.0, -0.0, 0.0, -0.0), dampingForce(HomVec4::init(3, 2, -1, 0), 0.0)));
    // Not projected: a radial velocity gets a radial drag; a negative gamma pushes.
    EXPECT_TRUE(
        sameBits(HomVec4::init(0.5, -1.0, 1.5, 2.0), dampingForce(HomVec4::init(-1, 2, -3, -4), 0.5)));
    EXPECT_TRUE(sameBits(HomVec4::init(2.0, 0.0, 0.0, 0.0), dampingForce(HomVec4::init(1, 0, 0, 0), -2.0)));
}

}  // namespace
