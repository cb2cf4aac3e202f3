#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "support/same_bits.hpp"
#include "vorn_kernel.hpp"

namespace {

using vorn::test::atRunTime;
using vorn::test::sameBits;
using vorn_kernel::f32x4;
using vorn_kernel::F32x4;
using vorn_kernel::simdDot4;
using vorn_kernel::simdNormalize3;

void expectSameLanes(F32x4 expected, F32x4 actual) {
    for (int lane = 0; lane < 4; ++lane) {
        EXPECT_TRUE(sameBits(expected[lane], actual[lane])) << "lane " << lane;
    }
}

TEST(SimdDot4, LanesMapToComponents) {
    const F32x4 v = f32x4(1, 2, 3, 4);
    EXPECT_EQ(1.0f, v[0]);
    EXPECT_EQ(4.0f, v[3]);
    EXPECT_TRUE(sameBits(30.0f, simdDot4(v, v)));
}

TEST(SimdDot4, SumsLanesInOrderNotPairwise) {
    // In f32, 1e8 + 1 rounds back to 1e8: the left-to-right sum is 1, a pairwise sum 0.
    const F32x4 a = f32x4(atRunTime(1e8f), 1, -1e8f, 1);
    const F32x4 ones = f32x4(1, 1, 1, 1);
    EXPECT_TRUE(sameBits(1.0f, simdDot4(a, ones)));
}

TEST(SimdNormalize3, DividesAllFourLanes) {
    const F32x4 n = simdNormalize3(f32x4(atRunTime(3.0f), 0, 0, 4));
    expectSameLanes(f32x4(0.6f, 0, 0, 0.8f), n);
}

TEST(SimdNormalize3, KeepsTheSignOfEveryLane) {
    expectSameLanes(f32x4(-0.0f, 0, -0.0f, -1), simdNormalize3(f32x4(-0.0f, 0, -0.0f, -2)));
}

TEST(SimdNormalize3, SquaredLengthBelowFloorFallsBackToUnitW) {
    expectSameLanes(f32x4(0, 0, 0, 1), simdNormalize3(f32x4(0, 0, 0, 0)));
    // Length 1e-8, squared length 1e-16: the floor is on the square.
    expectSameLanes(f32x4(0, 0, 0, 1), simdNormalize3(f32x4(1e-8f, 0, 0, 0)));
}

TEST(SimdNormalize3, SquaredLengthExactlyAtFloorIsDivided) {
    const F32x4 v = f32x4(atRunTime(0x1.0fa336p-25f), 0x1.3988dcp-36f, 0, 0);
    ASSERT_EQ(1e-15f, simdDot4(v, v));
    const F32x4 n = simdNormalize3(v);
    const float len = std::sqrt(atRunTime(1e-15f));
    EXPECT_TRUE(sameBits(v[0] / len, n[0]));
    EXPECT_TRUE(sameBits(v[1] / len, n[1]));
    EXPECT_TRUE(sameBits(0.0f, n[3]));
}

TEST(SimdNormalize3, NanPropagates) {
    const F32x4 n = simdNormalize3(f32x4(std::numeric_limits<float>::quiet_NaN(), 0, 0, 1));
    for (int lane = 0; lane < 4; ++lane) EXPECT_TRUE(std::isnan(n[lane])) << "lane " << lane;
}

}  // namespace
