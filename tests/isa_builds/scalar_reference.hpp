// Plain scalar transcriptions of the kernel's hot algorithms, one operation at a time in the
// documented order: the reference the vectorised builds must match bit for bit.
#pragma once

#include <cstdint>
#include <vector>

#include "vorn_geodesic.hpp"
#include "vorn_kernel.hpp"
#include "vorn_physics.hpp"

namespace vorn::isa_builds {

vorn_kernel::PGL4 referenceMul(const vorn_kernel::PGL4& a, const vorn_kernel::PGL4& b);
double referenceDet(const vorn_kernel::PGL4& m);

struct ReferenceInverse {
    vorn_kernel::PGL4 inverse;
    std::uint32_t iterations;
};
// Three products per iteration, as first written.
ReferenceInverse referenceInverse(const vorn_kernel::PGL4& m, double delta, std::uint32_t max_iter);

void referenceIntegrateStep(vorn_physics::VornBody& body, double dt, vorn_kernel::HomVec4 external_force);

// n_steps calls of rk4Step with freeGeodesicRhs, each from the previous state.
std::vector<vorn_geodesic::GeodesicState> referenceFreeTrajectory(vorn_geodesic::GeodesicState y0,
                                                                  std::uint32_t n_steps, double h);

}  // namespace vorn::isa_builds
