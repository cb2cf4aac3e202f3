#include "registered_tests.hpp"
#include "vorn_kernel.hpp"
#include "vorn_testing.hpp"

namespace vorn_kernel::registered {

using vorn::testing::expectApproxEqAbs;
using vorn::testing::expectTrue;

void homVec4ConstructorsAndCartesian() {
    const HomVec4 v = HomVec4::fromCartesian(3, 4, 5);
    expectApproxEqAbs(v.x, 3.0, 1e-10);
    expectApproxEqAbs(v.y, 4.0, 1e-10);
    expectApproxEqAbs(v.z, 5.0, 1e-10);
    expectApproxEqAbs(v.w, 1.0, 1e-10);

    const auto c = v.cartesian3();
    expectApproxEqAbs(c[0], 3.0, 1e-10);
    expectApproxEqAbs(c[1], 4.0, 1e-10);
    expectApproxEqAbs(c[2], 5.0, 1e-10);

    const auto c2 = HomVec4::init(2, 4, 6, 2).cartesian3();
    expectApproxEqAbs(c2[0], 1.0, 1e-10);
    expectApproxEqAbs(c2[1], 2.0, 1e-10);
    expectApproxEqAbs(c2[2], 3.0, 1e-10);
}

void homVec4NormalizationOnS3() {
    const HomVec4 v = HomVec4::init(3, 0, 0, 4);
    const HomVec4 n = v.normalize();
    expectApproxEqAbs(n.norm(), 1.0, 1e-10);
    expectApproxEqAbs(n.x, 0.6, 1e-10);
    expectApproxEqAbs(n.w, 0.8, 1e-10);
}

void homVec4DotAndIsSamePoint() {
    const HomVec4 a = HomVec4::init(1, 0, 0, 0);
    const HomVec4 b = HomVec4::init(1, 0, 0, 0);
    expectApproxEqAbs(HomVec4::dot(a, b), 1.0, 1e-10);

    const HomVec4 c = HomVec4::init(0, 1, 0, 0);
    expectApproxEqAbs(HomVec4::dot(a, c), 0.0, 1e-10);

    const HomVec4 neg_a = HomVec4::init(-1, 0, 0, 0);
    expectTrue(a.isSamePoint(neg_a, 1e-8));
}

void homVec4AntipodalCheck() {
    const HomVec4 p = HomVec4::init(1, 2, 3, 4);
    const HomVec4 neg_p = HomVec4::init(-1, -2, -3, -4);
    expectTrue(p.isAntipodalTo(neg_p, 1e-8));

    // The normalised absolute dot product is 34/√1170 ≈ 0.994.
    const HomVec4 other = HomVec4::init(1, 2, 3, 5);
    expectTrue(!p.isAntipodalTo(other, 1e-8));
}

void homVec4AffineCardSelection() {
    expectTrue(HomVec4::init(1, 2, 3, 4).pickBestCard() == AffineCard::UW);
    expectTrue(HomVec4::init(5, 1, 1, 1).pickBestCard() == AffineCard::UX);
    expectTrue(HomVec4::init(1, 6, 1, 1).pickBestCard() == AffineCard::UY);
    expectTrue(HomVec4::init(1, 1, 7, 1).pickBestCard() == AffineCard::UZ);
}

}  // namespace vorn_kernel::registered
