// The world's integrators on the scenes of world_scenes.hpp, one thread: the adaptive integrator
// against kdk per step and per force evaluation (the eccentric orbit, one orbit an iteration;
// the virialised cluster of 16 and 1000 bodies), and a kdk step of 10^5 test particles about
// three massive bodies against the same disc about three attractors.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>

#include "vorn_world.hpp"
#include "world_scenes.hpp"

namespace vorn::bench {
namespace {

using vorn_world::Integrator;
using vorn_world::World;

// Items are the integrator's steps; the counters are the force evaluations per step and the
// time per evaluation.
void countSteps(benchmark::State& state, std::uint64_t steps, std::uint64_t evaluations) {
    state.SetItemsProcessed(static_cast<std::int64_t>(steps));
    state.counters["evaluations/step"] = static_cast<double>(evaluations) / static_cast<double>(steps);
    state.counters["s/evaluation"] = benchmark::Counter(
        static_cast<double>(evaluations), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// The eccentric orbit (pericentre 0.05, apocentre 1): adaptive, one orbit an iteration; kdk,
// one step of 10^-3 an iteration.
void BM_world_orbit_adaptive(benchmark::State& state) {
    World world = eccentricKepler.world();
    const double period = eccentricKepler.period();
    world.step(period, Integrator::adaptive);  // the step control settles
    const vorn_world::AdaptiveReport start = world.adaptiveReport();
    for (auto _ : state) world.step(period, Integrator::adaptive);
    const vorn_world::AdaptiveReport end = world.adaptiveReport();
    countSteps(state, end.steps - start.steps, end.evaluations - start.evaluations);
}
BENCHMARK(BM_world_orbit_adaptive)->Unit(benchmark::kMicrosecond);

void BM_world_orbit_kdk(benchmark::State& state) {
    World world = eccentricKepler.world();
    for (auto _ : state) world.step(1e-3, Integrator::kdk);
    countSteps(state, state.iterations(), state.iterations());
}
BENCHMARK(BM_world_orbit_kdk);

// The virialised cluster of N bodies: adaptive, calls of 16 of the steps it chose at the start;
// kdk, one step of 5·10^-4 an iteration.
void BM_world_cluster_adaptive(benchmark::State& state) {
    World world = virialisedCluster(static_cast<std::size_t>(state.range(0)));
    world.step(1e-3, Integrator::adaptive);
    const double span = 16.0 * world.adaptiveReport().next_step;
    const vorn_world::AdaptiveReport start = world.adaptiveReport();
    for (auto _ : state) world.step(span, Integrator::adaptive);
    const vorn_world::AdaptiveReport end = world.adaptiveReport();
    countSteps(state, end.steps - start.steps, end.evaluations - start.evaluations);
}
BENCHMARK(BM_world_cluster_adaptive)->Arg(16)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_world_cluster_kdk(benchmark::State& state) {
    World world = virialisedCluster(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) world.step(5e-4, Integrator::kdk);
    countSteps(state, state.iterations(), state.iterations());
}
BENCHMARK(BM_world_cluster_kdk)->Arg(16)->Arg(1000)->Unit(benchmark::kMicrosecond);

// 10^5 test particles in a disc about three bodies under mutual gravity (1) or about three
// attractors at the same places (0), one kdk step of 10^-4 an iteration; items are bodies.
void BM_world_disc_kdk_step(benchmark::State& state) {
    constexpr std::size_t n = 100000;
    World world = discAboutThree(n, state.range(0) == 0);
    for (auto _ : state) world.step(1e-4, Integrator::kdk);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(world.size()));
}
BENCHMARK(BM_world_disc_kdk_step)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vorn::bench
