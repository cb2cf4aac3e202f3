#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <limits>

#include "random_points.hpp"
#include "support/same_bits.hpp"
#include "vorn_geodesic.hpp"
#include "vorn_motion.hpp"

namespace {

using vorn_kernel::HomVec4;
using vorn_kernel::PGL4;
using vorn_motion::Plane;
using vorn_motion::Rotation;

constexpr double kTolerance = 1e-15;

void expectNear(const PGL4& expected, const PGL4& actual, double tolerance = kTolerance) {
    for (std::size_t i = 0; i < 16; ++i) {
        EXPECT_NEAR(expected.data[i], actual.data[i], tolerance) << "storage index " << i;
    }
}

void expectNear(HomVec4 expected, HomVec4 actual, double tolerance = kTolerance) {
    EXPECT_NEAR(expected.x, actual.x, tolerance);
    EXPECT_NEAR(expected.y, actual.y, tolerance);
    EXPECT_NEAR(expected.z, actual.z, tolerance);
    EXPECT_NEAR(expected.w, actual.w, tolerance);
}

// The Givens matrix turning axis `from` toward axis `to` (x, y, z, w = 0, 1, 2, 3).
PGL4 givens(std::size_t from, std::size_t to, double angle) {
    PGL4 m = PGL4::identity();
    m.set(from, from, std::cos(angle));
    m.set(to, to, std::cos(angle));
    m.set(to, from, std::sin(angle));
    m.set(from, to, -std::sin(angle));
    return m;
}

Rotation randomRotation(vorn::motion_test::RandomPoints& random) {
    return {random.unitPoint(), random.unitPoint()};
}

TEST(PlaneRotation, EachPlaneIsItsGivensMatrix) {
    struct Case {
        Plane plane;
        std::size_t from, to;
    };
    const Case cases[] = {{Plane::XY, 0, 1}, {Plane::XZ, 0, 2}, {Plane::XW, 0, 3},
                          {Plane::YZ, 1, 2}, {Plane::YW, 1, 3}, {Plane::ZW, 2, 3}};
    vorn::motion_test::RandomPoints random(1);
    for (const Case& c : cases) {
        for (int trial = 0; trial < 50; ++trial) {
            const double angle = random.uniform(-7.0, 7.0);
            const Rotation rotation = vorn_motion::planeRotation(c.plane, angle);
            expectNear(givens(c.from, c.to, angle), rotation.toPGL4());
            if (c.plane == Plane::XY) expectNear(vorn_kernel::pglRotateZ(angle), rotation.toPGL4());
        }
    }
}

// Composition, inverse and application against the matrices' own products.
TEST(Rotation, AgreesWithMatrixProducts) {
    vorn::motion_test::RandomPoints random(2);
    for (int trial = 0; trial < 200; ++trial) {
        const Rotation a = randomRotation(random);
        const Rotation b = randomRotation(random);
        const PGL4 ma = a.toPGL4();
        expectNear(PGL4::mul(ma, b.toPGL4()), vorn_motion::compose(a, b).toPGL4());
        expectNear(ma.transpose(), a.inverse().toPGL4());
        expectNear(PGL4::identity(), vorn_motion::compose(a, a.inverse()).toPGL4());
        const HomVec4 p = random.unitPoint();
        expectNear(ma.apply(p), a.apply(p));
        EXPECT_TRUE(vorn_motion::isRotation(ma));
    }
}

TEST(Rotation, IsoclinicRotationsMoveEveryPointByTheSameAngle) {
    vorn::motion_test::RandomPoints random(3);
    for (int trial = 0; trial < 100; ++trial) {
        const HomVec4 q = random.unitPoint();
        const HomVec4 p = random.unitPoint();
        // ⟨p, q·p⟩ = ⟨p, p·q⟩ = Re q = q.w whatever p is.
        EXPECT_NEAR(q.w, HomVec4::dot(p, vorn_motion::leftIsoclinic(q).apply(p)), kTolerance);
        EXPECT_NEAR(q.w, HomVec4::dot(p, vorn_motion::rightIsoclinic(q).apply(p)), kTolerance);
        expectNear(vorn_motion::qmul(q, p), vorn_motion::leftIsoclinic(q).apply(p));
        expectNear(vorn_motion::qmul(p, q), vorn_motion::rightIsoclinic(q).apply(p));
    }
}

TEST(RotationFromPGL4, RecoversTheMatrixAndRejectsWhatIsNoRotation) {
    vorn::motion_test::RandomPoints random(4);
    for (int trial = 0; trial < 200; ++trial) {
        const PGL4 m = randomRotation(random).toPGL4();
        const auto recovered = vorn_motion::rotationFromPGL4(m);
        ASSERT_TRUE(recovered.has_value());
        expectNear(m, recovered->toPGL4(), 2e-15);
    }
    // Half turns, where the matrix's trace is smallest and the extraction changes branch.
    for (const Plane plane : {Plane::XY, Plane::XZ, Plane::YZ, Plane::XW}) {
        const PGL4 m = vorn_motion::planeRotation(plane, std::acos(-1.0)).toPGL4();
        const auto recovered = vorn_motion::rotationFromPGL4(m);
        ASSERT_TRUE(recovered.has_value());
        expectNear(m, recovered->toPGL4(), 2e-15);
    }
    const PGL4 reflection = PGL4::fromRowMajor({{-1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}});
    EXPECT_FALSE(vorn_motion::rotationFromPGL4(reflection).has_value());
    EXPECT_FALSE(vorn_motion::rotationFromPGL4(vorn_kernel::pglScale(2, 2, 2)).has_value());
    EXPECT_FALSE(vorn_motion::rotationFromPGL4(vorn_kernel::pglTranslate(1, 0, 0)).has_value());
    PGL4 with_nan = PGL4::identity();
    with_nan.set(1, 2, std::numeric_limits<double>::quiet_NaN());
    EXPECT_FALSE(vorn_motion::isRotation(with_nan));
}

// The rotation taking a to b turns only the plane of a and b, by the angle between them.
TEST(RotationTaking, TurnsThePlaneOfBothPointsOnly) {
    vorn::motion_test::RandomPoints random(5);
    for (int trial = 0; trial < 200; ++trial) {
        // a and b in one random plane, c orthogonal to it.
        const Rotation frame = randomRotation(random);
        const double alpha = random.uniform(-4, 4), beta = random.uniform(-4, 4),
                     gamma = random.uniform(-4, 4);
        const HomVec4 a = frame.apply({std::cos(alpha), std::sin(alpha), 0, 0});
        const HomVec4 b = frame.apply({std::cos(beta), std::sin(beta), 0, 0});
        const HomVec4 c = frame.apply({0, 0, std::cos(gamma), std::sin(gamma)});
        const auto rotation = vorn_motion::rotationTaking(a, b);
        ASSERT_TRUE(rotation.has_value());
        expectNear(b, rotation->apply(a));
        // The plane itself is only as well determined as a + b is far from 0.
        expectNear(c, rotation->apply(c), 2.5e-15 / (a + b).norm());
        // Further along the same great circle by the angle from a to b.
        expectNear(vorn_motion::slerp(a, b, 1.25), rotation->apply(vorn_motion::slerp(a, b, 0.25)),
                   4e-15 / (a + b).norm());
    }
    const HomVec4 a{0.5, 0.5, 0.5, 0.5};
    EXPECT_FALSE(vorn_motion::rotationTaking(a, -a).has_value());
    EXPECT_FALSE(vorn_motion::rotationTaking(a, HomVec4::zero()).has_value());
    EXPECT_FALSE(
        vorn_motion::rotationTaking(a, {std::numeric_limits<double>::quiet_NaN(), 0, 0, 1}).has_value());
    EXPECT_TRUE(vorn_motion::rotationTaking(a, 3.0 * a).has_value());
    // Only the directions count: components so small that their squares leave the normal range
    // give the rotation of the same vector at a normal scale.
    const HomVec4 tiny{2.5e-162, 0, 0, 1e-161};
    const HomVec4 to{0, 0, 1, 0};
    const auto of_tiny = vorn_motion::rotationTaking(tiny, to);
    const auto of_scaled = vorn_motion::rotationTaking(0x1.0p600 * tiny, to);
    ASSERT_TRUE(of_tiny.has_value() && of_scaled.has_value());
    EXPECT_TRUE(vorn_motion::isRotation(of_tiny->toPGL4()));
    EXPECT_TRUE(vorn::test::sameBits(of_scaled->l, of_tiny->l));
    EXPECT_TRUE(vorn::test::sameBits(of_scaled->r, of_tiny->r));
}

TEST(Slerp, FollowsTheExactGeodesic) {
    vorn::motion_test::RandomPoints random(6);
    for (int trial = 0; trial < 200; ++trial) {
        const HomVec4 a = random.unitPoint();
        const HomVec4 b = random.unitPoint();
        const double t = random.uniform(-0.5, 1.5);
        // The unit tangent toward b and the angle, worked out another way.
        const double omega = 2.0 * std::atan2((b - a).norm(), (b + a).norm());
        const HomVec4 u = vorn_kernel::tangentPart(a, b).normalize();
        expectNear(vorn_geodesic::geodesicExact(a, u, t * omega), vorn_motion::slerp(a, b, t));
        expectNear(b, vorn_motion::slerp(a, b, 1.0));
    }
    const HomVec4 a{0, 0.6, 0, 0.8};
    EXPECT_EQ(0.8, vorn_motion::slerp(a, a, 0.3).w);
    // Antipodal ends: some great circle, still ending at −a.
    const HomVec4 half = vorn_motion::slerp(a, -a, 0.5);
    EXPECT_NEAR(1.0, half.norm(), kTolerance);
    EXPECT_NEAR(0.0, HomVec4::dot(a, half), kTolerance);
    expectNear(-a, vorn_motion::slerp(a, -a, 1.0));
}

}  // namespace
