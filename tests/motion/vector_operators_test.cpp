#include <gtest/gtest.h>

#include <iomanip>
#include <sstream>

#include "support/same_bits.hpp"
#include "vorn_kernel.hpp"

namespace {

using vorn::test::sameBits;
using vorn_kernel::HomVec4;

// One IEEE operation per component: negation keeps the sign of zero (0 − x would not), and
// the operators are found from outside the namespace.
TEST(HomVec4Operators, OneOperationPerComponent) {
    const HomVec4 a{0.0, -0.0, 1.5, -2.0};
    const HomVec4 b{0.1, 0.2, 0.3, 0.4};
    const HomVec4 n = -a;
    EXPECT_TRUE(sameBits(-0.0, n.x));
    EXPECT_TRUE(sameBits(0.0, n.y));
    const HomVec4 sum = a + b;
    const HomVec4 diff = b - a;
    const HomVec4 scaled = 0.1 * b;
    EXPECT_TRUE(sameBits(1.5 + 0.3, sum.z));
    EXPECT_TRUE(sameBits(0.4 - -2.0, diff.w));
    EXPECT_TRUE(sameBits(0.1 * 0.3, scaled.z));
    EXPECT_TRUE(sameBits(scaled.y, (b * 0.1).y));
    static_assert((HomVec4{1, 2, 3, 4} + HomVec4{1, 1, 1, 1}).w == 5);
}

TEST(HomVec4Operators, TangentPartIsOrthogonalToThePoint) {
    const HomVec4 p = HomVec4{1, 2, 2, 4}.normalize();
    const HomVec4 t = vorn_kernel::tangentPart(p, {3, -1, 0.5, 2});
    EXPECT_NEAR(0.0, HomVec4::dot(p, t), 1e-15);
    EXPECT_EQ(0.0, vorn_kernel::tangentPart(p, p).norm() > 1e-15 ? 1.0 : 0.0);
}

TEST(HomVec4Operators, StreamsWithTheStreamsFormatting) {
    std::ostringstream out;
    out << HomVec4{1, -0.5, 0, 2} << ' ' << std::setprecision(17) << HomVec4{0.1, 0, 0, 0};
    EXPECT_EQ("(1, -0.5, 0, 2) (0.10000000000000001, 0, 0, 0)", out.str());
}

}  // namespace
