#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <limits>

#include "support/same_bits.hpp"
#include "vorn_kernel.hpp"
#include "vorn_kernel/newton_schulz.hpp"

namespace {

using vorn::test::atRunTime;
using vorn::test::sameBits;
using vorn_kernel::computeProjector;
using vorn_kernel::computeResonance;
using vorn_kernel::deformedTensorProduct;
using vorn_kernel::PGL4;
using vorn_kernel::pglScale;
using vorn_kernel::pglTranslate;

PGL4 diag(double a, double b, double c, double d) {
    return PGL4::fromRowMajor({{a, 0, 0, 0}, {0, b, 0, 0}, {0, 0, c, 0}, {0, 0, 0, d}});
}

void expectEqualRows(const double (&rows)[4][4], const PGL4& actual) {
    for (std::size_t row = 0; row < 4; ++row) {
        for (std::size_t col = 0; col < 4; ++col) {
            EXPECT_EQ(rows[row][col], actual.get(row, col)) << "row " << row << ", col " << col;
        }
    }
}

// Row form (0, −1, 0, 0), (1, 0, 0, 0), (0, 0, 0, −1), (0, 0, 1, 0): orthogonal, antisymmetric.
constexpr PGL4 kRotationPair = PGL4::init({0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 0, 1, 0, 0, -1, 0});

TEST(Resonance, SymmetricMatrixGivesZero) {
    for (const PGL4& m : {PGL4::identity(), pglScale(2, -3, 0.5)}) {
        for (double entry : computeResonance(m).data) EXPECT_TRUE(sameBits(0.0, entry));
    }
}

TEST(Resonance, OneToSixteen) {
    const PGL4 j = computeResonance(PGL4::init({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}));
    expectEqualRows({{0, 3, 6, 9}, {-3, 0, 3, 6}, {-6, -3, 0, 3}, {-9, -6, -3, 0}}, j);
}

TEST(Resonance, ExactlyAntisymmetric) {
    const PGL4 a =
        PGL4::fromRowMajor({{0.1, 0.2, 0.3, 0.4}, {1e-7, 5, 6, 7}, {1e7, -3, 0.7, 2}, {1, 1, 1, 1}});
    const PGL4 j = computeResonance(a);
    for (std::size_t row = 0; row < 4; ++row) {
        for (std::size_t col = 0; col < 4; ++col) {
            // Off the diagonal each entry is the exact negation of its mirror; on it, a − a is +0.
            const double expected = row == col ? 0.0 : -j.get(col, row);
            EXPECT_TRUE(sameBits(expected, j.get(row, col))) << "row " << row << ", col " << col;
        }
    }
}

TEST(Projector, ZeroMatrixGivesIdentityExactly) {
    const PGL4 p = computeProjector(PGL4{}, 1e-8);
    for (std::size_t i = 0; i < 16; ++i) EXPECT_TRUE(sameBits(PGL4::identity().data[i], p.data[i])) << i;
}

TEST(Projector, ZeroMatrixWithoutRegularisationGivesNan) {
    for (double entry : computeProjector(PGL4{}, 0).data) EXPECT_TRUE(std::isnan(entry));
}

TEST(Projector, ProjectsOntoTheNullSpace) {
    const PGL4 p = computeProjector(diag(1, 1, 0, 0), 1e-8);
    for (std::size_t i = 0; i < 16; ++i) {
        EXPECT_NEAR(diag(2e-8, 2e-8, 1, 1).data[i], p.data[i], 1e-7) << i;
    }
}

TEST(Projector, InvertibleInputGivesEntriesOfOrderDelta) {
    const PGL4 p = computeProjector(kRotationPair, 1e-8);
    for (std::size_t row = 0; row < 4; ++row) {
        for (std::size_t col = 0; col < 4; ++col) {
            EXPECT_NEAR(row == col ? 2e-8 : 0.0, p.get(row, col), 1e-15);
        }
    }
    // jc·jcᵀ + 2·delta·I = (1 + 2e-8)·I converges within the 8 iterations allowed.
    PGL4 jjt = PGL4::mul(kRotationPair, kRotationPair.transpose());
    for (std::size_t i = 0; i < 4; ++i) jjt.set(i, i, jjt.get(i, i) + 1e-8);
    EXPECT_EQ(7u, vorn_kernel::detail::newtonSchulzInverse(jjt, 1e-8, 8).iterations);
}

TEST(DeformedProduct, ZeroEpsilonIsTheProductExactly) {
    const PGL4 a = pglScale(2, 1, 1);
    const PGL4 b = pglTranslate(3, 0, 0);
    const PGL4 d = deformedTensorProduct(a, b, 0);
    const PGL4 m = PGL4::mul(a, b);
    for (std::size_t i = 0; i < 16; ++i) EXPECT_TRUE(sameBits(m.data[i], d.data[i])) << i;
    expectEqualRows({{2, 0, 0, 6}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}, d);
}

TEST(DeformedProduct, AddsTheEntryWiseProduct) {
    expectEqualRows({{4, 0, 0, 6}, {0, 2, 0, 0}, {0, 0, 2, 0}, {0, 0, 0, 2}},
                    deformedTensorProduct(pglScale(2, 1, 1), pglTranslate(3, 0, 0), 1));
}

TEST(DeformedProduct, ScalesTheLeftEntryFirst) {
    // (1e308 · 10) overflows before the tiny right entry can bring it back.
    const PGL4 d = deformedTensorProduct(diag(10, 1, 1, 1), diag(1e-308, 1, 1, 1), atRunTime(1e308));
    EXPECT_TRUE(std::isinf(d.get(0, 0)));
}

}  // namespace
