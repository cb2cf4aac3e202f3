// The correctly rounded functions (src/vorn_math) beside the C library's, in the same binary,
// on the arguments the kernel gives them: angles of a turn or two for sin and cos, cosines for
// acos, moderate values and ratios for atan and atan2, x^(-1/4) of determinants and moderate
// powers. Each benchmark cycles through 1024 arguments and stores every result.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstddef>
#include <numbers>
#include <random>
#include <vector>

#include "correctly_rounded.hpp"

namespace vorn::bench {
namespace {

constexpr std::size_t math_count = 1024;

std::vector<double> uniform(double lo, double hi, unsigned seed) {
    std::mt19937_64 engine(seed);
    std::uniform_real_distribution<double> draw(lo, hi);
    std::vector<double> out(math_count);
    for (double& x : out) x = draw(engine);
    return out;
}

template <typename Function>
void measureUnary(benchmark::State& state, const std::vector<double>& args, Function f) {
    std::vector<double> out(math_count);
    for (auto _ : state) {
        for (std::size_t i = 0; i < math_count; ++i) out[i] = f(args[i]);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(math_count));
}

const std::vector<double>& angles() {
    static const std::vector<double> v = uniform(-2 * std::numbers::pi, 2 * std::numbers::pi, 1);
    return v;
}
const std::vector<double>& cosines() {
    static const std::vector<double> v = uniform(-1.0, 1.0, 2);
    return v;
}
const std::vector<double>& moderate() {
    static const std::vector<double> v = uniform(-4.0, 4.0, 3);
    return v;
}
const std::vector<double>& moderate2() {
    static const std::vector<double> v = uniform(-10.0, 10.0, 4);
    return v;
}

void BM_math_sin_vorn(benchmark::State& s) {
    measureUnary(s, angles(), [](double x) { return math::sin(x); });
}
void BM_math_sin_libc(benchmark::State& s) {
    measureUnary(s, angles(), [](double x) { return std::sin(x); });
}
void BM_math_cos_vorn(benchmark::State& s) {
    measureUnary(s, angles(), [](double x) { return math::cos(x); });
}
void BM_math_cos_libc(benchmark::State& s) {
    measureUnary(s, angles(), [](double x) { return std::cos(x); });
}
void BM_math_acos_vorn(benchmark::State& s) {
    measureUnary(s, cosines(), [](double x) { return math::acos(x); });
}
void BM_math_acos_libc(benchmark::State& s) {
    measureUnary(s, cosines(), [](double x) { return std::acos(x); });
}
void BM_math_atan_vorn(benchmark::State& s) {
    measureUnary(s, moderate(), [](double x) { return math::atan(x); });
}
void BM_math_atan_libc(benchmark::State& s) {
    measureUnary(s, moderate(), [](double x) { return std::atan(x); });
}

template <typename Function>
void measureAtan2(benchmark::State& state, Function f) {
    const std::vector<double>& ys = moderate2();
    const std::vector<double>& xs = moderate();
    std::vector<double> out(math_count);
    for (auto _ : state) {
        for (std::size_t i = 0; i < math_count; ++i) out[i] = f(ys[i], xs[i]);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(math_count));
}
void BM_math_atan2_vorn(benchmark::State& s) {
    measureAtan2(s, [](double y, double x) { return math::atan2(y, x); });
}
void BM_math_atan2_libc(benchmark::State& s) {
    measureAtan2(s, [](double y, double x) { return std::atan2(y, x); });
}

const std::vector<double>& determinants() {
    static const std::vector<double> v = uniform(0.01, 100.0, 5);
    return v;
}
const std::vector<double>& exponents() {
    static const std::vector<double> v = uniform(-20.0, 20.0, 6);
    return v;
}

void BM_math_pow_quarter_vorn(benchmark::State& s) {
    measureUnary(s, determinants(), [](double x) { return math::pow(x, -0.25); });
}
void BM_math_pow_quarter_libc(benchmark::State& s) {
    measureUnary(s, determinants(), [](double x) { return std::pow(x, -0.25); });
}

template <typename Function>
void measurePow(benchmark::State& state, Function f) {
    const std::vector<double>& xs = determinants();
    const std::vector<double>& ys = exponents();
    std::vector<double> out(math_count);
    for (auto _ : state) {
        for (std::size_t i = 0; i < math_count; ++i) out[i] = f(xs[i], ys[i]);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(math_count));
}
void BM_math_pow_vorn(benchmark::State& s) {
    measurePow(s, [](double x, double y) { return math::pow(x, y); });
}
void BM_math_pow_libc(benchmark::State& s) {
    measurePow(s, [](double x, double y) { return std::pow(x, y); });
}

BENCHMARK(BM_math_sin_vorn);
BENCHMARK(BM_math_sin_libc);
BENCHMARK(BM_math_cos_vorn);
BENCHMARK(BM_math_cos_libc);
BENCHMARK(BM_math_acos_vorn);
BENCHMARK(BM_math_acos_libc);
BENCHMARK(BM_math_atan_vorn);
BENCHMARK(BM_math_atan_libc);
BENCHMARK(BM_math_atan2_vorn);
BENCHMARK(BM_math_atan2_libc);
BENCHMARK(BM_math_pow_quarter_vorn);
BENCHMARK(BM_math_pow_quarter_libc);
BENCHMARK(BM_math_pow_vorn);
BENCHMARK(BM_math_pow_libc);

}  // namespace
}  // namespace vorn::bench
