#include "registered_tests.hpp"
#include "vorn_kernel.hpp"
#include "vorn_testing.hpp"

namespace vorn_kernel::registered {

using vorn::testing::expectApproxEqAbs;

void simdDot4AndNormalize() {
    const F32x4 a = f32x4(1, 0, 0, 0);
    const F32x4 b = f32x4(1, 0, 0, 0);
    expectApproxEqAbs(simdDot4(a, b), 1.0f, 1e-5f);

    const F32x4 c = f32x4(3, 0, 0, 4);
    const F32x4 n = simdNormalize3(c);
    expectApproxEqAbs(simdDot4(n, n), 1.0f, 1e-5f);
}

void cordicInverseSqrt() {
    expectApproxEqAbs(cordicInvSqrt(4), 0.5, 1e-10);
    expectApproxEqAbs(cordicInvSqrt(1), 1.0, 1e-10);
    expectApproxEqAbs(cordicInvSqrt(9), 0.3333333333333333, 1e-10);
}

}  // namespace vorn_kernel::registered
