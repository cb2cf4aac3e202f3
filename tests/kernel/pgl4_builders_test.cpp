#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <numbers>

#include "support/same_bits.hpp"
#include "vorn_kernel.hpp"

namespace {

using vorn::test::atRunTime;
using vorn::test::sameBits;
using vorn_kernel::HomVec4;
using vorn_kernel::PGL4;
using vorn_kernel::pglFromHomogeneous;
using vorn_kernel::pglRotateZ;
using vorn_kernel::pglScale;
using vorn_kernel::pglTranslate;

TEST(PglTranslate, MovesPointsNotDirections) {
    const PGL4 t = pglTranslate(10, 20, 30);
    const HomVec4 p = t.apply(HomVec4::init(1, 2, 3, 1));
    EXPECT_TRUE(sameBits(11.0, p.x) && sameBits(22.0, p.y) && sameBits(33.0, p.z) && sameBits(1.0, p.w));
    const HomVec4 d = t.apply(HomVec4::init(1, 2, 3, 0));
    EXPECT_TRUE(sameBits(1.0, d.x) && sameBits(2.0, d.y) && sameBits(3.0, d.z) && sameBits(0.0, d.w));
    const HomVec4 q = t.apply(HomVec4::init(1, 2, 3, 2));
    EXPECT_EQ(21.0, q.x);
    EXPECT_EQ(42.0, q.y);
    EXPECT_EQ(63.0, q.z);
    EXPECT_EQ(2.0, q.w);
}

TEST(PglTranslate, TranslationSitsInTheLastColumn) {
    const PGL4 t = pglTranslate(-1, -2, -3);
    EXPECT_EQ(-1.0, t.get(0, 3));
    EXPECT_EQ(-3.0, t.data[14]);
    EXPECT_EQ(0.0, t.get(3, 0));
}

TEST(PglScale, DiagonalWithUnitWeight) {
    EXPECT_EQ(24.0, pglScale(2, 3, 4).det());
    const PGL4 unit = pglScale(1, 1, 1);
    for (std::size_t i = 0; i < 16; ++i) EXPECT_TRUE(sameBits(PGL4::identity().data[i], unit.data[i]));
}

TEST(PglRotateZ, ZeroAngleIsIdentityWithNegativeZero) {
    const PGL4 r = pglRotateZ(0);
    for (std::size_t i = 0; i < 16; ++i) EXPECT_EQ(PGL4::identity().data[i], r.data[i]);
    EXPECT_TRUE(sameBits(-0.0, r.get(0, 1)));
    EXPECT_TRUE(sameBits(0.0, r.get(1, 0)));
}

TEST(PglRotateZ, PositiveAngleTurnsXTowardY) {
    const double angle = atRunTime(std::numbers::pi / 4);
    const HomVec4 r = pglRotateZ(angle).apply(HomVec4::init(1, 0, 0, 1));
    EXPECT_TRUE(sameBits(std::cos(angle), r.x));
    EXPECT_TRUE(sameBits(std::sin(angle), r.y));
    EXPECT_EQ(0.0, r.z);
    EXPECT_EQ(1.0, r.w);
    EXPECT_NEAR(HomVec4::init(1, 0, 0, 1).norm(), r.norm(), 1e-10);
    EXPECT_NEAR(1.0, pglRotateZ(atRunTime(std::numbers::pi / 2)).apply(HomVec4::init(1, 0, 0, 0)).y, 1e-15);
}

TEST(PglRotateZ, DeterminantIsOne) {
    for (const double angle : {0.1, 1.0, 2.5, -3.0, 100.0}) {
        EXPECT_NEAR(1.0, pglRotateZ(atRunTime(angle)).det(), 1e-15) << "angle " << angle;
    }
}

TEST(PglFromHomogeneous, AcceptsRegularRowsAtBuildTime) {
    constexpr PGL4 m = pglFromHomogeneous({{2, 0, 0, 0}, {0, 3, 0, 0}, {0, 0, 4, 0}, {0, 0, 0, 5}});
    static_assert(m.det() == 120.0);
    static_assert(m.get(0, 0) == 2 && m.get(1, 1) == 3 && m.get(2, 2) == 4 && m.get(3, 3) == 5);
    // Rows are read row by row, whatever the storage order.
    constexpr PGL4 t = pglFromHomogeneous({{1, 0, 0, 7}, {0, 1, 0, 8}, {0, 0, 1, 9}, {0, 0, 0, 1}});
    static_assert(t.data[12] == 7 && t.data[14] == 9);
    // A tiny but non-zero determinant is not singular.
    constexpr PGL4 tiny =
        pglFromHomogeneous({{1e-100, 0, 0, 0}, {0, 1e-100, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}});
    static_assert(tiny.det() > 0.0);
}

}  // namespace
