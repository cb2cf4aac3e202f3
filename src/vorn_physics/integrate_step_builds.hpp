// The two builds of integrateStep and of integrateSteps, for baseline x86-64 and for AVX2;
// the public functions pick one at run time. Exposed so that tests can check that they agree bit for bit.
// Call the AVX2 one only where the CPU has AVX2.
#pragma once

#include <cstddef>

#include "vorn_physics.hpp"

namespace vorn_physics::detail {

// The two builds of integrateSteps, after its checks, over `count` bodies and forces.
void integrateStepsBaseline(VornBody* bodies, const HomVec4* external_forces, std::size_t count, double dt);
[[gnu::target("avx2")]] void integrateStepsAvx2(VornBody* bodies, const HomVec4* external_forces,
                                                std::size_t count, double dt);

void integrateStepBaseline(VornBody& body, double dt, HomVec4 external_force);
[[gnu::target("avx2")]] void integrateStepAvx2(VornBody& body, double dt, HomVec4 external_force);

}  // namespace vorn_physics::detail
