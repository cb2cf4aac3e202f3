// Components so large that their squares or products overflow: a vector or matrix times a
// power of two must give the results of the unscaled one, bit for bit where the arithmetic is
// the same, and never the fallback of a null or singular input.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <limits>

#include "support/same_bits.hpp"
#include "vorn_kernel.hpp"

namespace {

using vorn::test::atRunTime;
using vorn::test::sameBits;
using vorn_kernel::F32x4;
using vorn_kernel::fsDistance;
using vorn_kernel::HomVec4;
using vorn_kernel::PGL4;

constexpr double max = std::numeric_limits<double>::max();

HomVec4 times2To(HomVec4 v, int k) {
    return HomVec4::init(std::ldexp(v.x, k), std::ldexp(v.y, k), std::ldexp(v.z, k), std::ldexp(v.w, k));
}

void expectSameBits(HomVec4 expected, HomVec4 actual) {
    EXPECT_TRUE(sameBits(expected.x, actual.x));
    EXPECT_TRUE(sameBits(expected.y, actual.y));
    EXPECT_TRUE(sameBits(expected.z, actual.z));
    EXPECT_TRUE(sameBits(expected.w, actual.w));
}

TEST(HugeComponents, VectorsGiveTheResultsOfTheirUnscaledCopies) {
    const HomVec4 ordinary[] = {
        HomVec4::init(atRunTime(3.0), 0, 0, 4), HomVec4::init(atRunTime(0.3), -1.2, 2.5, 0.7),
        HomVec4::init(atRunTime(1.0), 1, 0, 0), HomVec4::init(0, atRunTime(-1.5), 1e-3, 0)};
    const HomVec4 other = HomVec4::init(atRunTime(0.1), 0.9, -0.4, 0.2);
    // 2^520 overflows the squares; 2^1021 also the length itself, for some of them.
    for (const int k : {520, 900, 1021}) {
        for (const HomVec4 v : ordinary) {
            SCOPED_TRACE(testing::Message() << "k = " << k << ", v = (" << v.x << ", " << v.y << ", " << v.z
                                            << ", " << v.w << ")");
            const HomVec4 huge = times2To(v, k);
            const double expected_norm = std::ldexp(v.norm(), k);
            EXPECT_TRUE(sameBits(expected_norm, huge.norm()));
            expectSameBits(v.normalize(), huge.normalize());
            if (v.w == 0.0) {
                const auto c = huge.cartesian3();
                const auto expected = v.cartesian3();
                EXPECT_TRUE(sameBits(expected[0], c[0]) && sameBits(expected[1], c[1]) &&
                            sameBits(expected[2], c[2]));
            }
            EXPECT_TRUE(sameBits(fsDistance(v, other), fsDistance(huge, other)));
            EXPECT_TRUE(sameBits(fsDistance(other, v), fsDistance(other, huge)));
            EXPECT_TRUE(sameBits(fsDistance(v, v), fsDistance(huge, times2To(v, 1000))));
            EXPECT_EQ(v.isSamePoint(other, 1e-8), huge.isSamePoint(other, 1e-8));
            EXPECT_TRUE(huge.isSamePoint(v, 1e-8));
            EXPECT_TRUE(huge.isAntipodalTo(HomVec4::init(-huge.x, -huge.y, -huge.z, -huge.w), 1e-8));
        }
    }
    EXPECT_EQ(std::numeric_limits<double>::infinity(), HomVec4::init(max, max, 0, 0).norm());
}

TEST(HugeComponents, FloatLanesGiveTheDirectionOfTheirUnscaledCopies) {
    const F32x4 v = vorn_kernel::f32x4(atRunTime(3.0f), 0, 0, -4);
    const F32x4 huge = v * 0x1p100f;  // squares beyond the f32 range
    const F32x4 expected = vorn_kernel::simdNormalize3(v);
    const F32x4 actual = vorn_kernel::simdNormalize3(huge);
    for (int lane = 0; lane < 4; ++lane) EXPECT_TRUE(sameBits(expected[lane], actual[lane])) << lane;
}

TEST(HugeComponents, MatricesGiveTheResultsOfTheirUnscaledCopies) {
    // Largest entry in [1, 2): times 2^k it normalises to exactly the bits of the original, and
    // its inverse is the original's times 2^−k.
    const PGL4 m = PGL4::fromRowMajor({{atRunTime(1.75), -0.375, 0.625, 0.25},
                                       {-0.5, 1.125, 0.125, -0.75},
                                       {1.0, 0.25, -0.875, 0.375},
                                       {0.125, -0.625, 0.5, 1.125}});
    const double delta = atRunTime(0.25);
    const PGL4 expected = m.normalizeDet();
    const PGL4 expected_inverse = m.inverse(delta, 50);
    for (const int k : {300, 1000}) {
        PGL4 huge = m;
        for (double& entry : huge.data) entry = std::ldexp(entry, k);
        const PGL4 normalized = huge.normalizeDet();
        const PGL4 inverse = huge.inverse(std::ldexp(delta, k), 50);
        for (std::size_t i = 0; i < 16; ++i) {
            EXPECT_TRUE(sameBits(expected.data[i], normalized.data[i])) << k << ", " << i;
            EXPECT_TRUE(sameBits(std::ldexp(expected_inverse.data[i], -k), inverse.data[i]))
                << k << ", " << i;
        }
    }

    PGL4 scaled_identity = PGL4::identity();
    for (std::size_t d = 0; d < 4; ++d) scaled_identity.set(d, d, atRunTime(1e100));
    EXPECT_NEAR(1.0, scaled_identity.normalizeDet().det(), 1e-15);

    // Singular however large: returned unchanged, as a small singular matrix is.
    const PGL4 singular = PGL4::fromRowMajor(
        {{atRunTime(1e300), 2e300, 0, 0}, {1e300, 2e300, 0, 0}, {0, 0, 1e300, 0}, {0, 0, 0, 1e300}});
    const PGL4 unchanged = singular.normalizeDet();
    for (std::size_t i = 0; i < 16; ++i) EXPECT_TRUE(sameBits(singular.data[i], unchanged.data[i])) << i;
}

}  // namespace
