// Contacts: the broadphase finds exactly the pairs checkCollision finds, in (a, b) order, and
// the restitution response keeps what it should.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include "scene_support.hpp"
#include "vorn_physics.hpp"
#include "vorn_world.hpp"

namespace {

using vorn::world_test::HomVec4;
using vorn::world_test::Random;
using vorn::world_test::VornBody;
using vorn_world::World;

HomVec4 negated(HomVec4 p) { return HomVec4::init(-p.x, -p.y, -p.z, -p.w); }

void expectAllPairsSet(const std::vector<HomVec4>& positions, double threshold) {
    World world;
    std::vector<VornBody> bodies;
    bodies.reserve(positions.size());
    for (const HomVec4& p : positions) {
        bodies.push_back(VornBody::init(p, HomVec4::zero(), 1.0));
        world.add(bodies.back());
    }
    std::vector<std::pair<vorn_world::BodyId, vorn_world::BodyId>> expected;
    for (std::size_t i = 0; i < bodies.size(); ++i) {
        for (std::size_t j = i + 1; j < bodies.size(); ++j) {
            if (vorn_physics::checkCollision(bodies[i], bodies[j], threshold).collided)
                expected.emplace_back(i, j);
        }
    }
    std::vector<std::pair<vorn_world::BodyId, vorn_world::BodyId>> found;
    for (const vorn_world::Contact& c : world.contacts(threshold)) found.emplace_back(c.a, c.b);
    EXPECT_EQ(found, expected) << "threshold " << threshold;  // the same set, in sorted order
}

TEST(WorldContacts, BroadphaseFindsExactlyTheAllPairsSet) {
    Random random(7);
    std::vector<HomVec4> uniform;
    uniform.reserve(2000);
    for (int i = 0; i < 2000; ++i) uniform.push_back(random.unit());
    for (const double threshold : {0.0, 1e-3, 0.05, 0.2, 0.7, std::numeric_limits<double>::quiet_NaN()}) {
        expectAllPairsSet(std::vector<HomVec4>(uniform.begin(), uniform.begin() + 300), threshold);
    }
    expectAllPairsSet(uniform, 0.05);

    // Clusters: equal, a rounding apart, and up to twice the threshold apart, on both sides.
    std::vector<HomVec4> clustered;
    for (int c = 0; c < 40; ++c) {
        const HomVec4 centre = random.unit();
        clustered.push_back(centre);
        clustered.push_back(centre);
        clustered.push_back(negated(centre));
        for (int k = 0; k < 12; ++k) {
            const double angle = k < 4 ? 1e-12 * k : 0.02 * (0.5 + 0.5 * random.symmetric());
            const HomVec4 p = vorn::world_test::near(random, centre, angle);
            clustered.push_back(k % 2 == 0 ? p : negated(p));
        }
    }
    for (const double threshold : {1e-9, 0.01, 0.02}) expectAllPairsSet(clustered, threshold);

    // Near-antipodal: pairs around w = 0, where the two representatives change places.
    std::vector<HomVec4> equator;
    for (int i = 0; i < 400; ++i) {
        const HomVec4 u = random.unit();
        const HomVec4 p = HomVec4::init(u.x, u.y, u.z, 1e-3 * random.symmetric()).normalize();
        equator.push_back(p);
        equator.push_back(
            negated(vorn::world_test::near(random, p, 0.01 * (0.5 + 0.5 * random.symmetric()))));
    }
    for (const double threshold : {0.005, 0.01, 0.03}) expectAllPairsSet(equator, threshold);

    // Partners just inside the threshold in every direction, enough of them that the threshold
    // rather than the count sets the cells' width.
    std::vector<HomVec4> partners;
    for (int i = 0; i < 1000; ++i) {
        const HomVec4 p = random.unit();
        partners.push_back(p);
        partners.push_back(
            vorn::world_test::near(random, p, 0.05 * (1.0 - 1e-3 * (1.0 + random.symmetric()))));
    }
    expectAllPairsSet(partners, 0.05);

    // A crowd: one query meets more partners than the screen gathers before testing them.
    std::vector<HomVec4> crowd;
    crowd.reserve(1500);
    const HomVec4 centre = random.unit();
    for (int i = 0; i < 1500; ++i)
        crowd.push_back(vorn::world_test::near(random, centre, 1e-3 * (1.0 + random.symmetric())));
    expectAllPairsSet(crowd, 0.01);
}

TEST(WorldContacts, ResponseSeparatesAndKeepsBivectorAndElasticEnergy) {
    World world;
    VornBody a = VornBody::init(HomVec4::init(0, 0, 0, 1), HomVec4::init(0.3, 0.1, 0, 0), 1.0);
    VornBody b = VornBody::init(HomVec4::init(0, 0, 0, 1), HomVec4::zero(), 3.0);
    b.position = negated(HomVec4::init(0.01, 0, 0, 1).normalize());  // the other representative
    b.velocity = HomVec4::init(-0.2, 0.05, 0.1, 0.002);              // tangent there
    a.restitution = b.restitution = 1.0;
    world.add(a);
    world.add(b);
    const std::vector<vorn_world::Contact> contacts = world.contacts(0.05);
    ASSERT_EQ(contacts.size(), 1u);
    const vorn_world::Bivector before = world.angularMomentum();
    const double energy_before = world.energy();
    world.resolveContacts(contacts);
    const vorn_world::Bivector after = world.angularMomentum();
    EXPECT_NEAR(after.xy, before.xy, 1e-15);
    EXPECT_NEAR(after.xz, before.xz, 1e-15);
    EXPECT_NEAR(after.xw, before.xw, 1e-15);
    EXPECT_NEAR(after.yz, before.yz, 1e-15);
    EXPECT_NEAR(after.yw, before.yw, 1e-15);
    EXPECT_NEAR(after.zw, before.zw, 1e-15);
    EXPECT_NEAR(world.energy(), energy_before, 1e-15);
    // Now separating: a second pass changes nothing.
    const std::vector<VornBody> separated = world.exportBodies();
    world.resolveContacts(contacts);
    EXPECT_TRUE(vorn::world_test::sameBits(world.exportBodies(), separated));
    EXPECT_LT(separated[0].velocity.x, 0.3);
}

TEST(WorldContacts, TestParticlesBounceAndPushNothing) {
    World world;
    const HomVec4 p = HomVec4::init(0, 0, 0, 1);
    const HomVec4 near = HomVec4::init(0.01, 0, 0, 1).normalize();
    const vorn_world::BodyId body = world.add(VornBody::init(p, HomVec4::init(0, 0.2, 0, 0), 1.0));
    const vorn_world::BodyId tracer =
        world.add(VornBody::init(near, HomVec4::init(-0.5, 0, 0, 0.005), 0.0), {.test_particle = true});
    const vorn_world::BodyId heavy_tracer =
        world.add(VornBody::init(near, HomVec4::init(-0.5, 0, 0, 0.005), 5.0), {.test_particle = true});
    const VornBody before = world.body(body);
    const std::vector<vorn_world::Contact> contacts = world.contacts(0.05);
    ASSERT_EQ(contacts.size(), 3u);
    world.resolveContacts(contacts);
    EXPECT_TRUE(vorn::world_test::sameBits(world.body(body), before));
    // Each tracer is turned back with its restitution of 0.5 (the pair of tracers in between
    // is left alone): its approach of about 0.5 becomes a retreat of about 0.25.
    for (const vorn_world::BodyId id : {tracer, heavy_tracer})
        EXPECT_NEAR(world.body(id).velocity.x, 0.25, 1e-4);
}

}  // namespace
