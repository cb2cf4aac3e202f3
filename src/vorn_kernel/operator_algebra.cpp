// Operators derived from PGL4 matrices: the antisymmetric part, the regularised projector and
// the deformed product. Entry-wise steps run over the storage indices.
#include "vorn_kernel.hpp"

namespace vorn_kernel {

PGL4 computeResonance(const PGL4& a) {
    const PGL4 at = a.transpose();
    PGL4 result;  // every entry is written below
    for (std::size_t i = 0; i < 16; ++i) result.data[i] = a.data[i] - at.data[i];
    return result;
}

PGL4 computeProjector(const PGL4& jc, double delta) {
    const PGL4 I4 = PGL4::identity();
    const PGL4 jct = jc.transpose();
    PGL4 jjt = PGL4::mul(jc, jct);
    for (std::size_t i = 0; i < 4; ++i) jjt.set(i, i, jjt.get(i, i) + delta);
    // inverse adds delta to the diagonal once more: the matrix inverted is jc·jcᵀ + 2·delta·I.
    const PGL4 jjt_inv = jjt.inverse(delta, 8);
    const PGL4 middle = PGL4::mul(jct, jjt_inv);
    const PGL4 projector_part = PGL4::mul(middle, jc);
    PGL4 pi_lambda;  // every entry is written below
    for (std::size_t i = 0; i < 16; ++i) pi_lambda.data[i] = I4.data[i] - projector_part.data[i];
    return pi_lambda;
}

PGL4 deformedTensorProduct(const PGL4& x, const PGL4& y, double epsilon) {
    PGL4 result = PGL4::mul(x, y);
    for (std::size_t i = 0; i < 16; ++i) {
        result.data[i] = result.data[i] + (epsilon * x.data[i]) * y.data[i];
    }
    return result;
}

}  // namespace vorn_kernel
