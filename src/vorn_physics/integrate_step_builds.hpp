// The two builds of integrateStep, for baseline x86-64 and for AVX2; integrateStep picks one
// at run time. Exposed so that tests can check that they agree bit for bit. Call the AVX2 one
// only where the CPU has AVX2.
#pragma once

#include "vorn_physics.hpp"

namespace vorn_physics::detail {

void integrateStepBaseline(VornBody& body, double dt, HomVec4 external_force);
[[gnu::target("avx2")]] void integrateStepAvx2(VornBody& body, double dt, HomVec4 external_force);

}  // namespace vorn_physics::detail
