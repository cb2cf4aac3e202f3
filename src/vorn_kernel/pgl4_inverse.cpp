// PGL4::inverse: the Newton–Schulz iteration, and its rescaled run for finite matrices whose
// squared Frobenius norm overflows.
#include <algorithm>
#include <cmath>
#include <cstddef>

#include "vorn_kernel.hpp"
#include "vorn_kernel/newton_schulz.hpp"

namespace vorn_kernel {

namespace {

// Whether the iteration's start overflowed: the entries of m + delta·I are finite and the sum
// of their squares, in storage order as the iteration forms it, is infinite. The start
// m_regᵀ / ‖m_reg‖² is then zero, and so is every iterate.
[[gnu::cold]] bool startOverflowed(const PGL4& m, double delta, double& largest) {
    PGL4 m_reg = m;
    for (std::size_t i = 0; i < 4; ++i) m_reg.set(i, i, m_reg.get(i, i) + delta);
    double norm_sq = 0.0;
    largest = 0.0;
    for (const double entry : m_reg.data) {
        if (!std::isfinite(entry)) return false;
        norm_sq = norm_sq + entry * entry;
        largest = std::fmax(largest, std::fabs(entry));
    }
    return std::isinf(norm_sq);
}

bool isZero(const PGL4& m) {
    return std::all_of(m.data.begin(), m.data.end(), [](double entry) { return entry == 0.0; });
}

}  // namespace

PGL4 PGL4::inverse(double delta, std::uint32_t max_iter) const {
    PGL4 result = detail::newtonSchulzInverse(*this, delta, max_iter).inverse;
    double largest = 0.0;
    if (!isZero(result) || !startOverflowed(*this, delta, largest)) [[likely]]
        return result;
    // The same iteration on m·2^−e and delta·2^−e, e the exponent of the largest entry of
    // m + delta·I: exact, and every iterate is the unscaled one times 2^e. Scaled back by 2^−e.
    const int e = std::ilogb(largest);
    PGL4 scaled = *this;
    for (double& entry : scaled.data) entry = std::ldexp(entry, -e);
    result = detail::newtonSchulzInverse(scaled, std::ldexp(delta, -e), max_iter).inverse;
    for (double& entry : result.data) entry = std::ldexp(entry, -e);
    return result;
}

}  // namespace vorn_kernel
