// The registered tests of vorn_geodesic, in run order.
#pragma once

#include <array>
#include <memory_resource>

#include "vorn_testing.hpp"

namespace vorn_geodesic::registered {

void exactSolutionStaysOnS3();
void gammaAtZeroIsP();
void gammaAtHalfPiIsV();
void gammaAtPiIsAntipode();
void fsDistanceAlongGeodesicKnownValues();
void orthogonalVelocityIsOrthogonal();
void rk4MatchesExactSolution();
void parallelTransportPreservesNorm();
void expLogRoundTrip();
void renormalizeOnS3Test();

// The body of the RK4 test over any upstream allocator: its arena draws from `upstream` and
// is torn down on every way out, so nothing stays allocated there.
void rk4MatchesExactSolutionOver(std::pmr::memory_resource& upstream);

inline constexpr std::array<vorn::testing::TestCase, 10> tests{{
    {"vorn_geodesic.test.Geodesic: exact solution stays on S³", exactSolutionStaysOnS3},
    {"vorn_geodesic.test.Geodesic: γ(0) = p", gammaAtZeroIsP},
    {"vorn_geodesic.test.Geodesic: γ(π/2) = v when p ⟂ v", gammaAtHalfPiIsV},
    {"vorn_geodesic.test.Geodesic: γ(π) = −p (antipodal point)", gammaAtPiIsAntipode},
    {"vorn_geodesic.test.Geodesic: FS distance along geodesic", fsDistanceAlongGeodesicKnownValues},
    {"vorn_geodesic.test.Geodesic: orthogonal velocity ⟂ p", orthogonalVelocityIsOrthogonal},
    {"vorn_geodesic.test.Geodesic: RK4 vs exact solution", rk4MatchesExactSolution},
    {"vorn_geodesic.test.Geodesic: parallel transport preserves norm", parallelTransportPreservesNorm},
    {"vorn_geodesic.test.Geodesic: exp/log round-trip", expLogRoundTrip},
    {"vorn_geodesic.test.Geodesic: renormalize on S³", renormalizeOnS3Test},
}};

}  // namespace vorn_geodesic::registered
