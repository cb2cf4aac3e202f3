// The world's bodies by id, and the law against vornGravity.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "scene_support.hpp"
#include "vorn_physics.hpp"
#include "vorn_world.hpp"

namespace {

using vorn::world_test::HomVec4;
using vorn::world_test::Random;
using vorn::world_test::VornBody;
using vorn_world::World;

TEST(WorldBodies, IdsStayValidAcrossRemovalAndBodiesRoundTrip) {
    Random random(1);
    World world;
    std::vector<VornBody> bodies;
    std::vector<vorn_world::BodyId> ids;
    for (int i = 0; i < 9; ++i) {
        const HomVec4 p = random.unit();
        VornBody b = VornBody::init(p, random.tangent(p, 0.1 * i), 1.0 + i);
        b.restitution = 0.1 * i;
        b.applyForce(HomVec4::init(i, 0, 0, 0));
        if (i == 4) b = VornBody::static_(random.unit());
        bodies.push_back(b);
        ids.push_back(world.add(b, {.radius = 0.01 * i, .test_particle = i % 3 == 1}));
    }
    world.remove(ids[0]);
    world.remove(ids[5]);
    const vorn_world::BodyId later = world.add(bodies[0]);
    EXPECT_GT(later, ids[8]);  // never reused
    EXPECT_FALSE(world.contains(ids[5]));
    EXPECT_THROW((void)world.body(ids[5]), std::out_of_range);
    EXPECT_THROW(world.remove(ids[0]), std::out_of_range);
    for (int i : {1, 2, 3, 4, 6, 7, 8}) {
        EXPECT_TRUE(vorn::world_test::sameBits(world.body(ids[i]), bodies[i])) << i;
        EXPECT_EQ(world.options(ids[i]).radius, 0.01 * i) << i;  // options move with their bodies
        EXPECT_EQ(world.options(ids[i]).test_particle, i % 3 == 1) << i;
    }
    EXPECT_TRUE(vorn::world_test::sameBits(world.body(later), bodies[0]));
    const std::vector<VornBody> exported = world.exportBodies();
    ASSERT_EQ(exported.size(), 8u);
    EXPECT_TRUE(vorn::world_test::sameBits(exported.back(), bodies[0]));
    EXPECT_EQ(world.ids().size(), 8u);
}

// Bulk writes give the bits of setBody body by body and bulk removal those of one remove
// after another; a refused entry (the message names its body) writes or removes nothing.
TEST(WorldBodies, BulkWritesAndRemovalAreTheSingleOnesAllOrNone) {
    Random random(2);
    World world;
    world.setCompensated(true);
    for (int i = 0; i < 9; ++i) {
        const HomVec4 p = random.unit();
        VornBody b = VornBody::init(p, random.tangent(p, 0.1 * i), 1.0 + i);
        if (i == 8) b.body_type = VornBody::BodyType::static_;
        world.add(b, {.radius = 0.01 * i, .test_particle = i == 5});
    }
    world.step(0.01);  // low parts to clear where a body is written
    const std::vector<vorn_world::BodyId> ids(world.ids().begin(), world.ids().end());
    const std::vector<vorn_world::BodyId> some{ids[6], ids[1], ids[4]};
    std::vector<HomVec4> positions, velocities;
    std::vector<double> masses;
    for (std::size_t k = 0; k < ids.size(); ++k) {
        const double x = static_cast<double>(k);
        positions.push_back(HomVec4::init(2.0, 0.5 * x, 0.0, 1.0));  // put on the sphere on entry
        velocities.push_back(HomVec4::init(0.0, 0.0, 0.1 * x, 0.0));
        masses.push_back(k == 3 ? 0.0 : 0.5 * x);
    }
    World expected = world;
    for (std::size_t k = 0; k < ids.size(); ++k) {
        VornBody b = expected.body(ids[k]);
        b.position = positions[k];
        expected.setBody(ids[k], b);
    }
    for (std::size_t k = 0; k < some.size(); ++k) {
        VornBody b = expected.body(some[k]);
        b.velocity = velocities[k];
        b.mass = masses[k];
        expected.setBody(some[k], b);
    }
    world.setPositions(positions);
    world.setVelocities(some, std::span(velocities).first(3));
    world.setMasses(some, std::span(masses).first(3));
    expected.step(0.01);
    world.step(0.01);
    EXPECT_TRUE(vorn::world_test::sameBits(world.exportBodies(), expected.exportBodies()));
    for (std::size_t k = 0; k < ids.size(); ++k) {
        EXPECT_EQ(world.masses()[k], world.body(ids[k]).mass);
        EXPECT_EQ(world.radii()[k], 0.01 * static_cast<double>(k));
        EXPECT_EQ(world.bodyTypes()[k], k == 8 ? 0 : 1);
        EXPECT_EQ(world.testParticles()[k], k == 5 ? 1 : 0);
    }

    const std::vector<VornBody> before = world.exportBodies();
    positions[5] = HomVec4::zero();
    const auto refused = [&](const char* what, auto&& action) {
        try {
            action();
            ADD_FAILURE() << what << " was accepted";
        } catch (const std::logic_error& e) {
            EXPECT_NE(std::string(e.what()).find(what), std::string::npos) << e.what();
        }
        EXPECT_TRUE(vorn::world_test::sameBits(world.exportBodies(), before)) << what;
        EXPECT_EQ(world.size(), ids.size());
    };
    refused("body 5", [&] { world.setPositions(positions); });
    refused("for 9 bodies, got 3", [&] { world.setMasses(std::span(masses).first(3)); });
    refused("named twice", [&] { world.setMasses(std::vector{ids[2], ids[2]}, std::span(masses).first(2)); });
    refused("named twice", [&] { world.remove(std::vector{ids[2], ids[2]}); });
    refused("no body with id 99", [&] { world.remove(std::vector<vorn_world::BodyId>{ids[2], 99}); });

    World one_by_one = world;
    for (const vorn_world::BodyId id : {ids[7], ids[0], ids[4]}) one_by_one.remove(id);
    world.remove(std::vector{ids[7], ids[0], ids[4]});
    EXPECT_TRUE(
        std::equal(world.ids().begin(), world.ids().end(), one_by_one.ids().begin(), one_by_one.ids().end()));
    EXPECT_TRUE(vorn::world_test::sameBits(world.exportBodies(), one_by_one.exportBodies()));
    EXPECT_TRUE(std::equal(world.radii().begin(), world.radii().end(), one_by_one.radii().begin(),
                           one_by_one.radii().end()));
    world.step(0.01);
    one_by_one.step(0.01);
    EXPECT_TRUE(vorn::world_test::sameBits(world.exportBodies(), one_by_one.exportBodies()));
}

TEST(WorldBodies, RefusesBodiesTheLawCannotUse) {
    World world;
    VornBody b = VornBody::init(HomVec4::init(1, 0, 0, 0), HomVec4::zero(), 1.0);
    const vorn_world::BodyId id = world.add(b);
    VornBody bad = b;
    bad.position = HomVec4::zero();
    EXPECT_THROW(world.add(bad), std::invalid_argument);
    bad.position = HomVec4::init(std::numeric_limits<double>::quiet_NaN(), 0, 0, 1);
    EXPECT_THROW(world.setBody(id, bad), std::invalid_argument);
    bad = b;
    bad.velocity.x = std::numeric_limits<double>::infinity();
    EXPECT_THROW(world.add(bad), std::invalid_argument);
    EXPECT_THROW(world.addAttractor(HomVec4::zero(), 1.0), std::invalid_argument);
    EXPECT_TRUE(vorn::world_test::sameBits(world.body(id), b));  // nothing lost
    EXPECT_EQ(world.size(), 1u);
}

// m·vornGravity with the attractor on the body's side, per unit mass.
HomVec4 kernelLaw(HomVec4 p, HomVec4 source, double mass, double G) {
    const VornBody body = VornBody::init(p, HomVec4::zero(), 3.0);
    if (HomVec4::dot(p, source) < 0.0) source = HomVec4::init(-source.x, -source.y, -source.z, -source.w);
    return vorn_physics::vornGravity(body, source, mass, G);
}

TEST(WorldLaw, MatchesTheKernelLawOnEitherRepresentative) {
    Random random(2);
    for (int trial = 0; trial < 2000; ++trial) {
        const HomVec4 p = random.unit();
        const double angle = 1e-3 + (1.5707963267948966 - 2e-3) * (0.5 + 0.5 * random.symmetric());
        HomVec4 q = vorn::world_test::near(random, p, angle);
        if (trial % 2 == 1) q = HomVec4::init(-q.x, -q.y, -q.z, -q.w);
        const HomVec4 a = vorn_world::gravityAcceleration(p, q, 2.0 * 0.7);
        const HomVec4 expected = kernelLaw(p, q, 0.7, 2.0);
        const double scale = expected.norm();
        EXPECT_NEAR(a.x, expected.x, 1e-9 * scale);
        EXPECT_NEAR(a.y, expected.y, 1e-9 * scale);
        EXPECT_NEAR(a.z, expected.z, 1e-9 * scale);
        EXPECT_NEAR(a.w, expected.w, 1e-9 * scale);
        EXPECT_NEAR(HomVec4::dot(a, p), 0.0, 1e-12 * scale);
    }
}

// Below about 1e-8 the kernel's arc cosine gives either 0 or 1.49e-8 for the distance; the
// chord form keeps the magnitude GM/(d² + ε) and the direction at every separation above the
// cut-off, and gives zero below it.
TEST(WorldLaw, KeepsMagnitudeAndDirectionAtNearCoincidence) {
    Random random(3);
    int kernel_wrong = 0;
    for (int trial = 0; trial < 400; ++trial) {
        const HomVec4 p = random.unit();
        const double d = std::pow(10.0, -9.5 + 6.0 * (0.5 + 0.5 * random.symmetric()));  // 3e-10 .. 3e-4
        const HomVec4 q = vorn::world_test::near(random, p, d);
        const HomVec4 a = vorn_world::gravityAcceleration(p, q, 1.0);
        const double expected = 1.0 / (d * d + 1e-10);
        EXPECT_NEAR(a.norm(), expected, 1e-6 * expected) << d;
        const HomVec4 toward = HomVec4::init(q.x - p.x, q.y - p.y, q.z - p.z, q.w - p.w);
        EXPECT_GT(HomVec4::dot(a, toward), 0.999999 * a.norm() * toward.norm());
        const double kernel = kernelLaw(p, q, 1.0, 1.0).norm();
        if (std::fabs(kernel - expected) > 1e-3 * expected) ++kernel_wrong;
    }
    EXPECT_GT(kernel_wrong, 100);  // the hazard is real where the world's law is not affected
    const HomVec4 p = random.unit();
    const HomVec4 at_cutoff =
        vorn_world::gravityAcceleration(p, vorn::world_test::near(random, p, 5e-11), 1.0);
    EXPECT_EQ(at_cutoff.norm(), 0.0);
}

// The accelerations of a world are the scalar law summed over the sources in order (the
// attractors, then every moved body), bit for bit, whichever lanes this CPU computes them in:
// 19 bodies fill groups of eight lanes, one of four and a partial block.
TEST(WorldLaw, AccelerationsAreTheScalarLawSummedInOrder) {
    Random random(5);
    World world(0.3);
    const HomVec4 attractors[] = {random.unit(), random.unit()};
    for (const HomVec4 a : attractors) world.addAttractor(a, 0.8);
    std::vector<VornBody> bodies;
    for (int i = 0; i < 19; ++i) {
        VornBody b = VornBody::init(random.unit(), HomVec4::zero(), 0.5 + 0.1 * i);
        if (i == 6) b.body_type = VornBody::BodyType::static_;
        if (i == 11) b.position = vorn::world_test::near(random, bodies[3].position, 1e-7);
        bodies.push_back(b);
        world.add(b);
    }
    world.setMutualGravity(true);
    std::vector<HomVec4> got(bodies.size());
    world.accelerations(got);
    for (std::size_t i = 0; i < bodies.size(); ++i) {
        HomVec4 expected = HomVec4::zero();
        const auto add = [&](HomVec4 source, double gm) {
            const HomVec4 a = vorn_world::gravityAcceleration(bodies[i].position, source, gm);
            expected = HomVec4::init(expected.x + a.x, expected.y + a.y, expected.z + a.z, expected.w + a.w);
        };
        if (i != 6) {
            for (const HomVec4 a : attractors) add(a.normalize(), 0.3 * 0.8);  // as the World keeps it
            for (std::size_t j = 0; j < bodies.size(); ++j) {
                if (j != 6) add(bodies[j].position, 0.3 * bodies[j].mass);
            }
        }
        const auto bits = [](HomVec4 v) {
            return std::array{std::bit_cast<std::uint64_t>(v.x), std::bit_cast<std::uint64_t>(v.y),
                              std::bit_cast<std::uint64_t>(v.z), std::bit_cast<std::uint64_t>(v.w)};
        };
        EXPECT_EQ(bits(got[i]), bits(expected)) << "body " << i;
    }
}

TEST(WorldLaw, PotentialIsTheIntegralOfTheLaw) {
    const HomVec4 p = HomVec4::init(0, 0, 0, 1);
    for (const double d : {1e-6, 1e-4, 0.01, 0.3, 1.0, 1.5}) {
        const auto at = [&](double x) {
            return vorn_world::gravityPotential(p, HomVec4::init(std::sin(x), 0, 0, std::cos(x)), 1.0);
        };
        const double step = 1e-3 * d;
        const double slope = (at(d + step) - at(d - step)) / (2.0 * step);
        const double law = 1.0 / (std::sin(d) * std::sin(d) + 1e-10);
        EXPECT_NEAR(slope, law, 1e-5 * law) << d;
    }
    // Zero a quarter turn away, −cot d far from the core, the core's depth at d = 0.
    EXPECT_EQ(vorn_world::gravityPotential(p, HomVec4::init(1, 0, 0, 0), 1.0), 0.0);
    const long double eps = 1e-10L, cot = 1.0L / std::tan(0.3L);
    const long double far = -2.0L * std::atan(std::sqrt(eps / (1 + eps)) * cot) / std::sqrt(eps * (1 + eps));
    EXPECT_NEAR(vorn_world::gravityPotential(p, HomVec4::init(std::sin(0.3), 0, 0, std::cos(0.3)), 2.0),
                static_cast<double>(far), 2e-15);
    EXPECT_NEAR(static_cast<double>(far), -2.0 / std::tan(0.3), 3e-9);
    EXPECT_DOUBLE_EQ(vorn_world::gravityPotential(p, p, 1.0),
                     -1.5707963267948966 / std::sqrt(1e-10 * (1 + 1e-10)));
    // Down to a source closer than the square root of the smallest double: the core's depth.
    for (const double d : {1e-100, 1e-160, 1e-300}) {
        EXPECT_DOUBLE_EQ(vorn_world::gravityPotential(p, HomVec4::init(d, 0, 0, 1), 1.0),
                         -1.5707963267948966 / std::sqrt(1e-10 * (1 + 1e-10)))
            << d;
    }
}

}  // namespace
