#include <cstddef>

#include "registered_tests.hpp"
#include "vorn_kernel.hpp"
#include "vorn_testing.hpp"

namespace vorn_kernel::registered {

using vorn::testing::expectApproxEqAbs;

void resonanceIsAntisymmetric() {
    const PGL4 A = PGL4::init({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16});
    const PGL4 J = computeResonance(A);
    const PGL4 Jt = J.transpose();
    for (std::size_t row = 0; row < 4; ++row) {
        for (std::size_t col = 0; col < 4; ++col) {
            expectApproxEqAbs(Jt.get(row, col), -J.get(row, col), 1e-10);
        }
    }
}

void projectorIsIdempotent() {
    // Row form (0, −1, 0, 0), (1, 0, 0, 0), (0, 0, 0, −1), (0, 0, 1, 0): orthogonal and
    // antisymmetric, so the projector is close to zero.
    const PGL4 Jc = PGL4::init({0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 0, 1, 0, 0, -1, 0});
    const PGL4 Pi = computeProjector(Jc, 1e-8);
    const PGL4 Pi2 = PGL4::mul(Pi, Pi);
    for (std::size_t i = 0; i < 16; ++i) {
        expectApproxEqAbs(Pi2.data[i], Pi.data[i], 1e-4);
    }
}

void deformedProductWithZeroEpsilonIsMul() {
    const PGL4 A = pglScale(2, 1, 1);
    const PGL4 B = pglTranslate(3, 0, 0);
    const PGL4 standard = PGL4::mul(A, B);
    const PGL4 deformed = deformedTensorProduct(A, B, 0);
    for (std::size_t i = 0; i < 16; ++i) {
        expectApproxEqAbs(standard.data[i], deformed.data[i], 1e-10);
    }
}

}  // namespace vorn_kernel::registered
