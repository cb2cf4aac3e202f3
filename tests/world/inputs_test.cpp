// What a World accepts: bodies put on the sphere on entry, meaningless values refused with the
// World left as it was, bulk adds all or nothing, and the state after a failure.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <limits>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "scene_support.hpp"
#include "vorn_world.hpp"

namespace {

using vorn::world_test::HomVec4;
using vorn::world_test::Random;
using vorn::world_test::VornBody;
using vorn_world::Integrator;
using vorn_world::World;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

bool finiteOnSphere(const World& world) {
    for (const VornBody& b : world.exportBodies()) {
        const HomVec4 q = b.position, v = b.velocity;
        if (!std::isfinite(HomVec4::dot(v, v)) || !(std::fabs(q.norm() - 1.0) < 1e-12) ||
            !(std::fabs(HomVec4::dot(q, v)) <= 1e-12 * (1.0 + v.norm())))
            return false;
    }
    return std::isfinite(world.energy());
}

// Lengths far from one, a velocity with a radial part: stored on the sphere and tangent, so
// that the diagnostics and every integrator, with mutual gravity, stay finite and on it.
TEST(WorldInputs, BodiesArePutOnTheSphereOnEntry) {
    for (const double length : {2.0, 0.5, 1e100, 1e300, 1e-10}) {
        World world(1.0);
        world.addAttractor(HomVec4::init(0, 0, 0, 1), 1.0);
        world.setMutualGravity(true);
        const HomVec4 p = HomVec4::init(0.6, 0, 0, 0.8);
        world.add(VornBody::init(p, HomVec4::init(0, 0.3, 0, 0), 1.0));
        VornBody off = VornBody::init(p, HomVec4::zero(), 1.0);
        off.position = HomVec4::init(0, 0.6 * length, 0, 0.8 * length);
        off.velocity = HomVec4::init(0.2, 0.5, 0, 0.4);  // its component along the position: 0.62
        const vorn_world::BodyId id = world.add(off);
        const VornBody stored = world.body(id);
        EXPECT_NEAR(stored.position.y, 0.6, 1e-15) << length;
        EXPECT_NEAR(stored.velocity.x, 0.2, 1e-15);
        EXPECT_NEAR(stored.velocity.y, 0.5 - 0.62 * 0.6, 1e-15);
        EXPECT_NEAR(HomVec4::dot(stored.velocity, stored.position), 0.0, 1e-15);
        ASSERT_TRUE(finiteOnSphere(world)) << length;
        for (const Integrator integrator : {Integrator::kdk, Integrator::yoshida4, Integrator::compat}) {
            world.step(0.01, integrator);
            ASSERT_TRUE(finiteOnSphere(world)) << length << " " << static_cast<int>(integrator);
        }
        world.setBody(id, off);
        EXPECT_NEAR(world.body(id).position.norm(), 1.0, 1e-15);
    }
    // A velocity radial but for a part 1e-30 of it keeps that part, not the rounding of the rest.
    World world(1.0);
    const HomVec4 p = HomVec4::init(0, 0, -0.6, 0.8);
    const vorn_world::BodyId id = world.add(VornBody::init(p, HomVec4::init(1e-30, 0, -0.6, 0.8), 1.0));
    EXPECT_NEAR(world.body(id).velocity.x, 1e-30, 1e-45);
    EXPECT_LT(std::fabs(HomVec4::dot(world.body(id).velocity, p)), 1e-44);
}

// At the edges of what is accepted a step stays finite and on the sphere, or (compat, whose
// Runge–Kutta stages overflow on turns far beyond a radian) is refused with nothing changed.
TEST(WorldInputs, ExtremeStepsStayFiniteOrAreRefused) {
    const HomVec4 p = HomVec4::init(0.6, 0, 0, 0.8);
    World world(1.0);
    world.add(VornBody::init(p, HomVec4::init(0, 0x1.0p99, 0, 0), 1.0));
    for (const Integrator integrator : {Integrator::kdk, Integrator::yoshida4}) {
        world.step(0x1.0p99, integrator);  // turns by 2^198 radians
        ASSERT_TRUE(finiteOnSphere(world));
    }
    const std::vector<VornBody> before = world.exportBodies();
    EXPECT_THROW(world.step(1e10, Integrator::compat), std::invalid_argument);
    EXPECT_TRUE(vorn::world_test::sameBits(world.exportBodies(), before));
    // A compat step far too long for its speed diverges to |v| ≈ 3e150 without overflowing; the
    // energy is still ½|v|² (beyond the double-double products' range), not NaN.
    World diverged(1.0);
    diverged.add(VornBody::init(p, HomVec4::init(0, 1.5e5, 0, 0), 1.0));
    diverged.step(2.0, Integrator::compat);
    const double speed = diverged.body(0).velocity.norm();
    EXPECT_GT(speed, 1e150);
    EXPECT_NEAR(diverged.energy() / (0.5 * speed * speed), 1.0, 1e-15);
}

// Each value that can never be meaningful is refused, naming it, and nothing changes.
TEST(WorldInputs, RefusesMeaninglessValuesAndChangesNothing) {
    Random random(7);
    World world(0.5);
    world.addAttractor(HomVec4::init(0, 0, 0, 1), 1.0);
    world.setMutualGravity(true);
    for (int i = 0; i < 5; ++i) {
        const HomVec4 p = random.unit();
        world.add(VornBody::init(p, random.tangent(p, 0.3), 1.0));
    }
    const vorn_world::BodyId id = world.ids()[2];
    world.applyForce(id, HomVec4::init(0x1.0p99, 0, 0, 0));
    const std::vector<VornBody> before = world.exportBodies();
    const auto refused = [&](const char* what, auto&& action) {
        try {
            action();
            ADD_FAILURE() << what << " was accepted";
        } catch (const std::invalid_argument& e) {
            EXPECT_NE(std::string(e.what()).find(what), std::string::npos) << e.what();
        }
        EXPECT_TRUE(vorn::world_test::sameBits(world.exportBodies(), before)) << what;
        EXPECT_EQ(world.gravitationalConstant(), 0.5);
        EXPECT_EQ(world.attractors().size(), 1u);
    };
    for (const double dt : {nan, inf, -inf, 1e300}) refused("dt", [&] { world.step(dt); });
    refused("integrator", [&] { world.step(0.01, static_cast<Integrator>(7)); });
    for (const double G : {-1.0, nan, 1e300}) {
        refused("G", [&] { world.setGravitationalConstant(G); });
        refused("G", [&] { World{G}; });
    }
    refused("force", [&] { world.applyForce(id, HomVec4::init(nan, 0, 0, 0)); });
    refused("accumulated force",
            [&] { world.applyForce(id, HomVec4::init(0x1.0p100, 0, 0, 0)); });  // 1.5 · 2^100
    refused("attractor's mass", [&] { world.addAttractor(HomVec4::init(1, 0, 0, 0), inf); });
    for (const double theta : {-0.1, 1.0, nan})
        refused("θ", [&] { world.setGravitySolver(vorn_world::GravitySolver::tree(theta)); });
    refused("order", [&] { world.setGravitySolver(vorn_world::GravitySolver::tree(0.3, 3)); });
    refused("method", [&] { world.setGravitySolver({static_cast<vorn_world::GravitySolver::Method>(5)}); });
    EXPECT_EQ(world.gravitySolver(), vorn_world::GravitySolver::automatic());
    const HomVec4 p = HomVec4::init(1, 0, 0, 0);
    const std::pair<const char*, VornBody (*)(VornBody)> bad[] = {
        {"velocity", [](VornBody b) { return b.velocity = HomVec4::init(0, 1e200, 0, 0), b; }},
        {"mass", [](VornBody b) { return b.mass = 1e308, b; }},
        {"mass", [](VornBody b) { return b.mass = nan, b; }},
        {"restitution", [](VornBody b) { return b.restitution = 1.5, b; }},
        {"accumulated force", [](VornBody b) { return b.force_accum = HomVec4::init(0, 0, nan, 0), b; }},
        {"position", [](VornBody b) { return b.position = HomVec4::zero(), b; }},
        {"type", [](VornBody b) { return b.body_type = static_cast<VornBody::BodyType>(9), b; }},
    };
    for (const auto& [what, spoil] : bad) {
        const VornBody body = spoil(VornBody::init(p, HomVec4::zero(), 1.0));
        refused(what, [&] { world.add(body); });
        refused(what, [&] { world.setBody(id, body); });
        // All or nothing: the good bodies before the bad one are not added either.
        const std::vector<VornBody> some{VornBody::init(p, HomVec4::zero(), 1.0), body};
        refused(what, [&] { world.add(some); });
        EXPECT_EQ(world.size(), 5u);
    }
    const std::vector<vorn_world::BodyId> added =
        world.add(std::vector<VornBody>(3, VornBody::init(p, HomVec4::zero(), 1.0)));
    EXPECT_EQ(added, (std::vector<vorn_world::BodyId>{5, 6, 7}));
}

// Assigning into a moved-from World makes it a copy; a contact with an unknown id applies
// none; a ParallelFor that throws leaves each body before or after its step.
TEST(WorldInputs, FailuresLeaveAKnownState) {
    Random random(8);
    World a(1.0);
    a.addAttractor(HomVec4::init(0, 0, 0, 1), 1.0);
    for (int i = 0; i < 16; ++i) {  // four blocks of four
        const HomVec4 p = random.unit();
        a.add(VornBody::init(p, random.tangent(p, 0.3), 1.0));
    }
    World b(std::move(a));
    a = b;
    EXPECT_TRUE(vorn::world_test::sameBits(a.exportBodies(), b.exportBodies()));

    const std::vector<VornBody> before = a.exportBodies();
    const vorn_world::Contact contacts[] = {{a.ids()[0], a.ids()[1], 0.0}, {a.ids()[2], 999, 0.0}};
    EXPECT_THROW(a.resolveContacts(contacts), std::out_of_range);
    EXPECT_TRUE(vorn::world_test::sameBits(a.exportBodies(), before));

    // Two bodies 1e-12 apart: the contact normal's radial part, (|q|² − 1)/sin d, would be
    // left in the velocities.
    World pair(1.0);
    const HomVec4 at = HomVec4::init(0.6, 0, 0, 0.8);
    const vorn_world::BodyId first = pair.add(VornBody::init(at, HomVec4::init(0, 1, 0, 0), 1.0));
    pair.add(VornBody::init(HomVec4::init(0.6, 1e-12, 0, 0.8), HomVec4::init(0, -1, 0, 0), 1.0));
    pair.resolveContacts(pair.contacts(1e-6));
    for (const VornBody& b : pair.exportBodies()) {
        EXPECT_LT(std::fabs(HomVec4::dot(b.velocity, b.position)), 1e-15 * b.velocity.norm() + 1e-15);
    }
    EXPECT_LT(pair.body(first).velocity.y, 0.0);  // bounced

    World after = a;
    after.step(0.01);
    int calls = 0;
    a.setParallelFor([&](std::size_t count, const vorn_world::RangeBody& body) {
        body(0, count / 2);
        if (++calls == 1) throw std::runtime_error("no more threads");
        body(count / 2, count);
    });
    EXPECT_THROW(a.step(0.01), std::runtime_error);
    const std::vector<VornBody> done = after.exportBodies();
    const std::vector<VornBody> partial = a.exportBodies();
    for (std::size_t i = 0; i < partial.size(); ++i) {
        EXPECT_TRUE(vorn::world_test::sameBits(partial[i], i < 8 ? done[i] : before[i])) << i;
    }
}

}  // namespace
