// Throughput over an input array: each benchmark iteration computes one result per input and
// stores it, the way a caller's loop over its own data would; items/s counts results.
#pragma once

#include <benchmark/benchmark.h>

#include <cstddef>
#include <memory>
#include <type_traits>

#include "bench_inputs.hpp"

namespace vorn::bench {

template <typename Op>
void measureThroughput(benchmark::State& state, Op op) {
    using Result = std::remove_cvref_t<decltype(op(std::size_t{0}))>;
    // Not a std::vector: vector<bool> has no data().
    const auto out = std::make_unique<Result[]>(input_count);
    for (auto _ : state) {
        for (std::size_t i = 0; i < input_count; ++i) out[i] = op(i);
        benchmark::DoNotOptimize(out.get());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(input_count));
}

}  // namespace vorn::bench
