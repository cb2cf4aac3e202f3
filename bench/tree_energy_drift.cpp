// Energy conservation of kdk with the tree solver against the same with the direct sum: a
// Plummer-like cluster of N equal bodies (scale a = 0.1 about w = 1, total G·M = 1, isotropic
// velocities of the virial mean square 3π/(32a)) stepped in two Worlds that differ only in the
// solver. Prints, every `every` steps, the relative energy error |E − E₀|/|E₀| of each.
//
//   vorn_tree_energy_drift [N=4000] [steps=1000] [dt=0.001] [theta=0.3] [every=25]
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <vector>

#include "vorn_world.hpp"
#include "world/scene_support.hpp"

namespace {

using vorn_kernel::HomVec4;
using vorn_physics::VornBody;

std::vector<VornBody> plummer(std::size_t n, double a) {
    vorn::world_test::Random random(2026);
    const double mean_square_speed = 3.0 * std::numbers::pi / (32.0 * a);
    std::vector<VornBody> bodies;
    while (bodies.size() < n) {
        const double x = 0.5 * (1.0 + random.symmetric());
        if (x <= 0.0) continue;
        const double r = a / std::sqrt(std::pow(x, -2.0 / 3.0) - 1.0);
        if (!(r < 10.0 * a)) continue;
        const HomVec4 p = vorn::world_test::near(random, HomVec4::init(0.0, 0.0, 0.0, 1.0), r);
        // Cube components of half-width s give a mean square speed of s² in the tangent space.
        bodies.push_back(
            VornBody::init(p, random.tangent(p, std::sqrt(mean_square_speed)), 1.0 / static_cast<double>(n)));
    }
    return bodies;
}

}  // namespace

int main(int argc, char** argv) {
    const auto arg = [&](int i, double fallback) { return argc > i ? std::atof(argv[i]) : fallback; };
    const auto n = static_cast<std::size_t>(arg(1, 4000));
    const auto steps = static_cast<int>(arg(2, 1000));
    const double dt = arg(3, 0.001);
    const double theta = arg(4, 0.3);
    const auto every = static_cast<int>(arg(5, 25));
    const std::vector<VornBody> bodies = plummer(n, 0.1);
    vorn_world::World direct(1.0);
    direct.setMutualGravity(true);
    direct.setSoftening(2.5e-5);  // about (a·N^(-1/3) / 2)² for N = 4000
    direct.setGravitySolver(vorn_world::GravitySolver::direct());
    direct.add(bodies);
    vorn_world::World tree = direct;
    tree.setGravitySolver(vorn_world::GravitySolver::tree(theta));
    const double e_direct = direct.energy(), e_tree = tree.energy();
    std::printf("# N %zu, dt %g, theta %g, E0 %.17g\n# step direct tree\n", n, dt, theta, e_direct);
    for (int step = 1; step <= steps; ++step) {
        direct.step(dt);
        tree.step(dt);
        if (step % every == 0) {
            std::printf("%d %.6e %.6e\n", step, std::abs(direct.energy() - e_direct) / std::abs(e_direct),
                        std::abs(tree.energy() - e_tree) / std::abs(e_tree));
            std::fflush(stdout);
        }
    }
}
