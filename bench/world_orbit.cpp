// The adaptive integrator on the eccentric orbit (pericentre 0.05, apocentre 1, G·M = 1, the
// default softening; world_scenes.hpp), for docs/performance.md:
//   1. one orbit (after one to settle the step control) taken a step per call, each call as
//      long as the step the integrator chose: DIR/orbit_steps.csv, each step's start, length and
//      distance to the attractor;
//   2. whole orbits until STEPS steps, ΔE/E at apocentre (where the energy's own rounding is
//      smallest) after each call of step(): one call to each orbit up to the 20th, then each
//      call to the orbit about 1.05 times the last (DIR/orbit_energy.csv); and one call an orbit
//      throughout (DIR/orbit_energy_every_orbit.csv).
// Prints a summary of each: the period, where the orbits end, steps and evaluations per orbit,
// the wall time.
//
//   vorn_world_orbit DIR [STEPS [TOLERANCE]]   (default 10^7 steps, tolerance 1e-10)
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "csv_file.hpp"
#include "vorn_world.hpp"
#include "world_scenes.hpp"

namespace {

using vorn::bench::CsvFile;
using vorn::bench::poleDistance;
using vorn_world::Integrator;
using vorn_world::World;

double distanceOf(const World& world) { return poleDistance(world.body(world.ids()[0]).position); }

void stepsOfOneOrbit(const std::string& dir, double tolerance) {
    const double period = vorn::bench::eccentricKepler.period();
    World world = vorn::bench::eccentricKepler.world();
    world.setAdaptiveTolerance(tolerance);
    world.step(period, Integrator::adaptive);
    CsvFile csv(dir + "/orbit_steps.csv", "t,step,distance,rejected,evaluations");
    double done = 0.0;
    while (done < period) {
        const vorn_world::AdaptiveReport before = world.adaptiveReport();
        const double h = std::fmin(before.next_step, period - done);
        const double distance = distanceOf(world);
        world.step(h, Integrator::adaptive);
        const vorn_world::AdaptiveReport after = world.adaptiveReport();
        csv.row("%.17g,%.17g,%.17g,%llu,%llu", done, h, distance,
                static_cast<unsigned long long>(after.rejected - before.rejected),
                static_cast<unsigned long long>(after.evaluations - before.evaluations));
        done += h;
    }
    csv.close();
    std::printf("one orbit step by step: %llu steps, %llu rejected\n",
                static_cast<unsigned long long>(world.adaptiveReport().steps),
                static_cast<unsigned long long>(world.adaptiveReport().rejected));
}

void energyOverOrbits(const std::string& path, std::uint64_t steps, double tolerance, bool every_orbit) {
    const double period = vorn::bench::eccentricKepler.period();
    World world = vorn::bench::eccentricKepler.world();
    world.setAdaptiveTolerance(tolerance);
    const double e0 = world.energy();
    CsvFile csv(path, "orbit,t,steps,evaluations,relative_energy_error,distance");
    double largest_miss = 0.0, wall = 0.0;
    std::uint64_t orbits = 0;
    while (world.stepCount() < steps) {
        const std::uint64_t next =
            every_orbit
                ? orbits + 1
                : std::max(orbits + 1, static_cast<std::uint64_t>(1.05 * static_cast<double>(orbits)));
        const auto start = std::chrono::steady_clock::now();
        world.step(static_cast<double>(next - orbits) * period, Integrator::adaptive);
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        orbits = next;
        const double distance = distanceOf(world);
        largest_miss = std::fmax(largest_miss, std::fabs(distance - vorn::bench::eccentricKepler.apocentre));
        csv.row("%llu,%.17g,%llu,%llu,%.6e,%.17g", static_cast<unsigned long long>(orbits), world.time(),
                static_cast<unsigned long long>(world.stepCount()),
                static_cast<unsigned long long>(world.adaptiveReport().evaluations),
                (world.energy() - e0) / std::fabs(e0), distance);
        csv.flush();
    }
    csv.close();
    const vorn_world::AdaptiveReport report = world.adaptiveReport();
    const auto n = static_cast<double>(orbits);
    std::printf(
        "%s: %llu orbits, %llu steps (%.1f an orbit, %llu rejected), %.1f evaluations a step; E = %.17g\n"
        "apocentre missed by at most %.2e; wall time %.2f s, %.3f us a step\n",
        path.c_str(), static_cast<unsigned long long>(orbits), static_cast<unsigned long long>(report.steps),
        static_cast<double>(report.steps) / n, static_cast<unsigned long long>(report.rejected),
        static_cast<double>(report.evaluations) / static_cast<double>(report.steps), e0, largest_miss, wall,
        1e6 * wall / static_cast<double>(report.steps));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 4) {
        std::fprintf(stderr, "usage: vorn_world_orbit DIR [STEPS [TOLERANCE]]\n");
        return 2;
    }
    const std::string dir = argv[1];
    const long long steps = argc > 2 ? std::atoll(argv[2]) : 10'000'000;
    const double tolerance = argc > 3 ? std::atof(argv[3]) : 1e-10;
    if (steps < 1 || !(tolerance > 0.0)) {
        std::fprintf(stderr, "vorn_world_orbit: STEPS and TOLERANCE must be positive\n");
        return 2;
    }
    try {
        const vorn::bench::KeplerOrbit& orbit = vorn::bench::eccentricKepler;
        std::printf(
            "orbit: pericentre %g, apocentre %g, speed at apocentre %.17g, period %.17g; tolerance %g\n",
            orbit.pericentre, orbit.apocentre, orbit.apocentreSpeed(), orbit.period(), tolerance);
        stepsOfOneOrbit(dir, tolerance);
        energyOverOrbits(dir + "/orbit_energy.csv", static_cast<std::uint64_t>(steps), tolerance, false);
        energyOverOrbits(dir + "/orbit_energy_every_orbit.csv", static_cast<std::uint64_t>(steps), tolerance,
                         true);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "vorn_world_orbit: %s\n", error.what());
        return 1;
    }
    return 0;
}
