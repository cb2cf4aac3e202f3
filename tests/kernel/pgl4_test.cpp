#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <limits>

#include "support/same_bits.hpp"
#include "vorn_kernel.hpp"

namespace {

using vorn::test::atRunTime;
using vorn::test::sameBits;
using vorn_kernel::HomVec4;
using vorn_kernel::PGL4;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

constexpr PGL4 oneToSixteen() { return PGL4::init({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}); }

PGL4 diag(double a, double b, double c, double d) {
    return PGL4::fromRowMajor({{a, 0, 0, 0}, {0, b, 0, 0}, {0, 0, c, 0}, {0, 0, 0, d}});
}

void expectSameBits(const PGL4& expected, const PGL4& actual) {
    for (std::size_t i = 0; i < 16; ++i) {
        EXPECT_TRUE(sameBits(expected.data[i], actual.data[i])) << "storage index " << i;
    }
}

// A matrix of small integers with no symmetry, so a transposed or misordered index shows.
constexpr double kRows[4][4] = {{7, -3, 5, 2}, {-4, 9, 1, -6}, {8, 2, -7, 3}, {1, -5, 4, 9}};

TEST(PGL4Storage, ColumnMajor) {
    constexpr PGL4 m = oneToSixteen();
    static_assert(m.get(1, 0) == 2 && m.get(0, 1) == 5 && m.get(3, 3) == 16);
    const PGL4 r = PGL4::fromRowMajor(kRows);
    for (std::size_t row = 0; row < 4; ++row) {
        for (std::size_t col = 0; col < 4; ++col) EXPECT_EQ(kRows[row][col], r.get(row, col));
    }
    PGL4 s = PGL4::identity();
    s.set(2, 3, -1.5);
    EXPECT_EQ(-1.5, s.data[14]);
}

TEST(PGL4Apply, IdentityReturnsTheVectorButTurnsNegativeZeroPositive) {
    const HomVec4 v = HomVec4::init(3, -4.25, 1e-300, 7);
    const HomVec4 r = PGL4::identity().apply(v);
    EXPECT_TRUE(sameBits(v.x, r.x) && sameBits(v.y, r.y) && sameBits(v.z, r.z) && sameBits(v.w, r.w));
    // Every sum starts at +0, and +0 + −0 is +0.
    const HomVec4 z = PGL4::identity().apply(HomVec4::init(-0.0, 1, 1, 1));
    EXPECT_TRUE(sameBits(0.0, z.x));
}

TEST(PGL4Apply, SumsEachRowLeftToRight) {
    // 1e16 + 1 rounds back to 1e16, so only the left-to-right row sum is exactly 0.
    const PGL4 m =
        PGL4::fromRowMajor({{atRunTime(1e16), 1, -1e16, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}});
    EXPECT_TRUE(sameBits(0.0, m.apply(HomVec4::init(1, 1, 1, 1)).x));
}

TEST(PGL4Apply, DirectionIgnoresTheLastColumn) {
    const PGL4 m = PGL4::fromRowMajor({{1, 2, 3, 100}, {4, 5, 6, 200}, {7, 8, 9, 300}, {0, 0, 0, 1}});
    const HomVec4 r = m.apply(HomVec4::init(1, 1, 1, 0));
    EXPECT_EQ(6.0, r.x);
    EXPECT_EQ(15.0, r.y);
    EXPECT_EQ(24.0, r.z);
    EXPECT_TRUE(sameBits(0.0, r.w));
}

TEST(PGL4Mul, IdentityIsNeutralExactly) {
    const PGL4 a =
        PGL4::fromRowMajor({{0.1, -2.5, 3e10, 7}, {1e-300, 0.3, 1, -1}, {5, 6, 7, 8}, {0.7, 0, 2, 1}});
    expectSameBits(a, PGL4::mul(PGL4::identity(), a));
    expectSameBits(a, PGL4::mul(a, PGL4::identity()));
}

TEST(PGL4Mul, RightFactorActsFirst) {
    const PGL4 m = PGL4::mul(vorn_kernel::pglTranslate(1, 2, 3), vorn_kernel::pglScale(2, 3, 4));
    const HomVec4 r = m.apply(HomVec4::init(1, 1, 1, 1));
    EXPECT_EQ(3.0, r.x);
    EXPECT_EQ(5.0, r.y);
    EXPECT_EQ(7.0, r.z);
    EXPECT_EQ(1.0, r.w);
}

TEST(PGL4Mul, IntegerProductIsExact) {
    const PGL4 a = PGL4::fromRowMajor(kRows);
    const PGL4 p = PGL4::mul(a, oneToSixteen());
    // Row 0 of a times column 0 of 1..16, that is (1, 2, 3, 4).
    EXPECT_EQ(7 * 1 - 3 * 2 + 5 * 3 + 2 * 4, p.get(0, 0));
    // Row 3 of a times column 2, that is (9, 10, 11, 12).
    EXPECT_EQ(1 * 9 - 5 * 10 + 4 * 11 + 9 * 12, p.get(3, 2));
}

TEST(PGL4Transpose, SwapsIndicesAndIsAnInvolution) {
    const PGL4 a = PGL4::fromRowMajor(kRows);
    const PGL4 t = a.transpose();
    for (std::size_t row = 0; row < 4; ++row) {
        for (std::size_t col = 0; col < 4; ++col) EXPECT_EQ(a.get(col, row), t.get(row, col));
    }
    const PGL4 odd = PGL4::init({-0.0, nan, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14});
    expectSameBits(odd, odd.transpose().transpose());
}

TEST(PGL4Det, ExactForIntegerMatrices) {
    static_assert(PGL4::identity().det() == 1.0);
    static_assert(PGL4::fromRowMajor({{2, 0, 0, 0}, {0, 3, 0, 0}, {0, 0, 4, 0}, {0, 0, 0, 5}}).det() ==
                  120.0);
    static_assert(oneToSixteen().det() == 0.0);
    EXPECT_EQ(-5766.0, PGL4::fromRowMajor(kRows).det());
    EXPECT_EQ(48.0, PGL4::fromRowMajor({{2, -1, 0, 3}, {1, 4, 2, -2}, {0, 5, -3, 1}, {3, 0, 1, 2}}).det());
    EXPECT_EQ(0.0, oneToSixteen().det());
    EXPECT_EQ(-6.0, diag(1, -2, 3, 1).det());
}

TEST(PGL4Det, SwappingTwoRowsFlipsTheSign) {
    const double swapped[4][4] = {{kRows[2][0], kRows[2][1], kRows[2][2], kRows[2][3]},
                                  {kRows[1][0], kRows[1][1], kRows[1][2], kRows[1][3]},
                                  {kRows[0][0], kRows[0][1], kRows[0][2], kRows[0][3]},
                                  {kRows[3][0], kRows[3][1], kRows[3][2], kRows[3][3]}};
    EXPECT_EQ(5766.0, PGL4::fromRowMajor(swapped).det());
}

TEST(PGL4NormalizeDet, ScalesEveryEntryByDetToMinusQuarter) {
    const PGL4 m = diag(2, 3, 4, 1);
    const double scale = std::pow(atRunTime(24.0), -0.25);
    const PGL4 n = m.normalizeDet();
    for (std::size_t i = 0; i < 16; ++i) EXPECT_TRUE(sameBits(m.data[i] * scale, n.data[i])) << i;
    EXPECT_NEAR(1.0, n.det(), 1e-6);
}

TEST(PGL4NormalizeDet, KeepsTheSignOfTheDeterminant) {
    EXPECT_NEAR(-1.0, diag(-2, 1, 1, 1).normalizeDet().det(), 1e-12);
}

TEST(PGL4NormalizeDet, NearSingularIsReturnedUnchanged) {
    expectSameBits(PGL4{}, PGL4{}.normalizeDet());
    const PGL4 tiny = diag(1e-16, 1, 1, 1);
    expectSameBits(tiny, tiny.normalizeDet());
    // |det| exactly 1e-15 is scaled.
    const PGL4 at_floor = diag(atRunTime(1e-15), 1, 1, 1);
    ASSERT_EQ(1e-15, at_floor.det());
    EXPECT_NE(1.0, at_floor.normalizeDet().get(1, 1));
}

TEST(PGL4NormalizeDet, NanDeterminantGivesAllNan) {
    PGL4 m = PGL4::identity();
    m.set(0, 0, nan);
    const PGL4 n = m.normalizeDet();
    for (double entry : n.data) EXPECT_TRUE(std::isnan(entry));
}

}  // namespace
