// The energy of circular orbits over long runs, for docs/world.md ("Rounding that repeats"):
// one body on a circle at distance d = 0.5, 0.6, 0.7, 0.8 from one attractor (G = M = 1), steps
// of 0.001, |ΔE/E| at about 20 times per decade of steps for
//   kdk, yoshida4, and yoshida4_products (three kdk steps of w1·dt, w0·dt, w1·dt: the bits of
//   yoshida4 before it turned by increments and carried the positions' low parts),
// and the random walk of the rounding, σ·√n/|E|, with σ the standard deviation of the energy
// that one plain yoshida4 step's rounding changes: the step's energy less that of the same step
// with all low parts carried (a copy of the World, compensated), over the first 20000 steps.
// CSV on stdout (d,series,step,value); a summary per distance in lines beginning with '#'.
//
//   vorn_world_energy_drift [STEPS]   (default 10^7)
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "vorn_world.hpp"

namespace {

using vorn_kernel::HomVec4;
using vorn_physics::VornBody;
using vorn_world::Integrator;
using vorn_world::World;

constexpr double dt = 0.001;

World circularOrbit(double d) {
    World world(1.0);
    world.addAttractor(HomVec4::init(0, 0, 0, 1), 1.0);
    // On a circle of radius d the pull 1/(sin²d + ε) supplies v²·cot d.
    const double speed = std::sqrt(std::tan(d) / (std::sin(d) * std::sin(d) + vorn_world::GRAVITY_SOFTENING));
    world.add(
        VornBody::init(HomVec4::init(std::sin(d), 0, 0, std::cos(d)), HomVec4::init(0, speed, 0, 0), 1.0));
    return world;
}

// The steps at which to sample: about 20 a decade, from 1 to `last`.
std::vector<long> sampleSteps(long last) {
    std::vector<long> steps;
    for (int k = 0;; ++k) {
        const long n = std::lround(std::pow(10.0, k / 20.0));
        if (n > last) break;
        if (steps.empty() || n > steps.back()) steps.push_back(n);
    }
    if (steps.back() != last) steps.push_back(last);
    return steps;
}

enum class Series { kdk, yoshida4, yoshida4_products };

const char* nameOf(Series series) {
    switch (series) {
        case Series::kdk:
            return "kdk";
        case Series::yoshida4:
            return "yoshida4";
        case Series::yoshida4_products:
            return "yoshida4_products";
    }
    return "?";
}

void step(World& world, Series series) {
    constexpr double cbrt2 = 1.2599210498948731648;
    constexpr double w1 = 1.0 / (2.0 - cbrt2);
    constexpr double w0 = -cbrt2 / (2.0 - cbrt2);
    switch (series) {
        case Series::kdk:
            world.step(dt, Integrator::kdk);
            return;
        case Series::yoshida4:
            world.step(dt, Integrator::yoshida4);
            return;
        case Series::yoshida4_products:
            world.step(w1 * dt, Integrator::kdk);
            world.step(w0 * dt, Integrator::kdk);
            world.step(w1 * dt, Integrator::kdk);
            return;
    }
}

// The relative energy error of `series` at each sample step; the last is returned.
double run(double d, Series series, const std::vector<long>& samples) {
    World world = circularOrbit(d);
    const double e0 = world.energy();
    double error = 0.0;
    long done = 0;
    for (const long n : samples) {
        for (; done < n; ++done) step(world, series);
        error = std::fabs((world.energy() - e0) / e0);
        std::printf("%.2f,%s,%ld,%.6e\n", d, nameOf(series), n, error);
    }
    return error;
}

// σ: the standard deviation of the energy change that the rounding of one plain yoshida4 step
// makes, over `count` steps along its trajectory.
double roundingSigma(double d, long count) {
    World world = circularOrbit(d);
    double sum = 0.0, sum_sq = 0.0;
    for (long i = 0; i < count; ++i) {
        World carried = world;
        carried.setCompensated(true);
        carried.step(dt, Integrator::yoshida4);
        world.step(dt, Integrator::yoshida4);
        const double change = world.energy() - carried.energy();
        sum += change;
        sum_sq += change * change;
    }
    const double mean = sum / static_cast<double>(count);
    return std::sqrt(sum_sq / static_cast<double>(count) - mean * mean);
}

}  // namespace

int main(int argc, char** argv) {
    const long steps = argc > 1 ? std::atol(argv[1]) : 10000000;
    if (steps < 100) {
        std::fprintf(stderr, "usage: vorn_world_energy_drift [STEPS of at least 100]\n");
        return 2;
    }
    const std::vector<long> samples = sampleSteps(steps);
    std::printf("d,series,step,value\n");
    for (const double d : {0.5, 0.6, 0.7, 0.8}) {
        const double e0 = circularOrbit(d).energy();
        double last[3];
        for (const Series series : {Series::kdk, Series::yoshida4_products, Series::yoshida4})
            last[static_cast<int>(series)] = run(d, series, samples);
        const double sigma = roundingSigma(d, 20000);
        for (const long n : samples)
            std::printf("%.2f,random_walk,%ld,%.6e\n", d, n,
                        sigma * std::sqrt(static_cast<double>(n)) / std::fabs(e0));
        const double walk = sigma * std::sqrt(static_cast<double>(steps)) / std::fabs(e0);
        std::printf(
            "# d %.2f: E %.6f, sigma %.3e a step; |dE/E| after %ld steps: kdk %.2e, yoshida4_products %.2e, "
            "yoshida4 %.2e, random walk %.2e (yoshida4 %.1f times it)\n",
            d, e0, sigma, steps, last[0], last[2], last[1], walk, last[1] / walk);
        std::fflush(stdout);
    }
    return 0;
}
