#include <cstddef>

#include "registered_tests.hpp"
#include "vorn_kernel.hpp"
#include "vorn_testing.hpp"

namespace vorn_kernel::registered {

using vorn::testing::expectApproxEqAbs;

void pgl4NewtonSchulzInverse() {
    const PGL4 M = pglScale(2, 3, 4);
    const PGL4 M_inv = M.inverse(1e-10, 15);
    const PGL4 product = PGL4::mul(M, M_inv);
    for (std::size_t row = 0; row < 4; ++row) {
        for (std::size_t col = 0; col < 4; ++col) {
            const double expected = row == col ? 1.0 : 0.0;
            expectApproxEqAbs(product.get(row, col), expected, 1e-6);
        }
    }
}

}  // namespace vorn_kernel::registered
