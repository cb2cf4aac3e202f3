// The hardware floor under the kernel's arithmetic: how many divisions and square roots this
// CPU completes per nanosecond when they are independent (throughput) and when each waits for
// the previous one (latency), in scalar code, in 2 lanes (SSE2), in 4 lanes (AVX2) and in 8
// lanes (AVX-512).
#include <benchmark/benchmark.h>

#include <immintrin.h>

#include <cmath>
#include <cstddef>
#include <vector>

#include "bench_inputs.hpp"

namespace vorn::bench {
namespace {

constexpr std::size_t floor_count = 4096;

std::vector<double> operands(double lo) {
    std::vector<double> out(floor_count);
    for (std::size_t i = 0; i < floor_count; ++i) out[i] = lo + std::fabs(scalars()[i % input_count]);
    return out;
}

template <typename Body>
void measureFloor(benchmark::State& state, Body body) {
    const std::vector<double> a = operands(1.0);
    const std::vector<double> b = operands(0.5);
    std::vector<double> out(floor_count);
    for (auto _ : state) {
        body(a.data(), b.data(), out.data());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(floor_count));
}

// Written with intrinsics so that each loop has exactly the width its name says.
__attribute__((noinline)) void divScalar(const double* a, const double* b, double* out) {
    for (std::size_t i = 0; i < floor_count; ++i) {
        _mm_store_sd(out + i, _mm_div_sd(_mm_load_sd(a + i), _mm_load_sd(b + i)));
    }
}

__attribute__((noinline)) void sqrtScalar(const double* a, const double*, double* out) {
    for (std::size_t i = 0; i < floor_count; ++i) {
        const __m128d x = _mm_load_sd(a + i);
        _mm_store_sd(out + i, _mm_sqrt_sd(x, x));
    }
}

__attribute__((noinline)) void divSse2(const double* a, const double* b, double* out) {
    for (std::size_t i = 0; i < floor_count; i += 2) {
        _mm_storeu_pd(out + i, _mm_div_pd(_mm_loadu_pd(a + i), _mm_loadu_pd(b + i)));
    }
}

__attribute__((noinline, target("avx2"))) void divAvx2(const double* a, const double* b, double* out) {
    for (std::size_t i = 0; i < floor_count; i += 4) {
        _mm256_storeu_pd(out + i, _mm256_div_pd(_mm256_loadu_pd(a + i), _mm256_loadu_pd(b + i)));
    }
}

__attribute__((noinline, target("avx2"))) void sqrtAvx2(const double* a, const double*, double* out) {
    for (std::size_t i = 0; i < floor_count; i += 4) {
        _mm256_storeu_pd(out + i, _mm256_sqrt_pd(_mm256_loadu_pd(a + i)));
    }
}

__attribute__((noinline, target("avx512f"))) void divAvx512(const double* a, const double* b, double* out) {
    for (std::size_t i = 0; i < floor_count; i += 8) {
        _mm512_storeu_pd(out + i, _mm512_div_pd(_mm512_loadu_pd(a + i), _mm512_loadu_pd(b + i)));
    }
}

__attribute__((noinline, target("avx512f"))) void sqrtAvx512(const double* a, const double*, double* out) {
    for (std::size_t i = 0; i < floor_count; i += 8) {
        // _mm512_sqrt_pd, whose unset pass-through operand g++ 12 warns about.
        const __m512d x = _mm512_loadu_pd(a + i);
        _mm512_storeu_pd(out + i, _mm512_mask_sqrt_pd(x, static_cast<__mmask8>(0xff), x));
    }
}

// Each division waits for the previous result: the latency of one division.
__attribute__((noinline)) void divChain(const double* a, const double* b, double* out) {
    double x = a[0];
    for (std::size_t i = 0; i < floor_count; ++i) x = b[i] / x + 1.0;
    out[0] = x;
}

void BM_floor_div_scalar(benchmark::State& state) { measureFloor(state, divScalar); }
BENCHMARK(BM_floor_div_scalar);
void BM_floor_div_sse2_2_lanes(benchmark::State& state) { measureFloor(state, divSse2); }
BENCHMARK(BM_floor_div_sse2_2_lanes);
void BM_floor_div_avx2_4_lanes(benchmark::State& state) {
    if (!__builtin_cpu_supports("avx2")) return state.SkipWithError("no AVX2");
    measureFloor(state, divAvx2);
}
BENCHMARK(BM_floor_div_avx2_4_lanes);
void BM_floor_div_avx512_8_lanes(benchmark::State& state) {
    if (!__builtin_cpu_supports("avx512f")) return state.SkipWithError("no AVX-512");
    measureFloor(state, divAvx512);
}
BENCHMARK(BM_floor_div_avx512_8_lanes);
void BM_floor_div_latency(benchmark::State& state) { measureFloor(state, divChain); }
BENCHMARK(BM_floor_div_latency);
void BM_floor_sqrt_scalar(benchmark::State& state) { measureFloor(state, sqrtScalar); }
BENCHMARK(BM_floor_sqrt_scalar);
void BM_floor_sqrt_avx2_4_lanes(benchmark::State& state) {
    if (!__builtin_cpu_supports("avx2")) return state.SkipWithError("no AVX2");
    measureFloor(state, sqrtAvx2);
}
BENCHMARK(BM_floor_sqrt_avx2_4_lanes);
void BM_floor_sqrt_avx512_8_lanes(benchmark::State& state) {
    if (!__builtin_cpu_supports("avx512f")) return state.SkipWithError("no AVX-512");
    measureFloor(state, sqrtAvx512);
}
BENCHMARK(BM_floor_sqrt_avx512_8_lanes);

}  // namespace
}  // namespace vorn::bench
