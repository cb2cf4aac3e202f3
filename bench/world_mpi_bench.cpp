// The distributed World's kdk step with mutual gravity, run under mpirun (every process runs the
// same benchmarks a fixed number of times, so that their collective calls pair up; rank 0
// reports): wall time a step, and the bytes rank 0 sent and received a step, against the model's
// allgather of positions (32 bytes a body a sub-step).
//
//   mpirun -np P build-bench/bench/vorn_world_mpi_bench
#include <benchmark/benchmark.h>
#include <mpi.h>

#include <cstdint>
#include <vector>

#include "vorn_world_mpi.hpp"
#include "world/scene_support.hpp"

namespace {

using vorn::world_test::HomVec4;
using vorn::world_test::Random;
using vorn::world_test::VornBody;

void BM_world_mpi_kdk_mutual_step(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    Random random(42);
    std::vector<VornBody> bodies;
    for (std::size_t i = 0; i < n; ++i) {
        const HomVec4 p = random.unit();
        bodies.push_back(VornBody::init(p, random.tangent(p, 0.1), 1.0 / static_cast<double>(n)));
    }
    vorn_world::World world(1.0);
    world.setMutualGravity(true);
    world.add(bodies);
    vorn_world_mpi::DistributedWorld distributed(MPI_COMM_WORLD, std::move(world));
    distributed.step(1e-4);  // the accelerations at the start, outside the timing
    const vorn_world_mpi::Traffic before = distributed.traffic();
    for (auto _ : state) {
        distributed.step(1e-4);
        MPI_Barrier(MPI_COMM_WORLD);  // a step ends when every process has taken it
    }
    const vorn_world_mpi::Traffic after = distributed.traffic();
    const auto steps = static_cast<double>(state.iterations());
    state.counters["sent/step"] = static_cast<double>(after.bytes_sent - before.bytes_sent) / steps;
    state.counters["received/step"] =
        static_cast<double>(after.bytes_received - before.bytes_received) / steps;
    state.counters["processes"] = distributed.size();
}
BENCHMARK(BM_world_mpi_kdk_mutual_step)
    ->Arg(10000)
    ->Iterations(20)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_world_mpi_kdk_mutual_step)
    ->Arg(100000)
    ->Iterations(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// Reports nothing: the processes other than rank 0.
class Silent : public benchmark::BenchmarkReporter {
public:
    bool ReportContext(const Context& /*context*/) override { return true; }
    void ReportRuns(const std::vector<Run>& /*runs*/) override {}
};

}  // namespace

int main(int argc, char** argv) {
    MPI_Init(&argc, &argv);
    benchmark::Initialize(&argc, argv);
    int rank = 0;
    MPI_Comm_rank(MPI_COMM_WORLD, &rank);
    if (rank == 0) {
        benchmark::RunSpecifiedBenchmarks();
    } else {
        Silent silent;
        benchmark::RunSpecifiedBenchmarks(&silent);
    }
    benchmark::Shutdown();
    MPI_Finalize();
    return 0;
}
