#include "registered_tests.hpp"
#include "vorn_kernel.hpp"
#include "vorn_testing.hpp"

namespace vorn_kernel::registered {

using vorn::testing::expectApproxEqAbs;

void pgl4TranslationAndScale() {
    const PGL4 T = pglTranslate(10, 20, 30);
    const HomVec4 v = HomVec4::fromCartesian(1, 2, 3);
    const HomVec4 result = T.apply(v);
    const auto c = result.cartesian3();
    expectApproxEqAbs(c[0], 11.0, 1e-8);
    expectApproxEqAbs(c[1], 22.0, 1e-8);
    expectApproxEqAbs(c[2], 33.0, 1e-8);
}

void pgl4RotationPreservesNorm() {
    const PGL4 R = pglRotateZ(0.7853981633974483);
    const HomVec4 v = HomVec4::init(1, 0, 0, 1);
    const HomVec4 result = R.apply(v);
    const double n_before = v.norm();
    const double n_after = result.norm();
    expectApproxEqAbs(n_before, n_after, 1e-10);
}

// A singular argument would stop the build; only the accepted case can run.
void pgl4FromHomogeneousAcceptsRegular() {
    constexpr PGL4 M = pglFromHomogeneous({{2, 0, 0, 0}, {0, 3, 0, 0}, {0, 0, 4, 0}, {0, 0, 0, 5}});
    expectApproxEqAbs(M.det(), 120.0, 1e-6);
}

}  // namespace vorn_kernel::registered
