// Accuracy of the world's integrators over long runs, printed as text for docs/world.md:
//   1. convergence slopes of kdk and yoshida4 (position error at t = 2 on an eccentric orbit);
//   2. the energy error at t = 10 of compat, kdk and yoshida4 as dt halves;
//   3. the largest |ΔE| in the first and last tenth of 10^6 kdk steps;
//   4. the relative change of the bivector over 10^5 steps of 16 bodies under mutual gravity,
//      for kdk also over 24 scenes drawn from other seeds, with G = 0.01 and with G = 0, each
//      without and with the low parts carried (World::setCompensated).
//
//   vorn_world_accuracy [STEPS]   (STEPS for item 3, default 1000000)
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

#include "vorn_world.hpp"
#include "world/scene_support.hpp"

namespace {

using vorn_kernel::HomVec4;
using vorn_physics::VornBody;
using vorn_world::Integrator;
using vorn_world::World;

HomVec4 positionAt(double t_end, double dt, Integrator integrator) {
    World world = vorn::world_test::eccentricOrbit();
    const long steps = std::lround(t_end / dt);
    for (long i = 0; i < steps; ++i) world.step(dt, integrator);
    return world.body(world.ids()[0]).position;
}

double energyErrorAt(double t_end, double dt, Integrator integrator) {
    World world = vorn::world_test::eccentricOrbit();
    const double e0 = world.energy();
    const long steps = std::lround(t_end / dt);
    for (long i = 0; i < steps; ++i) world.step(dt, integrator);
    return std::fabs(world.energy() - e0);
}

const char* nameOf(Integrator integrator) {
    switch (integrator) {
        case Integrator::compat:
            return "compat";
        case Integrator::kdk:
            return "kdk";
        case Integrator::yoshida4:
            return "yoshida4";
        case Integrator::adaptive:
            return "adaptive";
    }
    return "?";
}

double norm(const vorn_world::Bivector& b) {
    return std::sqrt(b.xy * b.xy + b.xz * b.xz + b.xw * b.xw + b.yz * b.yz + b.yw * b.yw + b.zw * b.zw);
}

// The accuracy program's 16-body scene under mutual gravity (G = 0: free motion), drawn from `seed`.
World sixteenBodies(std::uint64_t seed, double G) {
    World world(G);
    world.setMutualGravity(true);
    const auto next = [&seed] {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(seed >> 11) * 0x1.0p-53 * 2.0 - 1.0;
    };
    for (int i = 0; i < 16; ++i) {
        // One draw per statement: the order of a function's arguments is unspecified.
        double c[8];
        for (double& x : c) x = next();
        const HomVec4 p = HomVec4::init(c[0], c[1], c[2], c[3]).normalize();
        const HomVec4 r = HomVec4::init(0.2 * c[4], 0.2 * c[5], 0.2 * c[6], 0.2 * c[7]);
        const double radial = HomVec4::dot(r, p);
        const HomVec4 v =
            HomVec4::init(r.x - radial * p.x, r.y - radial * p.y, r.z - radial * p.z, r.w - radial * p.w);
        world.add(VornBody::init(p, v, 0.5 + 0.1 * i));
    }
    return world;
}

// The relative change of the bivector over 10^5 steps of 0.01.
double bivectorChange(World world, Integrator integrator, bool compensated = false) {
    world.setCompensated(compensated);
    const vorn_world::Bivector start = world.angularMomentum();
    for (int i = 0; i < 100000; ++i) world.step(0.01, integrator);
    const vorn_world::Bivector end = world.angularMomentum();
    const vorn_world::Bivector diff{end.xy - start.xy, end.xz - start.xz, end.xw - start.xw,
                                    end.yz - start.yz, end.yw - start.yw, end.zw - start.zw};
    return norm(diff) / norm(start);
}

}  // namespace

int main(int argc, char** argv) {
    const long long_steps = argc > 1 ? std::atol(argv[1]) : 1000000;
    if (long_steps < 10) {
        std::fprintf(stderr, "usage: vorn_world_accuracy [STEPS of at least 10]\n");
        return 2;
    }

    const HomVec4 reference = positionAt(2.0, 0.0005, Integrator::yoshida4);
    for (const auto& [integrator, dt] :
         {std::pair{Integrator::kdk, 0.01}, std::pair{Integrator::yoshida4, 0.02}}) {
        double errors[3];
        for (int k = 0; k < 3; ++k) {
            const HomVec4 p = positionAt(2.0, dt / (1 << k), integrator);
            errors[k] =
                HomVec4::init(p.x - reference.x, p.y - reference.y, p.z - reference.z, p.w - reference.w)
                    .norm();
        }
        std::printf("order %-8s dt %.4g %.4g %.4g: errors %.3e %.3e %.3e, slopes %.3f %.3f\n",
                    nameOf(integrator), dt, dt / 2, dt / 4, errors[0], errors[1], errors[2],
                    std::log2(errors[0] / errors[1]), std::log2(errors[1] / errors[2]));
    }

    for (const Integrator integrator : {Integrator::compat, Integrator::kdk, Integrator::yoshida4}) {
        std::printf("energy error at t = 10, %-8s:", nameOf(integrator));
        for (const double dt : {0.02, 0.01, 0.005, 0.0025})
            std::printf(" %.3e", energyErrorAt(10.0, dt, integrator));
        std::printf("  (dt = 0.02, 0.01, 0.005, 0.0025)\n");
    }

    {
        World world = vorn::world_test::eccentricOrbit();
        const double e0 = world.energy();
        double first = 0.0, last = 0.0;
        for (long i = 1; i <= long_steps; ++i) {
            world.step(0.005, Integrator::kdk);
            const double error = std::fabs(world.energy() - e0);
            if (i <= long_steps / 10) first = std::fmax(first, error);
            if (i > long_steps - long_steps / 10) last = std::fmax(last, error);
        }
        std::printf(
            "kdk, %ld steps of 0.005: max |dE| first tenth %.3e, last tenth %.3e, ratio %.3f (E = %.6f)\n",
            long_steps, first, last, last / first, e0);
    }

    for (const bool compensated : {false, true}) {
        for (const Integrator integrator : {Integrator::kdk, Integrator::yoshida4}) {
            std::printf("bivector, 16 bodies, mutual gravity, 1e5 steps of %-8s%s: relative change %.3e\n",
                        nameOf(integrator), compensated ? " compensated" : "",
                        bivectorChange(sixteenBodies(99, 0.01), integrator, compensated));
        }
    }
    for (const bool compensated : {false, true})
        for (const double G : {0.01, 0.0}) {
            std::vector<double> changes;
            for (std::uint64_t seed = 99; seed < 99 + 24; ++seed)
                changes.push_back(bivectorChange(sixteenBodies(seed, G), Integrator::kdk, compensated));
            std::printf("bivector, kdk%s, G = %g, seeds 99..122:", compensated ? " compensated" : "", G);
            for (const double c : changes) std::printf(" %.2e", c);
            std::sort(changes.begin(), changes.end());
            std::printf("\n  median %.3e, largest %.3e\n", 0.5 * (changes[11] + changes[12]), changes.back());
        }
    return 0;
}
