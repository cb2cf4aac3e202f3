#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <limits>

#include "support/same_bits.hpp"
#include "vorn_motion.hpp"

namespace {

using vorn::test::sameBits;
using vorn_kernel::PGL4;

void expectSameBits(const PGL4& expected, const PGL4& actual) {
    for (std::size_t i = 0; i < 16; ++i) EXPECT_TRUE(sameBits(expected.data[i], actual.data[i])) << i;
}

// A well-conditioned matrix converges in a few steps; scale(1000, 1, 1e-3)·R (condition number
// 1e6) does not in 30 and says so, and does in 100. The matrix is always PGL4::inverse's.
TEST(InverseWithReport, SaysWhetherTheIterationConverged) {
    const PGL4 rotation = vorn_kernel::pglRotateZ(0.7);
    const auto easy = vorn_motion::inverseWithReport(rotation, 0.0, 100);
    expectSameBits(rotation.inverse(0.0, 100), easy.inverse);
    EXPECT_TRUE(easy.converged);
    EXPECT_LT(easy.residual, 1e-12);
    EXPECT_GE(easy.iterations, 1u);
    EXPECT_LE(easy.iterations, 12u);

    const PGL4 hard = PGL4::mul(vorn_kernel::pglScale(1000, 1, 1e-3), rotation);
    const auto short_run = vorn_motion::inverseWithReport(hard, 0.0, 30);
    expectSameBits(hard.inverse(0.0, 30), short_run.inverse);
    EXPECT_EQ(30u, short_run.iterations);
    EXPECT_FALSE(short_run.converged);
    EXPECT_GT(short_run.residual, 0.5);
    const auto long_run = vorn_motion::inverseWithReport(hard, 0.0, 100);
    EXPECT_TRUE(long_run.converged);
    EXPECT_LT(long_run.iterations, 100u);

    const auto none = vorn_motion::inverseWithReport(rotation, 0.0, 0);
    EXPECT_EQ(0u, none.iterations);
    EXPECT_FALSE(none.converged);
}

TEST(InverseWithReport, NaNInputIsNotReportedAsConverged) {
    PGL4 m = PGL4::identity();
    m.set(0, 3, std::numeric_limits<double>::quiet_NaN());
    const auto report = vorn_motion::inverseWithReport(m, 0.0, 10);
    EXPECT_TRUE(std::isnan(report.residual));
    EXPECT_FALSE(report.converged);
}

}  // namespace
