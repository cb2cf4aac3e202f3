// The tree walk (src/vorn_world/tree_gravity.hpp) against the direct sum, one thread: the time of
// one body's evaluation against θ, N and the scene, with what the walk did per body (cells
// accepted, exact pulls in leaves straddling the body's equator and in near leaves) and its
// relative force error against the direct sum (median and 99.9th percentile over up to 10^4
// bodies) as counters; and the direct sum's time per body (World's mutual gravity / N).
// Scenes: uniform on S³, a cluster of angular radius 0.3 about w = 1, and one about a point
// of w = 0 (half its sources' upper representatives on the far side).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "vorn_world.hpp"
#include "vorn_world/tree_gravity.hpp"
#include "world/scene_support.hpp"

namespace vorn::bench {
namespace {

using vorn_kernel::HomVec4;
using vorn_world::detail::Vec4;

constexpr std::size_t error_sample = 10000;

struct Scene {
    std::vector<Vec4<double>> points;
    std::vector<double> gm;
    std::vector<Vec4<double>> direct;  // the direct sum at the first error_sample points
};

Scene makeScene(std::size_t n, int shape) {
    vorn::world_test::Random random(1234 + static_cast<std::uint64_t>(shape));
    const HomVec4 centre = shape == 1 ? HomVec4::init(0.0, 0.0, 0.0, 1.0) : HomVec4::init(0.6, 0.8, 0.0, 0.0);
    Scene s;
    for (std::size_t i = 0; i < n; ++i) {
        const HomVec4 v = shape == 0
                              ? random.unit()
                              : vorn::world_test::near(random, centre, 0.15 * (1.0 + random.symmetric()));
        s.points.push_back({v.x, v.y, v.z, v.w});
        s.gm.push_back(1e-6 * (1.0 + 0.5 * random.symmetric()));
    }
    for (std::size_t i = 0; i < std::min(n, error_sample); ++i) {
        HomVec4 acc = HomVec4::init(0.0, 0.0, 0.0, 0.0);
        const HomVec4 p = HomVec4::init(s.points[i].x, s.points[i].y, s.points[i].z, s.points[i].w);
        for (std::size_t j = 0; j < n; ++j) {
            const Vec4<double>& q = s.points[j];
            acc = acc + vorn_world::gravityAcceleration(p, HomVec4::init(q.x, q.y, q.z, q.w), s.gm[j]);
        }
        s.direct.push_back({acc.x, acc.y, acc.z, acc.w});
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

// Arguments: N, the scene (0 uniform, 1 cluster at w = 1, 2 cluster across w = 0), 100·θ,
// the treatment of straddling cells (Straddling: 0 open, 1 split by sign, 2 ignore), and the
// most sources in a leaf.
void BM_tree_pull(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const Scene& s = scene(n, static_cast<int>(state.range(1)));
    const vorn_world::detail::TreeOptions options{
        .theta = static_cast<double>(state.range(2)) / 100.0,
        .softening = vorn_world::GRAVITY_SOFTENING,
        .leaf_size = static_cast<std::uint32_t>(state.range(4)),
        .straddling = static_cast<vorn_world::detail::Straddling>(state.range(3))};
    const vorn_world::detail::GravityTree tree =
        vorn_world::detail::buildGravityTree(s.points, s.gm, options);

    std::vector<double> errors;
    vorn_world::detail::TreeWalkCounts counts;
    for (std::size_t i = 0; i < s.direct.size(); ++i) {
        const Vec4<double> d = vorn_world::detail::treePull(tree, s.points[i], &counts) - s.direct[i];
        errors.push_back(std::sqrt(dot(d, d) / dot(s.direct[i], s.direct[i])));
    }
    std::sort(errors.begin(), errors.end());
    const auto per_body = [&](std::size_t count) {
        return static_cast<double>(count) / static_cast<double>(s.direct.size());
    };
    state.counters["err_median"] = errors[errors.size() / 2];
    state.counters["err_p999"] = errors[errors.size() * 999 / 1000];
    state.counters["accepted"] = per_body(counts.accepted);
    state.counters["exact_straddling"] = per_body(counts.exact_straddling);
    state.counters["exact_near"] = per_body(counts.exact_near);
    state.counters["sides_tested"] = per_body(counts.sides_tested);

    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(vorn_world::detail::treePull(tree, s.points[i]));
        i = i + 1 == n ? 0 : i + 1;
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}

void treeArguments(benchmark::internal::Benchmark* b) {
    for (const std::int64_t n : {10000, 100000})
        for (const std::int64_t shape : {0, 1, 2}) {
            for (const std::int64_t theta : {20, 30, 50, 70})
                for (const std::int64_t straddling : {0, 1}) b->Args({n, shape, theta, straddling, 8});
            b->Args({n, shape, 50, 2, 8});
        }
    for (const std::int64_t leaf : {1, 2, 4, 16})
        for (const std::int64_t straddling : {0, 1}) b->Args({100000, 0, 50, straddling, leaf});
}
BENCHMARK(BM_tree_pull)->Apply(treeArguments)->ArgNames({"N", "scene", "theta100", "straddling", "leaf"});

// The direct sum: World's mutual gravity on one thread, per body.
void BM_direct_pull(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const Scene& s = scene(n, 0);
    vorn_world::World world(1.0);
    for (std::size_t i = 0; i < n; ++i) {
        const Vec4<double>& q = s.points[i];
        world.add(vorn_physics::VornBody::init(HomVec4::init(q.x, q.y, q.z, q.w),
                                               HomVec4::init(0.0, 0.0, 0.0, 0.0), s.gm[i]));
    }
    std::vector<HomVec4> out(n);
    for (auto _ : state) {
        world.setMutualGravity(true);  // marks the accelerations stale
        world.accelerations(out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(n));
}
BENCHMARK(BM_direct_pull)->Arg(10000)->Arg(100000)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vorn::bench
