// Bodies, forces, the integration step (over a batch of bodies) and collision detection.
#include <benchmark/benchmark.h>

#include <vector>

#include "throughput.hpp"

namespace vorn::bench {
namespace {

using vorn_kernel::HomVec4;
using vorn_physics::VornBody;

void BM_VornBody_init(benchmark::State& state) {
    const auto p = generalVectors();
    const auto v = tangentVelocities();
    measureThroughput(state, [&](std::size_t i) { return VornBody::init(p[i], v[i], 1.0); });
}
BENCHMARK(BM_VornBody_init);

void BM_VornBody_static(benchmark::State& state) {
    const auto p = generalVectors();
    measureThroughput(state, [&](std::size_t i) { return VornBody::static_(p[i]); });
}
BENCHMARK(BM_VornBody_static);

void BM_VornBody_applyForce(benchmark::State& state) {
    const auto b = bodies();
    const auto f = otherUnitVectors();
    measureThroughput(state, [&](std::size_t i) {
        VornBody body = b[i];
        body.applyForce(f[i]);
        return body.force_accum;
    });
}
BENCHMARK(BM_VornBody_applyForce);

void BM_VornBody_clearForces(benchmark::State& state) {
    const auto b = bodies();
    measureThroughput(state, [&](std::size_t i) {
        VornBody body = b[i];
        body.clearForces();
        return body.force_accum;
    });
}
BENCHMARK(BM_VornBody_clearForces);

void BM_VornBody_distanceTo(benchmark::State& state) {
    const auto b = bodies();
    measureThroughput(state, [&](std::size_t i) { return b[i].distanceTo(b[(i + 1) % input_count]); });
}
BENCHMARK(BM_VornBody_distanceTo);

void BM_vornGravity(benchmark::State& state) {
    const auto b = bodies();
    const auto a = otherUnitVectors();
    measureThroughput(state, [&](std::size_t i) { return vorn_physics::vornGravity(b[i], a[i], 2.0, 0.5); });
}
BENCHMARK(BM_vornGravity);

void BM_dampingForce(benchmark::State& state) {
    const auto v = tangentVelocities();
    measureThroughput(state, [&](std::size_t i) { return vorn_physics::dampingForce(v[i], 0.25); });
}
BENCHMARK(BM_dampingForce);

// A batch of 10⁴ bodies, each under its own external force, as a simulation steps its world.
struct Batch {
    std::vector<VornBody> world;
    std::vector<HomVec4> forces;
};

Batch batchOf10000() {
    constexpr std::size_t batch = 10000;
    Batch b;
    b.world.reserve(batch);
    b.forces.reserve(batch);
    for (std::size_t i = 0; i < batch; ++i) {
        b.world.push_back(bodies()[i % input_count]);
        const HomVec4 f = otherUnitVectors()[(i * 7) % input_count];
        b.forces.push_back(HomVec4::init(0.1 * f.x, 0.1 * f.y, 0.1 * f.z, 0.1 * f.w));
    }
    return b;
}

// One integrateStep call per body; items are bodies.
void BM_integrateStep_batch_10000(benchmark::State& state) {
    Batch b = batchOf10000();
    for (auto _ : state) {
        for (std::size_t i = 0; i < b.world.size(); ++i)
            vorn_physics::integrateStep(b.world[i], 1e-3, b.forces[i]);
        benchmark::DoNotOptimize(b.world.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(b.world.size()));
}
BENCHMARK(BM_integrateStep_batch_10000);

// The same batch in one integrateSteps call; items are bodies.
void BM_integrateSteps_batch_10000(benchmark::State& state) {
    Batch b = batchOf10000();
    for (auto _ : state) {
        vorn_physics::integrateSteps(b.world, 1e-3, b.forces);
        benchmark::DoNotOptimize(b.world.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(b.world.size()));
}
BENCHMARK(BM_integrateSteps_batch_10000);

// One body stepped again and again: each step waits for the previous one, so this is the
// latency of one step, the length of its chain of dependent operations.
void BM_integrateStep_dependent(benchmark::State& state) {
    VornBody body = bodies()[0];
    const HomVec4 force = HomVec4::init(0.0, 0.01, 0.0, 0.0);
    for (auto _ : state) {
        for (std::size_t i = 0; i < input_count; ++i) vorn_physics::integrateStep(body, 1e-3, force);
        benchmark::DoNotOptimize(body);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(input_count));
}
BENCHMARK(BM_integrateStep_dependent);

void BM_checkCollision(benchmark::State& state) {
    const auto b = bodies();
    measureThroughput(state, [&](std::size_t i) {
        // A threshold that half of the random pairs fall below, so both outcomes are measured.
        return vorn_physics::checkCollision(b[i], b[(i + 1) % input_count], 0.9);
    });
}
BENCHMARK(BM_checkCollision);

}  // namespace
}  // namespace vorn::bench
