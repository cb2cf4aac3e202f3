// The 1000-body cluster (world_scenes.hpp: a virialised uniform ball of angular radius 0.3 about
// the pole, total mass 1, G = 1) integrated to T_END on two threads, for docs/performance.md:
// one CSV row every 1/20 of T_END, and for the adaptive integrator also every 1000 steps, with
// the time, the wall time spent in step() so far and the CPU time of both threads in it (which,
// unlike the wall time, other work on the machine does not lengthen), ΔE/E, the steps, the
// force evaluations and the adaptive integrator's next step. Stops early, with a last row, once
// the wall time passes WALL_LIMIT seconds. Prints the last row.
//
//   vorn_world_cluster OUT.csv kdk|yoshida4 DT       [T_END [WALL_LIMIT [SOFTENING]]]
//   vorn_world_cluster OUT.csv adaptive TOLERANCE    [T_END [WALL_LIMIT [SOFTENING]]]
//
// Defaults: T_END 1, WALL_LIMIT 2400 s, SOFTENING 1e-10 (the cluster's velocities are scaled
// with 1e-10 whatever SOFTENING is, so that every softening starts from the same bodies).
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <stdexcept>
#include <string>

#include "csv_file.hpp"
#include "vorn_world.hpp"
#include "world_scenes.hpp"

namespace {

using vorn_world::Integrator;
using vorn_world::World;

constexpr int rows = 20;
constexpr std::uint64_t chunk = 1000;

int usage() {
    std::fprintf(stderr,
                 "usage: vorn_world_cluster OUT.csv kdk|yoshida4 DT [T_END [WALL_LIMIT [SOFTENING]]]\n"
                 "       vorn_world_cluster OUT.csv adaptive TOLERANCE [T_END [WALL_LIMIT [SOFTENING]]]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4 || argc > 7) return usage();
    Integrator integrator = Integrator::kdk;
    if (std::strcmp(argv[2], "yoshida4") == 0) {
        integrator = Integrator::yoshida4;
    } else if (std::strcmp(argv[2], "adaptive") == 0) {
        integrator = Integrator::adaptive;
    } else if (std::strcmp(argv[2], "kdk") != 0) {
        return usage();
    }
    const double parameter = std::atof(argv[3]);
    const double t_end = argc > 4 ? std::atof(argv[4]) : 1.0;
    const double wall_limit = argc > 5 ? std::atof(argv[5]) : 2400.0;
    const double softening = argc > 6 ? std::atof(argv[6]) : 1e-10;
    if (!(parameter > 0.0 && t_end > 0.0 && wall_limit > 0.0 && softening >= 0.0)) return usage();

    try {
        World world = vorn::bench::virialisedCluster(1000);
        world.setSoftening(softening);
        vorn_world::ThreadPool pool(2);
        world.setParallelFor(pool.parallelFor());
        if (integrator == Integrator::adaptive) world.setAdaptiveTolerance(parameter);
        const double dt = integrator == Integrator::adaptive ? t_end / rows : parameter;
        const double e0 = world.energy();
        std::printf("cluster: E = %.17g, K = %.17g, W = %.17g, softening %g\n", e0, world.kineticEnergy(),
                    world.potentialEnergy(), softening);

        vorn::bench::CsvFile csv(argv[1], "t,wall,cpu,relative_energy_error,steps,evaluations,next_step");
        double wall = 0.0, cpu = 0.0;
        char last[256] = "";
        const auto row = [&] {
            const vorn_world::AdaptiveReport report = world.adaptiveReport();
            const std::uint64_t evaluations = integrator == Integrator::adaptive   ? report.evaluations
                                              : integrator == Integrator::yoshida4 ? 3 * world.stepCount()
                                                                                   : world.stepCount();
            std::snprintf(last, sizeof last, "%.17g,%.4f,%.4f,%.6e,%llu,%llu,%.6e", world.time(), wall, cpu,
                          (world.energy() - e0) / std::fabs(e0),
                          static_cast<unsigned long long>(world.stepCount()),
                          static_cast<unsigned long long>(evaluations), report.next_step);
            csv.row("%s", last);
            csv.flush();
        };
        // The adaptive integrator goes in calls of at most `chunk` steps, each followed by a row,
        // so that the wall limit is seen even where its steps become short.
        world.setAdaptiveStepLimit(chunk);
        for (int k = 1; k <= rows && wall <= wall_limit; ++k) {
            bool reached = false;
            while (!reached && wall <= wall_limit) {
                const std::uint64_t steps = world.stepCount();
                const auto start = std::chrono::steady_clock::now();
                const std::clock_t cpu_start = std::clock();  // the process's, all threads
                try {
                    world.integrate(t_end * k / rows, integrator, dt);
                    reached = true;
                } catch (const std::runtime_error&) {
                    if (world.stepCount() - steps != chunk) throw;  // not the limit: the steps stalled
                }
                cpu += static_cast<double>(std::clock() - cpu_start) / CLOCKS_PER_SEC;
                wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
                row();
            }
        }
        csv.close();
        std::printf("t,wall,cpu,relative_energy_error,steps,evaluations,next_step\n%s\n", last);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "vorn_world_cluster: %s\n", error.what());
        return 1;
    }
    return 0;
}
