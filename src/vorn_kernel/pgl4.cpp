// PGL4: product, transpose and determinant normalisation.
// Every sum starts at +0 and adds its terms in index order.
#include <algorithm>
#include <cmath>

#include "vorn_kernel.hpp"
#include "vorn_kernel/matrix_lanes.hpp"
#include "vorn_math/functions.hpp"

namespace vorn_kernel {

// Each entry sums a(row, k)·b(k, col) for k = 0..3 from +0; the lanes hold the four rows.
PGL4 PGL4::mul(const PGL4& a, const PGL4& b) {
    PGL4 result;  // every entry is written below; zeroing it first costs more than the product
    detail::runLanes<&detail::mulLanes>(detail::fastestLaneBuild(), a.data.data(), b.data.data(),
                                        result.data.data());
    return result;
}

PGL4 PGL4::transpose() const {
    // Entry (row, col) of the result is entry (col, row) here, listed in storage order.
    const auto& d = data;
    return PGL4{{d[0], d[4], d[8], d[12], d[1], d[5], d[9], d[13], d[2], d[6], d[10], d[14], d[3], d[7],
                 d[11], d[15]}};
}

namespace {

// Every entry times |d|^(−1/4): the determinant is divided by |d| and keeps its sign.
PGL4 timesDetToMinusQuarter(const PGL4& m, double d) {
    const double det_scale = vorn::elementary::pow(std::fabs(d), -0.25);
    PGL4 result = m;
    for (double& entry : result.data) entry = entry * det_scale;
    return result;
}

bool hasFiniteEntries(const PGL4& m) {
    return std::all_of(m.data.begin(), m.data.end(), [](double entry) { return std::isfinite(entry); });
}

}  // namespace

PGL4 PGL4::normalizeDet() const {
    const double d = det();
    if (std::isfinite(d) || !hasFiniteEntries(*this)) {
        if (std::fabs(d) < 1e-15) return *this;
        return timesDetToMinusQuarter(*this, d);
    }
    // Finite entries whose determinant overflowed (to ±∞, or NaN from ∞ − ∞): the same steps
    // on the matrix times 2^−e, e the exponent of its largest entry, which is exact and has
    // the determinant d·2^(−4e). The floor still applies to d itself.
    double largest = 0.0;
    for (const double entry : data) largest = std::fmax(largest, std::fabs(entry));
    const int e = std::ilogb(largest);
    PGL4 scaled = *this;
    for (double& entry : scaled.data) entry = std::ldexp(entry, -e);
    const double d_scaled = scaled.det();
    if (std::ldexp(std::fabs(d_scaled), 4 * e) < 1e-15) return *this;
    return timesDetToMinusQuarter(scaled, d_scaled);
}

}  // namespace vorn_kernel
