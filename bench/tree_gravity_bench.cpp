// Mutual gravity in a World through the tree solver against the direct sum, in the same run:
// the time of one evaluation of every body's acceleration (World::accelerations, the tree built
// and walked), with its relative force error against the exact sum (median and 99.9th
// percentile over a sample of bodies) and the tree's bytes per body as counters.
// Scenes: uniform on S³, a cluster of angular radius up to 0.3 about w = 1, and one about a point
// of w = 0 (half its sources' upper representatives on the far side).
//
//   vorn_tree_gravity_bench --benchmark_filter=...   (every case runs one evaluation)
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "vorn_world.hpp"
#include "vorn_world/tree_gravity.hpp"
#include "world/scene_support.hpp"

namespace vorn::bench {
namespace {

using vorn_kernel::HomVec4;
using vorn_world::GravitySolver;

constexpr std::size_t error_sample = 2000;

struct Scene {
    std::vector<HomVec4> points;
    std::vector<double> gm;
    std::vector<std::size_t> sample;  // the bodies whose error is measured
    std::vector<HomVec4> exact;       // their accelerations from the direct sum, one at a time
};

Scene makeScene(std::size_t n, int shape) {
    vorn::world_test::Random random(1234 + static_cast<std::uint64_t>(shape));
    const HomVec4 centre = shape == 1 ? HomVec4::init(0.0, 0.0, 0.0, 1.0) : HomVec4::init(0.6, 0.8, 0.0, 0.0);
    Scene s;
    for (std::size_t i = 0; i < n; ++i) {
        s.points.push_back(shape == 0
                               ? random.unit()
                               : vorn::world_test::near(random, centre, 0.15 * (1.0 + random.symmetric())));
        s.gm.push_back(1e-6 * (1.0 + 0.5 * random.symmetric()));
    }
    const std::size_t stride = std::max<std::size_t>(1, n / error_sample);
    for (std::size_t i = 0; i < n; i += stride) {
        HomVec4 acc = HomVec4::init(0.0, 0.0, 0.0, 0.0);
        for (std::size_t j = 0; j < n; ++j)
            acc = acc + vorn_world::gravityAcceleration(s.points[i], s.points[j], s.gm[j]);
        s.sample.push_back(i);
        s.exact.push_back(acc);
    }
    return s;
}

const Scene& scene(std::size_t n, int shape) {
    static std::map<std::pair<std::size_t, int>, Scene> scenes;
    const auto key = std::make_pair(n, shape);
    auto at = scenes.find(key);
    if (at == scenes.end()) at = scenes.emplace(key, makeScene(n, shape)).first;
    return at->second;
}

vorn_world::World worldOf(const Scene& s) {
    vorn_world::World world(1.0);
    world.setMutualGravity(true);
    std::vector<vorn_physics::VornBody> bodies;
    for (std::size_t i = 0; i < s.points.size(); ++i)
        bodies.push_back(
            vorn_physics::VornBody::init(s.points[i], HomVec4::init(0.0, 0.0, 0.0, 0.0), s.gm[i]));
    world.add(bodies);
    return world;
}

// What the tree over the scene's bodies holds, per body: its cells, their moments, the sources
// in tree order with their parameters and indices, and the build's representatives; and the
// solver's own copies of the sources and ranks.
double treeBytesPerBody(const Scene& s, double theta) {
    std::vector<vorn_world::detail::Vec4<double>> points;
    for (const HomVec4& p : s.points) points.push_back({p.x, p.y, p.z, p.w});
    const vorn_world::detail::GravityTree tree =
        vorn_world::detail::buildGravityTree(points, s.gm, {.theta = theta});
    const std::size_t bytes =
        tree.cells.size() * (sizeof(vorn_world::detail::TreeCell) + sizeof(vorn_world::detail::TreeMoments)) +
        points.size() * (2 * sizeof(points[0]) + sizeof(double) + sizeof(std::uint32_t)) +
        points.size() * (sizeof(points[0]) + sizeof(double) + 2 * sizeof(std::uint32_t));
    return static_cast<double>(bytes) / static_cast<double>(points.size());
}

// Arguments: N, the scene (0 uniform, 1 cluster at w = 1, 2 cluster across w = 0), 100·θ (0:
// the direct sum), the expansions' order and the threads.
void BM_world_gravity(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const Scene& s = scene(n, static_cast<int>(state.range(1)));
    vorn_world::World world = worldOf(s);
    const auto theta = static_cast<double>(state.range(2)) / 100.0;
    const GravitySolver solver = theta == 0.0
                                     ? GravitySolver::direct()
                                     : GravitySolver::tree(theta, static_cast<std::uint32_t>(state.range(3)));
    world.setGravitySolver(solver);
    std::unique_ptr<vorn_world::ThreadPool> pool;
    if (state.range(4) > 1) {
        pool = std::make_unique<vorn_world::ThreadPool>(static_cast<unsigned>(state.range(4)));
        world.setParallelFor(pool->parallelFor());
    }
    std::vector<HomVec4> out(n);
    for (auto _ : state) {
        world.setGravitySolver(solver);  // marks the accelerations stale
        world.accelerations(out);
        benchmark::DoNotOptimize(out.data());
    }
    std::vector<double> errors;
    for (std::size_t k = 0; k < s.sample.size(); ++k)
        errors.push_back((out[s.sample[k]] - s.exact[k]).norm() / s.exact[k].norm());
    std::sort(errors.begin(), errors.end());
    state.counters["err_median"] = errors[errors.size() / 2];
    state.counters["err_p999"] = errors[errors.size() * 999 / 1000];
    if (theta > 0.0) state.counters["tree_bytes_per_body"] = treeBytesPerBody(s, theta);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(n));
}

void gravityArguments(benchmark::internal::Benchmark* b) {
    for (const std::int64_t n : {1000, 10000, 100000})
        for (const std::int64_t shape : {0, 1, 2}) {
            b->Args({n, shape, 0, 2, 1});
            for (const std::int64_t theta : {20, 30, 50, 70}) b->Args({n, shape, theta, 2, 1});
            b->Args({n, shape, 30, 1, 1});
            b->Args({n, shape, 30, 2, 2});
        }
    // At 10⁶ the direct sum would take about half an hour: its time is extrapolated.
    for (const std::int64_t theta : {20, 30, 50}) b->Args({1000000, 1, theta, 2, 1});
    b->Args({1000000, 1, 50, 2, 2});
    b->Args({1000000, 2, 50, 2, 1});
    b->Args({1000000, 0, 50, 2, 1});
}
BENCHMARK(BM_world_gravity)
    ->Apply(gravityArguments)
    ->ArgNames({"N", "scene", "theta100", "order", "threads"})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vorn::bench
