#include "registered_tests.hpp"
#include "vorn_kernel.hpp"
#include "vorn_testing.hpp"

namespace vorn_kernel::registered {

using vorn::testing::expectApproxEqAbs;

void fubiniStudyKnownValues() {
    const HomVec4 a = HomVec4::init(1, 0, 0, 0);
    const HomVec4 b = HomVec4::init(1, 0, 0, 0);
    expectApproxEqAbs(fsDistance(a, b), 0.0, 1e-10);

    const HomVec4 c = HomVec4::init(1, 0, 0, 0);
    const HomVec4 d = HomVec4::init(0, 1, 0, 0);
    expectApproxEqAbs(fsDistance(c, d), 1.5707963267948966, 1e-10);

    // Antipodal points are the same projective point.
    const HomVec4 e = HomVec4::init(1, 0, 0, 1).normalize();
    const HomVec4 f = HomVec4::init(-1, 0, 0, -1).normalize();
    expectApproxEqAbs(fsDistance(e, f), 0.0, 1e-6);

    const HomVec4 g = HomVec4::init(1, 0, 0, 0).normalize();
    const HomVec4 h = HomVec4::init(1, 0, 0, 1).normalize();
    expectApproxEqAbs(fsDistance(g, h), 0.7853981633974483, 1e-10);
}

void weightRoundTrip() {
    const double s = 1000.0;
    const double R = R_ORSELA_KM * 1000.0;
    const double W = wFromDistance(s, R);
    const double s_back = sFromW(W, R);
    // acos loses precision near 1: s_back falls short of 1000 by about 1e-5.
    expectApproxEqAbs(1000.0, s_back, 0.01);
}

}  // namespace vorn_kernel::registered
