// What a physicist controls and reads: the softening, the energy against a long-double sum,
// time and integrate, test particles.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "scene_support.hpp"
#include "vorn_world.hpp"

namespace {

using vorn::world_test::HomVec4;
using vorn::world_test::Random;
using vorn::world_test::VornBody;
using vorn_world::Integrator;
using vorn_world::World;

using Long = long double;

// The potential of the law in long double, from the angle between p and s as vectors.
Long potentialLong(HomVec4 p, HomVec4 s, Long gm, Long eps) {
    const Long pc[4] = {p.x, p.y, p.z, p.w}, sc[4] = {s.x, s.y, s.z, s.w};
    Long along = 0, wedge = 0;
    for (int i = 0; i < 4; ++i) along += pc[i] * sc[i];
    for (int i = 0; i < 4; ++i) {
        for (int j = i + 1; j < 4; ++j)
            wedge += (pc[i] * sc[j] - pc[j] * sc[i]) * (pc[i] * sc[j] - pc[j] * sc[i]);
    }
    const Long cot = std::fabs(along) / std::sqrt(wedge);
    if (eps == 0) return -gm * cot;
    return -gm * std::atan(std::sqrt(eps / (1 + eps)) * cot) / std::sqrt(eps * (1 + eps));
}

// The World's energy, summed again in long double.
Long energyLong(const World& world) {
    const std::vector<VornBody> bodies = world.exportBodies();
    const Long G = world.gravitationalConstant(), eps = world.softening();
    Long total = 0;
    for (std::size_t i = 0; i < bodies.size(); ++i) {
        const HomVec4 q = bodies[i].position, v = bodies[i].velocity;
        const Long m = bodies[i].mass;
        total += 0.5L * m * ((Long{v.x} * v.x + Long{v.y} * v.y) + (Long{v.z} * v.z + Long{v.w} * v.w));
        for (const vorn_world::Attractor& a : world.attractors())
            total += m * potentialLong(q, a.position, G * a.mass, eps);
        if (!world.mutualGravity()) continue;
        for (std::size_t j = i + 1; j < bodies.size(); ++j) {
            total += m * potentialLong(q, bodies[j].position, G * bodies[j].mass, eps);
        }
    }
    return total;
}

TEST(WorldEnergy, IsTheStateEnergyToItsLastBits) {
    World orbit = vorn::world_test::eccentricOrbit();
    for (int i = 0; i < 100; ++i) orbit.step(0.003);
    const Long exact_orbit = energyLong(orbit);
    EXPECT_LE(std::fabs((orbit.energy() - exact_orbit) / exact_orbit), 1e-15L);
    EXPECT_NEAR(orbit.kineticEnergy() + orbit.potentialEnergy(), orbit.energy(), 1e-15);

    // 1000 bodies in a ball of radius 0.3, mutual gravity with a softening of 1e-4.
    Random random(11);
    World cluster(1.0);
    cluster.setMutualGravity(true);
    cluster.setSoftening(1e-4);
    const HomVec4 centre = HomVec4::init(0, 0, 0, 1);
    for (int i = 0; i < 1000; ++i) {
        const HomVec4 p =
            vorn::world_test::near(random, centre, 0.3 * std::cbrt(0.5 + 0.5 * random.symmetric()));
        cluster.add(VornBody::init(p, random.tangent(p, 0.3), 1e-3));
    }
    const Long exact_cluster = energyLong(cluster);
    EXPECT_LE(std::fabs((cluster.energy() - exact_cluster) / exact_cluster), 1e-13L);
}

// The law's softening is the World's: the accelerations are gravityAcceleration with it, and
// with ε = 0 the pull is G·M/sin²d and the potential −G·M·cot d.
TEST(WorldLaw, SofteningIsASetting) {
    const HomVec4 p = HomVec4::init(0, 0, 0, 1), s = HomVec4::init(std::sin(0.01), 0, 0, std::cos(0.01));
    EXPECT_NEAR(vorn_world::gravityAcceleration(p, s, 1.0, 0.0).norm(),
                1.0 / (std::sin(0.01) * std::sin(0.01)), 1e-8);
    EXPECT_NEAR(vorn_world::gravityPotential(p, s, 1.0, 0.0), -1.0 / std::tan(0.01), 1e-11);
    World world(2.0);
    world.setSoftening(0.01);
    world.addAttractor(s, 0.5);
    world.add(VornBody::init(p, HomVec4::zero(), 1.0));
    std::vector<HomVec4> a(1);
    world.accelerations(a);
    const HomVec4 expected = vorn_world::gravityAcceleration(p, s, 1.0, 0.01);
    EXPECT_EQ(a[0].x, expected.x);
    EXPECT_EQ(a[0].w, expected.w);
    EXPECT_THROW(world.setSoftening(-1e-3), std::invalid_argument);
}

// time() sums the steps' lengths with compensation; integrate lands exactly on t_end.
TEST(WorldTime, IntegrateLandsExactlyOnTheEnd) {
    for (const Integrator integrator : {Integrator::kdk, Integrator::yoshida4, Integrator::compat}) {
        World world = vorn::world_test::eccentricOrbit();
        world.integrate(1.0, integrator, 0.03);
        EXPECT_EQ(world.time(), 1.0);
        EXPECT_EQ(world.stepCount(), 34u);       // 33 of 0.03 and one of 0.01
        world.integrate(0.5, integrator, 0.03);  // in the past: nothing
        EXPECT_EQ(world.stepCount(), 34u);
    }
    World world = vorn::world_test::eccentricOrbit();
    for (int i = 0; i < 100000; ++i) world.step(0.1);
    EXPECT_EQ(world.time(), 10000.0);  // a plain sum of 0.1 drifts by about 2e-9
    EXPECT_THROW(world.integrate(2.0, Integrator::kdk, 0.0), std::invalid_argument);
}

// Test particles are pulled and pull nothing: the massive bodies keep the bits they have
// without them, the particles move as bodies too light to matter, and a massless one moves.
TEST(WorldTestParticles, ArePulledAndPullNothing) {
    Random random(12);
    std::vector<VornBody> heavy, light;
    for (int i = 0; i < 5; ++i) {
        const HomVec4 p = random.unit();
        heavy.push_back(VornBody::init(p, random.tangent(p, 0.2), 1e6));
    }
    for (int i = 0; i < 9; ++i) {
        const HomVec4 p = random.unit();
        light.push_back(VornBody::init(p, random.tangent(p, 0.2), 1e-10));
    }
    // G·m of a light body is 1e-16: its pull, at most 1e-14 with this softening, is lost in
    // the rounding of the others'.
    const auto world_of = [&](int light_as) {  // 0: none, 1: test particles, 2: bodies
        World world(1e-6);
        world.setMutualGravity(true);
        world.setSoftening(1e-2);
        world.addAttractor(HomVec4::init(0, 0, 0, 1), 5e5);
        world.add(heavy);
        if (light_as > 0) world.add(light, {.test_particle = light_as == 1});
        for (int i = 0; i < 50; ++i) world.step(0.01, i % 2 ? Integrator::kdk : Integrator::yoshida4);
        return world.exportBodies();
    };
    const std::vector<VornBody> alone = world_of(0), tests = world_of(1), bodies = world_of(2);
    for (std::size_t i = 0; i < heavy.size(); ++i)
        EXPECT_TRUE(vorn::world_test::sameBits(tests[i], alone[i])) << i;
    for (std::size_t i = heavy.size(); i < tests.size(); ++i) {
        const HomVec4 a = tests[i].position, b = bodies[i].position;
        EXPECT_LT(HomVec4::init(a.x - b.x, a.y - b.y, a.z - b.z, a.w - b.w).norm(), 1e-13) << i;
    }

    World world(1.0);
    world.addAttractor(HomVec4::init(0, 0, 0, 1), 0.5);
    VornBody massless = light[0];
    massless.mass = 0.0;
    const vorn_world::BodyId id = world.add(massless, {.test_particle = true});
    const HomVec4 before = world.body(id).position;
    world.step(0.01);
    EXPECT_NE(world.body(id).position.x, before.x);
    EXPECT_THROW(world.applyForce(id, HomVec4::init(1, 0, 0, 0)), std::invalid_argument);
    EXPECT_TRUE(world.options(id).test_particle);
}

// A body on a circle about an attractor turns at a constant rate: the adaptive integrator
// follows it to the rounding of the state, taking a first step of the whole interval that its
// error control rejects, and the energy stays at its rounding.
TEST(WorldAdaptive, FollowsAKnownOrbitToItsRounding) {
    World world(1.0);
    world.addAttractor(HomVec4::init(0, 0, 0, 1), 1.0);
    const double d = 0.5, eps = 1e-10;
    const double speed = std::sqrt(std::tan(d) / (std::sin(d) * std::sin(d) + eps));  // v²·cot d = pull
    const vorn_world::BodyId id = world.add(
        VornBody::init(HomVec4::init(std::sin(d), 0, 0, std::cos(d)), HomVec4::init(0, speed, 0, 0), 1.0));
    const double energy = world.energy();
    world.step(10.0, Integrator::adaptive);
    // The circle of radius d about the pole at angular rate ω = speed / sin d.
    const double angle = 10.0 * speed / std::sin(d);
    const HomVec4 expected =
        HomVec4::init(std::sin(d) * std::cos(angle), std::sin(d) * std::sin(angle), 0, std::cos(d));
    const HomVec4 q = world.body(id).position;
    EXPECT_LT(HomVec4::init(q.x - expected.x, q.y - expected.y, q.z - expected.z, q.w - expected.w).norm(),
              1e-12);
    EXPECT_LT(std::fabs((world.energy() - energy) / energy), 2e-15);
    EXPECT_GT(world.adaptiveReport().rejected, 0u);
    EXPECT_EQ(world.time(), 10.0);
}

// The orbit from apocentre 1 to pericentre 0.05 about an attractor of G·M = 1.
World plungingOrbit() {
    World world(1.0);
    world.addAttractor(HomVec4::init(0, 0, 0, 1), 1.0);
    const double pericentre = 0.05, apocentre = 1.0;
    const auto cot = [](double x) { return 1.0 / std::tan(x); };
    const auto inv_sin_sq = [](double x) { return 1.0 / (std::sin(x) * std::sin(x)); };
    const double momentum_sq =
        2.0 * (cot(pericentre) - cot(apocentre)) / (inv_sin_sq(pericentre) - inv_sin_sq(apocentre));
    world.add(VornBody::init(HomVec4::init(std::sin(apocentre), 0, 0, std::cos(apocentre)),
                             HomVec4::init(0, std::sqrt(momentum_sq) / std::sin(apocentre), 0, 0), 1.0));
    return world;
}

// Through a pericentre of 0.05 the steps shorten and the energy is kept to its rounding.
TEST(WorldAdaptive, ShortensItsStepsThroughACloseEncounter) {
    World world = plungingOrbit();
    const double energy = world.energy();
    double shortest = 1.0, longest = 0.0;
    for (int i = 0; i < 400; ++i) {
        world.step(0.01, Integrator::adaptive);
        shortest = std::min(shortest, world.adaptiveReport().next_step);
        longest = std::max(longest, world.adaptiveReport().next_step);
    }
    EXPECT_GT(longest, 20.0 * shortest);
    EXPECT_LT(std::fabs((world.energy() - energy) / energy), 1e-14);
}

// A body whose path crosses d = π/2 from an attractor, where the pull flips to the other
// representative, keeps its energy: the jump is found wherever it falls in a step, the last
// 2.25 % after the last node included.
TEST(WorldAdaptive, StepsAcrossTheFlipOfThePullAtAQuarterTurn) {
    for (int k = 0; k < 20; ++k) {
        World world(1.0);
        world.addAttractor(HomVec4::init(0, 0, 0, 1), 1.0);
        const double d = 1.2 + 0.01 * k, speed = 0.9 + 0.02 * k;
        world.add(VornBody::init(HomVec4::init(std::sin(d), 0, 0, std::cos(d)),
                                 HomVec4::init(speed * std::cos(d), 0.3, 0, -speed * std::sin(d)), 1.0));
        const double energy = world.energy();
        for (int call = 0; call < 10; ++call) world.step(1.0, Integrator::adaptive);
        EXPECT_LT(std::fabs((world.energy() - energy) / energy), 1e-12) << k;
    }
}

// Left to choose every step (calls of about an orbit), the integrator takes steps that scale as
// the tolerance to the 1/7 and keeps the energy to its rounding at every tolerance: no step
// that its error control should have refused. Below what its error estimate resolves (1e-13
// here) it still moves on, at its shortest steps.
TEST(WorldAdaptive, ItsStepsFollowTheTolerance) {
    const double tolerances[3] = {1e-6, 1e-10, 1e-13};
    std::uint64_t steps[3] = {};
    for (int k = 0; k < 3; ++k) {
        World world = plungingOrbit();
        world.setAdaptiveTolerance(tolerances[k]);
        world.setAdaptiveStepLimit(100000);
        const double energy = world.energy();
        for (int call = 0; call < (k < 2 ? 20 : 2); ++call) {
            ASSERT_NO_THROW(world.step(2.0, Integrator::adaptive)) << tolerances[k];
            EXPECT_LT(std::fabs((world.energy() - energy) / energy), 1e-13) << tolerances[k] << " " << call;
        }
        steps[k] = world.adaptiveReport().steps;
    }
    const double ratio = static_cast<double>(steps[1]) / static_cast<double>(steps[0]);
    EXPECT_GT(ratio, 0.8 * std::pow(1e4, 1.0 / 7.0));
    EXPECT_LT(ratio, 1.25 * std::pow(1e4, 1.0 / 7.0));
}

}  // namespace
