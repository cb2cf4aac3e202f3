// PGL4: action on a point, product, transpose and determinant normalisation.
// Every sum starts at +0 and adds its terms in index order.
#include <cmath>

#include "vorn_kernel.hpp"

namespace vorn_kernel {

HomVec4 PGL4::apply(HomVec4 v) const {
    const std::array<double, 4> components{v.x, v.y, v.z, v.w};
    std::array<double, 4> result{0.0, 0.0, 0.0, 0.0};
    for (std::size_t row = 0; row < 4; ++row) {
        for (std::size_t col = 0; col < 4; ++col) {
            result[row] = result[row] + get(row, col) * components[col];
        }
    }
    return HomVec4::init(result[0], result[1], result[2], result[3]);
}

PGL4 PGL4::mul(const PGL4& a, const PGL4& b) {
    PGL4 result{};
    for (std::size_t col = 0; col < 4; ++col) {
        for (std::size_t row = 0; row < 4; ++row) {
            double sum = 0.0;
            for (std::size_t k = 0; k < 4; ++k) {
                sum = sum + a.get(row, k) * b.get(k, col);
            }
            result.set(row, col, sum);
        }
    }
    return result;
}

PGL4 PGL4::transpose() const {
    PGL4 result{};
    for (std::size_t row = 0; row < 4; ++row) {
        for (std::size_t col = 0; col < 4; ++col) {
            result.set(row, col, get(col, row));
        }
    }
    return result;
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
