// Radii and mergers: touchingContacts finds exactly the touching pairs, and mergeContacts keeps
// the mass and the angular-momentum bivector (with spins), follows chains, and leaves the World
// as it was when it refuses a call.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <utility>
#include <vector>

#include "scene_support.hpp"
#include "vorn_kernel.hpp"
#include "vorn_world.hpp"

namespace {

using vorn::world_test::HomVec4;
using vorn::world_test::Random;
using vorn::world_test::VornBody;
using vorn_world::Bivector;
using vorn_world::BodyId;
using vorn_world::Merger;
using vorn_world::World;

HomVec4 negated(HomVec4 p) { return HomVec4::init(-p.x, -p.y, -p.z, -p.w); }

struct Placed {
    HomVec4 position;
    double radius;
};

void expectTouchingIsAllPairs(const std::vector<Placed>& placed, const char* scene) {
    World world;
    for (const Placed& p : placed)
        world.add(VornBody::init(p.position, HomVec4::zero(), 1.0), {.radius = p.radius});
    std::vector<std::pair<BodyId, BodyId>> expected;
    const std::vector<VornBody> bodies = world.exportBodies();
    for (std::size_t i = 0; i < bodies.size(); ++i) {
        for (std::size_t j = i + 1; j < bodies.size(); ++j) {
            const double d = vorn_kernel::fsDistance(bodies[i].position, bodies[j].position);
            const double r_i = placed[i].radius, r_j = placed[j].radius;
            if (r_i > 0.0 && r_j > 0.0 && d < r_i + r_j) expected.emplace_back(i, j);
        }
    }
    std::vector<std::pair<BodyId, BodyId>> found;
    for (const vorn_world::Contact& c : world.touchingContacts()) found.emplace_back(c.a, c.b);
    EXPECT_EQ(found, expected) << scene;
    EXPECT_FALSE(expected.empty()) << scene;
}

TEST(WorldTouching, FindsExactlyTheAllPairsSet) {
    Random random(11);
    const auto radius_between = [&random](double low, double high) {
        return low + (high - low) * 0.5 * (1.0 + random.symmetric());
    };

    // Uniform, radii up to 0.02, one in eight without radius: a large grid.
    std::vector<Placed> uniform;
    uniform.reserve(3000);
    for (int i = 0; i < 3000; ++i)
        uniform.push_back({random.unit(), i % 8 == 0 ? 0.0 : radius_between(0, 0.02)});
    expectTouchingIsAllPairs(uniform, "uniform");

    // Pairs just inside and just outside the sum of their radii, on either representative.
    std::vector<Placed> edges;
    for (int i = 0; i < 600; ++i) {
        const HomVec4 p = random.unit();
        const double r_a = radius_between(1e-4, 0.01);
        const double r_b = radius_between(1e-4, 0.01);
        const HomVec4 q = vorn::world_test::near(random, p, (r_a + r_b) * (1.0 + 1e-12 * random.symmetric()));
        edges.push_back({p, r_a});
        edges.push_back({i % 2 == 0 ? q : negated(q), r_b});
    }
    expectTouchingIsAllPairs(edges, "edges");

    // Around w = 0, where the two representatives change places, and near-antipodal
    // representatives of nearby points.
    std::vector<Placed> equator;
    for (int i = 0; i < 700; ++i) {
        const HomVec4 u = random.unit();
        const HomVec4 p = HomVec4::init(u.x, u.y, u.z, 1e-3 * random.symmetric()).normalize();
        const double r = radius_between(0.002, 0.01);
        equator.push_back({p, r});
        equator.push_back({negated(vorn::world_test::near(random, p, 1.5 * r)), r});
    }
    expectTouchingIsAllPairs(equator, "equator");

    // Mixed radii: a few large bodies among many small ones, touching one another and small
    // ones just inside and just outside the sums of their radii; points at the edge of their
    // balls touch nothing.
    std::vector<Placed> mixed;
    const auto around = [&random](const Placed& body, double radius) {
        const double distance = (body.radius + radius) * (1.0 + 1e-12 * random.symmetric());
        return Placed{vorn::world_test::near(random, body.position, distance), radius};
    };
    mixed.push_back({random.unit(), 0.3});
    mixed.push_back(around(mixed[0], 0.2));
    mixed.push_back(around(mixed[0], 0.08));
    mixed.push_back(around(mixed[1], 0.05));
    for (int i = 0; i < 400; ++i) {  // some without radius, inside the large balls' reach
        const double r = i % 5 == 0 ? 0.0 : radius_between(0.0, 2e-3);
        mixed.push_back(around(mixed[static_cast<std::size_t>(i % 4)], r));
    }
    for (int i = 0; i < 2000; ++i) mixed.push_back({random.unit(), radius_between(0.0, 2e-3)});
    expectTouchingIsAllPairs(mixed, "mixed");

    std::vector<Placed> wide;
    wide.reserve(60);
    for (int i = 0; i < 60; ++i) wide.push_back({random.unit(), radius_between(0.2, 1.5707963267948966)});
    expectTouchingIsAllPairs(wide, "wide");
}

double largestPart(const Bivector& b) {
    return std::max({std::fabs(b.xy), std::fabs(b.xz), std::fabs(b.xw), std::fabs(b.yz), std::fabs(b.yw),
                     std::fabs(b.zw)});
}

void expectSameBivector(const Bivector& a, const Bivector& b, double tolerance) {
    EXPECT_NEAR(a.xy, b.xy, tolerance);
    EXPECT_NEAR(a.xz, b.xz, tolerance);
    EXPECT_NEAR(a.xw, b.xw, tolerance);
    EXPECT_NEAR(a.yz, b.yz, tolerance);
    EXPECT_NEAR(a.yw, b.yw, tolerance);
    EXPECT_NEAR(a.zw, b.zw, tolerance);
}

double totalMass(const World& world) {
    double total = 0.0;
    for (const VornBody& b : world.exportBodies()) total += b.mass;
    return total;
}

// A cluster of bodies that touch one another, on either representative, with random velocities
// and masses that are multiples of 1/8 (so that their sums are exact).
World cluster(Random& random, int count, double radius, double speed) {
    World world(0.01);
    world.setMutualGravity(true);
    const HomVec4 centre = random.unit();
    for (int i = 0; i < count; ++i) {
        const HomVec4 p = vorn::world_test::near(random, centre, radius * 0.25 * (1.0 + random.symmetric()));
        const HomVec4 q = i % 3 == 1 ? negated(p) : p;
        world.add(
            VornBody::init(q, random.tangent(q, speed), 0.125 * static_cast<double>(1 + random.next() % 40)),
            {.radius = radius});
    }
    return world;
}

TEST(WorldMerge, KeepsMassAndBivectorWithSpinsAndPutsTheBodyOnTheSphere) {
    Random random(5);
    World world = cluster(random, 12, 0.05, 0.5);
    const double mass = totalMass(world);
    const Bivector before = world.angularMomentum();
    const double scale = largestPart(before);
    // Rounds of mergers, later ones merging bodies that already hold spins.
    std::size_t merged = 0;
    for (int round = 0; round < 4 && world.size() > 1; ++round) {
        const std::vector<vorn_world::Contact> touching = world.touchingContacts();
        const std::vector<BodyId> ids_before(world.ids().begin(), world.ids().end());
        const std::vector<Merger> mergers = world.mergeContacts(touching);
        merged += mergers.size();
        EXPECT_EQ(world.size(), ids_before.size() - mergers.size());
        for (const Merger& m : mergers) {
            EXPECT_FALSE(world.contains(m.absorbed));
            EXPECT_TRUE(std::find(ids_before.begin(), ids_before.end(), m.absorbed) != ids_before.end());
        }
        EXPECT_EQ(totalMass(world), mass);
        expectSameBivector(world.angularMomentum(), before, 4e-15 * scale);
        for (const VornBody& b : world.exportBodies()) {
            EXPECT_NEAR(b.position.norm(), 1.0, 1e-15);
            EXPECT_LE(std::fabs(HomVec4::dot(b.position, b.velocity)), 1e-15 * b.velocity.norm());
        }
    }
    EXPECT_EQ(world.size(), 1u);
    EXPECT_EQ(merged, 11u);
    // A point cannot hold the cluster's bivector: the spin holds the rest, and the steps keep it.
    const BodyId last = world.ids().front();
    EXPECT_GT(largestPart(world.spin(last)), 1e-3 * scale);
    for (int i = 0; i < 100; ++i) world.step(0.01);
    expectSameBivector(world.angularMomentum(), before, 1e-14 * scale);
}

TEST(WorldMerge, KeepsTheHeavierBodyAndTheVolume) {
    World world;
    const HomVec4 p = HomVec4::init(0, 0, 0, 1);
    const HomVec4 near = HomVec4::init(0.01, 0, 0, 1).normalize();
    const BodyId light = world.add(VornBody::init(p, HomVec4::zero(), 1.0), {.radius = 0.02});
    const BodyId heavy = world.add(VornBody::init(near, HomVec4::zero(), 2.0), {.radius = 0.03});
    const BodyId twin_a = world.add(VornBody::init(negated(p), HomVec4::zero(), 1.0), {.radius = 1.2});
    const BodyId twin_b = world.add(VornBody::init(near, HomVec4::zero(), 1.0), {.radius = 1.5});
    const BodyId heavy_tracer =
        world.add(VornBody::init(p, HomVec4::zero(), 9.0), {.radius = 1e-9, .test_particle = true});
    const BodyId tracer =
        world.add(VornBody::init(p, HomVec4::zero(), 0.0), {.radius = 0.1, .test_particle = true});
    const BodyId other = world.add(VornBody::init(p, HomVec4::zero(), 1.0), {.radius = 0.01});
    const std::vector<vorn_world::Contact> pairs = {{light, heavy, 0.0},
                                                    {twin_b, twin_a, 0.0},
                                                    {heavy_tracer, tracer, 0.0},  // two tracers: left alone
                                                    {heavy_tracer, other, 0.0},
                                                    {tracer, twin_a, 0.0}};
    const std::vector<Merger> mergers = world.mergeContacts(pairs);
    const std::vector<std::pair<BodyId, BodyId>> expected = {
        {heavy, light}, {twin_a, twin_b}, {other, heavy_tracer}, {twin_a, tracer}};
    ASSERT_EQ(mergers.size(), expected.size());
    for (std::size_t k = 0; k < mergers.size(); ++k) {
        EXPECT_EQ(std::make_pair(mergers[k].kept, mergers[k].absorbed), expected[k]) << k;
    }
    EXPECT_FALSE(world.options(other).test_particle);
    EXPECT_EQ(world.body(other).mass, 10.0);
    // The ball of radius r has the volume π·(2r − sin 2r): small balls add their cubes, and
    // balls that would together fill more than the space give all of it.
    const auto volume = [](double r) { return 2.0 * r - std::sin(2.0 * r); };
    EXPECT_NEAR(volume(world.options(heavy).radius), volume(0.02) + volume(0.03), 1e-16);
    EXPECT_NEAR(world.options(heavy).radius, std::cbrt(0.02 * 0.02 * 0.02 + 0.03 * 0.03 * 0.03), 2e-6);

    EXPECT_EQ(world.options(twin_a).radius, 1.5707963267948966);
}

TEST(WorldMerge, FollowsChainsToTheBodyThatAbsorbed) {
    // A, B and C on a great circle 0.03 apart, radius 0.025: A–B and B–C touch, A–C do not.
    const auto at = [](double angle) { return HomVec4::init(std::sin(angle), 0, 0, std::cos(angle)); };
    World world;
    const BodyId a = world.add(VornBody::init(at(0.0), HomVec4::zero(), 2.0), {.radius = 0.025});
    const BodyId b = world.add(VornBody::init(at(0.03), HomVec4::zero(), 1.0), {.radius = 0.025});
    const BodyId c = world.add(VornBody::init(at(0.06), HomVec4::zero(), 1.0), {.radius = 0.025});
    World copy = world;
    // A absorbs B, ending at 0.01 with a radius of 0.0315: C, 0.05 away, still touches.
    std::vector<Merger> mergers =
        world.mergeContacts(std::vector<vorn_world::Contact>{{a, b, 0.0}, {b, c, 0.0}});
    ASSERT_EQ(mergers.size(), 2u);
    EXPECT_EQ(mergers[1].kept, a);
    EXPECT_EQ(mergers[1].absorbed, c);
    EXPECT_EQ(world.size(), 1u);
    // With A nine times heavier than B, A+B ends at 0.003, C 0.057 away: no longer touching.
    VornBody heavy = copy.body(a);
    heavy.mass = 9.0;
    copy.setBody(a, heavy);
    mergers = copy.mergeContacts(std::vector<vorn_world::Contact>{{a, b, 0.0}, {c, b, 0.0}, {a, b, 0.0}});
    ASSERT_EQ(mergers.size(), 1u);
    EXPECT_TRUE(copy.contains(c));
}

TEST(WorldMerge, LeavesBodiesThatAreNotMovedAndPairsThatDoNotTouch) {
    World world;
    const HomVec4 p = HomVec4::init(0, 0, 0, 1);
    const HomVec4 near = HomVec4::init(0.01, 0, 0, 1).normalize();
    const BodyId moved = world.add(VornBody::init(p, HomVec4::init(0.1, 0, 0, 0), 1.0), {.radius = 0.1});
    VornBody kinematic = VornBody::init(near, HomVec4::zero(), 1.0);
    kinematic.body_type = VornBody::BodyType::kinematic;
    VornBody inactive = VornBody::init(near, HomVec4::zero(), 1.0);
    inactive.active = false;
    std::vector<BodyId> others = {world.add(VornBody::static_(near), {.radius = 0.1}),
                                  world.add(kinematic, {.radius = 0.1}), world.add(inactive, {.radius = 0.1}),
                                  world.add(VornBody::init(near, HomVec4::zero(), 1e-11), {.radius = 0.1})};
    const BodyId point = world.add(VornBody::init(near, HomVec4::zero(), 1.0));  // radius 0
    const BodyId far =
        world.add(VornBody::init(HomVec4::init(1, 0, 0, 0), HomVec4::zero(), 1.0), {.radius = 0.1});
    std::vector<vorn_world::Contact> pairs;
    pairs.reserve(others.size() + 2);
    for (const BodyId other : others) pairs.push_back({moved, other, 0.0});
    pairs.push_back({moved, point, 0.0});  // within the ball, but a point touches nothing
    pairs.push_back({moved, far, 0.0});
    const std::vector<VornBody> before = world.exportBodies();
    EXPECT_TRUE(world.mergeContacts(pairs).empty());
    EXPECT_TRUE(vorn::world_test::sameBits(world.exportBodies(), before));
    EXPECT_EQ(world.spin(moved).xy, 0.0);
}

TEST(WorldMerge, MergedBodyStartsWithoutLowPartsOrCachedPulls) {
    Random random(3);
    World world = cluster(random, 2, 0.05, 0.01);
    world.setMutualGravity(false);
    world.addAttractor(HomVec4::init(1, 0, 0, 0), 1.0);
    world.add(VornBody::init(HomVec4::init(0, 1, 0, 0), HomVec4::zero(), 1.0));
    world.setCompensated(true);
    for (int i = 0; i < 50; ++i) world.step(0.01);
    const double time = world.time();
    ASSERT_EQ(world.mergeContacts(world.touchingContacts()).size(), 1u);
    EXPECT_EQ(world.time(), time);
    EXPECT_EQ(world.stepCount(), 50u);
    // A World of the same bodies added afresh (no low parts) pulls and steps them the same way.
    World fresh(world.gravitationalConstant());
    fresh.setCompensated(true);
    fresh.addAttractor(HomVec4::init(1, 0, 0, 0), 1.0);
    for (const VornBody& b : world.exportBodies()) fresh.add(b);
    std::vector<HomVec4> pulls(world.size()), fresh_pulls(world.size());
    world.accelerations(pulls);
    fresh.accelerations(fresh_pulls);
    for (std::size_t i = 0; i < pulls.size(); ++i) {
        EXPECT_TRUE(pulls[i].x == fresh_pulls[i].x && pulls[i].y == fresh_pulls[i].y &&
                    pulls[i].z == fresh_pulls[i].z && pulls[i].w == fresh_pulls[i].w)
            << i;
    }
    world.step(0.01);
    fresh.step(0.01);
    EXPECT_TRUE(vorn::world_test::sameBits(world.body(world.ids().front()), fresh.body(fresh.ids().front())));
}

TEST(WorldMerge, RefusesACallWholeBeforeAnythingChanges) {
    Random random(9);
    World world = cluster(random, 6, 0.05, 0.5);
    ASSERT_FALSE(world.mergeContacts(world.touchingContacts()).empty());  // spins now held
    const HomVec4 p = HomVec4::init(0, 0, 1, 0);
    VornBody pushed = VornBody::init(p, HomVec4::zero(), 1.0);
    pushed.applyForce(HomVec4::init(0x1.0p100, 0, 0, 0));
    const BodyId x = world.add(pushed, {.radius = 0.1});
    const BodyId y = world.add(pushed, {.radius = 0.1});
    const BodyId z = world.add(VornBody::init(p, HomVec4::zero(), 1.0), {.radius = 0.1});
    const World before = world;
    const auto expectUnchanged = [&] {
        ASSERT_EQ(world.size(), before.size());
        EXPECT_TRUE(vorn::world_test::sameBits(world.exportBodies(), before.exportBodies()));
        for (const BodyId id : before.ids()) {
            EXPECT_EQ(world.options(id).radius, before.options(id).radius);
            EXPECT_EQ(world.spin(id).xy, before.spin(id).xy);
        }
    };
    // The first pair would merge; the second names no body, then would add forces up to 2^101.
    std::vector<vorn_world::Contact> pairs = {{x, z, 0.0}, {x, 1000, 0.0}};
    EXPECT_THROW(world.mergeContacts(pairs), std::out_of_range);
    expectUnchanged();
    pairs.back() = {y, x, 0.0};
    EXPECT_THROW(world.mergeContacts(pairs), std::invalid_argument);
    expectUnchanged();
}

}  // namespace
