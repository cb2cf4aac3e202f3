// Homogeneous vectors, the Fubini–Study distance and weights, the f32 lanes and the inverse
// square root (against the hardware's 1/√x).
#include <benchmark/benchmark.h>

#include <cmath>

#include "throughput.hpp"

namespace vorn::bench {
namespace {

using vorn_kernel::HomVec4;

void BM_HomVec4_init(benchmark::State& state) {
    const auto s = scalars();
    measureThroughput(state, [&](std::size_t i) {
        return HomVec4::init(s[i], s[(i + 1) % input_count], s[(i + 2) % input_count],
                             s[(i + 3) % input_count]);
    });
}
BENCHMARK(BM_HomVec4_init);

void BM_HomVec4_fromCartesian(benchmark::State& state) {
    const auto s = scalars();
    measureThroughput(state, [&](std::size_t i) {
        return HomVec4::fromCartesian(s[i], s[(i + 1) % input_count], s[(i + 2) % input_count]);
    });
}
BENCHMARK(BM_HomVec4_fromCartesian);

void BM_HomVec4_zero(benchmark::State& state) {
    measureThroughput(state, [](std::size_t) { return HomVec4::zero(); });
}
BENCHMARK(BM_HomVec4_zero);

void BM_HomVec4_dot(benchmark::State& state) {
    const auto a = unitVectors();
    const auto b = otherUnitVectors();
    measureThroughput(state, [&](std::size_t i) { return HomVec4::dot(a[i], b[i]); });
}
BENCHMARK(BM_HomVec4_dot);

void BM_HomVec4_norm(benchmark::State& state) {
    const auto a = generalVectors();
    measureThroughput(state, [&](std::size_t i) { return a[i].norm(); });
}
BENCHMARK(BM_HomVec4_norm);

void BM_HomVec4_normalize(benchmark::State& state) {
    const auto a = generalVectors();
    measureThroughput(state, [&](std::size_t i) { return a[i].normalize(); });
}
BENCHMARK(BM_HomVec4_normalize);

void BM_HomVec4_cartesian3(benchmark::State& state) {
    const auto a = generalVectors();
    measureThroughput(state, [&](std::size_t i) { return a[i].cartesian3(); });
}
BENCHMARK(BM_HomVec4_cartesian3);

void BM_HomVec4_isSamePoint(benchmark::State& state) {
    const auto a = unitVectors();
    const auto b = otherUnitVectors();
    measureThroughput(state, [&](std::size_t i) { return a[i].isSamePoint(b[i], 1e-8); });
}
BENCHMARK(BM_HomVec4_isSamePoint);

void BM_HomVec4_isAntipodalTo(benchmark::State& state) {
    const auto a = unitVectors();
    const auto b = otherUnitVectors();
    measureThroughput(state, [&](std::size_t i) { return a[i].isAntipodalTo(b[i], 1e-8); });
}
BENCHMARK(BM_HomVec4_isAntipodalTo);

void BM_HomVec4_pickBestCard(benchmark::State& state) {
    const auto a = generalVectors();
    measureThroughput(state, [&](std::size_t i) { return a[i].pickBestCard(); });
}
BENCHMARK(BM_HomVec4_pickBestCard);

void BM_fsDistance(benchmark::State& state) {
    const auto a = unitVectors();
    const auto b = otherUnitVectors();
    measureThroughput(state, [&](std::size_t i) { return vorn_kernel::fsDistance(a[i], b[i]); });
}
BENCHMARK(BM_fsDistance);

void BM_wFromDistance(benchmark::State& state) {
    const auto s = positiveScalars();
    measureThroughput(state, [&](std::size_t i) { return vorn_kernel::wFromDistance(s[i], 5838400.0); });
}
BENCHMARK(BM_wFromDistance);

void BM_sFromW(benchmark::State& state) {
    const auto s = scalars();
    measureThroughput(state, [&](std::size_t i) { return vorn_kernel::sFromW(0.25 * s[i], 5838400.0); });
}
BENCHMARK(BM_sFromW);

void BM_f32x4(benchmark::State& state) {
    const auto s = scalars();
    measureThroughput(state, [&](std::size_t i) {
        const auto x = static_cast<float>(s[i]);
        return vorn_kernel::f32x4(x, x + 1.0f, x + 2.0f, x + 3.0f);
    });
}
BENCHMARK(BM_f32x4);

void BM_simdDot4(benchmark::State& state) {
    const auto a = f32Vectors();
    measureThroughput(state,
                      [&](std::size_t i) { return vorn_kernel::simdDot4(a[i], a[(i + 1) % input_count]); });
}
BENCHMARK(BM_simdDot4);

void BM_simdNormalize3(benchmark::State& state) {
    const auto a = f32Vectors();
    measureThroughput(state, [&](std::size_t i) { return vorn_kernel::simdNormalize3(a[i]); });
}
BENCHMARK(BM_simdNormalize3);

void BM_cordicInvSqrt(benchmark::State& state) {
    const auto x = positiveScalars();
    measureThroughput(state, [&](std::size_t i) { return vorn_kernel::cordicInvSqrt(x[i]); });
}
BENCHMARK(BM_cordicInvSqrt);

// What cordicInvSqrt is compared with: the correctly rounded square root and one division.
void BM_libm_invSqrt(benchmark::State& state) {
    const auto x = positiveScalars();
    measureThroughput(state, [&](std::size_t i) { return 1.0 / std::sqrt(x[i]); });
}
BENCHMARK(BM_libm_invSqrt);

}  // namespace
}  // namespace vorn::bench
