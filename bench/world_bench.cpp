// The world: mutual gravity (pair interactions per second, one and two threads), attractor
// gravity with one kdk or yoshida4 step, the contact pass against N, the touching pass with and
// without a few large bodies, and the scene of a new user (200 bodies, 2 attractors, contacts
// every step) written naively with the kernel beside the world; snapshots of 10^5 bodies.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "vorn_physics.hpp"
#include "vorn_world.hpp"
#include "world/scene_support.hpp"

namespace vorn::bench {
namespace {

using vorn_kernel::HomVec4;
using vorn_physics::VornBody;

using SplitMix = vorn::world_test::Random;  // the world tests' scenes, shared

std::vector<VornBody> randomBodies(std::size_t count, double speed) {
    SplitMix random(42);
    std::vector<VornBody> bodies;
    bodies.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const HomVec4 p = random.unit();
        bodies.push_back(VornBody::init(p, random.tangent(p, speed), 1.0));
    }
    return bodies;
}

vorn_world::World worldOf(const std::vector<VornBody>& bodies, double G) {
    vorn_world::World world(G);
    for (const VornBody& b : bodies) world.add(b);
    return world;
}

void BM_world_mutual_gravity(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const auto threads = static_cast<unsigned>(state.range(1));
    vorn_world::World world = worldOf(randomBodies(n, 0.1), 1e-4);
    vorn_world::ThreadPool pool(threads);
    if (threads > 1) world.setParallelFor(pool.parallelFor());
    std::vector<HomVec4> out(n);
    for (auto _ : state) {
        world.setMutualGravity(true);  // marks the accelerations stale
        world.accelerations(out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(n * n));
    state.counters["pairs/s"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * static_cast<double>(n * n), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_world_mutual_gravity)
    ->Args({100, 1})
    ->Args({1000, 1})
    ->Args({10000, 1})
    ->Args({10000, 2})
    ->UseRealTime();

void BM_world_kdk_step_3_attractors(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    vorn_world::World world = worldOf(randomBodies(n, 0.1), 1.0);
    SplitMix random(7);
    for (int k = 0; k < 3; ++k) world.addAttractor(random.unit(), 1e-3);
    for (auto _ : state) world.step(1e-4, vorn_world::Integrator::kdk);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(n));
}
BENCHMARK(BM_world_kdk_step_3_attractors)->Arg(100)->Arg(1000)->Arg(10000)->Arg(100000);

// The cost of carrying low parts (World::setCompensated): the scene above at N = 10^5, and kdk
// steps with mutual gravity, each without (0) and with (1) them.
void BM_world_kdk_step_3_attractors_compensated(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    vorn_world::World world = worldOf(randomBodies(n, 0.1), 1.0);
    SplitMix random(7);
    for (int k = 0; k < 3; ++k) world.addAttractor(random.unit(), 1e-3);
    world.setCompensated(state.range(1) != 0);
    for (auto _ : state) world.step(1e-4, vorn_world::Integrator::kdk);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(n));
}
BENCHMARK(BM_world_kdk_step_3_attractors_compensated)->Args({100000, 0})->Args({100000, 1});

// A yoshida4 step of the same scene (three kick–drift–kick sub-steps in one pass), plain: the
// cost of its turn by increments and of carrying the positions' low parts.
void BM_world_yoshida4_step_3_attractors(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    vorn_world::World world = worldOf(randomBodies(n, 0.1), 1.0);
    SplitMix random(7);
    for (int k = 0; k < 3; ++k) world.addAttractor(random.unit(), 1e-3);
    for (auto _ : state) world.step(1e-4, vorn_world::Integrator::yoshida4);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(n));
}
BENCHMARK(BM_world_yoshida4_step_3_attractors)->Arg(1000)->Arg(100000);

// A snapshot of the scene above at N = 10^5 (compensated, so with its low parts), and a World
// restored from it (every value checked), beside the kdk step: what saving every k steps costs.
void BM_world_snapshot(benchmark::State& state) {
    vorn_world::World world = worldOf(randomBodies(100000, 0.1), 1.0);
    world.setCompensated(true);
    world.step(1e-4, vorn_world::Integrator::kdk);
    const std::vector<std::byte> bytes = world.snapshot();
    for (auto _ : state) {
        if (state.range(0) == 0) {
            benchmark::DoNotOptimize(world.snapshot().data());
        } else {
            benchmark::DoNotOptimize(vorn_world::World::fromSnapshot(bytes).size());
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(bytes.size()));
}
BENCHMARK(BM_world_snapshot)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_world_kdk_mutual_step(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    vorn_world::World world = worldOf(randomBodies(n, 0.1), 1e-4);
    world.setMutualGravity(true);
    world.setCompensated(state.range(1) != 0);
    for (auto _ : state) world.step(1e-3, vorn_world::Integrator::kdk);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(n));
}
BENCHMARK(BM_world_kdk_mutual_step)->Args({16, 0})->Args({16, 1})->Args({1000, 0})->Args({1000, 1});

void BM_world_contacts(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const vorn_world::World world = worldOf(randomBodies(n, 0.0), 1.0);
    std::size_t found = 0;
    for (auto _ : state) {
        const std::vector<vorn_world::Contact> contacts = world.contacts(0.01);
        found = contacts.size();
        benchmark::DoNotOptimize(contacts.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(n));
    state.counters["contacts"] = static_cast<double>(found);
}
BENCHMARK(BM_world_contacts)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond);

// The touching pass: bodies at rest spread uniformly, each of radius 0.005 (so that the pairs
// are those of contacts(0.01)); with large = 1, four of them of radius 0.2 instead.
void BM_world_touching(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    vorn_world::World world(1.0);
    const std::vector<VornBody> bodies = randomBodies(n, 0.0);
    for (std::size_t i = 0; i < n; ++i) {
        const bool large = state.range(1) != 0 && i < 4;
        world.add(bodies[i], {.radius = large ? 0.2 : 0.005});
    }
    std::size_t found = 0;
    for (auto _ : state) {
        const std::vector<vorn_world::Contact> contacts = world.touchingContacts();
        found = contacts.size();
        benchmark::DoNotOptimize(contacts.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(n));
    state.counters["contacts"] = static_cast<double>(found);
}
BENCHMARK(BM_world_touching)
    ->Args({10000, 0})
    ->Args({10000, 1})
    ->Args({100000, 0})
    ->Args({100000, 1})
    ->Unit(benchmark::kMillisecond);

// The scene of a new user: 200 bodies, two attractors, contacts every step (here 1000 steps;
// the user's 10,000 take ten times as long either way).
constexpr int user_steps = 1000;
constexpr double user_threshold = 0.05;

struct UserScene {
    std::vector<VornBody> bodies = randomBodies(200, 0.3);
    HomVec4 attractors[2] = {HomVec4::init(0, 0, 0, 1), HomVec4::init(1, 0, 0, 0)};
    double masses[2] = {1.0, 0.5};
};

void BM_user_scene_naive_loop(benchmark::State& state) {
    const UserScene scene;
    std::size_t contacts = 0;
    for (auto _ : state) {
        std::vector<VornBody> bodies = scene.bodies;
        for (int step = 0; step < user_steps; ++step) {
            for (VornBody& b : bodies) {
                HomVec4 f = HomVec4::zero();
                for (int k = 0; k < 2; ++k) {
                    HomVec4 a = scene.attractors[k];
                    if (HomVec4::dot(a, b.position) < 0.0) a = HomVec4::init(-a.x, -a.y, -a.z, -a.w);
                    const HomVec4 g = vorn_physics::vornGravity(b, a, scene.masses[k], 0.01);
                    f = HomVec4::init(f.x + b.mass * g.x, f.y + b.mass * g.y, f.z + b.mass * g.z,
                                      f.w + b.mass * g.w);
                }
                vorn_physics::integrateStep(b, 0.001, f);
            }
            for (std::size_t i = 0; i < bodies.size(); ++i) {
                for (std::size_t j = i + 1; j < bodies.size(); ++j) {
                    if (vorn_physics::checkCollision(bodies[i], bodies[j], user_threshold).collided)
                        ++contacts;
                }
            }
        }
        benchmark::DoNotOptimize(bodies.data());
    }
    state.counters["contacts"] = static_cast<double>(contacts) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_user_scene_naive_loop)->Unit(benchmark::kMillisecond);

void BM_user_scene_world(benchmark::State& state) {
    const UserScene scene;
    std::size_t contacts = 0;
    for (auto _ : state) {
        vorn_world::World world = worldOf(scene.bodies, 0.01);
        for (int k = 0; k < 2; ++k) world.addAttractor(scene.attractors[k], scene.masses[k]);
        for (int step = 0; step < user_steps; ++step) {
            world.step(0.001, vorn_world::Integrator::kdk);
            contacts += world.contacts(user_threshold).size();
        }
    }
    state.counters["contacts"] = static_cast<double>(contacts) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_user_scene_world)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vorn::bench
