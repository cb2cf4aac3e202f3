#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <stdexcept>
#include <vector>

#include "random_points.hpp"
#include "support/same_bits.hpp"
#include "vorn_motion.hpp"

namespace {

using vorn::test::sameBits;
using vorn_kernel::HomVec4;
using vorn_kernel::PGL4;

// The action on a point as the loop over rows and columns, from +0.
HomVec4 applyByLoop(const PGL4& m, HomVec4 v) {
    const std::array<double, 4> components{v.x, v.y, v.z, v.w};
    std::array<double, 4> result{0.0, 0.0, 0.0, 0.0};
    for (std::size_t row = 0; row < 4; ++row) {
        for (std::size_t col = 0; col < 4; ++col)
            result[row] = result[row] + m.get(row, col) * components[col];
    }
    return {result[0], result[1], result[2], result[3]};
}

void expectSameBits(HomVec4 expected, HomVec4 actual) {
    EXPECT_TRUE(sameBits(expected.x, actual.x));
    EXPECT_TRUE(sameBits(expected.y, actual.y));
    EXPECT_TRUE(sameBits(expected.z, actual.z));
    EXPECT_TRUE(sameBits(expected.w, actual.w));
}

// Single and batch apply give the loop's bits, signs of zeros included, in place or not.
TEST(ApplyToAll, GivesTheBitsOfTheScalarLoop) {
    vorn::motion_test::RandomPoints random(7);
    PGL4 m{};
    for (double& entry : m.data) entry = random.uniform(-3, 3);
    m.set(2, 1, -0.0);
    // Row 0 all positive: with the point (−0, −0, −0, −0) only the sum's +0 start makes it +0.
    for (std::size_t col = 0; col < 4; ++col) m.set(0, col, 0.5 + static_cast<double>(col));
    std::vector<HomVec4> points(37);
    for (HomVec4& p : points) p = random.vector();
    points[3] = {-0.0, -0.0, -0.0, -0.0};
    points[4] = {1e300, -1e300, 1e-300, 7};
    std::vector<HomVec4> out(points.size());
    vorn_motion::applyToAll(m, points, out);
    for (std::size_t i = 0; i < points.size(); ++i) {
        const HomVec4 expected = applyByLoop(m, points[i]);
        expectSameBits(expected, m.apply(points[i]));
        expectSameBits(expected, out[i]);
    }
    vorn_motion::applyToAll(m, points, points);
    for (std::size_t i = 0; i < points.size(); ++i) expectSameBits(out[i], points[i]);
}

TEST(ApplyToAll, SpansOfDifferentLengthsThrowAndWriteNothing) {
    const std::vector<HomVec4> in(3, HomVec4{1, 2, 3, 4});
    std::vector<HomVec4> out(2, HomVec4::zero());
    EXPECT_THROW(vorn_motion::applyToAll(PGL4::identity(), in, out), std::invalid_argument);
    EXPECT_EQ(0.0, out[0].x);
    vorn_motion::applyToAll(PGL4::identity(), {}, {});
}

}  // namespace
