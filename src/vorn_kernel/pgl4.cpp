// PGL4: product, transpose and determinant normalisation.
// Every sum starts at +0 and adds its terms in index order.
#include <cmath>

#include "vorn_kernel.hpp"
#include "vorn_kernel/cpu_features.hpp"
#include "vorn_kernel/lanes.hpp"

namespace vorn_kernel {

namespace detail {

void mulBaseline(const PGL4& a, const PGL4& b, PGL4& out) {
    mulLanes(a.data.data(), b.data.data(), out.data.data());
}

[[gnu::target("avx2")]] void mulAvx2(const PGL4& a, const PGL4& b, PGL4& out) {
    mulLanes(a.data.data(), b.data.data(), out.data.data());
}

}  // namespace detail

// Each entry sums a(row, k)·b(k, col) for k = 0..3 from +0; the lanes hold the four rows.
PGL4 PGL4::mul(const PGL4& a, const PGL4& b) {
    PGL4 result;  // every entry is written below; zeroing it first costs more than the product
    if (detail::cpuHasAvx2()) {
        detail::mulAvx2(a, b, result);
    } else {
        detail::mulBaseline(a, b, result);
    }
    return result;
}

PGL4 PGL4::transpose() const {
    // Entry (row, col) of the result is entry (col, row) here, listed in storage order.
    const auto& d = data;
    return PGL4{{d[0], d[4], d[8], d[12], d[1], d[5], d[9], d[13], d[2], d[6], d[10], d[14], d[3], d[7],
                 d[11], d[15]}};
}

PGL4 PGL4::normalizeDet() const {
    const double d = det();
    if (std::fabs(d) < 1e-15) return *this;
    // Scaling all 16 entries by |d|^(−1/4) divides the determinant by |d| and keeps its sign.
    const double det_scale = std::pow(std::fabs(d), -0.25);
    PGL4 result = *this;
    for (double& entry : result.data) entry = entry * det_scale;
    return result;
}

}  // namespace vorn_kernel
