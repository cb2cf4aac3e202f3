// integrateStep, built for baseline x86-64 and for AVX2 from one source; the CPU picks at run
// time, and both builds give the same bits.
#include "vorn_kernel/cpu_features.hpp"
#include "vorn_physics.hpp"
#include "vorn_physics/integrate_step_builds.hpp"
#include "vorn_physics/step_one_body.hpp"

namespace vorn_physics {

namespace detail {

void integrateStepBaseline(VornBody& body, double dt, HomVec4 external_force) {
    stepOneBody(body, dt, external_force);
}

[[gnu::target("avx2")]] void integrateStepAvx2(VornBody& body, double dt, HomVec4 external_force) {
    stepOneBody(body, dt, external_force);
}

}  // namespace detail

void integrateStep(VornBody& body, double dt, HomVec4 external_force) {
    if (vorn_kernel::detail::cpuHasAvx2()) {
        detail::integrateStepAvx2(body, dt, external_force);
    } else {
        detail::integrateStepBaseline(body, dt, external_force);
    }
}

}  // namespace vorn_physics
