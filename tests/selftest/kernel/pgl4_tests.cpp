#include <cmath>

#include "registered_tests.hpp"
#include "vorn_kernel.hpp"
#include "vorn_testing.hpp"

namespace vorn_kernel::registered {

using vorn::testing::expectApproxEqAbs;

void pgl4IdentityAction() {
    const PGL4 I = PGL4::identity();
    const HomVec4 v = HomVec4::init(3, 4, 5, 1);
    const HomVec4 result = I.apply(v);
    expectApproxEqAbs(result.x, 3.0, 1e-10);
    expectApproxEqAbs(result.y, 4.0, 1e-10);
    expectApproxEqAbs(result.z, 5.0, 1e-10);
    expectApproxEqAbs(result.w, 1.0, 1e-10);
}

void pgl4Determinant() {
    const PGL4 I = PGL4::identity();
    expectApproxEqAbs(I.det(), 1.0, 1e-10);
    const PGL4 S = pglScale(2, 3, 4);
    expectApproxEqAbs(S.det(), 24.0, 1e-10);
}

void pgl4NormalizeDet() {
    const PGL4 M = pglScale(2, 3, 4);
    const PGL4 M_norm = M.normalizeDet();
    expectApproxEqAbs(std::fabs(M_norm.det()), 1.0, 1e-6);
}

}  // namespace vorn_kernel::registered
