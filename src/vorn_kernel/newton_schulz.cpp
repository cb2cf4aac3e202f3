// Inverse of a regularised 4×4 matrix by the Newton–Schulz iteration: no pivoting and no
// division inside the loop. Singular input is not rejected; the last iterate is returned.
#include "vorn_kernel/newton_schulz.hpp"

#include <cmath>

namespace vorn_kernel::detail {

namespace {

// The largest |m − I| over the 16 entries. A NaN difference never wins, so a matrix of NaNs
// has residual 0 and stops the iteration.
double residualFromIdentity(const PGL4& m, const PGL4& identity) {
    double residual = 0.0;
    for (std::size_t i = 0; i < 16; ++i) {
        const double diff = std::fabs(m.data[i] - identity.data[i]);
        if (diff > residual) residual = diff;
    }
    return residual;
}

}  // namespace

NewtonSchulzResult newtonSchulzInverse(const PGL4& m, double delta, std::uint32_t max_iter) {
    const PGL4 I4 = PGL4::identity();

    PGL4 m_reg = m;
    for (std::size_t i = 0; i < 4; ++i) m_reg.set(i, i, m_reg.get(i, i) + delta);

    const PGL4 mt = m_reg.transpose();
    double norm_sq = 0.0;
    for (std::size_t i = 0; i < 16; ++i) norm_sq = norm_sq + m_reg.data[i] * m_reg.data[i];

    // X₀ = m_regᵀ / ‖m_reg‖_F² puts every eigenvalue of m_reg·X₀ in (0, 1], so the error
    // I − m_reg·X shrinks quadratically from the first step on.
    PGL4 x = mt;
    for (double& entry : x.data) entry = entry / norm_sq;

    std::uint32_t iterations = 0;
    while (iterations < max_iter) {
        ++iterations;
        const PGL4 mx = PGL4::mul(m_reg, x);
        PGL4 two_i_minus_mx{};
        for (std::size_t i = 0; i < 16; ++i) {
            two_i_minus_mx.data[i] = (2.0 * I4.data[i]) - mx.data[i];
        }
        x = PGL4::mul(x, two_i_minus_mx);
        const PGL4 residual_check = PGL4::mul(m_reg, x);
        if (residualFromIdentity(residual_check, I4) < 1e-12) break;
    }
    return {x, iterations};
}

}  // namespace vorn_kernel::detail

namespace vorn_kernel {

PGL4 PGL4::inverse(double delta, std::uint32_t max_iter) const {
    return detail::newtonSchulzInverse(*this, delta, max_iter).inverse;
}

}  // namespace vorn_kernel
