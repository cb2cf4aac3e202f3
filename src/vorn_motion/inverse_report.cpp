// PGL4::inverse with the number of iterations it ran and the residual it left.
#include <cmath>
#include <cstddef>

#include "vorn_kernel/newton_schulz.hpp"
#include "vorn_motion.hpp"

namespace vorn_motion {

InverseReport inverseWithReport(const PGL4& m, double delta, std::uint32_t max_iter) {
    const auto result = vorn_kernel::detail::newtonSchulzInverse(m, delta, max_iter);
    PGL4 regularised = m;
    for (std::size_t i = 0; i < 4; ++i) regularised.set(i, i, regularised.get(i, i) + delta);
    // The iteration's own last check multiplies the same two matrices in the same order.
    const PGL4 product = PGL4::mul(regularised, result.inverse);
    const PGL4 identity = PGL4::identity();
    double residual = 0.0;
    for (std::size_t i = 0; i < 16; ++i) {
        const double error = std::fabs(product.data[i] - identity.data[i]);
        if (std::isnan(error)) {
            residual = error;
            break;
        }
        if (error > residual) residual = error;
    }
    return {result.inverse, result.iterations, residual, residual < 1e-12};
}

}  // namespace vorn_motion
