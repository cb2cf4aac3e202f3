// Applying one 4×4 matrix to many points: PGL4::apply in a caller's loop, the batch apply
// vorn_motion::applyToAll, Eigen's Matrix4d·Vector4d in the same loop, a copy loop over
// the points (the memory floor), and a rotation applied as a quaternion pair.
#include <benchmark/benchmark.h>

#include <Eigen/Dense>
#include <cstddef>
#include <cstring>
#include <vector>

#include "bench_inputs.hpp"
#include "throughput.hpp"
#include "vorn_motion.hpp"

namespace vorn::bench {
namespace {

using vorn_kernel::HomVec4;
using vorn_kernel::PGL4;

// The points of a benchmark: state.range(0) of them, cycling through generalVectors().
std::vector<HomVec4> points(const benchmark::State& state) {
    const auto source = generalVectors();
    std::vector<HomVec4> out(static_cast<std::size_t>(state.range(0)));
    for (std::size_t i = 0; i < out.size(); ++i) out[i] = source[i % source.size()];
    return out;
}

void countPoints(benchmark::State& state) {
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void BM_PGL4_apply_oneMatrixLoop(benchmark::State& state) {
    const PGL4 m = matrices()[0];
    const auto in = points(state);
    std::vector<HomVec4> out(in.size());
    for (auto _ : state) {
        for (std::size_t i = 0; i < in.size(); ++i) out[i] = m.apply(in[i]);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    countPoints(state);
}
BENCHMARK(BM_PGL4_apply_oneMatrixLoop)->Arg(1024)->Arg(1 << 20);

void BM_applyToAll(benchmark::State& state) {
    const PGL4 m = matrices()[0];
    const auto in = points(state);
    std::vector<HomVec4> out(in.size());
    for (auto _ : state) {
        vorn_motion::applyToAll(m, in, out);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    countPoints(state);
}
BENCHMARK(BM_applyToAll)->Arg(1024)->Arg(1 << 20);

void BM_Eigen_Matrix4d_times_Vector4d_loop(benchmark::State& state) {
    Eigen::Matrix4d m;
    std::memcpy(m.data(), matrices()[0].data.data(), sizeof(double) * 16);
    const auto source = points(state);
    std::vector<Eigen::Vector4d> in(source.size());
    for (std::size_t i = 0; i < in.size(); ++i) in[i] = {source[i].x, source[i].y, source[i].z, source[i].w};
    std::vector<Eigen::Vector4d> out(in.size());
    for (auto _ : state) {
        for (std::size_t i = 0; i < in.size(); ++i) out[i] = m * in[i];
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    countPoints(state);
}
BENCHMARK(BM_Eigen_Matrix4d_times_Vector4d_loop)->Arg(1024)->Arg(1 << 20);

// Reading and writing the points and nothing else: no apply can be faster.
void BM_copyPoints_floor(benchmark::State& state) {
    const auto in = points(state);
    std::vector<HomVec4> out(in.size());
    for (auto _ : state) {
        for (std::size_t i = 0; i < in.size(); ++i) out[i] = in[i];
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    countPoints(state);
}
BENCHMARK(BM_copyPoints_floor)->Arg(1024)->Arg(1 << 20);

void BM_Rotation_apply(benchmark::State& state) {
    const auto u = unitVectors();
    const auto v = otherUnitVectors();
    measureThroughput(state, [&](std::size_t i) {
        const vorn_motion::Rotation rotation{u[0], v[0]};
        return rotation.apply(u[i]);
    });
}
BENCHMARK(BM_Rotation_apply);

}  // namespace
}  // namespace vorn::bench
