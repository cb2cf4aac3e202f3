// The batch step: the results of one integrateStep call per body, and its refusal of spans
// that do not match.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/same_bits.hpp"
#include "vorn_physics.hpp"

namespace {

using vorn::test::sameBits;
using vorn_kernel::HomVec4;
using vorn_physics::integrateStep;
using vorn_physics::integrateSteps;
using vorn_physics::VornBody;
using BodyType = VornBody::BodyType;

// A world like a simulation's: mostly moving bodies, with a few the step leaves alone, and an
// occasional one collapsed to the origin.
struct World {
    std::vector<VornBody> bodies;
    std::vector<HomVec4> forces;
};

World randomWorld(std::mt19937_64& rng, std::size_t count) {
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    auto randomVec = [&](double scale) {
        return HomVec4::init(scale * unit(rng), scale * unit(rng), scale * unit(rng), scale * unit(rng));
    };
    World world;
    for (std::size_t i = 0; i < count; ++i) {
        VornBody body = VornBody::init(randomVec(1.0), randomVec(0.5), 0.5 + std::abs(unit(rng)));
        body.applyForce(randomVec(0.2));
        switch (rng() % 16) {
            case 0:
                body.active = false;
                break;
            case 1:
                body.body_type = BodyType::kinematic;
                break;
            case 2:
                body = VornBody::static_(randomVec(1.0));
                break;
            case 3:
                body.mass = 1e-11;
                break;
            case 4:
                body.position = HomVec4::zero();
                break;
            default:
                break;
        }
        world.bodies.push_back(body);
        world.forces.push_back(randomVec(0.1));
    }
    return world;
}

TEST(IntegrateSteps, GivesEachBodyTheBitsOfItsOwnIntegrateStep) {
    std::mt19937_64 rng(20261208);
    for (std::size_t count = 0; count <= 40; ++count) {
        World world = randomWorld(rng, count);
        std::vector<VornBody> expected = world.bodies;
        for (int step = 0; step < 20; ++step) {
            const double dt = step % 5 == 4 ? -1e-3 : 1e-3;
            for (std::size_t i = 0; i < count; ++i) integrateStep(expected[i], dt, world.forces[i]);
            integrateSteps(world.bodies, dt, world.forces);
            for (std::size_t i = 0; i < count; ++i) {
                ASSERT_TRUE(sameBits(expected[i], world.bodies[i]))
                    << count << " bodies, step " << step << ", body " << i;
            }
        }
    }
}

// With no time passing, the position is only renormalised; a norm of exactly 1e-15 is the
// largest that is kept undivided.
TEST(IntegrateSteps, DividesOnlyNormsAbove1e15AsIntegrateStepDoes) {
    const double kept = 1e-15;
    const double divided = std::nextafter(1e-15, 1.0);
    const std::vector<double> norms{kept, divided, kept, kept, divided, divided, kept, divided};
    std::vector<VornBody> bodies;
    for (const double norm : norms) {
        VornBody body = VornBody::init(HomVec4::init(1, 0, 0, 0), HomVec4::zero(), 1.0);
        body.position = HomVec4::init(0, 0, norm, 0);
        bodies.push_back(body);
    }
    std::vector<VornBody> expected = bodies;
    for (VornBody& body : expected) integrateStep(body, 0.0, HomVec4::zero());
    integrateSteps(bodies, 0.0, std::vector<HomVec4>(bodies.size(), HomVec4::zero()));
    for (std::size_t i = 0; i < bodies.size(); ++i) {
        EXPECT_TRUE(sameBits(expected[i], bodies[i])) << i;
        EXPECT_EQ(bodies[i].position.z, norms[i] == kept ? kept : 1.0) << i;
    }
}

TEST(IntegrateSteps, RefusesSpansOfDifferentLengthsAndChangesNothing) {
    std::mt19937_64 rng(5);
    World world = randomWorld(rng, 9);
    const std::vector<VornBody> before = world.bodies;
    world.forces.pop_back();
    try {
        integrateSteps(world.bodies, 1e-3, world.forces);
        FAIL() << "no exception";
    } catch (const std::invalid_argument& error) {
        EXPECT_EQ(std::string(error.what()), "integrateSteps: 9 bodies but 8 external forces");
    }
    for (std::size_t i = 0; i < before.size(); ++i) EXPECT_TRUE(sameBits(before[i], world.bodies[i])) << i;
}

}  // namespace
