// Four f64 lanes (GCC/Clang vector extension) for the matrix code. Every lane does exactly
// the operations of the scalar algorithm, in its order, on its own entry: no lane ever mixes
// with another, so results are bit for bit those of the scalar loops. On a baseline x86-64
// target the compiler splits each operation into two SSE2 halves; in functions built for AVX2
// it is one instruction.
//
// Vectors never cross a function boundary (a 32-byte vector argument or result has a
// different ABI with and without AVX): the helpers take and give matrices in memory, and the
// vectors live in their locals only.
#pragma once

#include <cstddef>
#include <cstring>

#include "vorn_kernel.hpp"

namespace vorn_kernel::detail {

using F64x4 = double __attribute__((vector_size(32)));

// out = a·b over column-major storage. Lane r of output column c accumulates a(r, k)·b(k, c)
// for k = 0..3 in order, starting from +0, as the scalar triple loop does for that entry.
// `out` must not alias `a` or `b`.
[[gnu::always_inline]] inline void mulLanes(const double* a, const double* b, double* out) {
    F64x4 a0, a1, a2, a3;
    std::memcpy(&a0, a, sizeof a0);
    std::memcpy(&a1, a + 4, sizeof a1);
    std::memcpy(&a2, a + 8, sizeof a2);
    std::memcpy(&a3, a + 12, sizeof a3);
    for (std::size_t c = 0; c < 4; ++c) {
        const double* bc = b + 4 * c;
        F64x4 sum = F64x4{} + a0 * bc[0];
        sum = sum + a1 * bc[1];
        sum = sum + a2 * bc[2];
        sum = sum + a3 * bc[3];
        std::memcpy(out + 4 * c, &sum, sizeof sum);
    }
}

// out[i] = (2·identity[i]) − mx[i] for the 16 entries.
[[gnu::always_inline]] inline void twoIdentityMinus(const double* identity, const double* mx, double* out) {
    for (std::size_t c = 0; c < 4; ++c) {
        F64x4 i_column, mx_column;
        std::memcpy(&i_column, identity + 4 * c, sizeof i_column);
        std::memcpy(&mx_column, mx + 4 * c, sizeof mx_column);
        const F64x4 difference = (2.0 * i_column) - mx_column;
        std::memcpy(out + 4 * c, &difference, sizeof difference);
    }
}

// out[i] = m[i] / divisor for the 16 entries.
[[gnu::always_inline]] inline void divideEntries(const double* m, double divisor, double* out) {
    for (std::size_t c = 0; c < 4; ++c) {
        F64x4 column;
        std::memcpy(&column, m + 4 * c, sizeof column);
        const F64x4 quotient = column / divisor;
        std::memcpy(out + 4 * c, &quotient, sizeof quotient);
    }
}

// Whether no entry of m differs from identity by 1e-12 or more in absolute value. A NaN
// difference never reaches the bound (both comparisons are false for it).
[[gnu::always_inline]] inline bool allWithin1e12(const double* m, const double* identity) {
    using Mask = long long __attribute__((vector_size(32)));
    Mask far{};
    for (std::size_t c = 0; c < 4; ++c) {
        F64x4 m_column, i_column;
        std::memcpy(&m_column, m + 4 * c, sizeof m_column);
        std::memcpy(&i_column, identity + 4 * c, sizeof i_column);
        const F64x4 diff = m_column - i_column;
        far = far | (diff >= 1e-12) | (diff <= -1e-12);
    }
    return (far[0] | far[1] | far[2] | far[3]) == 0;
}

// The two builds PGL4::mul chooses between at run time; exposed so that tests can check that
// they agree bit for bit. Call the AVX2 one only where the CPU has AVX2.
void mulBaseline(const PGL4& a, const PGL4& b, PGL4& out);
[[gnu::target("avx2")]] void mulAvx2(const PGL4& a, const PGL4& b, PGL4& out);

}  // namespace vorn_kernel::detail
