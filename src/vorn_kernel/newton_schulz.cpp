// Inverse of a regularised 4×4 matrix by the Newton–Schulz iteration: no pivoting and no
// division inside the loop. Singular input is not rejected; the last iterate is returned.
#include "vorn_kernel/newton_schulz.hpp"

#include <utility>

#include "vorn_kernel/matrix_lanes.hpp"

namespace vorn_kernel::detail {

namespace {

[[gnu::always_inline]] inline NewtonSchulzResult iterate(const PGL4& m, double delta,
                                                         std::uint32_t max_iter) {
    const PGL4 I4 = PGL4::identity();

    PGL4 m_reg = m;
    for (std::size_t i = 0; i < 4; ++i) m_reg.set(i, i, m_reg.get(i, i) + delta);

    const PGL4 mt = m_reg.transpose();
    double norm_sq = 0.0;
    for (std::size_t i = 0; i < 16; ++i) norm_sq = norm_sq + m_reg.data[i] * m_reg.data[i];

    // X₀ = m_regᵀ / ‖m_reg‖_F² puts every eigenvalue of m_reg·X₀ in (0, 1], so the error
    // I − m_reg·X shrinks quadratically from the first step on. The iterate and its successor
    // take turns in two buffers: copying one into the other would make the next product wait
    // for that copy to reach memory.
    PGL4 iterates[2];  // every matrix here is written whole before it is read
    PGL4* x = &iterates[0];
    PGL4* next = &iterates[1];
    divideEntries(mt.data.data(), norm_sq, x->data.data());

    std::uint32_t iterations = 0;
    if (max_iter == 0) return {*x, iterations};

    // m_reg·x of the first step. Every later step's m_reg·x is the previous step's residual
    // check, the same product of the same operands, so it is reused rather than recomputed.
    PGL4 mx;
    mulLanes(m_reg.data.data(), x->data.data(), mx.data.data());
    while (iterations < max_iter) {
        ++iterations;
        PGL4 two_i_minus_mx;
        twoIdentityMinus(I4.data.data(), mx.data.data(), two_i_minus_mx.data.data());
        mulLanes(x->data.data(), two_i_minus_mx.data.data(), next->data.data());
        std::swap(x, next);
        // The residual check, and the next step's m_reg·x. The largest |entry − I| ignores
        // NaN, so it is below 1e-12 exactly when no entry's difference reaches 1e-12.
        mulLanes(m_reg.data.data(), x->data.data(), mx.data.data());
        if (allWithin1e12(mx.data.data(), I4.data.data())) break;
    }
    return {*x, iterations};
}

}  // namespace

NewtonSchulzResult newtonSchulzInverse(const PGL4& m, double delta, std::uint32_t max_iter, LaneBuild build) {
    return runLanes<&iterate>(build, m, delta, max_iter);
}

}  // namespace vorn_kernel::detail
