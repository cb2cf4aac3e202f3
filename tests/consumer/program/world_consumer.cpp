// The world as an outside program links it through pkg-config (vorn-world): a body dropped
// toward an attractor and stepped on a pool of threads moves toward it and stays on the sphere.
#include <vorn/vorn_world.hpp>

#include <cmath>
#include <cstdio>

int main() {
    using vorn_kernel::HomVec4;
    vorn_world::ThreadPool pool(2);
    vorn_world::World world(1.0);
    world.setParallelFor(pool.parallelFor());
    world.addAttractor(HomVec4::init(0, 0, 0, 1), 0.5);
    const HomVec4 start = HomVec4::init(0.6, 0, 0, 0.8);
    const auto id = world.add(vorn_physics::VornBody::init(start, HomVec4::zero(), 1.0));
    for (int i = 0; i < 100; ++i) world.step(0.001);
    const HomVec4 p = world.body(id).position;
    const bool ok = std::fabs(p.norm() - 1.0) < 1e-12 && p.w > start.w;
    std::puts(ok ? "world program: ok" : "world program: FAILED");
    return ok ? 0 : 1;
}
