// The world's integrators: compat against the loop users write, the orders of kdk and
// yoshida4, energy without drift, the angular-momentum bivector, and identical bits whatever
// the threads.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "bits/attractor_scene.hpp"
#include "scene_support.hpp"
#include "vorn_physics.hpp"
#include "vorn_world.hpp"

namespace {

using vorn::world_test::HomVec4;
using vorn::world_test::Random;
using vorn::world_test::VornBody;
using vorn_world::Integrator;
using vorn_world::World;

HomVec4 onSide(HomVec4 p, HomVec4 a) {
    return HomVec4::dot(p, a) < 0.0 ? HomVec4::init(-a.x, -a.y, -a.z, -a.w) : a;
}

TEST(WorldIntegrators, CompatIsTheUsersLoopBitForBit) {
    Random random(4);
    // Stored normalised: the loop below uses the positions the world holds.
    const HomVec4 attractors[2] = {random.unit().normalize(), random.unit().normalize()};
    const double masses[2] = {0.8, 1.3};
    const double G = 0.05;
    std::vector<VornBody> bodies;
    World world(G);
    world.setMutualGravity(true);
    for (const int k : {0, 1}) world.addAttractor(attractors[k], masses[k]);
    for (int i = 0; i < 11; ++i) {
        const HomVec4 p = random.unit();
        bodies.push_back(VornBody::init(p, random.tangent(p, 0.3), 0.5 + 0.1 * i));
        if (i == 3) bodies.back().active = false;
        if (i == 6) bodies.back().applyForce(HomVec4::init(0.2, 0, 0, 0));
        world.add(bodies.back());
    }
    for (int step = 0; step < 25; ++step) {
        std::vector<HomVec4> forces(bodies.size(), HomVec4::zero());
        for (std::size_t i = 0; i < bodies.size(); ++i) {
            const VornBody& b = bodies[i];
            if (!b.active) continue;
            HomVec4 f = HomVec4::zero();
            const auto add = [&](HomVec4 g) {
                f = HomVec4::init(f.x + b.mass * g.x, f.y + b.mass * g.y, f.z + b.mass * g.z,
                                  f.w + b.mass * g.w);
            };
            for (const int k : {0, 1})
                add(vorn_physics::vornGravity(b, onSide(b.position, attractors[k]), masses[k], G));
            for (std::size_t j = 0; j < bodies.size(); ++j) {
                if (j != i && bodies[j].active) {
                    add(vorn_physics::vornGravity(b, onSide(b.position, bodies[j].position), bodies[j].mass,
                                                  G));
                }
            }
            forces[i] = f;
        }
        for (std::size_t i = 0; i < bodies.size(); ++i)
            vorn_physics::integrateStep(bodies[i], 0.01, forces[i]);
        world.step(0.01, Integrator::compat);
    }
    const std::vector<VornBody> stepped = world.exportBodies();
    EXPECT_TRUE(vorn::world_test::sameBits(stepped, bodies));
}

HomVec4 positionAt(double t_end, double dt, Integrator integrator) {
    World world = vorn::world_test::eccentricOrbit();
    const int steps = static_cast<int>(std::lround(t_end / dt));
    for (int i = 0; i < steps; ++i) world.step(dt, integrator);
    return world.body(world.ids()[0]).position;
}

double distance(HomVec4 a, HomVec4 b) {
    return HomVec4::init(a.x - b.x, a.y - b.y, a.z - b.z, a.w - b.w).norm();
}

TEST(WorldIntegrators, KdkIsSecondOrderAndYoshidaFourth) {
    const HomVec4 reference = positionAt(2.0, 0.0005, Integrator::yoshida4);
    const auto slopes = [&](Integrator integrator, double dt) {
        const double e1 = distance(positionAt(2.0, dt, integrator), reference);
        const double e2 = distance(positionAt(2.0, dt / 2, integrator), reference);
        const double e3 = distance(positionAt(2.0, dt / 4, integrator), reference);
        return std::vector<double>{std::log2(e1 / e2), std::log2(e2 / e3)};
    };
    for (const double slope : slopes(Integrator::kdk, 0.01)) EXPECT_NEAR(slope, 2.0, 0.3);
    for (const double slope : slopes(Integrator::yoshida4, 0.02)) EXPECT_NEAR(slope, 4.0, 0.3);
}

TEST(WorldIntegrators, KdkEnergyErrorDoesNotGrow) {
    World world = vorn::world_test::eccentricOrbit();
    const double e0 = world.energy();
    const int steps = 100000;
    double first = 0.0, last = 0.0;
    for (int i = 1; i <= steps; ++i) {
        world.step(0.005, Integrator::kdk);
        if (i <= steps / 10) first = std::fmax(first, std::fabs(world.energy() - e0));
        if (i > steps - steps / 10) last = std::fmax(last, std::fabs(world.energy() - e0));
    }
    EXPECT_GT(first, 0.0);
    EXPECT_LE(last, 2.0 * first);
}

// The energy's change per step, the least-squares slope over 10^5 steps of 0.001 sampled every
// 100, on a circular orbit at distance d from one attractor. The rounding's random walk gives
// slopes of about 1e-18 here; yoshida4 turning by products (the orbit stays round to about
// 1e-12, so the rounding of the component along the attractor repeats every step) gave
// 0.3–3e-16 at these distances.
double energySlope(double d, Integrator integrator) {
    World world(1.0);
    world.addAttractor(HomVec4::init(0, 0, 0, 1), 1.0);
    const double circular =
        std::sqrt(std::tan(d) / (std::sin(d) * std::sin(d) + vorn_world::GRAVITY_SOFTENING));
    world.add(
        VornBody::init(HomVec4::init(std::sin(d), 0, 0, std::cos(d)), HomVec4::init(0, circular, 0, 0), 1.0));
    const double e0 = world.energy();
    double st = 0, se = 0, stt = 0, ste = 0, n = 0;
    for (int i = 1; i <= 100000; ++i) {
        world.step(0.001, integrator);
        if (i % 100 != 0) continue;
        const double t = i, e = world.energy() - e0;
        st += t;
        se += e;
        stt += t * t;
        ste += t * e;
        n += 1;
    }
    return (n * ste - st * se) / (n * stt - st * st);
}

TEST(WorldIntegrators, RoundingDoesNotDriftTheEnergyOfRoundOrbits) {
    for (const double d : {0.5, 0.6, 0.7, 0.8}) {
        for (const Integrator integrator : {Integrator::kdk, Integrator::yoshida4})
            EXPECT_LT(std::fabs(energySlope(d, integrator)), 1.5e-17)
                << d << " " << static_cast<int>(integrator);
    }
}

// Free bodies (no gravity) turned by angles from rest to 10^6 radians in one step, forward and
// back, against the great circle in long double: the polynomials below 1/4, the doublings above.
// A body set off the unit sphere is put back on it.
TEST(WorldIntegrators, KdkDriftFollowsTheGreatCircleAtAnyAngle) {
    const double angles[] = {0.0, 1e-3, 0.2, 0.25, 0.3, 1.0, 3.0, 10.0, 1e3, 1e6};
    Random random(21);
    for (const double dt : {1.0, -1.0}) {
        World world(0.0);
        std::vector<vorn_world::BodyId> ids;
        std::vector<HomVec4> starts, directions;
        for (const double angle : angles) {
            const HomVec4 p = random.unit().normalize();
            const HomVec4 t = random.tangent(p, 1.0).normalize();
            ids.push_back(world.add(
                VornBody::init(p, HomVec4::init(angle * t.x, angle * t.y, angle * t.z, angle * t.w), 1.0)));
            starts.push_back(p);
            directions.push_back(t);
        }
        const vorn_world::BodyId off = world.add(
            VornBody::init(HomVec4::init(0.0, 0.0, 0.0, 2.0), HomVec4::init(0.1, 0.0, 0.0, 0.0), 1.0));
        world.step(dt, Integrator::kdk);
        for (std::size_t i = 0; i < ids.size(); ++i) {
            const long double x = angles[i];
            const long double c = std::cos(x);
            const long double s = dt * std::sin(x);
            const HomVec4 p = starts[i];
            const HomVec4 t = directions[i];
            const VornBody b = world.body(ids[i]);
            const HomVec4 q_error = HomVec4::init(
                double(c * p.x + s * t.x) - b.position.x, double(c * p.y + s * t.y) - b.position.y,
                double(c * p.z + s * t.z) - b.position.z, double(c * p.w + s * t.w) - b.position.w);
            const HomVec4 v_error = HomVec4::init(double(x * (c * t.x - s * p.x)) - b.velocity.x,
                                                  double(x * (c * t.y - s * p.y)) - b.velocity.y,
                                                  double(x * (c * t.z - s * p.z)) - b.velocity.z,
                                                  double(x * (c * t.w - s * p.w)) - b.velocity.w);
            // The angle itself is known to a unit in its last place, so the error grows with it.
            const double tolerance = 1e-15 * (8.0 + angles[i]);
            EXPECT_LT(q_error.norm(), tolerance) << angles[i] << " " << dt;
            EXPECT_LT(v_error.norm(), tolerance * (1.0 + angles[i])) << angles[i] << " " << dt;
        }
        EXPECT_NEAR(world.body(off).position.norm(), 1.0, 1e-15);
    }
}

// yoshida4's turns by increments correct the length along q rather than the turned q, which
// multiplies its error by cos²x·(1 − cos x) a drift: above one where cos x < −0.755. Free bodies
// turned by up to 10^3 radians a step (2.33: sub-steps of π, −3.96 and π) keep their length
// and speed over 200 steps.
TEST(WorldIntegrators, YoshidaKeepsLengthAndSpeedAtAnyTurnPerStep) {
    const double angles[] = {0.2, 0.9, 2.33, 3.0, 1e3};
    Random random(22);
    World world(0.0);
    std::vector<vorn_world::BodyId> ids;
    for (const double angle : angles) {
        const HomVec4 p = random.unit().normalize();
        const HomVec4 t = random.tangent(p, 1.0).normalize();
        ids.push_back(world.add(
            VornBody::init(p, HomVec4::init(angle * t.x, angle * t.y, angle * t.z, angle * t.w), 1.0)));
    }
    for (int n = 0; n < 200; ++n) world.step(1.0, Integrator::yoshida4);
    for (std::size_t i = 0; i < ids.size(); ++i) {
        const VornBody b = world.body(ids[i]);
        EXPECT_NEAR(b.position.norm(), 1.0, 1e-14) << angles[i];
        EXPECT_NEAR(b.velocity.norm() / angles[i], 1.0, 1e-12) << angles[i];
    }
}

World mutualCluster(std::uint64_t seed, int count) {
    Random random(seed);
    World world(0.01);
    world.setMutualGravity(true);
    for (int i = 0; i < count; ++i) {
        const HomVec4 p = random.unit();
        world.add(VornBody::init(p, random.tangent(p, 0.2), 0.5 + 0.25 * (i % 4)));
    }
    return world;
}

double bivectorDistance(const vorn_world::Bivector& a, const vorn_world::Bivector& b) {
    return std::sqrt((a.xy - b.xy) * (a.xy - b.xy) + (a.xz - b.xz) * (a.xz - b.xz) +
                     (a.xw - b.xw) * (a.xw - b.xw) + (a.yz - b.yz) * (a.yz - b.yz) +
                     (a.yw - b.yw) * (a.yw - b.yw) + (a.zw - b.zw) * (a.zw - b.zw));
}

TEST(WorldIntegrators, MutualGravityKeepsTheBivector) {
    for (const Integrator integrator : {Integrator::kdk, Integrator::yoshida4}) {
        World world = mutualCluster(5, 7);
        const vorn_world::Bivector start = world.angularMomentum();
        const vorn_world::Bivector zero{0, 0, 0, 0, 0, 0};
        for (int i = 0; i < 10000; ++i) world.step(0.01, integrator);
        EXPECT_LT(bivectorDistance(world.angularMomentum(), start), 1e-12 * bivectorDistance(start, zero));
    }
}

// With low parts carried, the state's rounding no longer adds up: what is left is the forces'.
// The scene is one whose plain steps lose far more.
TEST(WorldCompensated, KeepsTheBivectorToTheRoundingOfTheForces) {
    double change[2];
    for (const bool compensated : {false, true}) {
        World world = mutualCluster(23, 7);
        world.setCompensated(compensated);
        const vorn_world::Bivector start = world.angularMomentum();
        const vorn_world::Bivector zero{0, 0, 0, 0, 0, 0};
        for (int i = 0; i < 10000; ++i) world.step(0.01, Integrator::kdk);
        change[compensated] =
            bivectorDistance(world.angularMomentum(), start) / bivectorDistance(start, zero);
    }
    EXPECT_LT(change[1], 2e-14);
    EXPECT_GT(change[0], 20 * change[1]);
}

// Bodies under attractors only move independently, so a body's bits cannot depend on the
// others in its block of four or on a body removed before it, and a body written whole
// continues as a new one would. A block with a lane turned by a large angle is redone lane by
// lane; a body set 1e-7 off the unit sphere is put back near it. Plain yoshida4 steps carry
// the positions' low parts in the same way.
void lowPartsFollowTheirBodies(bool compensated) {
    Random random(31);
    std::vector<VornBody> slow;
    for (int i = 0; i < 4; ++i) {
        const HomVec4 p = random.unit();
        slow.push_back(VornBody::init(p, random.tangent(p, 0.5), 1.0));
    }
    const HomVec4 p = random.unit();
    const VornBody fast = VornBody::init(p, random.tangent(p, 100.0), 1.0);
    VornBody off = VornBody::init(HomVec4::init(0.0, 0.0, 0.6, 0.8), HomVec4::init(0.3, 0, 0, 0), 1.0);
    off.position.w += 1e-7;
    const auto world_of = [compensated](std::initializer_list<VornBody> bodies) {
        World world(1.0);
        world.addAttractor(HomVec4::init(0, 0, 0, 1), 0.05);
        world.setCompensated(compensated);
        for (const VornBody& b : bodies) world.add(b);
        return world;
    };
    const auto steps = [compensated](World& world, int count) {
        for (int i = 0; i < count; ++i)
            world.step(0.01, i % 2 && compensated ? Integrator::kdk : Integrator::yoshida4);
    };
    World with_fast = world_of({fast, slow[0], slow[1], slow[2], off});
    World reference = world_of({slow[0], slow[1], slow[2], slow[3]});
    const auto same_slow_bodies = [&] {
        for (int i = 0; i < 3; ++i) {
            const std::size_t slot = with_fast.size() == 5 ? i + 1 : i;
            if (!vorn::world_test::sameBits(with_fast.body(with_fast.ids()[slot]),
                                            reference.body(reference.ids()[i])))
                return false;
        }
        return true;
    };
    steps(with_fast, 40);
    steps(reference, 40);
    EXPECT_TRUE(same_slow_bodies());
    with_fast.remove(with_fast.ids()[0]);
    reference.setBody(reference.ids()[3], reference.body(reference.ids()[3]));
    World fresh = world_of({});
    for (const VornBody& b : reference.exportBodies()) fresh.add(b);
    steps(with_fast, 200);
    steps(reference, 200);
    steps(fresh, 200);
    EXPECT_TRUE(same_slow_bodies());
    EXPECT_TRUE(vorn::world_test::sameBits(reference.body(reference.ids()[3]), fresh.body(fresh.ids()[3])));
    EXPECT_NEAR(with_fast.body(with_fast.ids()[3]).position.norm(), 1.0, 1e-13);
}

TEST(WorldCompensated, LowPartsFollowTheirBodies) {
    for (const bool compensated : {true, false}) lowPartsFollowTheirBodies(compensated);
}

std::vector<VornBody> runThreaded(const vorn_world::ParallelFor& parallel_for, bool compensated) {
    World world = mutualCluster(6, 37);
    world.setCompensated(compensated);
    world.addAttractor(HomVec4::init(0, 0, 1, 0), 0.5);
    world.setParallelFor(parallel_for);
    for (int i = 0; i < 20; ++i) {
        world.step(0.01, i % 3 == 0   ? Integrator::yoshida4
                         : i % 3 == 1 ? Integrator::kdk
                                      : Integrator::adaptive);
        const std::vector<vorn_world::Contact> contacts = world.contacts(0.3);
        world.resolveContacts(contacts);
    }
    world.step(0.01, Integrator::compat);
    return world.exportBodies();
}

TEST(WorldThreads, SameBitsForAnyThreadsAndChunks) {
    for (const bool compensated : {false, true}) {
        const std::vector<VornBody> serial = runThreaded(vorn_world::serialFor(), compensated);
        // A chunk as large as a size can be is one chunk, not none.
        vorn_world::ThreadPool two(2), eight(8), ragged(3, 1), whole(2, SIZE_MAX);
        for (vorn_world::ThreadPool* pool : {&two, &eight, &ragged, &whole}) {
            const std::vector<VornBody> threaded = runThreaded(pool->parallelFor(), compensated);
            EXPECT_TRUE(vorn::world_test::sameBits(threaded, serial)) << pool->threads() << compensated;
        }
    }
}

// Without mutual gravity every step runs each block through all its kicks, drifts and
// gravity evaluations in one pass; the bits are those of the separate passes it replaced.
TEST(WorldIntegrators, StepsWithAttractorsOnlyKeepTheirBits) {
    EXPECT_EQ(vorn::world_test::attractorSceneHash(), vorn::world_test::attractor_scene_hash);
}

}  // namespace
