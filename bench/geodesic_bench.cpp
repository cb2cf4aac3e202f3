// Geodesic states, closed-form great circles, Runge–Kutta integration, transport and the
// exponential and logarithm maps.
#include <benchmark/benchmark.h>

#include <array>
#include <cstddef>
#include <memory_resource>

#include "throughput.hpp"

namespace vorn::bench {
namespace {

using vorn_geodesic::GeodesicState;
using vorn_kernel::HomVec4;

void BM_GeodesicState_init(benchmark::State& state) {
    const auto s = states();
    measureThroughput(state,
                      [&](std::size_t i) { return GeodesicState::init(s[i].q, s[(i + 1) % input_count].v); });
}
BENCHMARK(BM_GeodesicState_init);

void BM_GeodesicState_fromHomVec4(benchmark::State& state) {
    const auto p = unitVectors();
    const auto v = tangentVelocities();
    measureThroughput(state, [&](std::size_t i) { return GeodesicState::fromHomVec4(p[i], v[i]); });
}
BENCHMARK(BM_GeodesicState_fromHomVec4);

void BM_GeodesicState_pos(benchmark::State& state) {
    const auto s = states();
    measureThroughput(state, [&](std::size_t i) { return s[i].pos(); });
}
BENCHMARK(BM_GeodesicState_pos);

void BM_GeodesicState_vel(benchmark::State& state) {
    const auto s = states();
    measureThroughput(state, [&](std::size_t i) { return s[i].vel(); });
}
BENCHMARK(BM_GeodesicState_vel);

void BM_addState(benchmark::State& state) {
    const auto s = states();
    measureThroughput(state,
                      [&](std::size_t i) { return vorn_geodesic::addState(s[i], s[(i + 1) % input_count]); });
}
BENCHMARK(BM_addState);

void BM_scaleState(benchmark::State& state) {
    const auto s = states();
    const auto k = scalars();
    measureThroughput(state, [&](std::size_t i) { return vorn_geodesic::scaleState(s[i], k[i]); });
}
BENCHMARK(BM_scaleState);

void BM_geodesicExact(benchmark::State& state) {
    const auto p = unitVectors();
    const auto v = tangentVelocities();
    const auto t = scalars();
    measureThroughput(state, [&](std::size_t i) { return vorn_geodesic::geodesicExact(p[i], v[i], t[i]); });
}
BENCHMARK(BM_geodesicExact);

void BM_geodesicScaled(benchmark::State& state) {
    const auto p = unitVectors();
    const auto v = tangentVelocities();
    const auto t = scalars();
    measureThroughput(state, [&](std::size_t i) { return vorn_geodesic::geodesicScaled(p[i], v[i], t[i]); });
}
BENCHMARK(BM_geodesicScaled);

void BM_fsDistanceAlongGeodesic(benchmark::State& state) {
    const auto t = scalars();
    measureThroughput(state,
                      [&](std::size_t i) { return vorn_geodesic::fsDistanceAlongGeodesic(4.0 * t[i]); });
}
BENCHMARK(BM_fsDistanceAlongGeodesic);

void BM_orthogonalVelocity(benchmark::State& state) {
    const auto p = unitVectors();
    measureThroughput(state, [&](std::size_t i) { return vorn_geodesic::orthogonalVelocity(p[i]); });
}
BENCHMARK(BM_orthogonalVelocity);

void BM_freeGeodesicRhs(benchmark::State& state) {
    const auto s = states();
    measureThroughput(state, [&](std::size_t i) { return vorn_geodesic::freeGeodesicRhs(0.0, s[i]); });
}
BENCHMARK(BM_freeGeodesicRhs);

void BM_rk4Step(benchmark::State& state) {
    const auto s = states();
    measureThroughput(state, [&](std::size_t i) {
        return vorn_geodesic::rk4Step(vorn_geodesic::freeGeodesicRhs, 0.0, s[i], 0.01);
    });
}
BENCHMARK(BM_rk4Step);

// 100 steps over a quarter turn from varied start states; items are steps.
void BM_rk4Integrate_100_steps(benchmark::State& state) {
    constexpr std::uint32_t n_steps = 100;
    const auto s = states();
    alignas(GeodesicState) static std::array<std::byte, (n_steps + 1) * sizeof(GeodesicState)> buffer;
    std::pmr::monotonic_buffer_resource arena(buffer.data(), buffer.size(), std::pmr::null_memory_resource());
    std::size_t next = 0;
    for (auto _ : state) {
        const auto trajectory = vorn_geodesic::rk4Integrate(vorn_geodesic::freeGeodesicRhs, 0.0,
                                                            0.7853981633974483, s[next], n_steps, arena);
        benchmark::DoNotOptimize(trajectory.back());
        arena.deallocate(trajectory.data(), trajectory.size_bytes(), alignof(GeodesicState));
        arena.release();
        next = (next + 1) % input_count;
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * n_steps);
}
BENCHMARK(BM_rk4Integrate_100_steps);

void BM_renormalizeOnS3(benchmark::State& state) {
    const auto s = states();
    measureThroughput(state, [&](std::size_t i) {
        GeodesicState drifted = s[i];
        drifted.q[0] *= 1.01;
        return vorn_geodesic::renormalizeOnS3(drifted);
    });
}
BENCHMARK(BM_renormalizeOnS3);

void BM_parallelTransport(benchmark::State& state) {
    const auto p = unitVectors();
    const auto v = tangentVelocities();
    const auto w = otherUnitVectors();
    const auto t = scalars();
    measureThroughput(
        state, [&](std::size_t i) { return vorn_geodesic::parallelTransport(p[i], v[i], w[i], t[i]); });
}
BENCHMARK(BM_parallelTransport);

void BM_expMap(benchmark::State& state) {
    const auto p = unitVectors();
    const auto v = tangentVelocities();
    measureThroughput(state, [&](std::size_t i) { return vorn_geodesic::expMap(p[i], v[i]); });
}
BENCHMARK(BM_expMap);

void BM_logMap(benchmark::State& state) {
    const auto p = unitVectors();
    const auto q = otherUnitVectors();
    measureThroughput(state, [&](std::size_t i) { return vorn_geodesic::logMap(p[i], q[i]); });
}
BENCHMARK(BM_logMap);

}  // namespace
}  // namespace vorn::bench
