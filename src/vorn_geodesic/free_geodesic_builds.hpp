// rk4Integrate's steps for freeGeodesicRhs, built for baseline x86-64 and for AVX2; the CPU
// picks one at run time. Exposed so that tests can check that both agree bit for bit with
// rk4Step. Each fills trajectory[1..n_steps] from trajectory[0]. Call the AVX2 one only where
// the CPU has AVX2.
#pragma once

#include <cstddef>

#include "vorn_geodesic.hpp"

namespace vorn_geodesic::detail {

void freeGeodesicStepsBaseline(GeodesicState* trajectory, std::size_t n_steps, double h);
[[gnu::target("avx2")]] void freeGeodesicStepsAvx2(GeodesicState* trajectory, std::size_t n_steps, double h);

}  // namespace vorn_geodesic::detail
