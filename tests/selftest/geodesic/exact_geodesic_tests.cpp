// Registered tests of the closed-form geodesics. The computed value is passed first.
#include "registered_tests.hpp"
#include "vorn_geodesic.hpp"
#include "vorn_testing.hpp"

namespace vorn_geodesic::registered {

using vorn::testing::expectApproxEqAbs;

void exactSolutionStaysOnS3() {
    const HomVec4 p = HomVec4::init(1, 0, 0, 0);
    const HomVec4 v = HomVec4::init(0, 1, 0, 0);
    const HomVec4 g = geodesicExact(p, v, 0.7853981633974483);
    expectApproxEqAbs(g.norm(), 1.0, 1e-10);
}

void gammaAtZeroIsP() {
    const HomVec4 p = HomVec4::init(0.6, 0, 0, 0.8);
    const HomVec4 v = HomVec4::init(0, 1, 0, 0);
    const HomVec4 g = geodesicExact(p, v, 0);
    expectApproxEqAbs(g.x, p.x, 1e-10);
    expectApproxEqAbs(g.y, p.y, 1e-10);
    expectApproxEqAbs(g.z, p.z, 1e-10);
    expectApproxEqAbs(g.w, p.w, 1e-10);
}

void gammaAtHalfPiIsV() {
    const HomVec4 p = HomVec4::init(1, 0, 0, 0);
    const HomVec4 v = HomVec4::init(0, 1, 0, 0);
    const HomVec4 g = geodesicExact(p, v, 1.5707963267948966);
    expectApproxEqAbs(g.x, 0.0, 1e-10);
    expectApproxEqAbs(g.y, 1.0, 1e-10);
}

void gammaAtPiIsAntipode() {
    const HomVec4 p = HomVec4::init(1, 0, 0, 0);
    const HomVec4 v = HomVec4::init(0, 1, 0, 0);
    const HomVec4 g = geodesicExact(p, v, 3.141592653589793);
    expectApproxEqAbs(g.x, -1.0, 1e-10);
    expectApproxEqAbs(g.y, 0.0, 1e-10);
}

void fsDistanceAlongGeodesicKnownValues() {
    expectApproxEqAbs(fsDistanceAlongGeodesic(0), 0.0, 1e-10);
    expectApproxEqAbs(fsDistanceAlongGeodesic(0.7853981633974483), 0.7853981633974483, 1e-10);
    expectApproxEqAbs(fsDistanceAlongGeodesic(1.5707963267948966), 1.5707963267948966, 1e-10);
    expectApproxEqAbs(fsDistanceAlongGeodesic(2.356194490192345), 0.7853981633974483, 1e-10);
}

void orthogonalVelocityIsOrthogonal() {
    const HomVec4 p = HomVec4::init(0.6, 0, 0, 0.8);
    const HomVec4 v = orthogonalVelocity(p);
    expectApproxEqAbs(HomVec4::dot(p, v), 0.0, 1e-8);
    expectApproxEqAbs(v.norm(), 1.0, 1e-8);
}

}  // namespace vorn_geodesic::registered
