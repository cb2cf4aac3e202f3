// 4×4 projective matrices, their builders, the Newton–Schulz inverse and the operator algebra,
// with Eigen's Matrix4d product, determinant and inverse measured beside them.
#include <benchmark/benchmark.h>

#include <Eigen/Dense>
#include <cstring>
#include <vector>

#include "throughput.hpp"

namespace vorn::bench {
namespace {

using vorn_kernel::HomVec4;
using vorn_kernel::PGL4;

std::vector<Eigen::Matrix4d> asEigen(std::span<const PGL4> in) {
    std::vector<Eigen::Matrix4d> out(in.size());
    // Both store the entries column by column.
    for (std::size_t i = 0; i < in.size(); ++i)
        std::memcpy(out[i].data(), in[i].data.data(), sizeof(double) * 16);
    return out;
}

void BM_PGL4_init(benchmark::State& state) {
    const auto m = matrices();
    measureThroughput(state, [&](std::size_t i) { return PGL4::init(m[i].data); });
}
BENCHMARK(BM_PGL4_init);

void BM_PGL4_identity(benchmark::State& state) {
    measureThroughput(state, [](std::size_t) { return PGL4::identity(); });
}
BENCHMARK(BM_PGL4_identity);

void BM_PGL4_fromRowMajor(benchmark::State& state) {
    const auto m = matrices();
    measureThroughput(state, [&](std::size_t i) {
        const auto& rows = *reinterpret_cast<const double(*)[4][4]>(m[i].data.data());
        return PGL4::fromRowMajor(rows);
    });
}
BENCHMARK(BM_PGL4_fromRowMajor);

void BM_PGL4_get(benchmark::State& state) {
    const auto m = matrices();
    measureThroughput(state, [&](std::size_t i) { return m[i].get(i % 4, (i / 4) % 4); });
}
BENCHMARK(BM_PGL4_get);

void BM_PGL4_set(benchmark::State& state) {
    const auto m = matrices();
    const auto s = scalars();
    measureThroughput(state, [&](std::size_t i) {
        PGL4 copy = m[i];
        copy.set(i % 4, (i / 4) % 4, s[i]);
        return copy;
    });
}
BENCHMARK(BM_PGL4_set);

void BM_PGL4_apply(benchmark::State& state) {
    const auto m = matrices();
    const auto v = generalVectors();
    measureThroughput(state, [&](std::size_t i) { return m[i].apply(v[i]); });
}
BENCHMARK(BM_PGL4_apply);

void BM_PGL4_mul(benchmark::State& state) {
    const auto a = matrices();
    const auto b = otherMatrices();
    measureThroughput(state, [&](std::size_t i) { return PGL4::mul(a[i], b[i]); });
}
BENCHMARK(BM_PGL4_mul);

// Each product waits for the previous one (rotations, so the chain stays bounded): the latency
// of one product, which is what a loop like Newton–Schulz sees.
void BM_PGL4_mul_dependent(benchmark::State& state) {
    std::vector<PGL4> rotations;
    for (const double angle : scalars()) rotations.push_back(vorn_kernel::pglRotateZ(angle));
    for (auto _ : state) {
        PGL4 x = PGL4::identity();
        for (const PGL4& r : rotations) x = PGL4::mul(r, x);
        benchmark::DoNotOptimize(x);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(input_count));
}
BENCHMARK(BM_PGL4_mul_dependent);

void BM_Eigen_Matrix4d_product(benchmark::State& state) {
    const auto a = asEigen(matrices());
    const auto b = asEigen(otherMatrices());
    measureThroughput(state, [&](std::size_t i) { return Eigen::Matrix4d(a[i] * b[i]); });
}
BENCHMARK(BM_Eigen_Matrix4d_product);

void BM_PGL4_transpose(benchmark::State& state) {
    const auto m = matrices();
    measureThroughput(state, [&](std::size_t i) { return m[i].transpose(); });
}
BENCHMARK(BM_PGL4_transpose);

void BM_PGL4_det(benchmark::State& state) {
    const auto m = matrices();
    measureThroughput(state, [&](std::size_t i) { return m[i].det(); });
}
BENCHMARK(BM_PGL4_det);

void BM_Eigen_Matrix4d_determinant(benchmark::State& state) {
    const auto m = asEigen(matrices());
    measureThroughput(state, [&](std::size_t i) { return m[i].determinant(); });
}
BENCHMARK(BM_Eigen_Matrix4d_determinant);

void BM_PGL4_normalizeDet(benchmark::State& state) {
    const auto m = matrices();
    measureThroughput(state, [&](std::size_t i) { return m[i].normalizeDet(); });
}
BENCHMARK(BM_PGL4_normalizeDet);

// inverse with no refinement step: regularisation, transpose, Frobenius norm and the start value.
void BM_PGL4_inverse_0_iterations(benchmark::State& state) {
    const auto m = matrices();
    measureThroughput(state, [&](std::size_t i) { return m[i].inverse(1e-10, 0); });
}
BENCHMARK(BM_PGL4_inverse_0_iterations);

// The same plus exactly one Newton–Schulz iteration; the difference is the iteration's cost.
void BM_PGL4_inverse_1_iteration(benchmark::State& state) {
    const auto m = matrices();
    measureThroughput(state, [&](std::size_t i) { return m[i].inverse(1e-10, 1); });
}
BENCHMARK(BM_PGL4_inverse_1_iteration);

// Until convergence (at most 15 iterations) on the varied, well-conditioned matrices.
void BM_PGL4_inverse_15(benchmark::State& state) {
    const auto m = matrices();
    measureThroughput(state, [&](std::size_t i) { return m[i].inverse(1e-10, 15); });
}
BENCHMARK(BM_PGL4_inverse_15);

void BM_Eigen_Matrix4d_inverse(benchmark::State& state) {
    const auto m = asEigen(matrices());
    measureThroughput(state, [&](std::size_t i) { return Eigen::Matrix4d(m[i].inverse()); });
}
BENCHMARK(BM_Eigen_Matrix4d_inverse);

// The registered test's call: diag(2, 3, 4, 1), stopping after its 10th iteration.
void BM_PGL4_inverse_scale234(benchmark::State& state) {
    PGL4 m = vorn_kernel::pglScale(2, 3, 4);
    for (auto _ : state) {
        benchmark::DoNotOptimize(m);
        PGL4 inv = m.inverse(1e-10, 15);
        benchmark::DoNotOptimize(inv);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_PGL4_inverse_scale234);

// The same call without refinement: the difference to the one above, divided by 10, is the
// cost of one iteration of the loop.
void BM_PGL4_inverse_scale234_0_iterations(benchmark::State& state) {
    PGL4 m = vorn_kernel::pglScale(2, 3, 4);
    for (auto _ : state) {
        benchmark::DoNotOptimize(m);
        PGL4 inv = m.inverse(1e-10, 0);
        benchmark::DoNotOptimize(inv);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_PGL4_inverse_scale234_0_iterations);

void BM_pglTranslate(benchmark::State& state) {
    const auto s = scalars();
    measureThroughput(state, [&](std::size_t i) {
        return vorn_kernel::pglTranslate(s[i], s[(i + 1) % input_count], s[(i + 2) % input_count]);
    });
}
BENCHMARK(BM_pglTranslate);

void BM_pglScale(benchmark::State& state) {
    const auto s = scalars();
    measureThroughput(state, [&](std::size_t i) {
        return vorn_kernel::pglScale(s[i], s[(i + 1) % input_count], s[(i + 2) % input_count]);
    });
}
BENCHMARK(BM_pglScale);

void BM_pglRotateZ(benchmark::State& state) {
    const auto s = scalars();
    measureThroughput(state, [&](std::size_t i) { return vorn_kernel::pglRotateZ(s[i]); });
}
BENCHMARK(BM_pglRotateZ);

// Checked while the program is built; at run time only the constant is copied.
void BM_pglFromHomogeneous(benchmark::State& state) {
    measureThroughput(state, [](std::size_t) {
        return vorn_kernel::pglFromHomogeneous({{2, 0, 0, 0}, {0, 3, 0, 0}, {0, 0, 4, 0}, {0, 0, 0, 5}});
    });
}
BENCHMARK(BM_pglFromHomogeneous);

void BM_computeResonance(benchmark::State& state) {
    const auto m = matrices();
    measureThroughput(state, [&](std::size_t i) { return vorn_kernel::computeResonance(m[i]); });
}
BENCHMARK(BM_computeResonance);

void BM_computeProjector(benchmark::State& state) {
    const auto m = matrices();
    measureThroughput(state, [&](std::size_t i) { return vorn_kernel::computeProjector(m[i], 1e-8); });
}
BENCHMARK(BM_computeProjector);

void BM_deformedTensorProduct(benchmark::State& state) {
    const auto a = matrices();
    const auto b = otherMatrices();
    measureThroughput(state,
                      [&](std::size_t i) { return vorn_kernel::deformedTensorProduct(a[i], b[i], 0.5); });
}
BENCHMARK(BM_deformedTensorProduct);

}  // namespace
}  // namespace vorn::bench
