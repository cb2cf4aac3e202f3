// Registered tests of parallel transport and the exp/log maps. The computed value is passed first.
#include "registered_tests.hpp"
#include "vorn_geodesic.hpp"
#include "vorn_testing.hpp"

namespace vorn_geodesic::registered {

using vorn::testing::expectApproxEqAbs;

void parallelTransportPreservesNorm() {
    const HomVec4 p = HomVec4::init(1, 0, 0, 0);
    const HomVec4 v = HomVec4::init(0, 1, 0, 0);
    const HomVec4 w = HomVec4::init(0, 0, 1, 0);
    const HomVec4 w_transported = parallelTransport(p, v, w, 1.0471975511965979);
    expectApproxEqAbs(w_transported.norm(), w.norm(), 1e-10);
    expectApproxEqAbs(w_transported.x, w.x, 1e-10);
    expectApproxEqAbs(w_transported.y, w.y, 1e-10);
    expectApproxEqAbs(w_transported.z, w.z, 1e-10);
    expectApproxEqAbs(w_transported.w, w.w, 1e-10);
}

void expLogRoundTrip() {
    const HomVec4 p = HomVec4::init(1, 0, 0, 0);
    const HomVec4 q = HomVec4::init(0, 1, 0, 0);
    const HomVec4 v = logMap(p, q);
    const HomVec4 q_back = expMap(p, v);
    expectApproxEqAbs(q_back.x, q.x, 1e-6);
    expectApproxEqAbs(q_back.y, q.y, 1e-6);
}

}  // namespace vorn_geodesic::registered
