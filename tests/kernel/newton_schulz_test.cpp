#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>

#include "support/same_bits.hpp"
#include "vorn_kernel.hpp"
#include "vorn_kernel/newton_schulz.hpp"

namespace {

using vorn::test::atRunTime;
using vorn::test::sameBits;
using vorn_kernel::PGL4;
using vorn_kernel::pglScale;
using vorn_kernel::detail::newtonSchulzInverse;

PGL4 diag(double a, double b, double c, double d) {
    return PGL4::fromRowMajor({{a, 0, 0, 0}, {0, b, 0, 0}, {0, 0, c, 0}, {0, 0, 0, d}});
}

void expectNear(const PGL4& expected, const PGL4& actual, double tolerance) {
    for (std::size_t i = 0; i < 16; ++i) {
        EXPECT_NEAR(expected.data[i], actual.data[i], tolerance) << "storage index " << i;
    }
}

TEST(NewtonSchulz, IdentityStopsAfterSevenIterations) {
    const auto result = newtonSchulzInverse(PGL4::identity(), 0, 15);
    EXPECT_EQ(7u, result.iterations);
    expectNear(PGL4::identity(), result.inverse, 2e-16);
}

TEST(NewtonSchulz, DiagonalStopsAfterTenIterations) {
    const double delta = 1e-10;
    const auto result = newtonSchulzInverse(pglScale(2, 3, 4), delta, 15);
    EXPECT_EQ(10u, result.iterations);
    const PGL4 expected = diag(1 / (2 + delta), 1 / (3 + delta), 1 / (4 + delta), 1 / (1 + delta));
    expectNear(expected, result.inverse, 1e-15);
}

TEST(NewtonSchulz, ProductWithInputMeetsTheStoppingResidual) {
    const PGL4 m = pglScale(2, 3, 4);
    const auto result = newtonSchulzInverse(m, 0, 50);
    EXPECT_EQ(10u, result.iterations);
    expectNear(PGL4::identity(), PGL4::mul(m, result.inverse), 1e-12);
}

TEST(NewtonSchulz, InverseReturnsTheLastIterate) {
    const PGL4 m = PGL4::fromRowMajor({{4, 1, 0, 0}, {1, 3, 1, 0}, {0, 1, 2, 0}, {0, 0, 0, 1}});
    const PGL4 via_inverse = m.inverse(1e-10, 15);
    const PGL4 last = newtonSchulzInverse(m, 1e-10, 15).inverse;
    for (std::size_t i = 0; i < 16; ++i) EXPECT_TRUE(sameBits(last.data[i], via_inverse.data[i]));
    expectNear(PGL4::identity(), PGL4::mul(m, via_inverse), 1e-9);
}

TEST(NewtonSchulz, NoIterationsGivesTheStartValue) {
    const auto result = newtonSchulzInverse(pglScale(2, 3, 4), 0, 0);
    EXPECT_EQ(0u, result.iterations);
    const double norm_sq = atRunTime(30.0);
    const PGL4 expected = diag(2 / norm_sq, 3 / norm_sq, 4 / norm_sq, 1 / norm_sq);
    for (std::size_t i = 0; i < 16; ++i) EXPECT_TRUE(sameBits(expected.data[i], result.inverse.data[i])) << i;
}

TEST(NewtonSchulz, ZeroMatrixGivesNanAfterOneIteration) {
    const auto result = newtonSchulzInverse(PGL4{}, 0, 15);
    EXPECT_EQ(1u, result.iterations);
    for (double entry : result.inverse.data) EXPECT_TRUE(std::isnan(entry));
    for (double entry : PGL4{}.inverse(0, 0).data) EXPECT_TRUE(std::isnan(entry));
}

TEST(NewtonSchulz, SingularInputRunsEveryIteration) {
    const auto result = newtonSchulzInverse(diag(1, 1, 1, 0), 0, 15);
    EXPECT_EQ(15u, result.iterations);
    expectNear(diag(1, 1, 1, 0), result.inverse, 1e-12);
}

TEST(NewtonSchulz, DeltaRegularisesTheDiagonal) {
    const auto result = newtonSchulzInverse(diag(1, 1, 1, 0), 1, 15);
    EXPECT_LT(result.iterations, 15u);
    expectNear(diag(0.5, 0.5, 0.5, 1), result.inverse, 1e-12);
}

TEST(NewtonSchulz, IterationLimitIsRespected) {
    const auto result = newtonSchulzInverse(pglScale(2, 3, 4), 1e-10, 3);
    EXPECT_EQ(3u, result.iterations);
}

}  // namespace
